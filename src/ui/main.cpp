// Program entry: headless commands run without a display; anything else
// starts the viewer.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "config/QXConf.h"
#include "util/Exception.h"
#include "util/desktop/DesktopContentTypes.h"

int main(int argc, char** argv) {
  using namespace tessel;
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = cli::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  if (status >= 0) return status;

  bool missing = false;
  std::string configName = cli::TakeOption(args, "--config", missing);
  if (missing || args.empty()) {
    std::cerr << (missing ? "tessel: --config needs a file name\n" : "");
    cli::RunCommandLine({"--help"}, std::cerr, std::cerr);
    return cli::ExitUsage;
  }
  UseDesktopContentTypeDatabase();
  InitConfigFile(configName);
  // The viewer windows are not part of this build yet: show each file's
  // structure as the window's tree will.
  std::cerr << "tessel: the viewer windows are not available in this build; "
               "showing the structure as tessel --dump does\n";
  status = cli::ExitDone;
  for (const std::string& file : args) {
    if (args.size() > 1) std::cout << "==> " << file << " <==\n";
    int one = cli::RunCommandLine({"--dump", file}, std::cout, std::cerr);
    if (one > status) status = one;
  }
  std::cout.flush();
  try {
    DoneConfigFile();
  } catch (const Exception& e) {
    std::cerr << "tessel: the settings could not be saved: " << e.what() << "\n";
  }
  return status;
}
