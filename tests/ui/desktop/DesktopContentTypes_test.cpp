// The desktop backend against the real shared MIME database, with default
// applications from a private desktop set up for this test program only.
#include "ui/desktop/DesktopContentTypes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "util/TestSupport.h"

using namespace tessel;
namespace fs = std::filesystem;
using V = std::vector<std::string>;

namespace {

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// The lines the viewer wrote to out, once it has written them.
V ViewerArguments(const fs::path& out) {
  for (int i = 0; i < 500 && !fs::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  V lines;
  std::ifstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

// Applications come only from a private desktop; the MIME types are the
// system's. Set up before any lookup: the MIME database and GIO read these
// variables once.
TEST(DesktopContentTypes, real_database_lookups_and_literal_file_names) {
  test::TTempDir temp;
  const fs::path root = temp.Path(), viewer = root / "bin" / "tessel-test-viewer",
                 apps = root / "data" / "applications";
  fs::create_directories(root / "sys");
  fs::create_directory_symlink("/usr/share/mime", root / "sys" / "mime");
  // Writes its arguments, one a line, to $TESSEL_TEST_OUT when done.
  WriteFile(viewer,
            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$TESSEL_TEST_OUT.tmp\"\n"
            "mv \"$TESSEL_TEST_OUT.tmp\" \"$TESSEL_TEST_OUT\"\n");
  fs::permissions(viewer, fs::perms::owner_all);
  WriteFile(apps / "tessel-test-viewer.desktop",
            "[Desktop Entry]\nType=Application\nName=Tessel Test Viewer\nExec=" + viewer.string() +
                " --title %c --flag %i --from %k %f\n"
                "MimeType=text/plain;\n");
  WriteFile(apps / "tessel-test-term.desktop", "[Desktop Entry]\nType=Application\nName=Tessel Test Terminal\nExec=" +
                                                   viewer.string() + " %f\nTerminal=true\nMimeType=text/x-csrc;\n");
  WriteFile(root / "config" / "mimeapps.list",
            "[Default Applications]\ntext/plain=tessel-test-viewer.desktop\n"
            "text/x-csrc=tessel-test-term.desktop\n");
  setenv("XDG_DATA_DIRS", (root / "sys").c_str(), 1);
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (root / "sysconfig").c_str(), 1);
  unsetenv("XDG_CURRENT_DESKTOP");
  unsetenv("DISPLAY");  // headless, as on a build machine
  unsetenv("WAYLAND_DISPLAY");
  SetContentTypeDatabase(CreateDesktopContentTypeDatabase());

  for (auto [type, extension] :
       {std::pair{"TEXT/Plain", ".txt"}, {"image/png", ".png"}, {"application/x-tessel-x", ""}})
    EXPECT_EQ(GetContentTypeExtension(type), extension) << type;
  EXPECT_EQ(QCoreApplication::instance(), nullptr);  // no application object needed
  std::string command = "\"" + viewer.string() + "\" \"--title\" \"--flag\" \"--from\" ";
  EXPECT_EQ(GetContentTypeCommand("text/plain"), command);
  EXPECT_EQ(GetExtensionCommand(".txt"), command);
  EXPECT_EQ(CommandProgramName(command), "tessel-test-viewer");
  for (const char* type : {"image/png", "text/x-csrc"})  // no application; one that needs a terminal
    EXPECT_EQ(GetContentTypeCommand(type), "") << type;
  EXPECT_EQ(GetExtensionCommand("txt"), "") << "an extension has its dot";

  fs::path file = root / "it's \"a\" $(touch pwned) %HOME% `id`; name.txt", out = root / "out-1";
  WriteFile(file, "hello\n");
  setenv("TESSEL_TEST_OUT", out.c_str(), 1);
  ASSERT_TRUE(ExecuteWithContentType(file.string(), "Text/Plain"));
  EXPECT_EQ(ViewerArguments(out), (V{"--title", "--flag", "--from", file.string()}));
  EXPECT_FALSE(fs::exists("pwned") || fs::exists(root / "pwned"));

  // Without an application for the type, the desktop opens the file by its own type.
  setenv("TESSEL_TEST_OUT", (out = root / "out-2").c_str(), 1);
  EXPECT_FALSE(ExecuteWithContentType(file.string(), "application/x-tessel-unknown"));
  V args = ViewerArguments(out);
  EXPECT_EQ(args.empty() ? "" : args.back(), file.string());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "nothing is left behind for us to reap";
  EXPECT_EQ(errno, ECHILD);
  SetContentTypeDatabase(nullptr);
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
      {"", ""},
      {"%i app %f", ""},  // the program word vanishes
  };
  for (const auto& [exec, expected] : cases) EXPECT_EQ(DesktopExecToCommand(exec), expected) << exec;
}
