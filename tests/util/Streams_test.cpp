#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "util/Exception.h"
#include "util/FileStream.h"
#include "util/MemoryStream.h"
#include "util/WinError.h"

using namespace tessel;

namespace {

class TCountingStream : public TStringStream {
public:
  int32_t Write(const void* buffer, int32_t count) override {
    ++Writes;
    return TStringStream::Write(buffer, count);
  }
  int Writes = 0;
};

class FileStreamTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessel-streams-test-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    Dir = std::string(tmpl) + "/";
  }
  void TearDown() override { std::system(("rm -rf '" + Dir + "'").c_str()); }
  void Put(const std::string& name, const std::string& content) {
    std::ofstream(Dir + name, std::ios::binary) << content;
  }
  std::string Dir;
};

}  // namespace

TEST(MemoryStream, grows_reads_back_and_resizes) {
  TMemoryStream m;
  std::string data(1000, 'q');
  data[999] = 'z';
  EXPECT_EQ(m.Write(data.data(), 1000), 1000);
  EXPECT_EQ(m.Size(), 1000);
  EXPECT_EQ(m.Seek(-1, soEnd), 999);
  char c;
  EXPECT_EQ(m.Read(&c, 1), 1);
  EXPECT_EQ(c, 'z');
  m.Seek(10, soBeginning);
  m.Write("ab", 2);
  EXPECT_EQ(m.Size(), 1000);  // overwriting in the middle keeps the size
  EXPECT_EQ(std::string(m.Memory() + 10, 2), "ab");
  m.SetSize(5);
  EXPECT_EQ(m.GetPosition(), 5);
  m.SetSize(-3);
  EXPECT_EQ(m.Size(), 0);
  m.Clear();
  EXPECT_EQ(m.Read(&c, 1), 0);
}

TEST(PointerStream, stays_within_its_memory) {
  char mem[5] = {'a', 'b', 'c', 'd', 'e'};
  TPointerStream p(mem, 4);
  char buf[10];
  EXPECT_EQ(p.Read(buf, 10), 4);
  EXPECT_EQ(p.Read(buf, 10), 0);
  EXPECT_EQ(p.Seek(-100, soCurrent), 0);
  EXPECT_EQ(p.Seek(100, soBeginning), 4);
  p.Seek(2, soBeginning);
  EXPECT_EQ(p.Write("XYZ", 3), 2);  // cut short at the end
  EXPECT_EQ(mem[4], 'e');
  EXPECT_EQ(std::string(mem, 4), "abXY");
  EXPECT_EQ(p.GetSize(), 4);
  EXPECT_THROW(p.WriteBuffer("!", 1), Exception);
}

TEST(StringStream, writes_reads_and_takes_data) {
  TStringStream s(std::string("hello"));
  s.Seek(0, soEnd);
  s.Write(" world", 6);
  EXPECT_EQ(s.DataString(), "hello world");
  s.Seek(6, soBeginning);
  char buf[5];
  s.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_THROW(s.ReadBuffer(buf, 1), Exception);
  s.SetSize(4);
  EXPECT_EQ(s.GetPosition(), 4);
  EXPECT_EQ(s.TakeDataString(), "hell");
  EXPECT_EQ(s.GetSize(), 0);
}

TEST(Stream, copy_from_whole_and_part) {
  TStringStream src(std::string(200000, 'c')), dst;
  src.Seek(5, soBeginning);
  EXPECT_EQ(dst.CopyFrom(src, 0), 200000);  // 0: everything, from the start
  EXPECT_EQ(dst.GetSize(), 200000);
  src.Seek(10, soBeginning);
  TStringStream part;
  EXPECT_EQ(part.CopyFrom(src, 7), 7);
  EXPECT_EQ(part.CopyFrom(src, -1), 0);
  EXPECT_THROW(part.CopyFrom(src, 1000000), Exception);
}

TEST(WriteBuffer, collects_small_pieces_into_few_writes) {
  TCountingStream out;
  std::string expect;
  {
    TWriteBuffer w(out);
    for (int i = 0; i < 100000; ++i) {
      w.Put(static_cast<char>('a' + i % 26));
      expect += static_cast<char>('a' + i % 26);
    }
    std::string big(50000, 'B');
    w.Put(big.data(), big.size());
    expect += big;
    w.Put("xy", 2);
    expect += "xy";
    w.Flush();
  }
  EXPECT_EQ(out.DataString(), expect);
  EXPECT_LT(out.Writes, 20);
}

TEST(WriteBuffer, short_write_raises) {
  char mem[3];
  TPointerStream out(mem, 3);
  TWriteBuffer w(out);
  w.Put("abcd", 4);
  EXPECT_THROW(w.Flush(), Exception);
}

TEST_F(FileStreamTest, open_read_works_on_read_only_file) {
  Put("ro.txt", "read me");
  ASSERT_EQ(::chmod((Dir + "ro.txt").c_str(), 0400), 0);
  TFileStream f(Dir + "ro.txt", TFileMode::OpenRead);
  EXPECT_EQ(f.GetSize(), 7);
  char buf[16];
  EXPECT_EQ(f.Read(buf, 16), 7);
  EXPECT_EQ(std::string(buf, 7), "read me");
  EXPECT_EQ(f.Write("x", 1), 0);  // read only
  EXPECT_EQ(ReadFileBytes(Dir + "ro.txt"), "read me");
}

TEST_F(FileStreamTest, create_truncates_and_exclusive_refuses) {
  Put("f.txt", "0123456789");
  {
    TFileStream f(Dir + "f.txt", TFileMode::Create);
    EXPECT_EQ(f.GetSize(), 0);
    f.Write("new", 3);
    EXPECT_EQ(f.Seek(0, soBeginning), 0);
    char buf[3];
    f.ReadBuffer(buf, 3);
    f.SetSize(1);
    EXPECT_EQ(f.GetSize(), 1);
  }
  EXPECT_EQ(ReadFileBytes(Dir + "f.txt"), "n");
  try {
    TFileStream f(Dir + "f.txt", TFileMode::CreateExclusive);
    ADD_FAILURE();
  } catch (const EWinException& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<uint32_t>(EEXIST));
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + Dir + "f.txt\". ", 0), 0u) << e.what();
  }
  ASSERT_EQ(::symlink((Dir + "target").c_str(), (Dir + "link").c_str()), 0);
  EXPECT_THROW(TFileStream(Dir + "link", TFileMode::CreateExclusive), EWinException);
  EXPECT_FALSE(std::ifstream(Dir + "target").good());
}

TEST_F(FileStreamTest, open_failures_carry_name_and_code) {
  try {
    TFileStream f(Dir + "missing", TFileMode::OpenRead);
    ADD_FAILURE();
  } catch (const EWinException& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + Dir + "missing\". ", 0), 0u) << e.what();
  }
  EXPECT_THROW(ReadFileBytes(Dir + "missing"), EWinException);
  EXPECT_THROW(ReadFileBytes(Dir), EWinException);  // a directory
}

TEST_F(FileStreamTest, read_file_bytes_binary_and_empty) {
  std::string bin;
  for (int i = 0; i < 300000; ++i) bin += static_cast<char>(i * 31);
  Put("bin", bin);
  Put("empty", "");
  EXPECT_EQ(ReadFileBytes(Dir + "bin"), bin);
  EXPECT_EQ(ReadFileBytes(Dir + "empty"), "");
}

TEST_F(FileStreamTest, closed_stream_moves_nothing) {
  TFileStream f(Dir + "c", TFileMode::Create);
  f.Write("abc", 3);
  f.Close();
  char buf[3];
  EXPECT_EQ(f.Read(buf, 3), 0);
  EXPECT_EQ(f.Write("x", 1), 0);
  EXPECT_EQ(f.GetPosition(), 0);
  f.Close();  // twice is harmless
  EXPECT_EQ(ReadFileBytes(Dir + "c"), "abc");
}
