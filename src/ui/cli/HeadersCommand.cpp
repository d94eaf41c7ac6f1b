// tessel --headers FILE PART: the header lines of one part, decoded, as
// "Name: value" lines in their order.
#include <ostream>

#include "ui/cli/Command.h"
#include "ui/cli/MessageArgs.h"
#include "util/text/LineEscape.h"

namespace tessel::cli {

namespace {

int RunHeaders(TCommandContext& ctx) {
  TPartArg arg;
  if (int status = LoadPartArg(ctx, "--headers FILE PART", arg)) return status;
  for (int32_t i = 0; i < arg.Part->HeaderCount(); ++i)
    ctx.Out << EscapeLine(arg.Part->HeaderName(i)) << ": " << EscapeLine(arg.Part->HeaderValue(i)) << '\n';
  return ExitDone;
}

TCommandRegistrar registrar("--headers", "FILE PART", "print the decoded header lines of a part", RunHeaders);

}  // namespace

}  // namespace tessel::cli
