#include "util/TempFiles.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "util/WinError.h"

using namespace tessel;

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void Touch(const std::string& path, const std::string& content = "") {
  std::ofstream(path, std::ios::binary) << content;
}

// Every test gets its own TMPDIR, so the per-user directory is fresh.
class TempFilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessel-tempfiles-test-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    Root = tmpl;
    const char* old = std::getenv("TMPDIR");
    HadTmpDir = old != nullptr;
    if (old) OldTmpDir = old;
    ::setenv("TMPDIR", Root.c_str(), 1);
    Dir = Root + "/tessel-" + std::to_string(::getuid()) + "/";
  }
  void TearDown() override {
    if (HadTmpDir)
      ::setenv("TMPDIR", OldTmpDir.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    std::system(("rm -rf '" + Root + "'").c_str());
  }
  std::string Root, Dir, OldTmpDir;
  bool HadTmpDir = false;
};

}  // namespace

TEST_F(TempFilesTest, directory_is_private_and_per_user) {
  EXPECT_EQ(TTempFiles::TempDirectory(), Dir);
  struct stat st;
  ASSERT_EQ(::lstat(Dir.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, ::getuid());
  EXPECT_EQ(TTempFiles::TempDirectory(), Dir);  // an existing private one is reused
}

TEST_F(TempFilesTest, unsafe_directory_is_refused) {
  std::string d = Dir.substr(0, Dir.size() - 1);
  ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
  EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);
  ::chmod(d.c_str(), 0770);
  EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);
  ::chmod(d.c_str(), 0700);
  EXPECT_NO_THROW(TTempFiles::TempDirectory());
  // A link to a private directory is not taken either.
  ASSERT_EQ(::rename(d.c_str(), (Root + "/real").c_str()), 0);
  ASSERT_EQ(::symlink((Root + "/real").c_str(), d.c_str()), 0);
  EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);
  ::unlink(d.c_str());
  Touch(d);
  EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);
  ::unlink(d.c_str());
  if (::getuid() == 0) {
    ASSERT_EQ(::mkdir(d.c_str(), 0700), 0);
    ASSERT_EQ(::chown(d.c_str(), 4242, 4242), 0);
    EXPECT_THROW(TTempFiles::TempDirectory(), EWinException);
  }
  TTempFiles files(true);
  EXPECT_THROW(files.NewTempFile("tessel", "eml"), EWinException);
}

TEST_F(TempFilesTest, name_form_with_and_without_dot) {
  TTempFiles files(false);
  EXPECT_EQ(files.NewTempFileName("tessel", "eml"), Dir + "tessel0001.eml");
  // A name already handed out is not handed out again, file or no file.
  EXPECT_EQ(files.NewTempFileName("tessel", ".eml"), Dir + "tessel0002.eml");
  EXPECT_EQ(files.NewTempFileName("KelMsg", ""), Dir + "KelMsg0001.");
  EXPECT_EQ(files.NewTempFileName("", "cer"), Dir + "0001.cer");
  EXPECT_EQ(files.Names().size(), 4u);
}

TEST_F(TempFilesTest, first_free_number_in_upper_case_hex) {
  TTempFiles::TempDirectory();
  Touch(Dir + "tes-sel0001.eml");
  Touch(Dir + "tes-sel0002.eml");
  TTempFiles files(false);
  EXPECT_EQ(files.NewTempFileName("tes-sel", "eml"), Dir + "tes-sel0003.eml");
  for (int i = 4; i < 255; ++i) {
    char n[8];
    snprintf(n, sizeof n, "%04X", i);
    Touch(Dir + "x" + n + ".t");
  }
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x0001.t");
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x0002.t");
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x0003.t");
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x00FF.t");
  EXPECT_EQ(files.NewTempFileName("x", "t"), Dir + "x0100.t");
}

TEST_F(TempFilesTest, new_file_is_created_exclusively_with_mode_0600) {
  TTempFiles::TempDirectory();
  Touch(Dir + "tessel0001.eml", "precious");
  std::string outside = Root + "/victim";
  Touch(outside, "keep me");
  ASSERT_EQ(::symlink(outside.c_str(), (Dir + "tessel0002.eml").c_str()), 0);
  ASSERT_EQ(::symlink((Root + "/nowhere").c_str(), (Dir + "tessel0003.eml").c_str()), 0);
  ::umask(0);
  TTempFiles files(false);
  auto s = files.NewTempFile("tessel", "eml");
  ::umask(022);
  EXPECT_EQ(s->FileName(), Dir + "tessel0004.eml");
  EXPECT_EQ(s->Owner(), &files);
  s->Write("data", 4);
  struct stat st;
  ASSERT_EQ(::stat(s->FileName().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Slurp(Dir + "tessel0001.eml"), "precious");
  EXPECT_EQ(Slurp(outside), "keep me");
  EXPECT_FALSE(Exists(Root + "/nowhere"));
  s.reset();
  EXPECT_EQ(Slurp(Dir + "tessel0004.eml"), "data");
}

TEST_F(TempFilesTest, stream_on_existing_name_is_refused) {
  TTempFiles::TempDirectory();
  Touch(Dir + "taken.txt", "old");
  try {
    TTempFileStream s(nullptr, Dir + "taken.txt");
    ADD_FAILURE();
  } catch (const EWinException& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<uint32_t>(EEXIST));
  }
  EXPECT_EQ(Slurp(Dir + "taken.txt"), "old");
}

TEST_F(TempFilesTest, hostile_prefix_and_extension_stay_inside) {
  TTempFiles files(true);
  std::string nul("a\0b", 3);
  struct {
    std::string prefix, extension;
  } cases[] = {{"../../etc/", "passwd"}, {"/abs/", "/../x"}, {"..", ".."}, {"a\x01\x1f\x7f", "e\r\nml"},
               {nul, nul},          {"a\\b", "c\\d"}, {std::string(300, 'p'), std::string(300, 'e')},
               {std::string(70, '\xc3') + "\xa4", "\xc3\xa4"}};
  for (const auto& c : cases) {
    auto s = files.NewTempFile(c.prefix, c.extension);
    std::string name = s->FileName();
    ASSERT_EQ(name.compare(0, Dir.size(), Dir), 0) << name;
    std::string base = name.substr(Dir.size());
    EXPECT_EQ(base.find('/'), std::string::npos) << base;
    EXPECT_LT(base.size(), 255u);
    for (unsigned char ch : base) EXPECT_GE(ch, 0x20) << base;
    EXPECT_TRUE(Exists(name));
    struct stat st;
    ASSERT_EQ(::lstat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
  }
  EXPECT_FALSE(Exists(Root + "/etc"));
  EXPECT_FALSE(Exists("/abs"));
}

TEST_F(TempFilesTest, free_without_delete_keeps_files) {
  std::string a, b;
  {
    TTempFiles files(false);
    a = files.NewTempFile("keep", "eml")->FileName();
    b = files.NewTempFileName("keep", "eml");
    Touch(b);
  }
  EXPECT_TRUE(Exists(a));
  EXPECT_TRUE(Exists(b));
}

TEST_F(TempFilesTest, free_with_delete_removes_all_and_skips_missing) {
  std::string a, b, c;
  {
    TTempFiles files(true);
    a = files.NewTempFile("del", "eml")->FileName();
    b = files.NewTempFile("del", "eml")->FileName();
    c = files.NewTempFileName("del", "eml");
    Touch(c);
    ::unlink(a.c_str());
    EXPECT_EQ(files.Names(), (std::vector<std::string>{a, b, c}));
  }
  EXPECT_FALSE(Exists(b));
  EXPECT_FALSE(Exists(c));
}

TEST_F(TempFilesTest, live_stream_is_detached_not_freed) {
  std::unique_ptr<TTempFileStream> kept, deleted;
  {
    TTempFiles keep(false), del(true);
    kept = keep.NewTempFile("live", "a");
    deleted = del.NewTempFile("live", "b");
  }
  EXPECT_EQ(kept->Owner(), nullptr);
  EXPECT_EQ(deleted->Owner(), nullptr);
  EXPECT_EQ(kept->Write("x", 1), 1);  // still open
  EXPECT_FALSE(Exists(deleted->FileName()));
  EXPECT_EQ(deleted->Write("x", 1), 0);  // closed
  EXPECT_TRUE(Exists(kept->FileName()));
  kept.reset();
  deleted.reset();  // no second free of anything
}

TEST_F(TempFilesTest, freed_stream_leaves_its_entry) {
  TTempFiles files(true);
  auto s = files.NewTempFile("gone", "eml");
  std::string name = s->FileName();
  s.reset();
  EXPECT_TRUE(Exists(name));
  EXPECT_EQ(files.Names(), (std::vector<std::string>{name}));
  // A stream made directly on a name the object made is recorded too.
  std::string other = files.NewTempFileName("gone", "eml");
  auto direct = std::make_unique<TTempFileStream>(&files, other);
  EXPECT_EQ(direct->Owner(), &files);
  auto stranger = std::make_unique<TTempFileStream>(&files, Dir + "stranger");
  EXPECT_EQ(stranger->Owner(), nullptr);
}

TEST_F(TempFilesTest, failed_creation_keeps_name_but_never_deletes_it) {
  TTempFiles::TempDirectory();
  std::string name;
  {
    TTempFiles files(true);
    // Run out of file descriptors so that the create fails.
    rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    int lowest = ::dup(0);
    ::close(lowest);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    uint32_t code = 0;
    std::string message;
    try {
      files.NewTempFile("fail", "eml");
    } catch (const EWinException& e) {
      // Restore first: the sanitizers need file descriptors of their own.
      ::setrlimit(RLIMIT_NOFILE, &old);
      code = e.ErrorCode;
      message = e.what();
    }
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(code, static_cast<uint32_t>(EMFILE));
    EXPECT_EQ(message.rfind("Cannot create file \"" + Dir + "fail0001.eml\". ", 0), 0u) << message;
    ASSERT_EQ(files.Names().size(), 1u);
    name = files.Names()[0];
    EXPECT_EQ(name, Dir + "fail0001.eml");
    Touch(name, "someone else's");
  }
  EXPECT_EQ(Slurp(name), "someone else's");
}
