// The one-line escaping rule for text from messages.
#include <gtest/gtest.h>

#include "util/text/LineEscape.h"

using namespace tessel;

TEST(LineEscape, controls_backslash_and_bad_utf8_become_escapes) {
  const struct {
    std::string in;
    unsigned extra;
    std::string out;
  } rows[] = {{"plain text", 0, "plain text"},
              {"a\r\nChainTrusted: yes", 0, "a\\x0D\\x0AChainTrusted: yes"},
              {"\x1B[2J\x7F\t", 0, "\\x1B[2J\\x7F\\x09"},
              {std::string("nul\0end", 7), 0, "nul\\x00end"},
              {"back\\slash \\x41", 0, "back\\\\slash \\\\x41"},
              // C1 as UTF-8 (U+0085, U+009B), the first character above it, and
              // other well-formed UTF-8 of every length.
              {"\xC2\x85|\xC2\x9B|\xC2\xA0|\xC3\xA9|\xE2\x82\xAC|\xF0\x9F\x98\x80", 0,
               "\\xC2\\x85|\\xC2\\x9B|\xC2\xA0|\xC3\xA9|\xE2\x82\xAC|\xF0\x9F\x98\x80"},
              // Bytes that are not UTF-8: lone C1 bytes, a cut sequence, overlong
              // forms, a surrogate, beyond U+10FFFF; the byte after a bad lead is
              // judged afresh.
              {"\x85\x9B", 0, "\\x85\\x9B"},
              {"\xE2\x82", 0, "\\xE2\\x82"},
              {"\xC0\xAF\xE0\x80\xAF", 0, "\\xC0\\xAF\\xE0\\x80\\xAF"},
              {"\xED\xA0\x80", 0, "\\xED\\xA0\\x80"},
              {"\xF4\x90\x80\x80", 0, "\\xF4\\x90\\x80\\x80"},
              {std::string("\xC3") + "A", 0, "\\xC3A"},
              // The extras of the structure listing.
              {"a b\"c", 0, "a b\"c"},
              {"a b\"c", EscapeSpace, "a\\x20b\"c"},
              {"a b\"c", EscapeQuote, "a b\\\"c"},
              {"", 0, ""}};
  for (const auto& row : rows) EXPECT_EQ(EscapeLine(row.in, row.extra), row.out) << testing::PrintToString(row.in);
}

TEST(LineEscape, output_is_always_one_line_of_utf8) {
  // Every byte value at every position of a short text.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; b += 7) {
      std::string in = {static_cast<char>(a), static_cast<char>(b), '\xBF'};
      std::string out = EscapeLine(in);
      for (unsigned char c : out) {
        ASSERT_TRUE(c >= 0x20 && c != 0x7F) << a << " " << b;
      }
      // Escaping leaves valid UTF-8 whole: escaping again only doubles backslashes.
      std::string again = EscapeLine(out);
      std::string doubled;
      for (char c : out) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
      ASSERT_EQ(again, doubled) << a << " " << b;
    }
  }
}

TEST(LineEscape, special_byte_at_every_place_of_a_long_run) {
  // Plain runs are skipped eight octets at a time: a byte that must be
  // escaped is found wherever it stands in such a word, and so is the first
  // octet of a UTF-8 character that is copied as it is.
  const std::pair<std::string, std::string> specials[] = {{std::string(1, '\0'), "\\x00"},
                                                          {"\x1F", "\\x1F"},
                                                          {"\x7F", "\\x7F"},
                                                          {"\x80", "\\x80"},
                                                          {"\\", "\\\\"},
                                                          {"\xFF", "\\xFF"},
                                                          {"\xC3\xA9", "\xC3\xA9"},
                                                          {"\xC2\x85", "\\xC2\\x85"}};
  const std::string plain = "0123456789ABCDEFGHIJKLMNOPQRSTUV ~";
  for (const auto& [special, escaped] : specials) {
    for (size_t at = 0; at <= plain.size(); ++at) {
      std::string in = plain.substr(0, at) + special + plain.substr(at);
      EXPECT_EQ(EscapeLine(in), plain.substr(0, at) + escaped + plain.substr(at)) << at << " " << escaped;
    }
  }
}
