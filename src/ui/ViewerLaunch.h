// The program is two files. `tessel` runs the headless commands without
// loading the window system's libraries (a script that runs --check a
// thousand times pays nothing for the windows), and hands everything else
// to the viewer program: it replaces itself with it, in the same process,
// with the same arguments.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessel {

// The variable through which the viewer learns the file of the `tessel`
// that started it: settings are found by the program the user ran.
inline constexpr const char* kLauncherVariable = "TESSEL_LAUNCHER";

// The places of the viewer program, for the launcher at launcherFile (an
// absolute name), in the order they are tried: beside it (a build tree),
// then the install tree's place, viewerFromBin (relative to the folder of
// the launcher, e.g. "../libexec/tessel").
std::vector<std::string> ViewerProgramCandidates(const std::string& launcherFile, const std::string& viewerFromBin);

// Replaces this process with the viewer program on argv. Returns only when
// that fails, after writing why to err; the result is the exit status.
int ExecViewer(char** argv, std::ostream& err);

// The arguments ExecViewer passes on for commands that run in the viewer
// (--screenshot); set by the launcher's main.
void RememberProgramArguments(char** argv);
char** RememberedProgramArguments();

}  // namespace tessel
