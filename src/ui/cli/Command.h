// The headless commands of the program (--dump, --check, --asn1, ...).
//
// Each command lives in its own source file and registers itself with a
// static TCommandRegistrar; the command-line front end dispatches on the
// first argument. No display is needed for any of them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessel::cli {

// Exit statuses shared by all commands.
enum TExitCode : int {
  ExitDone = 0,
  ExitNotParsed = 1,   // the input did not parse (the parser's message on stderr)
  ExitUsage = 2,       // bad command line
  ExitUnreadable = 3,  // the file cannot be read
  ExitNoSuchPart = 4,  // no part at the given path
  ExitNotWritten = 5,  // the output cannot be written (a full disk, a closed descriptor)
  ExitNoMemory = 6,    // the memory limit was reached
};

struct TCommandContext {
  std::vector<std::string> Args;  // the arguments after the option itself
  std::ostream& Out;
  std::ostream& Err;
  // --remember-signers was given: a message's verified signers go into the
  // user's "AddressBook" store, as when the viewer opens it. Without it no
  // command writes to the stores.
  bool RememberSigners = false;
};

using TCommandFn = int (*)(TCommandContext&);

struct TCommandRegistrar {
  // option: "--dump"; usage: the rest of its usage line, e.g. "FILE".
  TCommandRegistrar(const char* option, const char* usage, const char* help, TCommandFn fn);
};

// Runs a headless command when argv names one (or --help / --version) and
// returns its exit status; returns -1 when argv names none, so the caller
// starts the windows.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "FILE" options shared by commands: the value after name in args (removed
// from args), or "" when absent. Sets error when the option has no value.
std::string TakeOption(std::vector<std::string>& args, const std::string& name, bool& error);
bool TakeFlag(std::vector<std::string>& args, const std::string& name);

// For commands that read one FILE whole (after their options are taken;
// badOptions: an option lacked its value). FileArgument prints
// "Usage: tessel " + usage unless args is one FILE that is neither empty
// nor an option; ReadCommandFile prints why a file cannot be read. Each
// returns ExitDone or the exit status.
int FileArgument(TCommandContext& ctx, bool badOptions, const char* usage);
int ReadCommandFile(TCommandContext& ctx, const std::string& fileName, std::string& bytes);

}  // namespace tessel::cli
