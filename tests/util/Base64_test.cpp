#include "util/Base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "PythonOracle.h"
#include "util/ChainMemoryStream.h"
#include "util/Exception.h"
#include "util/MemoryStream.h"

using namespace tessel;

namespace {

std::string Decode(const std::string& s) {
  TStringStream out;
  Base64DecodeBuffer(s.data(), static_cast<int32_t>(s.size()), out);
  return out.DataString();
}

std::string EncodeBuffer(const std::string& s) {
  TStringStream out;
  Base64EncodeBuffer(s.data(), static_cast<int32_t>(s.size()), out);
  return out.DataString();
}

std::string EncodeStream(const std::string& s) {
  TStringStream in(s);
  return Base64EncodeStream(in);
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Counts the writes that reach it, to see that decoders batch their output.
class TCountingStream : public TStringStream {
public:
  int32_t Write(const void* buffer, int32_t count) override {
    ++Writes;
    return TStringStream::Write(buffer, count);
  }
  int Writes = 0;
};

// Hands out at most one byte per read, or more bytes than asked for.
class TOddReadStream : public TStringStream {
public:
  TOddReadStream(std::string s, bool overRead) : TStringStream(std::move(s)), OverRead_(overRead) {}
  int32_t Read(void* buffer, int32_t count) override {
    int32_t n = TStringStream::Read(buffer, count > 1 ? 1 : count);
    return OverRead_ && n > 0 ? count + 1 : n;
  }

private:
  bool OverRead_;
};

}  // namespace

TEST(Base64, decode_whole_and_padded_quads) {
  EXPECT_EQ(Decode("QUJD"), "ABC");
  EXPECT_EQ(Decode("QUI="), "AB");
  EXPECT_EQ(Decode("QQ=="), "A");
  EXPECT_EQ(Decode("  QU\r\nJD  "), "ABC");
  EXPECT_EQ(Decode(std::string("QU\0JD", 5)), "ABC");  // NUL is just a byte to skip
  EXPECT_EQ(Decode("////"), "\xff\xff\xff");
  EXPECT_EQ(Decode("+/+/"), "\xfb\xff\xbf");
  EXPECT_EQ(Decode(""), "");
}

TEST(Base64, decode_drops_partial_quad_at_end) {
  EXPECT_EQ(Decode("QQ"), "");
  EXPECT_EQ(Decode("Q"), "");
  EXPECT_EQ(Decode("QUJDRA"), "ABC");
  EXPECT_EQ(Decode("QUJDREVG\r\nRw"), "ABCDEF");
}

TEST(Base64, pad_in_first_or_second_place_is_invalid_input) {
  for (const char* bad : {"=QUJD", "Q=UJD", "QUJD=", "QUJDR=A"}) {
    try {
      Decode(bad);
      ADD_FAILURE() << bad;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Invalid input") << bad;
    }
  }
  // Quads before the fault are already in the output.
  TStringStream out;
  EXPECT_THROW(Base64DecodeString("QUJD\r\nREVG=x", out), Exception);
  EXPECT_EQ(out.DataString(), "ABCDEF");
}

TEST(Base64, pad_in_third_place_stops_decoding) {
  EXPECT_EQ(Decode("QQ==QUJD"), "A");
  EXPECT_EQ(Decode("QQ=QUJD"), "A");
  EXPECT_EQ(Decode("QUI=QUJD"), "AB");
  EXPECT_EQ(Decode("QUJDQQ==\r\n=====garbage"), "ABCA");
}

TEST(Base64, decode_string_matches_buffer) {
  TStringStream out;
  Base64DecodeString("YWJj\r\nZGVm", out);
  EXPECT_EQ(out.DataString(), "abcdef");
  // Writes go at the stream's position.
  TStringStream at(std::string("0123456789"));
  at.Seek(2, soBeginning);
  Base64DecodeString("YWJj", at);
  EXPECT_EQ(at.DataString(), "01abc56789");
}

TEST(Base64, decode_batches_output_writes) {
  std::mt19937 rng(5);
  std::string data = RandomBytes(rng, 300000);
  std::string text = EncodeBuffer(data);
  TCountingStream out;
  Base64DecodeBuffer(text.data(), static_cast<int32_t>(text.size()), out);
  EXPECT_EQ(out.DataString(), data);
  EXPECT_LT(out.Writes, 100);
}

TEST(Base64, decode_reports_a_full_output_stream) {
  char room[2];
  TPointerStream out(room, 2);
  EXPECT_THROW(Base64DecodeString("QUJD", out), Exception);
}

TEST(Base64, encode_buffer_line_layout) {
  EXPECT_EQ(EncodeBuffer("abc"), "YWJj\r\n");
  EXPECT_EQ(EncodeBuffer(""), "\r\n");
  EXPECT_EQ(EncodeBuffer("a"), "YQ==\r\n");
  EXPECT_EQ(EncodeBuffer("ab"), "YWI=\r\n");
  std::string e57 = EncodeBuffer(std::string(57, 'x'));
  ASSERT_EQ(e57.size(), 80u);
  EXPECT_EQ(e57.substr(76), "\r\n\r\n");
  std::string e58 = EncodeBuffer(std::string(58, 'x'));
  ASSERT_EQ(e58.size(), 76u + 2 + 4 + 2);
  EXPECT_EQ(e58.substr(76, 2), "\r\n");
  EXPECT_EQ(e58.substr(80), "==\r\n");
  // A final partial group completing 76 characters ends the line too.
  std::string e56 = EncodeBuffer(std::string(56, 'x'));
  ASSERT_EQ(e56.size(), 80u);
  EXPECT_EQ(e56.substr(75), "=\r\n\r\n");
}

TEST(Base64, encode_stream_line_layout_and_position) {
  EXPECT_EQ(EncodeStream(""), "");
  EXPECT_EQ(EncodeStream("abc"), "YWJj");
  std::string e57 = EncodeStream(std::string(57, 'x'));
  EXPECT_EQ(e57.size(), 78u);
  EXPECT_EQ(e57.substr(76), "\r\n");
  std::string e114 = EncodeStream(std::string(115, 'x'));
  EXPECT_EQ(e114.size(), 76u + 2 + 76 + 2 + 4);
  TStringStream in(std::string("..abc"));
  in.Seek(2, soBeginning);
  EXPECT_EQ(Base64EncodeStream(in), "YWJj");
}

TEST(Base64, encode_stream_copes_with_short_reads_and_rejects_over_reads) {
  std::mt19937 rng(9);
  std::string data = RandomBytes(rng, 200);
  TOddReadStream trickle(data, false);
  EXPECT_EQ(Base64EncodeStream(trickle), EncodeStream(data));
  TOddReadStream flood(data, true);
  try {
    Base64EncodeStream(flood);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Internal error in base64");
  }
}

TEST(Base64, round_trip_all_small_sizes) {
  std::mt19937 rng(1);
  for (size_t n = 0; n < 400; ++n) {
    std::string data = RandomBytes(rng, n);
    EXPECT_EQ(Decode(EncodeBuffer(data)), data) << n;
    EXPECT_EQ(Decode(EncodeStream(data)), data) << n;
  }
}

TEST(Base64, compare_ignores_layout_only) {
  EXPECT_EQ(Base64Compare("QUJD\r\nREVG", "QUJDREVG"), 0);
  EXPECT_EQ(Base64Compare(" Q U J D ", "QUJD\r\n"), 0);
  EXPECT_EQ(Base64Compare("", "\r\n"), 0);
  EXPECT_EQ(Base64Compare("QUJD", "QUJDRA=="), -1);
  EXPECT_EQ(Base64Compare("QUJDRA==", "QUJD"), -2);
  EXPECT_EQ(Base64Compare("QU\r\nJD", "QUxD"), 3);
  EXPECT_EQ(Base64Compare("QQ==", "QQ"), -2);  // pads are significant
  EXPECT_EQ(Base64Compare("a", "A"), 1);       // and so is letter case
}

TEST(Base64, encode_and_decode_agree_with_python) {
  std::mt19937 rng(2024);
  std::vector<std::string> data;
  for (int i = 0; i < 300; ++i) data.push_back(RandomBytes(rng, rng() % 700));
  auto encoded = test::PythonMap("def f(d): return base64.encodebytes(d)", data);
  if (!encoded) GTEST_SKIP() << "python3 not available";

  // Our encoding has the same lines as Python's; only the line ends differ.
  for (size_t i = 0; i < data.size(); ++i) {
    ASSERT_TRUE((*encoded)[i]);
    std::string ours = EncodeBuffer(data[i]), theirs = *(*encoded)[i], ourLines, theirLines;
    for (char c : ours) ourLines += c == '\r' ? "" : std::string(1, c);
    while (ourLines.size() > 1 && ourLines.back() == '\n' && ourLines[ourLines.size() - 2] == '\n') ourLines.pop_back();
    EXPECT_EQ(ourLines, data[i].empty() ? "\n" : theirs) << i;
  }

  // Python's texts with junk sprinkled in (and sometimes cut short), decoded
  // by both sides. Python rejects a cut that leaves a partial quad ("Incorrect
  // padding") where we drop it, so only the texts it accepts are compared.
  const std::string junk = " \t\r\n*-.\x80\xff\x00";
  std::vector<std::string> texts;
  for (size_t i = 0; i < data.size(); ++i) {
    std::string t;
    for (char c : *(*encoded)[i]) {
      if (rng() % 8 == 0) t += junk[rng() % junk.size()];
      t += c;
    }
    if (i % 3 == 0 && !t.empty()) t.resize(rng() % t.size());
    texts.push_back(t);
  }
  auto decoded = test::PythonMap("def f(d): return base64.b64decode(d, validate=False)", texts);
  ASSERT_TRUE(decoded);
  int compared = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (!(*decoded)[i]) continue;
    ++compared;
    EXPECT_EQ(Decode(texts[i]), *(*decoded)[i]) << i;
    if (i % 3 != 0) {
      EXPECT_EQ(Decode(texts[i]), data[i]) << i;
    }
  }
  EXPECT_GT(compared, 200);
}
