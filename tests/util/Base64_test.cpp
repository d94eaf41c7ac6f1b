#include "util/Base64.h"

#include <gtest/gtest.h>

#include <random>

#include "CodecTestSupport.h"
#include "util/Exception.h"
#include "util/MemoryStream.h"

using namespace tessel;

namespace {

std::string EncodeBuffer(const std::string& s) {
  TStringStream out;
  Base64EncodeBuffer(s.data(), static_cast<int32_t>(s.size()), out);
  return out.DataString();
}

std::string Random(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Counts writes; can hand out one byte per read, or claim more than asked for.
class TProbeStream : public TStringStream {
public:
  using TStringStream::TStringStream;
  int32_t Write(const void* b, int32_t n) override { return ++Writes, TStringStream::Write(b, n); }
  int32_t Read(void* b, int32_t n) override {
    int32_t got = TStringStream::Read(b, Trickle && n > 1 ? 1 : n);
    return OverRead && got > 0 ? n + 1 : got;
  }
  int Writes = 0;
  bool Trickle = false, OverRead = false;
};

}  // namespace

TEST(Base64, decode_vectors) {
  auto vectors = test::LoadVectors("base64_decode.vec");
  ASSERT_GT(vectors.size(), 15u);
  for (const auto& v : vectors) {
    TStringStream out;
    std::string error;
    try {
      Base64DecodeBuffer(v.Input.data(), static_cast<int32_t>(v.Input.size()), out);
    } catch (const Exception& e) {
      error = e.what();
    }
    EXPECT_EQ(out.DataString(), v.Output) << "line " << v.Line;
    EXPECT_EQ(error, v.Error) << "line " << v.Line;
  }
}

TEST(Base64, decode_at_position_in_few_writes_and_full_output_raises) {
  TStringStream at(std::string("0123456789"));
  at.Seek(2, soBeginning);
  Base64DecodeString("YWJj", at);
  EXPECT_EQ(at.DataString(), "01abc56789");
  std::mt19937 rng(5);
  std::string data = Random(rng, 300000);
  TProbeStream out;
  Base64DecodeString(EncodeBuffer(data), out);
  EXPECT_EQ(out.DataString(), data);
  EXPECT_LT(out.Writes, 100);
  char room[2];
  TPointerStream small(room, 2);
  EXPECT_THROW(Base64DecodeString("QUJD", small), Exception);  // not silently cut
}

TEST(Base64, encode_line_layout) {
  EXPECT_EQ(EncodeBuffer("abc"), "YWJj\r\n");
  EXPECT_EQ(EncodeBuffer(""), "\r\n");
  EXPECT_EQ(EncodeBuffer(std::string(57, 'x')).substr(74), "h4\r\n\r\n");
  EXPECT_EQ(EncodeBuffer(std::string(58, 'x')).substr(74), "h4\r\neA==\r\n");
  // The stream form is the same text, read from the position, without the
  // closing line end, however the stream hands out its bytes.
  std::mt19937 rng(3);
  for (size_t n : {0, 1, 2, 55, 56, 57, 58, 114, 1000}) {
    std::string d = Random(rng, n);
    TProbeStream in("." + d), trickle(d);
    in.Seek(1, soBeginning);
    trickle.Trickle = true;
    EXPECT_EQ(Base64EncodeStream(in) + "\r\n", EncodeBuffer(d)) << n;
    EXPECT_EQ(Base64EncodeStream(trickle) + "\r\n", EncodeBuffer(d)) << n;
  }
  TProbeStream flood(std::string(10, 'x'));
  flood.OverRead = true;
  try {
    Base64EncodeStream(flood);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Internal error in base64");
  }
}

TEST(Base64, compare_ignores_layout_only) {
  EXPECT_EQ(Base64Compare("QUJD\r\nREVG", " QUJD RE VG\r\n"), 0);
  EXPECT_EQ(Base64Compare("", "\r\n"), 0);
  EXPECT_EQ(Base64Compare("QUJD", "QUJDRA=="), -1);
  EXPECT_EQ(Base64Compare("QUJDRA==", "QUJD"), -2);
  EXPECT_EQ(Base64Compare("QU\r\nJD", "QUxD"), 3);
  EXPECT_EQ(Base64Compare("QQ==", "QQ"), -2);  // pads count
  EXPECT_EQ(Base64Compare("a", "A"), 1);       // and so does letter case
}

// Python's encoder writes the same lines (ending them in LF, with no extra
// line end). Its texts, with junk sprinkled in and some cut short, decode
// alike on both sides; Python rejects a cut that leaves a partial quad
// ("Incorrect padding") where we drop the quad, so those are not compared.
TEST(Base64, agrees_with_python) {
  std::mt19937 rng(2024);
  std::vector<std::string> data, texts;
  for (int i = 0; i < 300; ++i) data.push_back(Random(rng, rng() % 700));
  auto encoded = test::PythonMap("def f(d): return base64.encodebytes(d)", data);
  if (!encoded) GTEST_SKIP() << "python3 not available";
  const std::string junk(" \t\r\n*-.\x80\xff\0", 10);
  for (size_t i = 0; i < data.size(); ++i) {
    std::string ours = EncodeBuffer(data[i]), theirs = (*encoded)[i].value(), t;
    std::erase(ours, '\r');
    EXPECT_EQ(ours, (data[i].size() + 2) / 3 % 19 ? theirs : theirs + "\n") << i;  // after 19 groups: empty line
    for (char c : theirs) t += (rng() % 8 ? "" : std::string(1, junk[rng() % junk.size()])) + c;
    texts.push_back(i % 3 ? t : t.substr(0, rng() % (t.size() + 1)));
  }
  auto decoded = test::PythonMap("def f(d): return base64.b64decode(d, validate=False)", texts);
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
