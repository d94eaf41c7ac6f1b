// Program entry: headless commands run here, without the window system's
// libraries; anything else starts the viewer program in this process.
#include <iostream>
#include <string>
#include <vector>

#include "ui/ViewerLaunch.h"
#include "ui/cli/Command.h"

int main(int argc, char** argv) {
  using namespace tessel;
  std::ios::sync_with_stdio(false);
  RememberProgramArguments(argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = cli::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  if (status >= 0) return status;
  return ExecViewer(argv, std::cerr);
}
