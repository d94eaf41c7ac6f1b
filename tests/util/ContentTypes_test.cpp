#include "util/ContentTypes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>

#include "util/StringUtils.h"

using namespace tessel;
using namespace tessel::content_types_detail;

namespace {

// An association table in the classic Windows shape, case-insensitive like
// the registry it imitates. It records what would have been started.
class TFakeDatabase : public TContentTypeDatabase {
public:
  std::map<std::string, std::string> Extensions;  // content type -> extension
  std::map<std::string, std::string> FileTypes;   // extension -> file type
  std::map<std::string, std::string> Verbs;       // file type -> default verb
  std::map<std::string, std::string> Commands;    // "file type/verb" -> command line

  struct TStart {
    std::string Program;
    std::vector<std::string> Args;
  };
  std::vector<TStart> Started;
  std::vector<std::string> Opened;
  bool StartWorks = true;

  std::string ContentTypeExtension(const std::string& contentType) override {
    return Find(Extensions, contentType);
  }
  std::string ExtensionFileType(const std::string& extension) override { return Find(FileTypes, extension); }
  std::string FileTypeDefaultVerb(const std::string& fileType) override { return Find(Verbs, fileType); }
  std::string VerbCommand(const std::string& fileType, const std::string& verb) override {
    return Find(Commands, fileType + "/" + verb);
  }
  bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
    Started.push_back({program, args});
    return StartWorks;
  }
  void OpenWithDefaultHandler(const std::string& fileNameOrUrl) override { Opened.push_back(fileNameOrUrl); }

  // Registers content type -> extension -> file type -> "open" command.
  void Associate(const std::string& contentType, const std::string& extension, const std::string& command) {
    std::string fileType = extension.substr(1) + "file";
    Extensions[LowerCase(contentType)] = extension;
    FileTypes[LowerCase(extension)] = fileType;
    Commands[LowerCase(fileType + "/open")] = command;
  }

private:
  static std::string Find(const std::map<std::string, std::string>& table, const std::string& key) {
    auto it = table.find(LowerCase(key));
    return it == table.end() ? std::string() : it->second;
  }
};

class ContentTypes : public ::testing::Test {
protected:
  void SetUp() override {
    auto fake = std::make_unique<TFakeDatabase>();
    Db = fake.get();
    Previous = SetContentTypeDatabase(std::move(fake));
  }
  void TearDown() override { SetContentTypeDatabase(std::move(Previous)); }

  // Runs ExecuteWithContentType on a type associated with command and
  // returns what was started.
  TFakeDatabase::TStart ExecuteWith(const std::string& command, const std::string& fileName) {
    Db->Associate("application/x-test", ".tst", command);
    Db->Started.clear();
    EXPECT_TRUE(ExecuteWithContentType(fileName, "application/x-test")) << command;
    EXPECT_EQ(Db->Started.size(), 1u) << command;
    return Db->Started.empty() ? TFakeDatabase::TStart{} : Db->Started.back();
  }

  TFakeDatabase* Db = nullptr;
  std::unique_ptr<TContentTypeDatabase> Previous;
};

class ScopedEnv {
public:
  ScopedEnv(const char* name, const std::string& value) : Name(name) {
    if (const char* old = std::getenv(name)) Old = old, HadOld = true;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (HadOld)
      setenv(Name, Old.c_str(), 1);
    else
      unsetenv(Name);
  }

private:
  const char* Name;
  std::string Old;
  bool HadOld = false;
};

}  // namespace

// ---- the lookup chain ----------------------------------------------------

TEST_F(ContentTypes, unregistered_type_gives_empty_results_and_falls_back_to_shell_open) {
  EXPECT_EQ(GetContentTypeExtension("application/x-unknown"), "");
  EXPECT_EQ(GetContentTypeCommand("application/x-unknown"), "");
  EXPECT_FALSE(ExecuteWithContentType("/tmp/a.bin", "application/x-unknown"));
  EXPECT_TRUE(Db->Started.empty());
  EXPECT_EQ(Db->Opened, std::vector<std::string>{"/tmp/a.bin"});
}

TEST_F(ContentTypes, chain_follows_extension_file_type_and_verb) {
  Db->Associate("text/plain", ".txt", "notepad.exe %1");
  EXPECT_EQ(GetContentTypeExtension("text/plain"), ".txt");
  EXPECT_EQ(GetContentTypeExtension("Text/Plain"), ".txt");
  EXPECT_EQ(GetExtensionCommand(".txt"), "notepad.exe ");
  EXPECT_EQ(GetContentTypeCommand("text/plain"), "notepad.exe ");

  // The default verb picks the command; without one it is "open".
  Db->Verbs["txtfile"] = "edit";
  EXPECT_EQ(GetExtensionCommand(".txt"), "") << "no command registered for the verb edit";
  Db->Commands["txtfile/edit"] = "edit.exe %1";
  EXPECT_EQ(GetExtensionCommand(".txt"), "edit.exe ");
  Db->Verbs["txtfile"] = "";
  EXPECT_EQ(GetExtensionCommand(".txt"), "notepad.exe ");
}

TEST_F(ContentTypes, missing_step_of_the_chain_gives_empty_command) {
  Db->Extensions["image/x-a"] = ".a";  // extension without file type
  EXPECT_EQ(GetContentTypeExtension("image/x-a"), ".a");
  EXPECT_EQ(GetContentTypeCommand("image/x-a"), "");
  Db->FileTypes[".b"] = "bfile";  // file type without any command
  Db->Extensions["image/x-b"] = ".b";
  EXPECT_EQ(GetContentTypeCommand("image/x-b"), "");
  EXPECT_EQ(GetExtensionCommand(""), "");
  EXPECT_FALSE(ExecuteWithContentType("f.b", "image/x-b"));
  EXPECT_EQ(Db->Opened, std::vector<std::string>{"f.b"});
}

TEST_F(ContentTypes, extension_command_is_cut_before_the_placeholder) {
  const std::pair<const char*, const char*> cases[] = {
      {"notepad.exe %1", "notepad.exe "},
      {R"("C:\P\v.exe" "%1" /x)", R"("C:\P\v.exe" )"},
      {R"("C:\P\v.exe" /a "%1" /b "%1")", R"("C:\P\v.exe" /a )"},
      {R"(C:\P\app.exe /view)", R"(C:\P\app.exe /view)"},  // no placeholder: whole line
      {R"("C:\P\app.exe")", R"("C:\P\app.exe)"},           // final quote dropped
      {"%1", ""},
  };
  for (const auto& [command, expected] : cases) {
    Db->Associate("application/x-test", ".tst", command);
    EXPECT_EQ(GetExtensionCommand(".tst"), expected) << command;
  }
}

// ---- putting the file name in and splitting ------------------------------

TEST_F(ContentTypes, execute_bare_placeholder_quotes_the_file_name) {
  auto s = ExecuteWith("notepad.exe %1", R"(C:\T\a.txt)");
  EXPECT_EQ(s.Program, "notepad.exe");
  EXPECT_EQ(s.Args, std::vector<std::string>{R"(C:\T\a.txt)"});
  EXPECT_TRUE(Db->Opened.empty());
}

TEST_F(ContentTypes, execute_quoted_program_keeps_following_parameters) {
  auto s = ExecuteWith(R"("C:\P\v.exe" "%1" /x)", R"(C:\T\my file.txt)");
  EXPECT_EQ(s.Program, R"(C:\P\v.exe)");
  EXPECT_EQ(s.Args, (std::vector<std::string>{R"(C:\T\my file.txt)", "/x"}));

  s = ExecuteWith(R"("C:\Program Files\V\v.exe" /view "%1")", "f.txt");
  EXPECT_EQ(s.Program, R"(C:\Program Files\V\v.exe)");
  EXPECT_EQ(s.Args, (std::vector<std::string>{"/view", "f.txt"}));
}

TEST_F(ContentTypes, execute_without_placeholder_appends_the_file_name) {
  auto s = ExecuteWith(R"(C:\P\app.exe)", "a b.txt");
  EXPECT_EQ(s.Program, R"(C:\P\app.exe)");
  EXPECT_EQ(s.Args, std::vector<std::string>{"a b.txt"});

  s = ExecuteWith(R"("C:\P\app.exe" -view)", "a.txt");
  EXPECT_EQ(s.Program, R"(C:\P\app.exe)");
  EXPECT_EQ(s.Args, (std::vector<std::string>{"-view", "a.txt"}));
}

TEST_F(ContentTypes, execute_placeholder_inside_a_word_joins_the_word) {
  auto s = ExecuteWith(R"("/usr/bin/view" "--file=%1" "--x")", "/tmp/a b");
  EXPECT_EQ(s.Program, "/usr/bin/view");
  EXPECT_EQ(s.Args, (std::vector<std::string>{"--file=/tmp/a b", "--x"}));
}

TEST_F(ContentTypes, execute_expands_environment_before_splitting) {
  ScopedEnv root("SystemRoot", R"(C:\Windows)");
  ScopedEnv files("ProgramFiles", R"(C:\Program Files)");
  auto s = ExecuteWith(R"(%SystemRoot%\system32\notepad.exe %1)", "a.txt");
  EXPECT_EQ(s.Program, R"(C:\Windows\system32\notepad.exe)");
  EXPECT_EQ(s.Args, std::vector<std::string>{"a.txt"});

  s = ExecuteWith(R"("%ProgramFiles%\V\v.exe" "%1" %SystemRoot%)", "a.txt");
  EXPECT_EQ(s.Program, R"(C:\Program Files\V\v.exe)");
  EXPECT_EQ(s.Args, (std::vector<std::string>{"a.txt", R"(C:\Windows)"}));
}

TEST_F(ContentTypes, hostile_file_names_stay_one_literal_argument) {
  ScopedEnv home("TESSEL_SECRET", "leaked");
  const std::string names[] = {
      R"(/tmp/x"; rm -rf ~; ".txt)",
      "/tmp/$(touch pwned) `id` & | ; > < *.txt",
      "/tmp/%TESSEL_SECRET%.txt",
      R"(/tmp/"quoted" name.txt)",
      "/tmp/tab\there and  two  blanks .txt",
      "/tmp/%1 again %1.txt",
      "/tmp/" + std::string(700, 'n') + ".txt",
  };
  const char* commands[] = {"viewer %1", R"("viewer" "%1")", "viewer", R"("viewer" "--in=%1" -x)"};
  for (const std::string& name : names) {
    for (const char* command : commands) {
      auto s = ExecuteWith(command, name);
      EXPECT_EQ(s.Program, "viewer") << command;
      int found = 0;
      for (const std::string& a : s.Args)
        if (a == name || a == "--in=" + name) ++found;
      EXPECT_EQ(found, 1) << command << " with " << name;
      EXPECT_LE(s.Args.size(), 2u) << command << " with " << name;
    }
  }
}

TEST_F(ContentTypes, expansion_limit_never_cuts_the_file_name) {
  ScopedEnv longValue("TESSEL_LONG", std::string(600, 'v'));
  // The cut falls after the file name: the trailing parameter is shortened.
  auto s = ExecuteWith(R"("viewer" "%1" %TESSEL_LONG%)", "a.txt");
  EXPECT_EQ(s.Program, "viewer");
  ASSERT_EQ(s.Args.size(), 2u);
  EXPECT_EQ(s.Args[0], "a.txt");
  EXPECT_LT(s.Args[1].size(), 520u);

  // The cut would fall before the file name: the command is not used.
  Db->Associate("application/x-test", ".tst", "%TESSEL_LONG% %1");
  Db->Started.clear();
  EXPECT_FALSE(ExecuteWithContentType("a.txt", "application/x-test"));
  EXPECT_TRUE(Db->Started.empty());
  EXPECT_EQ(Db->Opened, std::vector<std::string>{"a.txt"});
}

TEST_F(ContentTypes, failed_start_falls_back_to_shell_open) {
  Db->Associate("application/x-test", ".tst", "missing.exe %1");
  Db->StartWorks = false;
  EXPECT_FALSE(ExecuteWithContentType("a.tst", "application/x-test"));
  EXPECT_EQ(Db->Started.size(), 1u);
  EXPECT_EQ(Db->Opened, std::vector<std::string>{"a.tst"});
}

TEST_F(ContentTypes, shell_open_passes_names_and_urls_unchanged) {
  ShellOpen("https://example.org/a?b=c&d");
  ShellOpen("mailto:someone@example.org");
  ShellOpen("");
  EXPECT_EQ(Db->Opened, (std::vector<std::string>{"https://example.org/a?b=c&d", "mailto:someone@example.org"}));
}

// ---- building blocks ------------------------------------------------------

TEST(ContentTypesDetail, environment_expansion_keeps_what_is_not_a_reference) {
  ScopedEnv a("TESSEL_A", "alpha");
  unsetenv("TESSEL_UNSET");
  EXPECT_EQ(ExpandEnvironmentStrings("%TESSEL_A%\\x"), "alpha\\x");
  EXPECT_EQ(ExpandEnvironmentStrings("x%TESSEL_A%%TESSEL_A%y"), "xalphaalphay");
  EXPECT_EQ(ExpandEnvironmentStrings("%TESSEL_UNSET%"), "%TESSEL_UNSET%");
  EXPECT_EQ(ExpandEnvironmentStrings("%TESSEL_UNSET%%TESSEL_A%"), "%TESSEL_UNSET%alpha");
  // An unset name's closing '%' may open the next reference.
  EXPECT_EQ(ExpandEnvironmentStrings("%TESSEL_UNSET%TESSEL_A%"), "%TESSEL_UNSETalpha");
  EXPECT_EQ(ExpandEnvironmentStrings("100% of %1"), "100% of %1");
  EXPECT_EQ(ExpandEnvironmentStrings("%%"), "%%");
  EXPECT_EQ(ExpandEnvironmentStrings("trailing %"), "trailing %");
  EXPECT_EQ(ExpandEnvironmentStrings("%A=B%"), "%A=B%");
  EXPECT_EQ(ExpandEnvironmentStrings(std::string(600, 'x')).size(), ExpandedCommandLimit);
}

TEST(ContentTypesDetail, argument_split_honours_double_quotes_only) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitArguments(""), V{});
  EXPECT_EQ(SplitArguments("  a   b\tc  "), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitArguments(R"("a b" c)"), (V{"a b", "c"}));
  EXPECT_EQ(SplitArguments(R"(a"b c"d)"), (V{"ab cd"}));
  EXPECT_EQ(SplitArguments(R"("" x "")"), (V{"", "x", ""}));
  EXPECT_EQ(SplitArguments(R"(C:\T\ 'a b' \"x)"), (V{R"(C:\T\)", "'a", "b'", R"(\x)"}));
  EXPECT_EQ(SplitArguments(R"("open to the end)"), (V{"open to the end"}));
}

TEST(ContentTypesDetail, program_call_from_odd_commands) {
  // The program itself is the file (executable association).
  TProgramCall c = BuildProgramCall(R"("%1" %*)", "/tmp/a");
  EXPECT_TRUE(c.Valid);
  EXPECT_EQ(c.Program, "/tmp/a");
  EXPECT_EQ(c.Args, std::vector<std::string>{"%*"});
  // An unterminated program quote swallows the appended file name's quote,
  // and the split then skips the file name: such a command is not used.
  EXPECT_FALSE(BuildProgramCall(R"("C:\a b.exe)", "f").Valid);
  // A command that leaves no program cannot be used.
  EXPECT_FALSE(BuildProgramCall(R"( "%1")", "f").Valid);
  // Control bytes in the command do not confuse the file name's place.
  c = BuildProgramCall("v\x01 %1", "f\x01");
  EXPECT_EQ(c.Program, "v\x01");
  EXPECT_EQ(c.Args, std::vector<std::string>{"f\x01"});
}

TEST(ContentTypesDetail, program_name_for_the_menu) {
  const std::pair<const char*, const char*> cases[] = {
      {"notepad.exe ", "notepad"},
      {R"("C:\P\v.exe )", "v"},
      {R"("C:\Program Files\V\viewer.exe" /view )", "viewer"},
      {R"("/usr/bin/libreoffice" "--calc" )", "libreoffice"},
      {"/usr/bin/eog", "eog"},
      {".hidden", ".hidden"},
      {"", ""},
  };
  for (const auto& [command, expected] : cases) EXPECT_EQ(CommandProgramName(command), expected) << command;
}

TEST(ContentTypesDetail, version_is_four_numbers) {
  EXPECT_TRUE(std::regex_match(GetFileVersionString(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")))
      << GetFileVersionString();
}

TEST(ContentTypesDetail, built_in_database_has_no_registrations) {
  auto previous = SetContentTypeDatabase(nullptr);
  EXPECT_EQ(GetContentTypeExtension("text/plain"), "");
  EXPECT_EQ(GetExtensionCommand(".txt"), "");
  SetContentTypeDatabase(std::move(previous));
}
