// UTF-7 reader and writer (the round trip is checked with UTF-8's in Charset_test).
//
// Where RFC 2152 leaves a choice, this codec differs on purpose from the
// independent implementations it is compared with (glibc iconv, Python):
// - writer: ',' (and every other character outside A-Z a-z 0-9 ' ( ) . / -
//   : ? space TAB CR LF) goes into base64; iconv writes ',' directly and
//   Python the whole optional set; no '=' is ever written; '-' closes a run
//   only before a base64 character or '-', and always at the end (Flush);
//   a run that ends with two bytes waiting is completed with a zero byte
//   and closed after a whole quad ("+IKwA-"), where iconv and Python stop
//   after the third character ("+IKw-") and reject the extra zero byte;
// - reader: it accepts that form (the extra byte is zero fill); fill bits
//   are not tested ("+AGEB-" reads 'a');
//   a lone sextet after full quads still makes a byte ("+AGEAY-" reads
//   "a`"); a U+0000 decoded from a run is dropped; '~', '\' and bytes
//   0x80-0xFF outside a run read as themselves (iconv rejects the first
//   two, Python the last); a '+' at the very end raises, as in iconv
//   (Python returns nothing for it).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "CorpusPresence.h"
#include "TestSupport.h"

using namespace tessel;
using namespace tessel::test;

namespace {

std::u16string Read7(const std::string& bytes) { return ReadAll("utf-7", bytes); }
std::string Write7(const std::u16string& ws) { return WriteAll("utf-7", ws); }

// Random valid UTF-16 text without U+0000, weighted towards ASCII so that
// runs open and close often.
std::u16string RandomText(std::mt19937& rng, bool allowComma) {
  std::u16string t;
  for (int len = static_cast<int>(rng() % 20); static_cast<int>(t.size()) < len;) {
    auto kind = static_cast<uint32_t>(rng() % 10);
    char16_t c;
    if (kind < 5)
      c = static_cast<char16_t>(0x20 + rng() % 0x5F);
    else if (kind == 5)
      c = u"\t\n\r\x01\x1F\x7F"[rng() % 6];
    else if (kind == 6)
      c = static_cast<char16_t>(0x80 + rng() % 0x80);
    else if (kind == 7)
      c = static_cast<char16_t>(0x100 + rng() % (0xD800 - 0x100));
    else if (kind == 8)
      c = static_cast<char16_t>(0xE000 + rng() % (0xFFFE - 0xE000));
    else {
      uint32_t cp = rng() % 0x100000;
      t += {static_cast<char16_t>(0xD800 + (cp >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
      continue;
    }
    if (c != u',' || allowComma) t.push_back(c);
  }
  return t;
}

// Our output in the form iconv writes: a run closed after a whole quad whose
// last byte is the zero fill loses that quad's last character.
std::string WithoutZeroFill(const std::string& utf7) {
  static const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < utf7.size();) {
    out += utf7[i];
    if (utf7[i++] != '+') continue;
    size_t start = i;
    while (i < utf7.size() && utf7[i] != 0 && std::strchr(kBase64, utf7[i])) ++i;
    size_t n = i - start;
    bool fill = n > 0 && n % 4 == 0 && (n / 4 * 3) % 2 == 1 && utf7[i - 1] == 'A';
    out.append(utf7, start, fill ? n - 1 : n);
  }
  return out;
}

}  // namespace

TEST(Utf7Reader, run_endings_and_bytes_outside_runs) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"+AGEAYgBj", u"abc"},      // cut by the end, whole units
      {"+AOk--", u"\u00E9-"},     // only the first '-' is absorbed
      {"+AOk=A", u"\u00E9=A"},    // '=' is not base64 here
      {"+IKwA-a", u"\u20ACa"},    // full quad, odd byte count: zero fill
      {"+JjoA-", u"\u263A"},      // no phantom unit for the closing '-'
      {"+AGEB-", u"a"},           // fill bits are not tested
      {"+AGEAY-", u"a`"},         // a lone sextet still makes a byte
      {"a+AAA-b", u"ab"},         // U+0000 from a run is dropped
      {"~\\\xE9", u"~\\\u00E9"},  // outside a run every byte is itself
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"+AGE\xE9", u"a\u00E9"}};
  for (const auto& [in, expected] : cases) EXPECT_EQ(Read7(in), expected) << in;
}

TEST(Utf7Reader, invalid_sequences) {
  for (const char* in : {"+x", "+!", "+ ", "a+", "+AG-", "+AGEAYgB-", "+A"})
    EXPECT_EQ(ReadUnits("utf-7", in).Error, "Exception:Invalid utf7 sequence") << in;
  // The error comes after the units before it, from ReadChar even when the
  // look-ahead of Eof met it.
  TStringStream stream("ab+!");
  auto r = CreateCharReader("utf-7", &stream);
  r->OwnsStream = false;
  EXPECT_EQ(r->ReadChar(), u'a');
  EXPECT_FALSE(r->Eof());
  EXPECT_EQ(r->ReadChar(), u'b');
  EXPECT_FALSE(r->Eof());
  EXPECT_THROW(r->ReadChar(), Exception);
}

TEST(Utf7Reader, corpus_vectors) {
  TESSEL_REQUIRE_CORPUS(std::string(TESSEL_CORPUS) + "/vectors/utf7-rfc2152.json");
  TJson vectors = ParseJson(ReadFileBytes(std::string(TESSEL_CORPUS) + "/vectors/utf7-rfc2152.json"));
  int count = 0;
  for (const TJson& v : vectors.Items) {
    std::string input = FromHex(v.Str("input_utf8_hex"));
    std::u16string expected = Utf8ToWide(v.Str("expected"));
    EXPECT_EQ(Read7(input), expected) << input;
    EXPECT_EQ(Read7(Write7(expected)), expected) << input;  // and the writer's form reads back
    ++count;
  }
  EXPECT_EQ(count, 12);
}

TEST(Utf7Writer, zero_fill_comma_and_plus) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\u20ACa", "+IKwA-a"},
      {u"\u20AC.", "+IKwA."},         // '-' only before a base64 character or '-'
      {u"\u00E9\u00E9", "+AOkA6Q-"},  // one byte waiting at the close
      {u"\u00E9+", "+AOkAKw-"},       // '+' inside a run is base64
      {u"a,b!~", "a+ACwA-b+ACEAfg-"}};
  for (const auto& [in, expected] : cases) EXPECT_EQ(Write7(in), expected) << expected;
}

TEST(Utf7Writer, flush_closes_the_run_once) {
  TStringStream stream;
  auto w = CreateCharWriter("utf-7", &stream);
  w->OwnsStream = false;
  w->WriteChar(0x263A);
  EXPECT_EQ(stream.DataString(), "+");  // both bytes wait for a third
  w->Flush();
  w->Flush();
  EXPECT_EQ(stream.DataString(), "+JjoA-");
  w->WriteChar(u'x');
  w.reset();
  EXPECT_EQ(stream.DataString(), "+JjoA-x");
}

TEST(Utf7Agreement, iconv_writes_the_same_bytes_and_reads_ours) {
  if (!Iconv("UTF-7", "UTF-16LE", "")) GTEST_SKIP() << "iconv without UTF-7";
  std::mt19937 rng(2152);
  for (int i = 0; i < 3000; ++i) {
    std::u16string text = RandomText(rng, i % 2 == 0);
    std::string ours = WithoutZeroFill(Write7(text)), utf16 = WriteAll("utf-16le", text);
    std::optional<std::string> theirs = Iconv("UTF-7", "UTF-16LE", utf16);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(ours, text.find(u',') == std::u16string::npos ? *theirs : ours);  // a comma is written apart
    EXPECT_EQ(Read7(*theirs), text) << *theirs;
    EXPECT_EQ(Iconv("UTF-16LE", "UTF-7", ours), utf16) << ours;
  }
}

TEST(Utf7Agreement, python_encodings_read_back) {
  std::mt19937 rng(7152);
  std::vector<std::u16string> texts;
  std::vector<std::string> utf8;
  for (int i = 0; i < 3000; ++i) {
    texts.push_back(RandomText(rng, true));
    utf8.push_back(WideToUtf8(texts.back()));
  }
  auto encoded = PythonMap("def f(d): return d.decode('utf-8').encode('utf-7')", utf8);
  if (!encoded) GTEST_SKIP() << "python3 not available";
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(Read7((*encoded)[i].value()), texts[i]) << i;
}
