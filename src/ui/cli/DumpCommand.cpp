// tessel --dump FILE: one line per part of the message (see
// mime/StructureListing.h for the format).
#include <ostream>

#include "Command.h"
#include "PartPath.h"
#include "util/Exception.h"
#include "mime/StructureListing.h"

namespace tessel::cli {

namespace {

int RunDump(TCommandContext& ctx) {
  if (ctx.Args.size() != 1 || (ctx.Args[0].size() > 1 && ctx.Args[0][0] == '-')) {
    ctx.Err << "tessel: usage: tessel --dump FILE\n";
    return ExitUsage;
  }
  std::unique_ptr<TMessage> message;
  if (int status = LoadMessageForCommand(ctx.Args[0], ctx, message)) return status;
  ForEachPart(
      *message,
      [&](const std::string& path, TBodyPart& part, bool) { ctx.Out << FormatPartLine(path, part) << '\n'; },
      [&](const std::string& path, const std::string& error) {
        ctx.Err << "tessel: " << path << ": " << error << "\n";
      });
  return ExitDone;
}

TCommandRegistrar registrar("--dump", "FILE", "list the parts of a message", RunDump);

}  // namespace

}  // namespace tessel::cli
