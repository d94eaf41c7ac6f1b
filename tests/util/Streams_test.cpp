#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <tuple>

#include "CodecTestSupport.h"
#include "util/ChainMemoryStream.h"
#include "util/Exception.h"
#include "util/FileStream.h"
#include "util/HexText.h"
#include "util/MemoryStream.h"
#include "util/WinError.h"

using namespace tessel;

namespace {

constexpr int32_t B = TChainMemoryStream::BlockSize;

// The position, its block and offset, and the block's existence agree.
void ExpectAt(TChainMemoryStream& s, int32_t pos) {
  EXPECT_EQ(s.GetPosition(), pos);
  EXPECT_TRUE(s.BlockIndex() * B + s.BlockOffset() == pos && s.BlockOffset() < B && s.BlockIndex() < s.BlockCount());
}

}  // namespace

TEST(MemoryStreams, short_reads_and_writes_and_copy) {
  char mem[5] = {'a', 'b', 'c', 'd', 'e'}, buf[10];
  TPointerStream p(mem, 4);
  p.Seek(2, soBeginning);
  EXPECT_EQ(p.Write("XYZ", 3), 2);  // cut at the end of its memory
  EXPECT_EQ(std::string(mem, 5), "abXYe");
  EXPECT_THROW(p.WriteBuffer("!", 1), Exception);
  TStringStream s(std::string("hello world")), copy;
  s.Seek(6, soBeginning);
  EXPECT_THROW(s.ReadBuffer(buf, 6), Exception);
  EXPECT_TRUE(copy.CopyFrom(s, 0) == 11 && copy.DataString() == "hello world");  // 0: all of it, from the start
}

TEST(FileStreams, read_only_truncate_and_failures) {
  char tmpl[] = "/tmp/tessel-streams-test-XXXXXX";
  ASSERT_TRUE(::mkdtemp(tmpl));
  std::string dir = std::string(tmpl) + "/", name = dir + "f.txt", bin = test::Random(300000);
  std::ofstream(name, std::ios::binary) << bin;
  ASSERT_EQ(::chmod(name.c_str(), 0400), 0);
  {
    TFileStream f(name, TFileMode::OpenRead);  // the user may only read it
    EXPECT_TRUE(f.GetSize() == 300000 && f.Write("x", 1) == 0 && ReadFileBytes(name) == bin);
  }
  ::chmod(name.c_str(), 0600);
  {
    TFileStream f(name, TFileMode::Create);  // truncates
    f.Write("new", 3);
    f.SetSize(1);
    f.Close();
    EXPECT_EQ(f.Write("x", 1), 0);  // closed
  }
  EXPECT_EQ(ReadFileBytes(name), "n");
  // Exclusive creation (no existing file, no link followed) is checked with the temporary files.
  try {
    TFileStream f(dir + "none", TFileMode::OpenRead);
    ADD_FAILURE();
  } catch (const EWinException& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + dir + "none\". ", 0), 0u) << e.what();
  }
  EXPECT_THROW(ReadFileBytes(dir), EWinException);  // a directory
  EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(ChainMemoryStream, blocks_grow_with_writes_and_read_back_in_any_pieces) {
  TChainMemoryStream s;
  char c;
  EXPECT_TRUE(s.GetSize() == 0 && s.BlockCount() == 1 && s.Read(&c, 1) == 0);
  std::string full = test::Random(B), data = test::Random(B * 5 / 2 + 17);
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
  // Seeking clamps to the data, also at the extremes and across blocks.
  const int32_t size = static_cast<int32_t>(data.size()), back = B * 3 / 2 - 10;
  EXPECT_TRUE(s.Seek(-5, soBeginning) == 0 && s.Seek(10, soEnd) == size && s.Seek(-B - 27, soCurrent) == back);
  ExpectAt(s, back);
  EXPECT_EQ(s.Seek(123, 7), back);  // unknown origin
  EXPECT_TRUE(s.Seek(INT32_MAX, soCurrent) == size && s.Seek(INT32_MIN, soEnd) == 0);
  s.Seek(B - 10, soBeginning);
  ASSERT_EQ(s.Read(&full[0], 20), 20);
  EXPECT_EQ(full.substr(0, 20), data.substr(B - 10, 20));
}

TEST(ChainMemoryStream, write_in_middle_ends_data_and_clear_restarts) {
  TChainMemoryStream s;
  s.Write("0123456789", 10);
  s.Seek(2, soBeginning);
  s.Write("abc", 3);
  EXPECT_EQ(s.ToString(), "01abc");
  s.Seek(1, soBeginning);
  EXPECT_TRUE(s.Write("x", 0) == 0 && s.Write("x", -3) == 0);  // an empty write does not cut the data
  EXPECT_EQ(s.ToString(), "01abc");
  s.Write(test::Random(B * 2).data(), B * 2);
  s.Clear();
  EXPECT_TRUE(s.GetSize() == 0 && s.BlockCount() == 1 && s.Write("hi", 2) == 2 && s.ToString() == "hi");
}

TEST(HexText, separator_maximum_suffix_and_position) {
  // Bytes, start, maximum, separator; the text.
  for (auto [bytes, start, maximum, separator, expect] :
       {std::tuple{std::string("\x0a\xff"), 0, 0, ':', "0A:FF"}, {"\x0a\xff", 0, 1, ':', "0A+"},
        {"\x01\x02\x03", 0, 2, ' ', "01 02+"}, {"\x01\x02", 0, 2, ' ', "01 02"},
        {std::string("\0\x10\xab", 3), 1, 0, '\0', "10AB"}, {"\x01", 1, 0, ':', ""}}) {
    TStringStream s(bytes);
    s.Seek(start, soBeginning);
    EXPECT_EQ(StreamToHex(s, separator, maximum, "+"), expect) << expect;
  }
  std::string big = test::Random(10000), hex = test::ToHex(big.substr(0, 9000)) + "!";
  std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  TStringStream s(big);
  EXPECT_EQ(StreamToHex(s, '\0', 9000, "!"), hex);  // more than one read
}
