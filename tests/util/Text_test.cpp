#include "util/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/Exception.h"
#include "util/MemoryStream.h"

using namespace tessel;

namespace {

std::vector<std::pair<std::string, bool>> AllLines(TText& t) {
  TTextReader* r = t.CreateReader();
  std::vector<std::pair<std::string, bool>> lines;
  std::string line;
  do {
    r->ReadLine(line);
    lines.emplace_back(line, r->Eof);
  } while (!r->Eof && lines.size() < 100);
  return lines;
}

using Lines = std::vector<std::pair<std::string, bool>>;

}  // namespace

TEST(Text, copy_keeps_nul_after_end) {
  const char data[] = "abc";
  TText t(data, 3);
  EXPECT_TRUE(t.OwnsData());
  EXPECT_EQ(t.Length(), 3);
  EXPECT_EQ(t.End() - t.Start(), 3);
  EXPECT_EQ(*t.End(), '\0');
  EXPECT_NE(t.Start(), data);
  TText empty(nullptr, 0);
  EXPECT_EQ(empty.Length(), 0);
  EXPECT_EQ(*empty.Start(), '\0');
}

TEST(Text, moved_string_is_taken_without_copy) {
  std::string big(100000, 'x');
  const char* bytes = big.data();
  TText t(std::move(big));
  EXPECT_EQ(t.Start(), bytes);
  EXPECT_EQ(t.Length(), 100000);
  EXPECT_EQ(*t.End(), '\0');
}

TEST(Text, get_string_keeps_nuls_and_clamps) {
  TText t(std::string("ab\0cd", 5));
  EXPECT_EQ(t.GetString(1, 4), std::string("b\0c", 3));
  EXPECT_EQ(t.GetString(2, 2), "");
  EXPECT_EQ(t.GetString(3, 1), "");
  EXPECT_EQ(t.GetString(-4, 99), std::string("ab\0cd", 5));
  EXPECT_EQ(t.GetView(0, 2), "ab");
  EXPECT_EQ(*t.PtrAt(3), 'c');
}

TEST(Text, read_lines_cr_crlf_and_lone_lf) {
  TText t(std::string("A\r\nB\rC\nD"));
  EXPECT_EQ(AllLines(t), (Lines{{"A", false}, {"B", false}, {"C\nD", true}}));
  TText x(std::string("X\r\n"));
  EXPECT_EQ(AllLines(x), (Lines{{"X", true}}));
  TText e(std::string(""));
  EXPECT_EQ(AllLines(e), (Lines{{"", true}}));
  TText blank(std::string("\r\n\r\nz"));
  EXPECT_EQ(AllLines(blank), (Lines{{"", false}, {"", false}, {"z", true}}));
  TText crcr(std::string("a\r\r\nb"));
  EXPECT_EQ(AllLines(crcr), (Lines{{"a", false}, {"", false}, {"b", true}}));
}

TEST(Text, read_line_stops_at_embedded_nul) {
  TText t(std::string("ab\0cd\r\nef", 9));
  TTextReader* r = t.CreateReader();
  std::string line;
  r->ReadLine(line);
  EXPECT_EQ(line, "ab");
  EXPECT_TRUE(r->Eof);
  EXPECT_EQ(r->Position(), 2);
  // Reading again stays at the NUL.
  r->ReadLine(line);
  EXPECT_EQ(line, "");
  EXPECT_EQ(r->Position(), 2);
}

TEST(Text, sub_text_views_parent_and_lines_run_on) {
  TText parent(std::string("head\r\nbody line\r\ntail"));
  auto sub = TText::CreateSub(parent, 6, 4);  // "body"
  EXPECT_FALSE(sub->OwnsData());
  EXPECT_EQ(sub->Start(), parent.Start() + 6);
  EXPECT_EQ(sub->GetString(0, 4), "body");
  EXPECT_EQ(*sub->End(), ' ');  // the parent's next byte, not a NUL
  TTextReader* r = sub->CreateReader();
  std::string line;
  r->ReadLine(line);
  EXPECT_EQ(line, "body line");  // a line runs on into the parent's bytes
  r->ReadLine(line);
  EXPECT_EQ(line, "tail");
  EXPECT_TRUE(r->Eof);
  // Offsets outside the parent are clamped.
  auto wild = TText::CreateSub(parent, parent.Length() - 2, 50);
  EXPECT_EQ(wild->Start(), parent.End() - 2);
  EXPECT_EQ(wild->Length(), 2);
}

TEST(Text, positions_skip_and_go_to_end) {
  TText t(std::string("0123456789"));
  TTextReader* r = t.CreateReader();
  EXPECT_EQ(r->Position(), 0);
  EXPECT_FALSE(r->Eof);
  r->Skip(4);
  EXPECT_EQ(r->Position(), 4);
  r->Skip(-1);
  EXPECT_EQ(r->Position(), 3);
  r->SetPosition(7);
  EXPECT_EQ(*r->Current, '7');
  r->GoToEnd();
  EXPECT_EQ(r->Position(), 10);
  auto sub = TText::CreateSub(t, 2, 5);
  TTextReader* s = sub->CreateReader();
  s->GoToEnd();
  EXPECT_EQ(s->Position(), 5);
  EXPECT_EQ(s->Current, t.Start() + 7);
}

TEST(Text, match_compares_and_advances) {
  TText t(std::string("--\r\n"));
  TTextReader* r = t.CreateReader();
  EXPECT_TRUE(r->Match("--", true));
  EXPECT_EQ(r->Position(), 2);
  EXPECT_TRUE(r->Match("", true));
  EXPECT_EQ(r->Position(), 2);
  TText u(std::string("-x"));
  TTextReader* q = u.CreateReader();
  EXPECT_FALSE(q->Match("--", true));
  EXPECT_EQ(q->Position(), 0);
  EXPECT_TRUE(q->Match("-x", false));
  EXPECT_EQ(q->Position(), 0);
  EXPECT_FALSE(q->Match("-X", false));  // case-sensitive
  EXPECT_FALSE(q->Match("-x-", false)); // the text ends early
}

TEST(Text, search_finds_first_occurrence_across_nuls) {
  TText t(std::string("ab\0--b\r\n--b--", 13));
  TTextReader* r = t.CreateReader();
  EXPECT_TRUE(r->SearchFor("--b", 0));
  EXPECT_EQ(r->Position(), 3);
  r->Skip(1);
  EXPECT_TRUE(r->SearchFor("--b", 0));
  EXPECT_EQ(r->Position(), 8);
  r->SetPosition(9);
  EXPECT_TRUE(r->SearchFor("b--", 0));  // ends exactly at End
  EXPECT_EQ(r->Position(), 10);
}

TEST(Text, search_with_delta_steps_back) {
  TText t(std::string("x\r\n--b\r\nrest"));
  TTextReader* r = t.CreateReader();
  r->SetPosition(3);
  EXPECT_TRUE(r->SearchFor("\r\n--b", -2));
  EXPECT_EQ(r->Position(), 1);
}

TEST(Text, search_delta_never_goes_before_the_text) {
  TText parent(std::string("\r\n--b\r\nbody"));
  auto sub = TText::CreateSub(parent, 7, 4);  // "body"
  TTextReader* r = sub->CreateReader();
  // The occurrence two bytes before the sub-text lies outside it.
  EXPECT_FALSE(r->SearchFor("\r\n--b", -2));
  EXPECT_GE(r->Current, sub->Start());
  TTextReader* p = parent.CreateReader();
  EXPECT_TRUE(p->SearchFor("\r\n--b", -2));
  EXPECT_EQ(p->Position(), 0);
}

TEST(Text, failed_search_stops_at_next_nul) {
  TText t(std::string("abc\r\ndef"));
  TTextReader* r = t.CreateReader();
  EXPECT_FALSE(r->SearchFor("zz", 0));
  EXPECT_EQ(r->Current, t.End());
  r->SetPosition(1);
  EXPECT_FALSE(r->SearchFor("", 0));
  EXPECT_EQ(r->Current, t.End());
  TText n(std::string("ab\0cd\0ef", 8));
  TTextReader* q = n.CreateReader();
  EXPECT_FALSE(q->SearchFor("zz", 0));
  EXPECT_EQ(q->Position(), 2);
  q->SetPosition(3);
  EXPECT_FALSE(q->SearchFor("ef!", 0));  // would need a byte past End
  EXPECT_EQ(q->Position(), 5);
}

TEST(Text, search_stays_inside_sub_text) {
  TText parent(std::string("aaa--bbb--ccc"));
  auto sub = TText::CreateSub(parent, 0, 6);  // "aaa--b"
  TTextReader* r = sub->CreateReader();
  EXPECT_FALSE(r->SearchFor("bbb", 0));  // only "b" lies before End
  EXPECT_EQ(r->Current, parent.End());   // the next NUL is the parent's
  TTextReader* s = sub->CreateReader();
  EXPECT_TRUE(s->SearchFor("--b", 0));
  EXPECT_EQ(s->Position(), 3);
}

TEST(Text, search_in_large_text) {
  std::string big(20'000'000, '-');
  big += "\r\n--boundary--\r\n";
  TText t(std::move(big));
  TTextReader* r = t.CreateReader();
  EXPECT_TRUE(r->SearchFor("\r\n--boundary", 0));
  EXPECT_EQ(r->Position(), 20'000'000);
}

TEST(Text, decode_dispatches_on_encoding_name) {
  TText t(std::string("xxQUJD\r\nREVG=3D=\r\nyy"));
  for (const char* name : {"base64", "BASE64", "Base64"}) {
    TStringStream out;
    t.Decode(2, 12, name, out);
    EXPECT_EQ(out.DataString(), "ABCDEF") << name;
  }
  TStringStream qp;
  t.Decode(8, 20, "Quoted-Printable", qp);
  EXPECT_EQ(qp.DataString(), "REVG=yy");
  for (const char* name : {"", "7bit", "binary", " base64", "x-uuencode"}) {
    TStringStream out;
    t.Decode(2, 6, name, out);
    EXPECT_EQ(out.DataString(), "QUJD") << name;
  }
}

TEST(Text, decode_without_stream_returns_new_chain_stream) {
  TText t(std::string("QUJD"));
  auto s = t.Decode(0, 4, "base64");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ToString(), "ABC");
  EXPECT_EQ(s->GetPosition(), 3);
  EXPECT_EQ(t.CopyTo(1, 3)->ToString(), "UJ");
  EXPECT_EQ(t.DecodeQuotedPrintable(0, 4)->ToString(), "QUJD");
  EXPECT_EQ(t.DecodeBase64(0, 4)->ToString(), "ABC");
}

TEST(Text, decode_writes_at_stream_position_and_passes_failures) {
  TText t(std::string("=QUJD"));
  TStringStream out(std::string("12345"));
  out.Seek(1, soBeginning);
  t.CopyTo(1, 3, out);
  EXPECT_EQ(out.DataString(), "1QU45");
  try {
    t.DecodeBase64(0, 5, out);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid input");
  }
}
