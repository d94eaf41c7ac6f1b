// tessel --screenshot run as a program: the picture it writes and its exit
// statuses, without a display.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "WindowTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace wintest;

int RunScreenshot(const std::string& args) {
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" TESSEL_BINARY_DIR
                        "/tessel' --screenshot " +
                        args + " >/dev/null 2>&1";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ScreenshotCommand, pictures_and_exit_statuses) {
  tessel::test::TTempDir temp("tessel-screenshot");
  const fs::path& dir = temp.Path();
  smimetest::WriteFile(dir / "m.eml", Message(Multipart("mixed", {Leaf("text/plain"), Leaf("text/html")})));
  smimetest::WriteFile(dir / "bad.eml", "no colon here\r\n\r\n");
  std::string m = (dir / "m.eml").string(), out = (dir / "out.png").string();
  struct Case {
    std::string Args;
    int Status;
    bool Picture;
  } cases[] = {
      {out + " --view panels --lock 1.2 --size 640x480 " + m, 0, true},
      {out + " --select 1.1 " + m, 0, true},
      {out + " --expand-all " + (dir / "bad.eml").string(), 1, true},  // the window says why
      {out + " --lock 1.9 " + m, 4, false},
      {out + " --lock x.1 " + m, 2, false},
      {out + " --view sideways " + m, 2, false},
      {out + " --size 10x10 " + m, 2, false},
      {out + " " + (dir / "missing.eml").string(), 3, false},
      {(dir / "no-such-dir" / "out.png").string() + " " + m, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Args);
    fs::remove(out);
    EXPECT_EQ(RunScreenshot(c.Args), c.Status);
    EXPECT_EQ(fs::exists(out), c.Picture);
  }
  ASSERT_EQ(RunScreenshot(out + " --view panels --lock 1.2 --size 640x480 " + m), 0);
  QImage picture(QString::fromStdString(out));
  EXPECT_EQ(picture.size(), QSize(640, 480));
}

}  // namespace
