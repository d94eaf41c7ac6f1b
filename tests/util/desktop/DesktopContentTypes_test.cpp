// The desktop backend against the real shared MIME database, with default
// applications from a private desktop set up for this test program only.
#include "util/desktop/DesktopContentTypes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace tessel;
namespace fs = std::filesystem;

namespace {

fs::path Root;  // the private desktop

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

fs::path ViewerProgram() { return Root / "bin" / "tessel-test-viewer"; }

// Built before any lookup: the MIME database and GIO read these variables
// once. Applications come only from the private desktop; the MIME types are
// the system's.
class PrivateDesktop : public ::testing::Environment {
public:
  void SetUp() override {
    char pattern[] = "/tmp/tessel-desktop-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Root = pattern;
    fs::create_directories(Root / "sys");
    fs::create_directory_symlink("/usr/share/mime", Root / "sys" / "mime");

    // Writes its arguments, one a line, to $TESSEL_TEST_OUT when done.
    WriteFile(ViewerProgram(),
              "#!/bin/sh\n"
              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$TESSEL_TEST_OUT.tmp\"\n"
              "mv \"$TESSEL_TEST_OUT.tmp\" \"$TESSEL_TEST_OUT\"\n");
    fs::permissions(ViewerProgram(), fs::perms::owner_all);
    fs::path apps = Root / "data" / "applications";
    WriteFile(apps / "tessel-test-viewer.desktop",
              "[Desktop Entry]\nType=Application\nName=Tessel Test Viewer\n"
              "Exec=" + ViewerProgram().string() + " --title %c --flag %i --from %k %f\n"
              "MimeType=text/plain;\n");
    WriteFile(apps / "tessel-test-term.desktop",
              "[Desktop Entry]\nType=Application\nName=Tessel Test Terminal Tool\n"
              "Exec=" + ViewerProgram().string() + " %f\nTerminal=true\nMimeType=text/x-csrc;\n");
    WriteFile(Root / "config" / "mimeapps.list",
              "[Default Applications]\n"
              "text/plain=tessel-test-viewer.desktop\n"
              "text/x-csrc=tessel-test-term.desktop\n");

    setenv("XDG_DATA_DIRS", (Root / "sys").c_str(), 1);
    setenv("XDG_DATA_HOME", (Root / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Root / "config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (Root / "sysconfig").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
    // Headless, as on a build machine.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    SetContentTypeDatabase(CreateDesktopContentTypeDatabase());
  }
  void TearDown() override {
    SetContentTypeDatabase(nullptr);
    fs::remove_all(Root);
  }
};

const auto* const Registered = ::testing::AddGlobalTestEnvironment(new PrivateDesktop);

// The lines the viewer wrote, once it has written them.
std::vector<std::string> ViewerArguments(const fs::path& out) {
  for (int i = 0; i < 500 && !fs::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::vector<std::string> lines;
  std::ifstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class DesktopContentTypes : public ::testing::Test {
protected:
  void SetUp() override {
    Out = Root / ("out-" + std::to_string(++Counter));
    setenv("TESSEL_TEST_OUT", Out.c_str(), 1);
  }
  static inline int Counter = 0;
  fs::path Out;
};

}  // namespace

TEST_F(DesktopContentTypes, system_mime_database_gives_extensions_without_an_application_object) {
  EXPECT_EQ(GetContentTypeExtension("text/plain"), ".txt");
  EXPECT_EQ(GetContentTypeExtension("TEXT/Plain"), ".txt");
  EXPECT_EQ(GetContentTypeExtension("image/png"), ".png");
  EXPECT_EQ(GetContentTypeExtension("application/pdf"), ".pdf");
  EXPECT_EQ(GetContentTypeExtension("application/x-tessel-unknown"), "");
  EXPECT_EQ(GetContentTypeExtension("not a type"), "");
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

TEST_F(DesktopContentTypes, default_application_gives_the_command_up_to_the_file) {
  std::string expected = "\"" + ViewerProgram().string() + "\" \"--title\" \"--flag\" \"--from\" ";
  EXPECT_EQ(GetContentTypeCommand("text/plain"), expected);
  EXPECT_EQ(GetExtensionCommand(".txt"), expected);
  EXPECT_EQ(CommandProgramName(GetContentTypeCommand("text/plain")), "tessel-test-viewer");
}

TEST_F(DesktopContentTypes, types_without_a_usable_application_give_no_command) {
  EXPECT_EQ(GetContentTypeCommand("image/png"), "") << "registered type, no application";
  EXPECT_EQ(GetContentTypeCommand("text/x-csrc"), "") << "needs a terminal";
  EXPECT_EQ(GetContentTypeCommand("application/x-tessel-unknown"), "");
  EXPECT_EQ(GetExtensionCommand(".tessel-unknown-extension"), "");
  EXPECT_EQ(GetExtensionCommand("txt"), "") << "an extension has its dot";
}

TEST_F(DesktopContentTypes, execute_starts_the_default_application_with_the_literal_file_name) {
  fs::path file = Root / "it's \"a\" $(touch pwned) %HOME% `id`; name.txt";
  WriteFile(file, "hello\n");
  ASSERT_TRUE(ExecuteWithContentType(file.string(), "Text/Plain"));
  EXPECT_EQ(ViewerArguments(Out), (std::vector<std::string>{"--title", "--flag", "--from", file.string()}));
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(Root / "pwned"));
}

TEST_F(DesktopContentTypes, unregistered_type_opens_the_file_through_the_desktop) {
  fs::path file = Root / "opened by type $(x).txt";
  WriteFile(file, "hello\n");
  EXPECT_FALSE(ExecuteWithContentType(file.string(), "application/x-tessel-unknown"));
  // GIO picks the application by the file's own type and fills in the field codes itself.
  std::vector<std::string> args = ViewerArguments(Out);
  ASSERT_FALSE(args.empty());
  EXPECT_EQ(args.back(), file.string());
  // Nothing is left behind for us to reap.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(DesktopContentTypes, shell_open_without_any_handler_returns_quietly) {
  fs::path file = Root / "picture.png";
  WriteFile(file, "\x89PNG\r\n\x1a\n");
  ShellOpen(file.string());
  ShellOpen("tessel-unknown-scheme:whatever");
  ShellOpen((Root / "does not exist").string());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(Out));
}

TEST(DesktopExecToCommand, field_codes_and_quoting) {
  const std::pair<const char*, const char*> cases[] = {
      {"gedit %U", R"("gedit" "%1")"},
      {R"("/opt/My App/app" --new %f)", R"("/opt/My App/app" "--new" "%1")"},
      {"app --icon %i --name %c %k %F %u", R"("app" "--icon" "--name" "%1")"},
      {"app --file=%f", R"("app" "--file=%1")"},
      {"app 100%% %d%D%n%N%v%m", R"("app" "100%")"},
      {"app", R"("app")"},
      {R"(app "say \"hi\"" %f)", ""},  // a double quote inside a word
      {"app 'unterminated", ""},
      {"%i app %f", ""},  // the program word vanishes
      {"", ""},
  };
  for (const auto& [exec, expected] : cases) EXPECT_EQ(DesktopExecToCommand(exec), expected) << exec;
}
