// Starts another program directly from an argument list, never through a
// shell, and leaves it running on its own.
#pragma once

#include <string>
#include <vector>

namespace tessel {

// Starts program with args (args excludes the program itself; the program
// sees program as its argv[0]). A program name without '/' is looked up in
// PATH. The program runs detached: in its own session, with standard input
// from /dev/null, no descriptor of ours above 2, and it is never our child,
// so no zombie is left whatever happens to it. Returns true when the program
// was executed; false when it could not be found or started, with the errno
// that says why in *error when error is given.
bool StartDetachedProgram(const std::string& program, const std::vector<std::string>& args, int* error = nullptr);

// The file the program name stands for: program itself when it holds a '/',
// else the first executable regular file of that name in PATH; "" when none.
std::string FindProgramFile(const std::string& program);

}  // namespace tessel
