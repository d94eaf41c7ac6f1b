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
#include <thread>

using namespace tessel;
namespace fs = std::filesystem;
using V = std::vector<std::string>;

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
    unsetenv("DISPLAY");  // headless, as on a build machine
    unsetenv("WAYLAND_DISPLAY");
    SetContentTypeDatabase(CreateDesktopContentTypeDatabase());
  }
  void TearDown() override {
    SetContentTypeDatabase(nullptr);
    fs::remove_all(Root);
  }
};

const auto* const Registered = ::testing::AddGlobalTestEnvironment(new PrivateDesktop);

// The lines the viewer wrote to out, once it has written them.
V ViewerArguments(const fs::path& out) {
  for (int i = 0; i < 500 && !fs::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  V lines;
  std::ifstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(DesktopContentTypes, real_database_lookups_and_literal_file_names) {
  EXPECT_EQ(GetContentTypeExtension("TEXT/Plain"), ".txt");
  EXPECT_EQ(GetContentTypeExtension("image/png"), ".png");
  EXPECT_EQ(GetContentTypeExtension("application/x-tessel-unknown"), "");
  EXPECT_EQ(GetContentTypeExtension("not a type"), "");
  EXPECT_EQ(QCoreApplication::instance(), nullptr);  // no application object needed
  std::string command = "\"" + ViewerProgram().string() + "\" \"--title\" \"--flag\" \"--from\" ";
  EXPECT_EQ(GetContentTypeCommand("text/plain"), command);
  EXPECT_EQ(GetExtensionCommand(".txt"), command);
  EXPECT_EQ(CommandProgramName(command), "tessel-test-viewer");
  EXPECT_EQ(GetContentTypeCommand("image/png"), "") << "registered type, no application";
  EXPECT_EQ(GetContentTypeCommand("text/x-csrc"), "") << "needs a terminal";
  EXPECT_EQ(GetExtensionCommand("txt"), "") << "an extension has its dot";

  fs::path file = Root / "it's \"a\" $(touch pwned) %HOME% `id`; name.txt", out = Root / "out-1";
  WriteFile(file, "hello\n");
  setenv("TESSEL_TEST_OUT", out.c_str(), 1);
  ASSERT_TRUE(ExecuteWithContentType(file.string(), "Text/Plain"));
  EXPECT_EQ(ViewerArguments(out), (V{"--title", "--flag", "--from", file.string()}));
  EXPECT_FALSE(fs::exists("pwned") || fs::exists(Root / "pwned"));

  // Without an application for the type, the desktop opens the file by its own type.
  setenv("TESSEL_TEST_OUT", (out = Root / "out-2").c_str(), 1);
  EXPECT_FALSE(ExecuteWithContentType(file.string(), "application/x-tessel-unknown"));
  V args = ViewerArguments(out);
  EXPECT_EQ(args.empty() ? "" : args.back(), file.string());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "nothing is left behind for us to reap";
  EXPECT_EQ(errno, ECHILD);
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
