// Base64 and quoted-printable, against vector files and Python's codecs.
#include <gtest/gtest.h>

#include <tuple>

#include "TestSupport.h"
#include "util/encodings/Base64.h"
#include "util/system/Exception.h"
#include "util/encodings/QuotedPrintable.h"

using namespace tessel;
using namespace tessel::test;

namespace {

std::string EncodeBuffer(const std::string& s) {
  TStringStream out;
  Base64EncodeBuffer(s.data(), static_cast<int32_t>(s.size()), out);
  return out.DataString();
}

std::string QP(const std::string& s, int32_t count = -1) {
  TStringStream out;
  QPDecodeBuffer(s.data(), count < 0 ? static_cast<int32_t>(s.size()) : count, out);
  return out.DataString();
}

}  // namespace

TEST(Base64, decode_vectors) {
  auto vectors = LoadVectors("base64_decode.vec");
  ASSERT_GT(vectors.size(), 15u);
  for (const auto& v : vectors) {
    TStringStream out;
    std::string error = ErrorOf([&] { Base64DecodeBuffer(v.Input.data(), static_cast<int32_t>(v.Input.size()), out); });
    EXPECT_EQ(out.DataString(), v.Output) << "line " << v.Line;
    EXPECT_EQ(error, v.Error.empty() ? "" : "Exception:" + v.Error) << "line " << v.Line;
    // Appending to text already there: the same bytes, the fault as false.
    std::string appended = "pre";
    EXPECT_EQ(Base64DecodeAppend(v.Input, appended), v.Error.empty()) << "line " << v.Line;
    EXPECT_EQ(appended, "pre" + v.Output) << "line " << v.Line;
  }
}

TEST(Base64, decode_at_position_in_few_writes_and_full_output_raises) {
  TStringStream at(std::string("0123456789"));
  at.Seek(2, soBeginning);
  Base64DecodeString("YWJj", at);
  EXPECT_EQ(at.DataString(), "01abc56789");
  std::string data = Random(300000);
  TProbeStream out;
  Base64DecodeString(EncodeBuffer(data), out);
  EXPECT_EQ(out.DataString(), data);
  EXPECT_LT(out.Writes, 100);
  char room[2];
  TPointerStream small(room, 2);
  EXPECT_THROW(Base64DecodeString("QUJD", small), Exception);  // not silently cut
}

// The stream form is the buffer's text, read from the position, without the
// closing line end, however the stream hands out its bytes.
TEST(Base64, stream_encoding_matches_buffer_encoding) {
  EXPECT_EQ(EncodeBuffer(""), "\r\n");
  for (size_t n : {0, 1, 2, 55, 56, 57, 58, 114, 1000}) {
    std::string d = Random(n);
    TProbeStream in("." + d), trickle(d);
    in.Seek(1, soBeginning);
    trickle.Trickle = true;
    EXPECT_EQ(Base64EncodeStream(in) + "\r\n", EncodeBuffer(d)) << n;
    EXPECT_EQ(Base64EncodeStream(trickle) + "\r\n", EncodeBuffer(d)) << n;
  }
  TProbeStream flood(std::string(10, 'x'));
  flood.OverRead = true;
  EXPECT_EQ(ErrorOf([&] { Base64EncodeStream(flood); }), "Exception:Internal error in base64");
}

TEST(Base64, compare_ignores_layout_only) {
  // Pads count, and so does letter case.
  for (auto [a, b, result] : {std::tuple{"QUJD\r\nREVG", " QUJD RE VG\r\n", 0},
                              {"", "\r\n", 0},
                              {"QUJD", "QUJDRA==", -1},
                              {"QUJDRA==", "QUJD", -2},
                              {"QU\r\nJD", "QUxD", 3},
                              {"QQ==", "QQ", -2},
                              {"a", "A", 1}})
    EXPECT_EQ(Base64Compare(a, b), result) << a << " / " << b;
}

// Python's encoder writes the same lines (ending them in LF, with no extra
// line end). Its texts, with junk sprinkled in and some cut short, decode
// alike on both sides; Python rejects a cut that leaves a partial quad
// ("Incorrect padding") where we drop the quad, so those are not compared.
TEST(Base64, agrees_with_python) {
  std::mt19937 rng(2024);
  std::vector<std::string> data, texts;
  for (int i = 0; i < 300; ++i) data.push_back(Random(rng() % 700));
  auto encoded = PythonMap("def f(d): return base64.encodebytes(d)", data);
  if (!encoded) GTEST_SKIP() << "python3 not available";
  const std::string junk(" \t\r\n*-.\x80\xff\0", 10);
  for (size_t i = 0; i < data.size(); ++i) {
    std::string ours = EncodeBuffer(data[i]), theirs = (*encoded)[i].value(), t;
    std::erase(ours, '\r');
    EXPECT_EQ(ours, (data[i].size() + 2) / 3 % 19 ? theirs : theirs + "\n") << i;  // after 19 groups: empty line
    for (char c : theirs) t += (rng() % 8 ? "" : std::string(1, junk[rng() % junk.size()])) + c;
    texts.push_back(i % 3 ? t : t.substr(0, rng() % (t.size() + 1)));
  }
  auto decoded = PythonMap("def f(d): return base64.b64decode(d, validate=False)", texts);
  ASSERT_TRUE(decoded);
  int compared = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    TStringStream out;
    Base64DecodeString(texts[i], out);
    EXPECT_TRUE(i % 3 == 0 || out.DataString() == data[i]) << i;
    EXPECT_TRUE(!(*decoded)[i] || (++compared, out.DataString() == *(*decoded)[i])) << i;
  }
  EXPECT_GT(compared, 200);
}

TEST(QuotedPrintable, decode_vectors) {
  auto vectors = LoadVectors("qp_decode.vec");
  ASSERT_GT(vectors.size(), 15u);
  for (const auto& v : vectors) EXPECT_EQ(QP(v.Input), v.Output) << "line " << v.Line;
  EXPECT_EQ(QP("ab=41cd", 4), "ab");  // only count bytes are read
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
  TProbeStream out;
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
      t += pick == 0   ? std::string("=") + hex[rng() % 22] + hex[rng() % 22]
           : pick == 1 ? "=\r\n"
           : pick == 2 ? "\r\n"
                       : std::string(1, c == '=' ? 'x' : c);
      d += c == '\r' || c == '\n' ? ' ' : c;
    }
    texts.push_back(t);
    data.push_back(d);
  }
  auto decoded = PythonMap("def f(d): return binascii.a2b_qp(d)", texts);
  if (!decoded) GTEST_SKIP() << "python3 not available";
  auto encoded = PythonMap("def f(d): return quopri.encodestring(d)", data);
  ASSERT_TRUE(encoded);
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(QP(texts[i]), (*decoded)[i].value()) << ToHex(texts[i]);
    std::string mail;
    for (char c : (*encoded)[i].value()) mail += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(QP(mail), data[i]) << i;
  }
}
