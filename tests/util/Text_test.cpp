#include "util/text/Text.h"

#include <gtest/gtest.h>

#include <tuple>

#include "TestSupport.h"

using namespace tessel;

namespace {

using Lines = std::vector<std::pair<std::string, bool>>;  // line, Eof after it

Lines AllLines(TText& t) {
  TTextReader* r = t.CreateReader();
  Lines lines;
  std::string line;
  do {
    r->ReadLine(line);
    lines.emplace_back(line, r->Eof);
  } while (!r->Eof && lines.size() < 100);
  return lines;
}

}  // namespace

TEST(Text, read_lines_cr_crlf_lone_lf_and_nul) {
  std::pair<std::string, Lines> cases[] = {{"A\r\nB\rC\nD", {{"A", false}, {"B", false}, {"C\nD", true}}},
                                           {"X\r\n", {{"X", true}}},
                                           {"", {{"", true}}},
                                           {"\r\n\r\nz", {{"", false}, {"", false}, {"z", true}}},
                                           {"a\r\r\nb", {{"a", false}, {"", false}, {"b", true}}},
                                           {std::string("ab\0cd\r\nef", 9), {{"ab", true}}}};
  for (auto& [text, lines] : cases) {
    TText t{std::string(text)};
    EXPECT_EQ(AllLines(t), lines) << text;
  }
  TText nul(std::string("ab\0cd\r\n", 7));
  TTextReader* r = nul.CreateReader();
  std::string line;
  r->ReadLine(line);
  r->ReadLine(line);  // stays at the NUL
  EXPECT_TRUE(line.empty() && r->Eof && r->Position() == 2);
}

TEST(Text, blocks_end_in_nul_slices_are_clamped_and_sub_text_lines_run_on) {
  const char data[] = "abc";
  TText copy(data, 3);
  EXPECT_TRUE(copy.Start() != data && copy.Length() == 3 && *copy.End() == '\0');
  TText t(std::string("ab\0cd", 5));
  EXPECT_EQ(t.GetString(1, 4), std::string("b\0c", 3));
  EXPECT_EQ(t.GetString(-4, 99), std::string("ab\0cd", 5));  // clamped
  TText parent(std::string("head\r\nbody line\r\ntail"));
  auto sub = TText::CreateSub(parent, 6, 4);
  EXPECT_FALSE(sub->OwnsData());
  EXPECT_EQ(sub->GetString(0, 4), "body");
  EXPECT_EQ(AllLines(*sub), (Lines{{"body line", false}, {"tail", true}}));
  TTextReader* r = sub->CreateReader();
  r->GoToEnd();
  EXPECT_EQ(r->Current, parent.Start() + 10);
  EXPECT_EQ(TText::CreateSub(parent, parent.Length() - 2, 50)->GetString(0, 99), "il");  // clamped
}

TEST(Text, match_and_search_find_whole_occurrences_across_nuls) {
  TText t(std::string("ab\0--b\r\n--b--", 13));
  TTextReader* r = t.CreateReader();
  r->SetPosition(3);
  EXPECT_TRUE(r->Match("--", true) && r->Position() == 5 && r->Match("", true));
  EXPECT_FALSE(r->Match("B", true) || r->Match("b\rX", true));  // case-sensitive, all or nothing
  EXPECT_EQ(r->Position(), 5);
  r->SetPosition(11);
  EXPECT_FALSE(r->Match("--\r", true));  // the text ends early
  EXPECT_EQ(r->Position(), 11);
  // From, what, delta; whether it is found and where the reader stands then.
  for (auto [from, what, delta, found, at] : {std::tuple{0, "--b", 0, true, 3},
                                              {3, "--b", 1, true, 8},
                                              {8, "b--", 1, true, 10},         // ends exactly at End
                                              {10, "b--!", -2, false, 13},     // would need a byte past End
                                              {1, "", 0, false, 2},            // stops at the next NUL
                                              {8, "\r\n--b", -2, true, 6}}) {  // finds what lies two bytes back
    r->SetPosition(from);
    EXPECT_EQ(r->SearchFor(what, delta), found) << what;
    EXPECT_EQ(r->Position(), at) << what;
  }
  TText large(std::string(20'000'000, '-') + "\r\n--boundary--\r\n");
  EXPECT_TRUE(large.CreateReader()->SearchFor("\r\n--boundary", 0));
}

// The step back stops at the text's first byte: before it lies another
// part's data, or no memory of ours at all.
TEST(Text, search_never_steps_before_the_text) {
  TText parent(std::string("\r\n--b\r\n--b tail"));
  TTextReader* p = parent.CreateReader();
  EXPECT_TRUE(p->SearchFor("\r\n--b", -2));
  EXPECT_EQ(p->Position(), 0);
  auto sub = TText::CreateSub(parent, 7, 8);  // "--b tail": its CR LF lies outside
  TTextReader* r = sub->CreateReader();
  EXPECT_FALSE(r->SearchFor("\r\n--b", -2));
  EXPECT_EQ(r->Current, parent.End());  // the next NUL is the parent's
}

TEST(Text, decode_dispatches_on_lower_cased_name) {
  TText t(std::string("xxQUJD\r\nREVG=3D=\r\nyy"));
  for (const char* name : {"base64", "BASE64", "Base64"}) EXPECT_EQ(t.Decode(2, 12, name)->ToString(), "ABCDEF");
  EXPECT_EQ(t.Decode(8, 20, "Quoted-Printable")->ToString(), "REVG=yy");
  for (const char* name : {"", "7bit", " base64", "x-uuencode"}) EXPECT_EQ(t.Decode(2, 6, name)->ToString(), "QUJD");
  EXPECT_EQ(t.DecodeBase64(2, 6)->GetPosition(), 3);
  EXPECT_EQ(t.DecodeQuotedPrintable(12, 15)->ToString(), "=");
  TStringStream out(std::string("12345"));
  out.Seek(1, soBeginning);
  t.CopyTo(2, 4, out);
  EXPECT_EQ(out.DataString(), "1QU45");
  EXPECT_EQ(test::ErrorOf([&] { t.Decode(12, 20, "base64", out); }), "Exception:Invalid input");
}
