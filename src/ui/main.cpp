// Program entry: headless commands run here, without the window system's
// libraries; anything else starts the viewer program in this process.
#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "ui/ViewerLaunch.h"
#include "ui/cli/Command.h"

int main(int argc, char** argv) {
  using namespace tessel;
  std::ios::sync_with_stdio(false);
  // A command runs once and ends: large blocks (a growing list of header
  // lines, decoded contents) come from the heap and are reused when freed,
  // instead of each being mapped afresh and faulted in page by page.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  RememberProgramArguments(argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = cli::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  if (status >= 0) return status;
  return ExecViewer(argv, std::cerr);
}
