// Program entry: headless commands run without a display; anything else
// starts the windows.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Command.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = tessel::cli::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  if (status >= 0) return status;
  // The windows are not built yet; until they are, say what can be done.
  std::cerr << "tessel: the viewer windows are not available in this build; see tessel --help\n";
  return tessel::cli::ExitUsage;
}
