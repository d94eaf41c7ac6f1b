#include "util/QuotedPrintable.h"

#include <gtest/gtest.h>

#include <random>

#include "CodecTestSupport.h"
#include "util/MemoryStream.h"

using namespace tessel;

namespace {

class TCountingStream : public TStringStream {
public:
  int32_t Write(const void* b, int32_t n) override { return ++Writes, TStringStream::Write(b, n); }
  int Writes = 0;
};

std::string QP(const std::string& s, int32_t count = -1) {
  TStringStream out;
  QPDecodeBuffer(s.data(), count < 0 ? static_cast<int32_t>(s.size()) : count, out);
  return out.DataString();
}

}  // namespace

TEST(QuotedPrintable, decode_vectors) {
  auto vectors = test::LoadVectors("qp_decode.vec");
  ASSERT_GT(vectors.size(), 15u);
  for (const auto& v : vectors) EXPECT_EQ(QP(v.Input), v.Output) << "line " << v.Line;
  EXPECT_EQ(QP("ab=41cd", 4), "ab");  // only count bytes are read
  EXPECT_TRUE(HexHigh[int('f')].Valid && HexHigh[int('f')].Value == 0xF0 && !HexLow[int('g')].Valid);
}

// Literal bytes are scanned in groups; escapes and NULs must be found at
// every offset within a group and across the decoder's pieces.
TEST(QuotedPrintable, specials_at_every_offset_and_few_writes) {
  for (size_t k : {0, 1, 2, 3, 5, 6, 7, 8, 9, 15, 16, 17, 8190, 8191, 8192, 8193}) {
    std::string lead(k, 'a');
    EXPECT_EQ(QP(lead + "=C3=A4" + lead), lead + "\xc3\xa4" + lead) << k;
    EXPECT_EQ(QP(lead + std::string("\0=41", 4) + lead), lead) << k;
    EXPECT_EQ(QP(lead + "=\r\n" + lead + "=4"), lead + lead) << k;
  }
  EXPECT_EQ(QP("\x01<>\x80\xbd=3d\x3c"), "\x01<>\x80\xbd=\x3c");  // one bit away from '=' or NUL
  std::string text, expect;
  for (int i = 0; i < 20000; ++i) text += "K=C3=B6ln =\r\nline\r\n", expect += "K\xc3\xb6ln line\r\n";
  TCountingStream out;
  QPDecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
  EXPECT_EQ(out.DataString(), expect);
  EXPECT_LT(out.Writes, 100);
}

// Python's decoder reads malformed input differently: it keeps an "=" with
// bad or missing hex digits literally (we swallow it with the two bytes after
// it), takes "=" LF as a soft break (we take LF and the next byte as the
// escape), and does not stop at a NUL. The random texts are therefore made
// of what both read alike: bytes other than "=" and NUL, escapes in either
// letter case, "=" CR LF and CR LF. Data encoded by Python must also come back
// unchanged; it has no line breaks of its own, so every break in the encoding
// is a soft one, which Python writes "=" LF and mail carries as "=" CR LF.
TEST(QuotedPrintable, agrees_with_python) {
  std::mt19937 rng(77);
  const char* hex = "0123456789abcdefABCDEF";
  std::vector<std::string> texts, data;
  for (int i = 0; i < 400; ++i) {
    std::string t, d;
    for (int k = static_cast<int>(rng() % 400); k > 0; --k) {
      int pick = static_cast<int>(rng() % 10);
      char c = static_cast<char>(1 + rng() % 255);
      t += pick == 0 ? std::string("=") + hex[rng() % 22] + hex[rng() % 22]
           : pick == 1 ? "=\r\n" : pick == 2 ? "\r\n" : std::string(1, c == '=' ? 'x' : c);
      d += c == '\r' || c == '\n' ? ' ' : c;
    }
    texts.push_back(t);
    data.push_back(d);
  }
  auto decoded = test::PythonMap("def f(d): return binascii.a2b_qp(d)", texts);
  if (!decoded) GTEST_SKIP() << "python3 not available";
  auto encoded = test::PythonMap("def f(d): return quopri.encodestring(d)", data);
  ASSERT_TRUE(encoded);
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(QP(texts[i]), (*decoded)[i].value()) << test::ToHex(texts[i]);
    std::string mail;
    for (char c : (*encoded)[i].value()) mail += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(QP(mail), data[i]) << i;
  }
}
