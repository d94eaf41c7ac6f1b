#include "ui/ViewerLaunch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "config/ConfigLocation.h"

namespace tessel {

namespace {

char** gProgramArguments = nullptr;

// The shell's status for a program that cannot be run: an installation
// fault, not one of the commands' statuses.
constexpr int kViewerMissing = 127;

}  // namespace

std::vector<std::string> ViewerProgramCandidates(const std::string& launcherFile, const std::string& viewerFromBin) {
  size_t slash = launcherFile.rfind('/');
  if (slash == std::string::npos) return {};
  std::string folder = launcherFile.substr(0, slash + 1);
  std::vector<std::string> candidates{folder + "tessel-viewer"};
  if (!viewerFromBin.empty()) candidates.push_back(folder + viewerFromBin + "/tessel-viewer");
  return candidates;
}

int ExecViewer(char** argv, std::ostream& err) {
  std::cout.flush();
  std::string self = ProgramFileName();
  if (self.empty()) {
    err << "tessel: the viewer cannot be started: the program's own file is unknown\n";
    return kViewerMissing;
  }
  std::vector<std::string> candidates = ViewerProgramCandidates(self, TESSEL_VIEWER_FROM_BIN);
  for (const std::string& viewer : candidates) {
    if (::access(viewer.c_str(), X_OK) != 0) continue;
    ::setenv(kLauncherVariable, self.c_str(), 1);
    ::execv(viewer.c_str(), argv);
    int error = errno;
    ::unsetenv(kLauncherVariable);
    err << "tessel: the viewer cannot be started: " << viewer << ": " << std::strerror(error) << "\n";
    return kViewerMissing;
  }
  err << "tessel: the viewer program is missing; looked for";
  for (const std::string& viewer : candidates) err << " " << viewer;
  err << "\n";
  return kViewerMissing;
}

void RememberProgramArguments(char** argv) { gProgramArguments = argv; }

char** RememberedProgramArguments() { return gProgramArguments; }

}  // namespace tessel
