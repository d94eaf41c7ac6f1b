#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "util/Exception.h"
#include "util/FileStream.h"
#include "util/MemoryStream.h"
#include "util/WinError.h"

using namespace tessel;

TEST(MemoryStreams, pointer_stream_bounds_string_stream_and_copy) {
  char mem[5] = {'a', 'b', 'c', 'd', 'e'}, buf[10];
  TPointerStream p(mem, 4);
  EXPECT_EQ(p.Read(buf, 10), 4);
  EXPECT_EQ(p.Seek(-100, soCurrent), 0);
  EXPECT_EQ(p.Seek(100, soBeginning), 4);
  p.Seek(2, soBeginning);
  EXPECT_EQ(p.Write("XYZ", 3), 2);  // cut at the end of its memory
  EXPECT_EQ(std::string(mem, 5), "abXYe");
  EXPECT_THROW(p.WriteBuffer("!", 1), Exception);
  TStringStream s(std::string("hello")), copy;
  s.Seek(0, soEnd);
  s.Write(" world", 6);
  s.Seek(6, soBeginning);
  s.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_THROW(s.ReadBuffer(buf, 1), Exception);
  EXPECT_EQ(copy.CopyFrom(s, 0), 11);  // 0: all of it, from the start
  EXPECT_EQ(copy.CopyFrom(s, -1), 0);
  s.SetSize(4);
  EXPECT_EQ(s.TakeDataString(), "hell");
  EXPECT_EQ(copy.DataString(), "hello world");
  TMemoryStream m;
  m.Write("0123456789", 10);
  m.Seek(2, soBeginning);
  m.Write("ab", 2);
  EXPECT_EQ(std::string(m.Memory(), static_cast<size_t>(m.Size())), "01ab456789");  // overwriting keeps the size
}

TEST(MemoryStreams, write_buffer_batches_and_reports_short_writes) {
  class TCounting : public TStringStream {
  public:
    int32_t Write(const void* b, int32_t n) override { return ++Writes, TStringStream::Write(b, n); }
    int Writes = 0;
  } out;
  std::string expect, big(50000, 'B');
  TWriteBuffer w(out);
  for (int i = 0; i < 100000; ++i) w.Put(static_cast<char>('a' + i % 26)), expect += static_cast<char>('a' + i % 26);
  w.Put(big.data(), big.size());
  w.Put("xy", 2);
  w.Flush();
  EXPECT_EQ(out.DataString(), expect + big + "xy");
  EXPECT_LT(out.Writes, 20);
  char mem[3];
  TPointerStream small(mem, 3);
  TWriteBuffer cut(small);
  cut.Put("abcd", 4);
  EXPECT_THROW(cut.Flush(), Exception);  // a short write is not success
}

TEST(FileStreams, read_only_create_exclusive_and_failures) {
  char tmpl[] = "/tmp/tessel-streams-test-XXXXXX";
  ASSERT_TRUE(::mkdtemp(tmpl));
  std::string dir = std::string(tmpl) + "/", name = dir + "f.txt";
  std::string bin;
  for (int i = 0; i < 300000; ++i) bin += static_cast<char>(i * 31);
  std::ofstream(name, std::ios::binary) << bin;
  ASSERT_EQ(::chmod(name.c_str(), 0400), 0);
  {
    TFileStream f(name, TFileMode::OpenRead);  // the user may only read it
    char buf[4];
    EXPECT_EQ(f.GetSize(), 300000);
    EXPECT_EQ(f.Read(buf, 4), 4);
    EXPECT_EQ(f.Write("x", 1), 0);
    EXPECT_EQ(ReadFileBytes(name), bin);
  }
  ::chmod(name.c_str(), 0600);
  {
    TFileStream f(name, TFileMode::Create);  // truncates
    f.Write("new", 3);
    f.SetSize(1);
    f.Close();
    EXPECT_EQ(f.Write("x", 1), 0);  // closed
    EXPECT_EQ(f.GetPosition(), 0);
  }
  EXPECT_EQ(ReadFileBytes(name), "n");
  auto failure = [](const std::string& file, TFileMode mode) -> std::pair<uint32_t, std::string> {
    try {
      TFileStream f(file, mode);
    } catch (const EWinException& e) {
      return {e.ErrorCode, e.what()};
    }
    return {0, ""};
  };
  auto exists = failure(name, TFileMode::CreateExclusive), missing = failure(dir + "none", TFileMode::OpenRead);
  EXPECT_EQ(exists.first, static_cast<uint32_t>(EEXIST));
  EXPECT_EQ(exists.second.rfind("Cannot create file \"" + name + "\". ", 0), 0u) << exists.second;
  EXPECT_EQ(missing.first, static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(missing.second.rfind("Cannot open file \"" + dir + "none\". ", 0), 0u) << missing.second;
  ASSERT_EQ(::symlink((dir + "target").c_str(), (dir + "link").c_str()), 0);
  EXPECT_NE(failure(dir + "link", TFileMode::CreateExclusive).first, 0u);
  EXPECT_FALSE(std::ifstream(dir + "target").good());
  EXPECT_THROW(ReadFileBytes(dir), EWinException);  // a directory
  EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}
