#include "util/ChainMemoryStream.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace tessel;

namespace {

constexpr int32_t B = TChainMemoryStream::BlockSize;

std::string Random(int32_t n) {
  std::mt19937 rng(static_cast<uint32_t>(n));
  std::string s(static_cast<size_t>(n), '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// The position, its block and offset, and the block's existence agree.
void ExpectAt(TChainMemoryStream& s, int32_t pos) {
  EXPECT_EQ(s.GetPosition(), pos);
  EXPECT_EQ(s.BlockIndex() * B + s.BlockOffset(), pos);
  EXPECT_LT(s.BlockOffset(), B);
  EXPECT_LT(s.BlockIndex(), s.BlockCount());
}

}  // namespace

TEST(ChainMemoryStream, blocks_grow_with_writes_and_read_back_in_any_pieces) {
  TChainMemoryStream s;
  char c;
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.BlockCount(), 1);
  EXPECT_EQ(s.Read(&c, 1), 0);
  std::string full = Random(B), data = Random(B * 5 / 2 + 17);
  EXPECT_EQ(s.Write(full.data(), B), B);
  EXPECT_EQ(s.BlockCount(), 2);  // a filled block appends the next at once
  ExpectAt(s, B);
  s.Seek(0, soBeginning);
  for (size_t i = 0; i < data.size(); i += 7)  // small writes across borders
    s.Write(data.data() + i, static_cast<int32_t>(std::min<size_t>(7, data.size() - i)));
  EXPECT_EQ(s.BlockCount(), 3);
  EXPECT_EQ(s.ToString(), data);
  for (int32_t piece : {1, 3, 4096, B - 1, B + 1, 300000}) {
    s.Seek(0, soBeginning);
    std::string back;
    std::vector<char> buf(static_cast<size_t>(piece));
    for (int32_t n; (n = s.Read(buf.data(), piece)) > 0;) back.append(buf.data(), static_cast<size_t>(n));
    EXPECT_EQ(back, data) << piece;
    ExpectAt(s, static_cast<int32_t>(data.size()));
  }
}

TEST(ChainMemoryStream, seek_clamps_to_data) {
  TChainMemoryStream s;
  std::string data = Random(B + 50);
  s.Write(data.data(), B + 50);
  EXPECT_EQ(s.Seek(-5, soBeginning), 0);
  EXPECT_EQ(s.Seek(10, soEnd), B + 50);
  EXPECT_EQ(s.Seek(-60, soCurrent), B - 10);
  ExpectAt(s, B - 10);
  EXPECT_EQ(s.Seek(123, 7), B - 10);  // unknown origin
  EXPECT_EQ(s.Seek(INT32_MAX, soCurrent), B + 50);
  EXPECT_EQ(s.Seek(INT32_MIN, soEnd), 0);
  char buf[20];
  s.Seek(B - 10, soBeginning);
  ASSERT_EQ(s.Read(buf, 20), 20);
  EXPECT_EQ(std::string(buf, 20), data.substr(B - 10, 20));
}

TEST(ChainMemoryStream, write_in_middle_ends_data_and_clear_restarts) {
  TChainMemoryStream s;
  s.Write("0123456789", 10);
  s.Seek(2, soBeginning);
  s.Write("abc", 3);
  EXPECT_EQ(s.ToString(), "01abc");
  s.Seek(1, soBeginning);
  EXPECT_EQ(s.Write("x", 0), 0);  // an empty write does not cut the data
  EXPECT_EQ(s.Write("x", -3), 0);
  s.SetSize(1);  // no effect
  EXPECT_EQ(s.ToString(), "01abc");
  std::string big = Random(B * 2);
  s.Write(big.data(), B * 2);
  s.Clear();
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_EQ(s.BlockCount(), 1);
  ExpectAt(s, 0);
  s.Write("hi", 2);
  EXPECT_EQ(s.ToString(), "hi");
}
