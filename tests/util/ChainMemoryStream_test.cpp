#include "util/ChainMemoryStream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace tessel;

namespace {

constexpr int32_t B = TChainMemoryStream::BlockSize;

std::string Pattern(int32_t n, uint32_t seed = 1) {
  std::mt19937 rng(seed);
  std::string s(static_cast<size_t>(n), '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Position and block bookkeeping must agree after every operation.
void ExpectConsistent(TChainMemoryStream& s) {
  int32_t pos = s.GetPosition();
  EXPECT_EQ(s.BlockIndex(), pos / B);
  EXPECT_EQ(s.BlockOffset(), pos % B);
  EXPECT_LT(s.BlockIndex(), s.BlockCount());
  EXPECT_LE(pos, s.GetSize());
}

}  // namespace

TEST(ChainMemoryStream, new_stream_is_empty_with_one_block) {
  TChainMemoryStream s;
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.BlockCount(), 1);
  char c;
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.ToString(), "");
}

TEST(ChainMemoryStream, full_block_appends_the_next_at_once) {
  TChainMemoryStream s;
  std::string data = Pattern(B);
  EXPECT_EQ(s.Write(data.data(), B), B);
  EXPECT_EQ(s.BlockCount(), 2);
  EXPECT_EQ(s.GetPosition(), B);
  EXPECT_EQ(s.BlockIndex(), 1);
  EXPECT_EQ(s.BlockOffset(), 0);
  ExpectConsistent(s);
  // Seeking to the end of an exactly full block lands in the appended one.
  s.Seek(0, soBeginning);
  s.Seek(0, soEnd);
  ExpectConsistent(s);
}

TEST(ChainMemoryStream, two_and_a_half_blocks_read_back_in_odd_pieces) {
  TChainMemoryStream s;
  std::string data = Pattern(B * 5 / 2, 7);
  s.Write(data.data(), static_cast<int32_t>(data.size()));
  EXPECT_EQ(s.BlockCount(), 3);
  EXPECT_EQ(s.GetSize(), static_cast<int32_t>(data.size()));
  for (int32_t piece : {1, 3, 4096, 99999, 100001, 250000, 300000}) {
    s.Seek(0, soBeginning);
    std::string back;
    std::vector<char> buf(static_cast<size_t>(piece));
    int32_t n;
    while ((n = s.Read(buf.data(), piece)) > 0) {
      back.append(buf.data(), static_cast<size_t>(n));
      ExpectConsistent(s);
    }
    EXPECT_EQ(back, data) << "piece " << piece;
  }
  EXPECT_EQ(s.ToString(), data);
}

TEST(ChainMemoryStream, many_small_writes_cross_block_borders) {
  TChainMemoryStream s;
  std::string data = Pattern(B * 2 + 17, 3);
  for (size_t i = 0; i < data.size(); i += 7) {
    int32_t n = static_cast<int32_t>(std::min<size_t>(7, data.size() - i));
    ASSERT_EQ(s.Write(data.data() + i, n), n);
  }
  EXPECT_EQ(s.ToString(), data);
  ExpectConsistent(s);
}

TEST(ChainMemoryStream, seek_clamps_and_recomputes_block) {
  TChainMemoryStream s;
  std::string data = Pattern(B + 50);
  s.Write(data.data(), static_cast<int32_t>(data.size()));
  EXPECT_EQ(s.Seek(-5, soBeginning), 0);
  EXPECT_EQ(s.Seek(10, soEnd), B + 50);
  EXPECT_EQ(s.Seek(-60, soCurrent), B - 10);
  EXPECT_EQ(s.BlockIndex(), 0);
  EXPECT_EQ(s.BlockOffset(), B - 10);
  EXPECT_EQ(s.Seek(20, soCurrent), B + 10);
  EXPECT_EQ(s.BlockIndex(), 1);
  EXPECT_EQ(s.BlockOffset(), 10);
  EXPECT_EQ(s.Seek(123, 7), B + 10);  // unknown origin leaves the position
  EXPECT_EQ(s.Seek(INT32_MAX, soCurrent), B + 50);
  EXPECT_EQ(s.Seek(INT32_MIN, soEnd), 0);
  char buf[20];
  s.Seek(B - 10, soBeginning);
  ASSERT_EQ(s.Read(buf, 20), 20);
  EXPECT_EQ(std::string(buf, 20), data.substr(B - 10, 20));
}

TEST(ChainMemoryStream, write_in_the_middle_makes_a_new_end) {
  TChainMemoryStream s;
  s.Write("0123456789", 10);
  s.Seek(2, soBeginning);
  s.Write("abc", 3);
  EXPECT_EQ(s.GetSize(), 5);
  EXPECT_EQ(s.ToString(), "01abc");
  char buf[10];
  EXPECT_EQ(s.Read(buf, 10), 0);
  // An empty write changes nothing, in particular it does not cut the data.
  s.Seek(1, soBeginning);
  EXPECT_EQ(s.Write("x", 0), 0);
  EXPECT_EQ(s.GetSize(), 5);
  EXPECT_EQ(s.Write("x", -3), 0);
  EXPECT_EQ(s.ToString(), "01abc");
}

TEST(ChainMemoryStream, clear_and_set_size) {
  TChainMemoryStream s;
  std::string data = Pattern(B * 2);
  s.Write(data.data(), B * 2);
  s.SetSize(10);  // no effect
  EXPECT_EQ(s.GetSize(), B * 2);
  s.Clear();
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.GetPosition(), 0);
  EXPECT_EQ(s.BlockCount(), 1);
  s.Write("hi", 2);
  EXPECT_EQ(s.ToString(), "hi");
}

TEST(ChainMemoryStream, copy_from_other_stream_and_read_buffer_errors) {
  TChainMemoryStream a, b;
  std::string data = Pattern(B + 3);
  a.Write(data.data(), static_cast<int32_t>(data.size()));
  EXPECT_EQ(b.CopyFrom(a, 0), B + 3);
  EXPECT_EQ(b.ToString(), data);
  b.Seek(-2, soEnd);
  char buf[3];
  EXPECT_THROW(b.ReadBuffer(buf, 3), std::exception);
}
