#include "util/system/TempFiles.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "TestSupport.h"
#include "util/streams/FileStream.h"
#include "util/system/WinError.h"

using namespace tessel;

namespace {

// The file's own mode bits and type (a link is not followed); 0 when it does not exist.
mode_t Mode(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

void Touch(const std::string& path, const std::string& content = "") { std::ofstream(path) << content; }

// Every test gets its own TMPDIR, so the per-user directory starts fresh.
class TempFilesTest : public ::testing::Test {
protected:
  void SetUp() override { ::setenv("TMPDIR", Root.c_str(), 1); }
  test::TTempDir Temp;
  std::string Root = Temp.Path().string(), Dir = Root + "/tessel-" + std::to_string(::getuid()) + "/";
};

}  // namespace

TEST_F(TempFilesTest, directory_is_private_and_unsafe_ones_are_refused) {
  EXPECT_EQ(TTempFiles::TempDirectory(), Dir);
  EXPECT_EQ(Mode(Dir) & (S_IFMT | 0777), S_IFDIR | 0700);
  EXPECT_EQ(TTempFiles::TempDirectory(), Dir);  // reused
  std::string d = Dir.substr(0, Dir.size() - 1);
  ::chmod(d.c_str(), 0750);
  EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);
  ::chmod(d.c_str(), 0700);
  ASSERT_EQ(::rename(d.c_str(), (Root + "/real").c_str()), 0);
  ASSERT_EQ(::symlink((Root + "/real").c_str(), d.c_str()), 0);  // a link to a private one
  EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);
  ::unlink(d.c_str());
  Touch(d);
  EXPECT_THROW(TTempFiles(true).NewTempFile("tessel", "eml"), EWinException);
  ::unlink(d.c_str());
  if (::getuid() == 0) {
    ASSERT_EQ(::mkdir(d.c_str(), 0700) | ::chown(d.c_str(), 4242, 4242), 0);
    EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);  // someone else's
  }
}

TEST_F(TempFilesTest, names_take_first_free_upper_case_hex_number) {
  TTempFiles files(false);
  EXPECT_EQ(files.NewTempFileName("tessel", "eml"), Dir + "tessel0001.eml");
  // A name handed out is not handed out again, even before its file exists.
  EXPECT_EQ(files.NewTempFileName("tessel", ".eml"), Dir + "tessel0002.eml");
  EXPECT_EQ(files.NewTempFileName("KelMsg", ""), Dir + "KelMsg0001.");
  char n[16];
  for (int i = 1; i < 255; ++i)
    if (i != 3 && std::snprintf(n, sizeof n, "x%04X.t", i) > 0) Touch(Dir + n);
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x0003.t");
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x00FF.t");
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x0100.t");
  EXPECT_EQ(files.Names().size(), 6u);
}

TEST_F(TempFilesTest, new_file_skips_files_and_links_and_has_mode_0600) {
  TTempFiles::TempDirectory();
  Touch(Dir + "tessel0001.eml", "precious");
  Touch(Root + "/victim", "keep me");
  ASSERT_EQ(::symlink((Root + "/victim").c_str(), (Dir + "tessel0002.eml").c_str()), 0);
  ASSERT_EQ(::symlink((Root + "/nowhere").c_str(), (Dir + "tessel0003.eml").c_str()), 0);
  mode_t mask = ::umask(0);
  TTempFiles files(false);
  auto s = files.NewTempFile("tessel", "eml");
  ::umask(mask);
  EXPECT_EQ(s->FileName(), Dir + "tessel0004.eml");
  EXPECT_EQ(s->Owner(), &files);
  EXPECT_EQ(Mode(s->FileName()) & (S_IFMT | 0777), S_IFREG | 0600);
  EXPECT_THROW(TTempFileStream(nullptr, Dir + "tessel0001.eml"), EWinException);
  EXPECT_EQ(ReadFileBytes(Dir + "tessel0001.eml"), "precious");
  EXPECT_EQ(ReadFileBytes(Root + "/victim"), "keep me");
  EXPECT_EQ(Mode(Root + "/nowhere"), 0u);
}

TEST_F(TempFilesTest, hostile_prefix_and_extension_stay_inside) {
  TTempFiles files(true);
  std::pair<std::string, std::string> cases[] = {{"../../etc/", "passwd"},
                                                 {"/abs/", "/../x"},
                                                 {"..", ".."},
                                                 {"a\x01\x7f", "e\r\nml"},
                                                 {std::string("a\0b", 3), std::string("a\0b", 3)},
                                                 {std::string(300, 'p'), std::string(300, 'e')},
                                                 {std::string(70, '\xc3') + "\xa4", "\xc3\xa4"}};
  for (const auto& [prefix, extension] : cases) {
    std::string name = files.NewTempFile(prefix, extension)->FileName(), base = name.substr(Dir.size());
    ASSERT_EQ(name.compare(0, Dir.size(), Dir), 0) << name;
    EXPECT_EQ(base.find('/'), std::string::npos) << base;
    EXPECT_LT(base.size(), 255u);
    for (unsigned char ch : base) EXPECT_GE(ch, 0x20) << base;
    EXPECT_TRUE(S_ISREG(Mode(name))) << base;
  }
  EXPECT_EQ(Mode(Root + "/etc"), 0u);
}

// The caller owns its streams: freeing the maker detaches them (closing
// them when their files go) and never frees them; a freed stream leaves its
// entry. Double frees and dangling owners show under the address sanitizer.
TEST_F(TempFilesTest, freeing_deletes_files_only_when_asked_and_detaches_streams) {
  std::unique_ptr<TTempFileStream> kept, deleted;
  std::string byName, missing;
  {
    TTempFiles keep(false), del(true);
    kept = keep.NewTempFile("keep", "a");
    deleted = del.NewTempFile("del", "b");
    missing = del.NewTempFile("del", "b")->FileName();  // freed at once
    ::unlink(missing.c_str());                          // and passed over
    Touch(byName = del.NewTempFileName("del", "b"));
    EXPECT_EQ(del.Names(), (std::vector<std::string>{deleted->FileName(), missing, byName}));
    auto direct = std::make_unique<TTempFileStream>(&del, del.NewTempFileName("direct", "d"));
    EXPECT_EQ(direct->Owner(), &del);
    EXPECT_EQ(TTempFileStream(&del, Dir + "stranger").Owner(), nullptr);
  }
  EXPECT_TRUE(kept->Owner() == nullptr && deleted->Owner() == nullptr);
  EXPECT_TRUE(kept->Write("x", 1) == 1 && Mode(kept->FileName()) != 0);  // still open, file kept
  EXPECT_EQ(deleted->Write("x", 1), 0);
  EXPECT_EQ(Mode(deleted->FileName()) | Mode(byName), 0u);
}

TEST_F(TempFilesTest, failed_creation_keeps_name_but_never_deletes_it) {
  TTempFiles::TempDirectory();
  {
    TTempFiles files(true);
    rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    int lowest = ::dup(0);
    ::close(lowest);
    rlimit tight = {static_cast<rlim_t>(lowest), old.rlim_max};  // no descriptor left for the file
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::pair<uint32_t, std::string> failure;
    try {
      files.NewTempFile("fail", "eml");
    } catch (const EWinException& e) {
      ::setrlimit(RLIMIT_NOFILE, &old);  // the sanitizers need descriptors too
      failure = {e.ErrorCode, e.what()};
    }
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(failure.first, static_cast<uint32_t>(EMFILE));
    EXPECT_EQ(failure.second.rfind("Cannot create file \"" + Dir + "fail0001.eml\". ", 0), 0u) << failure.second;
    ASSERT_EQ(files.Names(), std::vector<std::string>{Dir + "fail0001.eml"});
    Touch(Dir + "fail0001.eml", "someone else's");
  }
  EXPECT_EQ(ReadFileBytes(Dir + "fail0001.eml"), "someone else's");
}
