#include "util/ProgramStart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "util/WinError.h"

using namespace tessel;
namespace fs = std::filesystem;

namespace {

class ProgramStart : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessel-start-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
  }
  void TearDown() override { fs::remove_all(Dir); }

  // The started program runs on its own: wait for the file it writes last.
  static bool WaitForFile(const fs::path& p) {
    for (int i = 0; i < 500; ++i) {
      if (fs::exists(p)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Runs a small sh script (the script, not the arguments, is shell code)
  // that writes its report to out.tmp and renames it to out when done.
  std::string RunScript(const std::string& script, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {
        "-c", "exec > \"$OUTDIR/out.tmp\"; " + script + "; mv \"$OUTDIR/out.tmp\" \"$OUTDIR/out\"", "sh"};
    args.insert(args.end(), extra.begin(), extra.end());
    setenv("OUTDIR", Dir.c_str(), 1);
    EXPECT_TRUE(StartDetachedProgram("sh", args));  // found through PATH
    EXPECT_TRUE(WaitForFile(Dir / "out"));
    return ReadAll(Dir / "out");
  }

  fs::path Dir;
};

}  // namespace

TEST_F(ProgramStart, arguments_arrive_literally_and_in_order) {
  std::vector<std::string> extra = {"a b", "", "$(touch pwned)", "`touch pwned2`", R"("; rm -rf x; ")", "*", "%1"};
  std::string out = RunScript(R"(for a in "$@"; do printf '[%s]\n' "$a"; done)", extra);
  EXPECT_EQ(out, "[a b]\n[]\n[$(touch pwned)]\n[`touch pwned2`]\n[\"; rm -rf x; \"]\n[*]\n[%1]\n");
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(Dir / "pwned"));
}

TEST_F(ProgramStart, program_is_detached_and_leaves_no_child) {
  // A descriptor of ours without close-on-exec must not reach the program.
  int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  std::string out = RunScript(
      "ls /proc/$$/fd | sort -n | tr '\\n' ' '; echo; "
      "read line; echo \"stdin:$?\"; "
      "cut -d' ' -f6 /proc/$$/stat");
  close(leaked);
  std::istringstream lines(out);
  std::string fds, stdinLine, session;
  std::getline(lines, fds);
  std::getline(lines, stdinLine);
  std::getline(lines, session);
  EXPECT_EQ(fds, "0 1 2 ") << "only standard descriptors are inherited";
  EXPECT_EQ(stdinLine, "stdin:1") << "standard input is empty";
  EXPECT_NE(session, std::to_string(getsid(0))) << "the program has its own session";
  // The intermediate process is already reaped and the program is not ours.
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProgramStart, unstartable_programs_report_failure) {
  SetLastError(0);
  EXPECT_FALSE(StartDetachedProgram("tessel-no-such-program", {}));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
  EXPECT_FALSE(StartDetachedProgram("", {}));
  EXPECT_FALSE(StartDetachedProgram((Dir / "missing").string(), {}));

  // Not executable.
  fs::path plain = Dir / "plain";
  std::ofstream(plain) << "data\n";
  EXPECT_FALSE(StartDetachedProgram(plain.string(), {}));

  // Executable but without an interpreter line: never handed to a shell.
  fs::path script = Dir / "noshebang";
  std::ofstream(script) << "touch " << (Dir / "ran").string() << "\n";
  fs::permissions(script, fs::perms::owner_all);
  SetLastError(0);
  EXPECT_FALSE(StartDetachedProgram(script.string(), {}));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOEXEC));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(Dir / "ran"));
}
