#include <algorithm>
#include <map>
#include <new>
#include <ostream>

#include "ui/cli/Command.h"
#include "util/streams/FileStream.h"

namespace tessel::cli {

namespace {

struct TCommand {
  std::string Usage;
  std::string Help;
  TCommandFn Fn;
};

std::map<std::string, TCommand>& Commands() {
  static std::map<std::string, TCommand> commands;
  return commands;
}

void PrintHelp(std::ostream& out) {
  out << "Usage: tessel [FILE...]            open message files in the viewer\n";
  for (const auto& [option, cmd] : Commands()) {
    std::string line = "       tessel " + option + (cmd.Usage.empty() ? "" : " " + cmd.Usage);
    out << line;
    if (line.size() < 35)
      out << std::string(35 - line.size(), ' ');
    else
      out << "\n" << std::string(35, ' ');
    out << cmd.Help << "\n";
  }
  out << "       tessel --help                show this text\n"
         "       tessel --version             show the version\n"
         "Commands that read a message take --remember-signers to add its verified\n"
         "signers to the \"AddressBook\" store, as the viewer does.\n"
         "Exit status: 0 done, 1 the input did not parse, 2 usage error,\n"
         "3 the file cannot be read, 4 no such part, 5 the output cannot be written,\n"
         "6 not enough memory.\n";
}

}  // namespace

TCommandRegistrar::TCommandRegistrar(const char* option, const char* usage, const char* help, TCommandFn fn) {
  Commands()[option] = TCommand{usage, help, fn};
}

std::string TakeOption(std::vector<std::string>& args, const std::string& name, bool& error) {
  auto it = std::find(args.begin(), args.end(), name);
  if (it == args.end()) return std::string();
  if (it + 1 == args.end()) {
    error = true;
    args.erase(it);
    return std::string();
  }
  std::string value = *(it + 1);
  args.erase(it, it + 2);
  return value;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
  auto it = std::find(args.begin(), args.end(), name);
  if (it == args.end()) return false;
  args.erase(it);
  return true;
}

int FileArgument(TCommandContext& ctx, bool badOptions, const char* usage) {
  if (!badOptions && ctx.Args.size() == 1 && !ctx.Args[0].empty() && ctx.Args[0][0] != '-') return ExitDone;
  ctx.Err << "Usage: tessel " << usage << "\n";
  return ExitUsage;
}

int ReadCommandFile(TCommandContext& ctx, const std::string& fileName, std::string& bytes) {
  try {
    bytes = ReadFileBytes(fileName);
  } catch (const std::exception& e) {
    ctx.Err << "tessel: " << e.what() << "\n";
    return ExitUnreadable;
  }
  return ExitDone;
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return -1;
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") {
    PrintHelp(out);
    return ExitDone;
  }
  if (first == "--version") {
    out << "tessel " << TESSEL_VERSION << "\n";
    return ExitDone;
  }
  auto it = Commands().find(first);
  if (it == Commands().end()) {
    if (first.size() > 1 && first[0] == '-' && first != "--config") {
      err << "tessel: unknown option " << first << "\n";
      PrintHelp(err);
      return ExitUsage;
    }
    return -1;
  }
  TCommandContext ctx{std::vector<std::string>(args.begin() + 1, args.end()), out, err};
  ctx.RememberSigners = TakeFlag(ctx.Args, "--remember-signers");
  int status;
  try {
    status = it->second.Fn(ctx);
  } catch (const std::bad_alloc&) {
    // A hostile or huge input that needs more memory than the process may
    // have: a clear ending instead of an abort.
    err << "tessel: not enough memory to finish " << first << "\n";
    status = ExitNoMemory;
  }
  // Output that did not reach its destination is no success.
  out.flush();
  if (!out) {
    err << "tessel: the output cannot be written\n";
    if (status != ExitNoMemory) status = ExitNotWritten;
  }
  return status;
}

}  // namespace tessel::cli
