// Program entry: headless commands run without a display; anything else
// starts the viewer.
#include <iostream>
#include <string>
#include <vector>

#include "ui/cli/Command.h"
#include "config/QXConf.h"
#include "util/system/Exception.h"
#include "ui/desktop/DesktopContentTypes.h"
#include "ui/window/Viewer.h"

int main(int argc, char** argv) {
  using namespace tessel;
  std::ios::sync_with_stdio(false);
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
