// The viewer program's entry. `tessel` starts it in its own place for
// everything but the headless commands; run directly, it does all that
// `tessel` does (the commands too), loading the window libraries first.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "config/ConfigLocation.h"
#include "config/QXConf.h"
#include "ui/ViewerLaunch.h"
#include "ui/cli/Command.h"
#include "util/system/Exception.h"
#include "ui/desktop/DesktopContentTypes.h"
#include "ui/window/Viewer.h"

int main(int argc, char** argv) {
  using namespace tessel;
  std::ios::sync_with_stdio(false);
  // Started by `tessel`: that is the program the user ran (its settings are
  // found by its file), and programs we start later must not inherit this.
  if (const char* launcher = std::getenv(kLauncherVariable)) {
    if (launcher[0] == '/') SetProgramFileName(launcher);
    ::unsetenv(kLauncherVariable);
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = cli::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  if (status >= 0) return status;

  bool missing = false;
  std::string configName = cli::TakeOption(args, "--config", missing);
  if (missing) {
    std::cerr << "tessel: --config needs a file name\n";
    cli::RunCommandLine({"--help"}, std::cerr, std::cerr);
    return cli::ExitUsage;
  }
  UseDesktopContentTypeDatabase();
  InitConfigFile(configName);
  status = RunViewer(argc, argv, args);
  std::cout.flush();
  try {
    DoneConfigFile();
  } catch (const Exception& e) {
    std::cerr << "tessel: the settings could not be saved: " << e.what() << "\n";
  }
  return status;
}
