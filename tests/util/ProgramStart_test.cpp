#include "util/ProgramStart.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "util/FileStream.h"
#include "util/WinError.h"

using namespace tessel;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class ProgramStart : public ::testing::Test {
protected:

  // Runs a small sh script (the script, not the arguments, is shell code)
  // that writes its report to out.tmp and renames it to out when done: the
  // started program runs on its own.
  std::string RunScript(const std::string& script, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {
        "-c", "exec > \"$OUTDIR/out.tmp\"; " + script + "; mv \"$OUTDIR/out.tmp\" \"$OUTDIR/out\"", "sh"};
    args.insert(args.end(), extra.begin(), extra.end());
    setenv("OUTDIR", Dir.c_str(), 1);
    EXPECT_TRUE(StartDetachedProgram("sh", args));  // found through PATH
    for (int i = 0; i < 500 && !fs::exists(Dir / "out"); ++i) std::this_thread::sleep_for(20ms);
    return fs::exists(Dir / "out") ? ReadFileBytes(Dir / "out") : "";
  }

  test::TTempDir Temp;
  fs::path Dir = Temp.Path;
};

}  // namespace

TEST_F(ProgramStart, arguments_arrive_literally_and_in_order) {
  std::vector<std::string> extra = {"a b", "", "$(touch pwned)", "`touch pwned2`", R"("; rm -rf x; ")", "*", "%1"};
  std::string out = RunScript(R"(for a in "$@"; do printf '[%s]\n' "$a"; done)", extra);
  EXPECT_EQ(out, "[a b]\n[]\n[$(touch pwned)]\n[`touch pwned2`]\n[\"; rm -rf x; \"]\n[*]\n[%1]\n");
  EXPECT_FALSE(fs::exists("pwned") || fs::exists(Dir / "pwned"));
}

TEST_F(ProgramStart, program_is_detached_and_leaves_no_child) {
  // A descriptor of ours without close-on-exec must not reach the program.
  int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  // Only standard descriptors, empty standard input, a session of its own.
  // (No pipeline in the listing: the shell would hold its pipes meanwhile.)
  std::string out = RunScript("ls /proc/$$/fd; read line; echo \"stdin:$?\"; "
                              "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = \"$1\" ] && echo ours || echo own",
                              {std::to_string(getsid(0))});
  close(leaked);
  EXPECT_EQ(out, "0\n1\n2\nstdin:1\nown\n");
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
  std::ofstream(Dir / "plain") << "data\n";  // not executable
  EXPECT_FALSE(StartDetachedProgram((Dir / "plain").string(), {}));
  // Executable but without an interpreter line: never handed to a shell.
  fs::path script = Dir / "noshebang";
  std::ofstream(script) << "touch " << (Dir / "ran").string() << "\n";
  fs::permissions(script, fs::perms::owner_all);
  SetLastError(0);
  EXPECT_FALSE(StartDetachedProgram(script.string(), {}));
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOEXEC));
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(fs::exists(Dir / "ran"));
}
