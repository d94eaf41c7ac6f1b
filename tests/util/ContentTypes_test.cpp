// Content types and the programs associated with them, and how programs
// are started: directly from an argument list, detached, never through a shell.
#include "util/system/ContentTypes.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "TestSupport.h"
#include "util/streams/FileStream.h"
#include "util/system/ExternalProgram.h"
#include "util/text/StringUtils.h"
#include "util/system/WinError.h"

using namespace tessel;
using namespace tessel::content_types_detail;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using V = std::vector<std::string>;

namespace {

// An association table in the classic Windows shape, case-insensitive like
// the registry it imitates; it records what would have been started.
class TFakeDatabase : public TContentTypeDatabase {
public:
  std::map<std::string, std::string> Table;  // "kind:key" in lower case -> value
  std::vector<V> Started;                    // program, then its arguments
  V Opened;
  bool StartWorks = true;

  std::string ContentTypeExtension(const std::string& t) override { return Get("ext:" + t); }
  std::string ExtensionFileType(const std::string& e) override { return Get("type:" + e); }
  std::string FileTypeDefaultVerb(const std::string& t) override { return Get("verb:" + t); }
  std::string VerbCommand(const std::string& t, const std::string& v) override { return Get("cmd:" + t + "/" + v); }
  bool StartProgram(const std::string& program, const V& args) override {
    Started.push_back(V{program});
    Started.back().insert(Started.back().end(), args.begin(), args.end());
    return StartWorks;
  }
  void OpenWithDefaultHandler(const std::string& name) override { Opened.push_back(name); }

  std::string Get(const std::string& k) { return Table.count(LowerCase(k)) ? Table[LowerCase(k)] : std::string(); }
  void Set(const std::string& key, const std::string& value) { Table[LowerCase(key)] = value; }
  // content type -> extension -> file type -> command of "open".
  void Associate(const std::string& type, const std::string& ext, const std::string& command) {
    Set("ext:" + type, ext);
    Set("type:" + ext, ext.substr(1) + "file");
    Set("cmd:" + ext.substr(1) + "file/open", command);
  }
};

class ContentTypes : public ::testing::Test {
protected:
  void SetUp() override { Previous = SetContentTypeDatabase(std::unique_ptr<TFakeDatabase>(Db = new TFakeDatabase)); }
  void TearDown() override { SetContentTypeDatabase(std::move(Previous)); }

  // What ExecuteWithContentType starts for fileName with command registered.
  V Started(const std::string& command, const std::string& fileName) {
    Db->Associate("application/x-test", ".tst", command);
    Db->Started.clear();
    EXPECT_TRUE(ExecuteWithContentType(fileName, "application/x-test")) << command;
    return Db->Started.size() == 1 ? Db->Started[0] : V{"started " + std::to_string(Db->Started.size())};
  }

  TFakeDatabase* Db = nullptr;
  std::unique_ptr<TContentTypeDatabase> Previous;
};

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
  fs::path Dir = Temp.Path();
};

}  // namespace

TEST_F(ContentTypes, chain_follows_extension_file_type_and_verb_or_falls_back_to_shell_open) {
  Db->Associate("text/plain", ".txt", "notepad.exe %1");
  EXPECT_EQ(GetContentTypeExtension("Text/Plain"), ".txt");
  EXPECT_EQ(GetContentTypeCommand("text/plain"), "notepad.exe ");
  Db->Set("verb:txtfile", "edit");
  EXPECT_EQ(GetExtensionCommand(".txt"), "") << "nothing registered for edit";
  Db->Set("cmd:txtfile/edit", "edit.exe %1");
  EXPECT_EQ(GetExtensionCommand(".txt"), "edit.exe ");
  Db->Set("verb:txtfile", "");
  EXPECT_EQ(GetExtensionCommand(".txt"), "notepad.exe ") << "an empty verb is open";
  // Missing links, or a failed start, fall back to the shell.
  Db->Set("ext:image/x-a", ".a");  // extension without a file type
  Db->Set("ext:image/x-b", ".b");
  Db->Set("type:.b", "bfile");  // file type without a command
  for (const char* type : {"application/x-unknown", "image/x-a", "image/x-b"}) {
    EXPECT_EQ(GetContentTypeCommand(type), "") << type;
    EXPECT_FALSE(ExecuteWithContentType("/tmp/f", type)) << type;
  }
  EXPECT_EQ(GetContentTypeExtension("application/x-unknown"), "");
  EXPECT_EQ(GetExtensionCommand(""), "");
  EXPECT_TRUE(Db->Started.empty());
  Db->Associate("application/x-test", ".tst", "missing.exe %1");
  Db->StartWorks = false;
  EXPECT_FALSE(ExecuteWithContentType("/tmp/g", "application/x-test"));
  EXPECT_EQ(Db->Opened, (V{"/tmp/f", "/tmp/f", "/tmp/f", "/tmp/g"}));
}

// The command shown is cut before the placeholder; the one started has the
// file name put in and is split into program and arguments.
TEST_F(ContentTypes, commands_are_cut_for_display_and_split_for_starting) {
  setenv("SystemRoot", R"(C:\Windows)", 1);
  setenv("ProgramFiles", R"(C:\Program Files)", 1);
  struct {
    const char *Command, *Shown, *File;
    V Started;  // empty: only shown
  } cases[] = {{"notepad.exe %1", "notepad.exe ", R"(C:\T\a.txt)", {"notepad.exe", R"(C:\T\a.txt)"}},
               {R"("C:\P\v.exe" "%1" /x)", R"("C:\P\v.exe" )", "my file", {R"(C:\P\v.exe)", "my file", "/x"}},
               {R"("C:\P\v.exe" /a "%1" /b "%1")", R"("C:\P\v.exe" /a )", "f", {}},
               {R"("C:\Program Files\v.exe" /v "%1")",
                R"("C:\Program Files\v.exe" /v )",
                "f",
                {R"(C:\Program Files\v.exe)", "/v", "f"}},
               {R"(C:\P\app.exe /view)", R"(C:\P\app.exe /view)", "", {}},
               {R"("C:\P\app.exe")", R"("C:\P\app.exe)", "a b", {R"(C:\P\app.exe)", "a b"}},
               {R"("C:\P\app.exe" -view)", R"("C:\P\app.exe" -view)", "a", {R"(C:\P\app.exe)", "-view", "a"}},
               {R"("/usr/bin/v" "--file=%1" "--x")",
                R"("/usr/bin/v" "--file=)",
                "/t/a b",
                {"/usr/bin/v", "--file=/t/a b", "--x"}},
               {R"(%SystemRoot%\system32\notepad.exe %1)",
                R"(%SystemRoot%\system32\notepad.exe )",
                "a",
                {R"(C:\Windows\system32\notepad.exe)", "a"}},
               {R"("%ProgramFiles%\v.exe" "%1" %SystemRoot%)",
                R"("%ProgramFiles%\v.exe" )",
                "a",
                {R"(C:\Program Files\v.exe)", "a", R"(C:\Windows)"}}};
  for (const auto& c : cases) {
    Db->Associate("application/x-test", ".tst", c.Command);
    EXPECT_EQ(GetExtensionCommand(".tst"), c.Shown) << c.Command;
    EXPECT_EQ(c.Started.empty() ? V{} : Started(c.Command, c.File), c.Started) << c.Command;
  }
  Db->Associate("application/x-test", ".tst", "%1");
  EXPECT_EQ(GetExtensionCommand(".tst"), "");
  // The menu names the program by its file name.
  EXPECT_EQ(CommandProgramName(R"("C:\Program Files\V\viewer.exe" /view )"), "viewer");
  EXPECT_EQ(CommandProgramName(""), "");
  EXPECT_TRUE(Db->Opened.empty());
}

TEST_F(ContentTypes, hostile_file_names_stay_one_literal_argument) {
  setenv("TESSEL_SECRET", "leaked", 1);
  const std::string names[] = {R"(/tmp/x"; rm -rf ~; ".txt)",  "/tmp/$(touch pwned) `id` & | ; > < *.txt",
                               "/tmp/%TESSEL_SECRET%.txt",     R"(/tmp/"quoted" name.txt)",
                               "/tmp/tab\tand  two  blanks ",  "/tmp/%1 again %1.txt",
                               "/tmp/" + std::string(700, 'n')};
  for (const std::string& name : names) {
    EXPECT_EQ(Started("viewer %1", name), (V{"viewer", name}));
    EXPECT_EQ(Started(R"("viewer" "%1")", name), (V{"viewer", name}));
    EXPECT_EQ(Started("viewer", name), (V{"viewer", name}));
    EXPECT_EQ(Started(R"("viewer" "--in=%1" -x)", name), (V{"viewer", "--in=" + name, "-x"}));
  }
}

TEST_F(ContentTypes, expansion_limit_never_cuts_the_file_name) {
  setenv("TESSEL_LONG", std::string(600, 'v').c_str(), 1);
  // A cut after the file name shortens what follows it.
  V s = Started(R"("viewer" "%1" %TESSEL_LONG%)", "a.txt");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[1], "a.txt");
  // 13: the blanks, quotes and "viewer"; the file name counts as one character.
  EXPECT_EQ(s[2], std::string(520 - 13, 'v'));
  // A cut before it leaves a command that cannot be used.
  Db->Associate("application/x-test", ".tst", "%TESSEL_LONG% %1");
  EXPECT_FALSE(ExecuteWithContentType("a.txt", "application/x-test"));
  EXPECT_EQ(Db->Opened, V{"a.txt"});
}

TEST(ContentTypesDetail, environment_expansion_keeps_what_is_not_a_reference) {
  setenv("TESSEL_A", "alpha", 1);
  unsetenv("TESSEL_UNSET");
  const std::pair<const char*, const char*> cases[] = {
      {"%TESSEL_A%\\x", "alpha\\x"},
      {"x%TESSEL_A%%TESSEL_A%y", "xalphaalphay"},
      {"%TESSEL_UNSET%", "%TESSEL_UNSET%"},
      {"%TESSEL_UNSET%%TESSEL_A%", "%TESSEL_UNSET%alpha"},
      {"%TESSEL_UNSET%TESSEL_A%", "%TESSEL_UNSETalpha"},  // the closing % may open the next name
      {"100% of %1", "100% of %1"},
      {"%%", "%%"},
      {"%A=B%", "%A=B%"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ExpandEnvironmentStrings(in), out) << in;
  EXPECT_EQ(ExpandEnvironmentStrings(std::string(600, 'x')).size(), ExpandedCommandLimit);
}

TEST(ContentTypesDetail, argument_split_and_odd_program_calls) {
  EXPECT_EQ(SplitArguments(""), V{});
  EXPECT_EQ(SplitArguments("  a   b\tc  "), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitArguments(R"(a"b c"d "" x)"), (V{"ab cd", "", "x"}));
  EXPECT_EQ(SplitArguments(R"(C:\T\ 'a b' \"x y)"), (V{R"(C:\T\)", "'a", "b'", R"(\x y)"}));  // double quotes only
  TProgramCall c = BuildProgramCall(R"("%1" %*)", "/tmp/a");                                  // the file is the program
  EXPECT_TRUE(c.Valid && c.Program == "/tmp/a" && c.Args == V{"%*"});
  // An unterminated program quote makes the split skip the file name.
  EXPECT_FALSE(BuildProgramCall(R"("C:\a b.exe)", "f").Valid);
  EXPECT_FALSE(BuildProgramCall(R"( "%1")", "f").Valid);  // no program
  c = BuildProgramCall("v\x01 %1", "f\x01");              // control bytes do not move the file name
  EXPECT_TRUE(c.Program == "v\x01" && c.Args == V{"f\x01"});
}

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
  std::string out = RunScript(
      "ls /proc/$$/fd; read line; echo \"stdin:$?\"; "
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
  int error = 0;
  EXPECT_FALSE(StartDetachedProgram("tessel-no-such-program", {}, &error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(StartDetachedProgram("", {}));
  EXPECT_FALSE(StartDetachedProgram((Dir / "missing").string(), {}));
  std::ofstream(Dir / "plain") << "data\n";  // not executable
  EXPECT_FALSE(StartDetachedProgram((Dir / "plain").string(), {}));
  // Executable but without an interpreter line: never handed to a shell.
  fs::path script = Dir / "noshebang";
  std::ofstream(script) << "touch " << (Dir / "ran").string() << "\n";
  fs::permissions(script, fs::perms::owner_all);
  error = 0;
  EXPECT_FALSE(StartDetachedProgram(script.string(), {}, &error));
  EXPECT_EQ(error, ENOEXEC);
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(fs::exists(Dir / "ran"));
}
