// tessel --headers FILE PART: the header lines of one part, decoded, as
// "Name: value" lines in their order.
#include <ostream>

#include "Command.h"
#include "PartPath.h"
#include "util/Exception.h"

namespace tessel::cli {

namespace {

int RunHeaders(TCommandContext& ctx) {
  std::vector<int32_t> path;
  if (ctx.Args.size() != 2 || (ctx.Args[0].size() > 1 && ctx.Args[0][0] == '-')) {
    ctx.Err << "tessel: usage: tessel --headers FILE PART\n";
    return ExitUsage;
  }
  if (!ParsePartPath(ctx.Args[1], path)) {
    ctx.Err << "tessel: not a part path: " << ctx.Args[1] << "\n";
    return ExitUsage;
  }
  std::unique_ptr<TMessage> message;
  if (int status = LoadMessageForCommand(ctx.Args[0], ctx, message)) return status;
  TBodyPart* part;
  try {
    part = FindPart(*message, path);
  } catch (const Exception& e) {
    ctx.Err << "tessel: " << ctx.Args[1] << ": " << e.Message() << "\n";
    return ExitNotParsed;
  }
  if (!part) {
    ctx.Err << "tessel: no such part: " << ctx.Args[1] << "\n";
    return ExitNoSuchPart;
  }
  for (int32_t i = 0; i < part->HeaderCount(); ++i)
    ctx.Out << part->HeaderName(i) << ": " << part->HeaderValue(i) << '\n';
  return ExitDone;
}

TCommandRegistrar registrar("--headers", "FILE PART", "print the decoded header lines of a part", RunHeaders);

}  // namespace

}  // namespace tessel::cli
