// tessel --dump FILE: one line per part of the message (see
// mime/StructureListing.h for the format).
#include <ostream>

#include "ui/cli/Command.h"
#include "ui/cli/MessageArgs.h"
#include "mime/StructureListing.h"
#include "util/text/LineEscape.h"

namespace tessel::cli {

namespace {

int RunDump(TCommandContext& ctx) {
  std::unique_ptr<TMessage> message;
  if (int status = LoadMessageArg(ctx, "--dump FILE", message)) return status;
  ForEachPart(
      *message, [&](const std::string& path, TBodyPart& part, bool) { ctx.Out << FormatPartLine(path, part) << '\n'; },
      [&](const std::string& path, const std::string& error) {
        ctx.Err << "tessel: " << path << ": " << EscapeLine(error) << "\n";
      });
  return ExitDone;
}

TCommandRegistrar registrar("--dump", "FILE", "list the parts of a message", RunDump);

}  // namespace

}  // namespace tessel::cli
