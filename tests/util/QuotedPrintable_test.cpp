#include "util/QuotedPrintable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "PythonOracle.h"
#include "util/MemoryStream.h"

using namespace tessel;

namespace {

std::string QP(const std::string& s) {
  TStringStream out;
  QPDecodeBuffer(s.data(), static_cast<int32_t>(s.size()), out);
  return out.DataString();
}

class TCountingStream : public TStringStream {
public:
  int32_t Write(const void* buffer, int32_t count) override {
    ++Writes;
    return TStringStream::Write(buffer, count);
  }
  int Writes = 0;
};

}  // namespace

TEST(QuotedPrintable, escapes_in_both_letter_cases) {
  EXPECT_EQ(QP("a=3Db"), "a=b");
  EXPECT_EQ(QP("a=3db"), "a=b");
  EXPECT_EQ(QP("=E4=C4=e4=fF"), "\xe4\xc4\xe4\xff");
  EXPECT_EQ(QP("=00x"), std::string("\0x", 2));  // an escaped NUL is data
}

TEST(QuotedPrintable, soft_breaks_and_line_ends) {
  EXPECT_EQ(QP("soft=\r\nbreak"), "softbreak");
  EXPECT_EQ(QP("line  \r\nnext\r\n"), "line  \r\nnext\r\n");  // trailing blanks kept
  EXPECT_EQ(QP("lone\nlf\rcr"), "lone\nlf\rcr");
  // "=" LF takes the LF and the next byte as its two escape bytes.
  EXPECT_EQ(QP("a=\nxc"), "ac");
  EXPECT_EQ(QP("a=\nbc"), "a\x0b" "c");
}

TEST(QuotedPrintable, malformed_escapes_swallow_three_bytes) {
  EXPECT_EQ(QP("=G1"), "\x01");  // the first digit is not checked
  EXPECT_EQ(QP("=4G"), "");
  EXPECT_EQ(QP("x=4Gy"), "xy");
  EXPECT_EQ(QP("100=%"), "100");
  EXPECT_EQ(QP("a==41b"), "a\x04" "1b");  // "==4" is one unit, then "1b"
}

TEST(QuotedPrintable, unfinished_escape_at_end_writes_nothing) {
  EXPECT_EQ(QP("x=4"), "x");
  EXPECT_EQ(QP("x="), "x");
  // Only count bytes are read, even when more follow in memory.
  std::string s = "ab=41cd";
  TStringStream out;
  QPDecodeBuffer(s.data(), 4, out);
  EXPECT_EQ(out.DataString(), "ab");
}

TEST(QuotedPrintable, nul_ends_decoding_only_outside_escapes) {
  EXPECT_EQ(QP(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(QP(std::string("=\0" "41", 4)), "\x04" "1");
  EXPECT_EQ(QP(std::string("=4\0x", 4)), "x");
  EXPECT_EQ(QP(""), "");
}

// The decoder scans literal bytes in groups; escapes and NULs must be found
// at every offset within a group and across piece borders.
TEST(QuotedPrintable, specials_at_every_offset) {
  for (size_t k = 0; k < 40; ++k) {
    std::string lead(k, 'a');
    EXPECT_EQ(QP(lead + "=41" + lead), lead + "A" + lead) << k;
    EXPECT_EQ(QP(lead + std::string("\0=41", 4) + lead), lead) << k;
    EXPECT_EQ(QP(lead + "=\r\n" + lead + "=4"), lead + lead) << k;
  }
  for (size_t k = 8180; k < 8200; ++k) {
    std::string lead(k, 'x');
    EXPECT_EQ(QP(lead + "=C3=A4" + lead), lead + "\xc3\xa4" + lead) << k;
    EXPECT_EQ(QP(lead + std::string("\0tail", 5)), lead) << k;
  }
  // '=' and NUL next to bytes that differ from them in a single bit.
  EXPECT_EQ(QP(std::string("\x01<>\x80\xbd=3d\x3c", 10)), std::string("\x01<>\x80\xbd=\x3c", 7));
}

TEST(QuotedPrintable, hex_tables) {
  for (int c = 0; c < 256; ++c) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    EXPECT_EQ(HexHigh[c].Valid, hex) << c;
    EXPECT_EQ(HexLow[c].Valid, hex) << c;
    if (!hex) {
      EXPECT_EQ(HexHigh[c].Value, 0);
      EXPECT_EQ(HexLow[c].Value, 0);
    }
  }
  EXPECT_EQ(HexHigh[int('f')].Value, 0xF0);
  EXPECT_EQ(HexHigh[int('A')].Value, 0xA0);
  EXPECT_EQ(HexLow[int('9')].Value, 9);
  EXPECT_EQ(HexLow[int('b')].Value, 11);
}

TEST(QuotedPrintable, long_text_decodes_with_few_writes) {
  std::string text, expect;
  for (int i = 0; i < 20000; ++i) {
    text += "Gr=C3=BC=C3=9Fe aus K=C3=B6ln, line " + std::to_string(i) + " =\r\ncontinued\r\n";
    expect += "Gr\xc3\xbc\xc3\x9f" "e aus K\xc3\xb6ln, line " + std::to_string(i) + " continued\r\n";
  }
  TCountingStream out;
  QPDecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
  EXPECT_EQ(out.DataString(), expect);
  EXPECT_LT(out.Writes, 200);
}

// Python's decoder differs from ours on malformed input: it keeps an "="
// with bad or missing hex digits literally (we swallow it with the two
// bytes after it), treats "=" LF as a soft break (we take LF and the next
// byte as the escape), and does not stop at a NUL. The random texts are
// therefore built from what both read alike: literal bytes other than "="
// and NUL, well-formed escapes in either letter case, and "=" CR LF.
TEST(QuotedPrintable, agrees_with_python_on_well_formed_text) {
  std::mt19937 rng(77);
  const char* hex = "0123456789abcdefABCDEF";
  std::vector<std::string> texts;
  for (int i = 0; i < 400; ++i) {
    std::string t;
    int n = static_cast<int>(rng() % 400);
    for (int k = 0; k < n; ++k) {
      switch (rng() % 10) {
        case 0: t += std::string("=") + hex[rng() % 22] + hex[rng() % 22]; break;
        case 1: t += "=\r\n"; break;
        case 2: t += "\r\n"; break;
        case 3: t += rng() % 2 ? " " : "\t"; break;
        default: {
          char c = static_cast<char>(1 + rng() % 255);
          t += c == '=' ? 'x' : c;
        }
      }
    }
    texts.push_back(t);
  }
  auto decoded = test::PythonMap("def f(d): return binascii.a2b_qp(d)", texts);
  if (!decoded) GTEST_SKIP() << "python3 not available";
  for (size_t i = 0; i < texts.size(); ++i) {
    ASSERT_TRUE((*decoded)[i]);
    EXPECT_EQ(QP(texts[i]), *(*decoded)[i]) << test::ToHex(texts[i]);
  }
}

// Data encoded by Python's encoder comes back unchanged. The data has no CR
// or LF, so every line break in the encoding is a soft one; Python writes
// those as "=" LF, which mail carries as "=" CR LF.
TEST(QuotedPrintable, decodes_python_encoded_data) {
  std::mt19937 rng(78);
  std::vector<std::string> data;
  for (int i = 0; i < 200; ++i) {
    std::string d;
    int n = static_cast<int>(rng() % 600);
    for (int k = 0; k < n; ++k) {
      char c = static_cast<char>(rng() % 3 ? 32 + rng() % 95 : rng());
      d += c == '\r' || c == '\n' ? ' ' : c;
    }
    data.push_back(d);
  }
  auto encoded = test::PythonMap("def f(d): return quopri.encodestring(d, quotetabs=False)", data);
  if (!encoded) GTEST_SKIP() << "python3 not available";
  for (size_t i = 0; i < data.size(); ++i) {
    ASSERT_TRUE((*encoded)[i]);
    std::string mail;
    for (char c : *(*encoded)[i]) mail += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(QP(mail), data[i]) << i;
  }
}
