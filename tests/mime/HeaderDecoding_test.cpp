// Header text: encoded words, the Q encoding, plain 8-bit bytes, and the
// RFC 2047 examples as a whole header goes through the parser.
#include <gtest/gtest.h>

#include "CorpusSupport.h"
#include "mime/HeaderDecoding.h"
#include "util/charsets/Charsets.h"

using namespace tessel;
using namespace mimetest;

namespace {

// The value a header line "X: " + text gets from the parser.
std::string HeaderOf(const std::string& text) {
  auto m = Parse("X: " + text + "\r\n\r\n");
  return m->RootPart->HeaderValue(0);
}

}  // namespace

TEST(HeaderWords, decoding_table) {
  const std::pair<const char*, const char*> cases[] = {
      {"=?iso-8859-2?Q?=A3=F3d=BC_i_Krak=F3w?=", "Łódź i Kraków"},
      // Each word with its own charset and encoding; the blank between stays.
      {"=?utf-8?B?w6k=?= =?ISO-8859-1?q?=E9?=", "é é"},
      {"a=?us-ascii?Q?b?=c", "abc"},
      // Not closed: the rest of the line goes. Too close to the end to be a
      // word (fewer than six characters after "="): text.
      {"keep =?utf-8?Q?lost and more", "keep "},
      {"keep =?utf-8?Q", "keep "},
      {"x =?a?b", "x =?a?b"},
      // The shortest start of a word: "=?" and four characters more, at the
      // start of the line and after text; one character fewer stays text.
      {"=?a?b?", "=?a?b?"},
      {"=?a?b?x", ""},
      {"y=?a?b?", "y=?a?b?"},
      {"y=?a?b?x", "y"},
      {"=?us-ascii?Q?\?=", ""},  // no text
      {"1+1=2", "1+1=2"},
      // A "?" in the encoded text that is not followed by "=" is text.
      {"=?us-ascii?Q?what?_now?=", "what? now"},
      // Q: "=" without two hex digits is kept, or dropped at the end.
      {"=?us-ascii?Q?a_b=3D=3dc?=", "a b==c"},
      {"=?us-ascii?Q?=G1x=4?=", "=G1x"},
      {"=?us-ascii?Q?end=?=", "end"},
      // The word's text ends at its first NUL.
      {"=?utf-8?Q?ab=00cd?=!", "ab!"},
      {"=?x-unknown?Q?ab=00cd?=!", "ab!"},
      // Header data stays valid UTF-8 even when a charset yields a lone surrogate.
      {"=?utf-16le?B?PNg=?=", "\xEF\xBF\xBD"}};
  for (const auto& [in, want] : cases) EXPECT_EQ(DecodeHeaderLine(in), want) << in;
  auto m = Parse(Crlf("Subject: =?iso-8859-2?Q?=A3=F3d=BC?=||"));
  EXPECT_EQ(m->RootPart->GetField("SUBJECT"), u"\u0141\u00f3d\u017a");
}

TEST(HeaderWords, faults_inside_words_are_noted_not_raised) {
  THeaderProblems problems;
  // Base64 with a pad in the second place: the quads before it stay.
  EXPECT_EQ(DecodeHeaderLine("=?us-ascii?B?YWJj=Q==?=", &problems), "abc");
  // Bytes that are no UTF-8: each becomes U+FFFD, reading goes on.
  EXPECT_EQ(DecodeHeaderLine("=?utf-8?Q?a=FFb?=", &problems), "a\xEF\xBF\xBD" + std::string("b"));
  // A charset outside the registry reads as plain 8-bit text.
  EXPECT_EQ(DecodeHeaderLine("=?x-unknown?Q?caf=E9_caf=C3=A9?=", &problems), "café café");
  ASSERT_EQ(problems.Notes.size(), 3u);
  EXPECT_NE(problems.Notes[0].find("Invalid input"), std::string::npos);
  EXPECT_EQ(problems.Notes[2], "Unknown charset x-unknown");
}

TEST(HeaderText, plain_bytes_read_as_utf8_or_latin1) {
  EXPECT_EQ(SystemTextToUtf8("caf\xC3\xA9"), "café");
  EXPECT_EQ(SystemTextToUtf8("caf\xE9"), "café");
  // Overlong forms, surrogates and cut sequences are no UTF-8.
  EXPECT_EQ(SystemTextToUtf8("\xC0\xAF|\xED\xA0\x80|\xE2\x82"), "À¯|í\xC2\xA0\xC2\x80|â\xC2\x82");
  EXPECT_EQ(SystemTextToWide("\xF0\x9F\x98\x80\xE9"), u"\U0001F600\u00e9");
  EXPECT_EQ(HeaderOf("M\xFCller =?utf-8?Q?M=C3=BCller?= M\xC3\xBCller"), "Müller Müller Müller");
}

TEST(HeaderWords, rfc2047_vectors) {
  std::string path = corpus::Corpus() + "/vectors/rfc2047-encoded-words.json";
  TESSEL_REQUIRE_CORPUS(path);
  // Where the engine's rules give another text than the RFC (or CPython),
  // by input index: the text it gives, and why.
  const char* kBlanks = "white space between encoded words is kept";
  const std::map<int, std::pair<const char*, const char*>> kOwn = {
      {3,
       {"If you can read this yo u understand the example.",
        "words are decoded per physical line; unfolding joins the lines with one space"}},
      {11, {"(a b)", kBlanks}},
      {12, {"(a  b)", kBlanks}},
      {13, {"(a b)", "unfolding turns the line break into one space, which is kept"}},
      {15, {"(a  b)", kBlanks}},
      {22, {"как \xC3\x93\xC3\x8F\xC3\x97\xC3\x8D", "koi8-r is not a registered charset: plain 8-bit text"}},
      {24, {"\xC2\x80 and \xC2\x93quotes\xC2\x94", "windows-1252 is not a registered charset: plain 8-bit text"}},
      {27,
       {"$BF|K\\8l\x1B(B",
        "iso-2022-jp is not a registered charset: plain 8-bit text (the leading ESC is trimmed as a blank)"}}};
  corpus::TJson vectors = corpus::ParseJson(ReadFileBytes(path));
  ASSERT_EQ(vectors.Items.size(), 29u);
  for (size_t i = 0; i < vectors.Items.size(); ++i) {
    const corpus::TJson& v = vectors.Items[i];
    auto own = kOwn.find(static_cast<int>(i));
    std::string want = own == kOwn.end() ? v.Str("expected") : own->second.first;
    EXPECT_EQ(HeaderOf(v.Str("input")), want) << "vector " << i << ": " << v.Str("input");
    EXPECT_TRUE(own == kOwn.end() || want != v.Str("expected")) << "vector " << i << " now agrees";
  }
}

// Bad bytes read leniently: one U+FFFD per bad stretch, and reading goes on
// exactly after it, nothing after it lost.
TEST(HeaderWords, lenient_utf7_and_utf8) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const std::pair<std::string, std::string> cases[] = {
      {"=?utf-7?Q?a+ZeVnLIqe-b?=", "a\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" + std::string("b")},
      {"=?utf-7?Q?a+-b?=", "a+b"},
      {"=?utf-7?Q?a+AGE.x?=", "aa.x"},
      {"=?utf-7?Q?a+!b?=", "a" + r + "!b"},
      {"=?utf-7?Q?a+AG.b?=", "a" + r + ".b"},
      {"=?utf-7?Q?a+AG-b?=", "a" + r + "b"},
      {"=?utf-7?Q?a+AG?=", "a" + r},
      {"=?utf-7?Q?a+?=", "a" + r},
      {"=?utf-7?Q?+!+!x?=", r + "!" + r + "!x"},
      {"=?utf-8?Q?a=E2=82b?=", "a" + r + "b"},
      {"=?utf-8?Q?a=FF=FEb?=", "a" + r + r + "b"},
      {"=?utf-8?Q?a=ED=A0=80b?=", "a" + r + "b"},  // a surrogate form
      {"=?utf-8?Q?a=F0=9F=98?=", "a" + r}};
  for (const auto& [in, want] : cases) EXPECT_EQ(DecodeHeaderLine(in), want) << in;
}
