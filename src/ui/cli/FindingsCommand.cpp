// tessel --findings FILE: what reading the message had to repair or guess,
// one finding per line as PATH TAB OFFSET TAB TEXT (smime/parts/SecurityFindings.h),
// in part order. Findings are no failure: the exit status is 0 with or
// without them.
#include <ostream>

#include "ui/cli/Command.h"
#include "ui/cli/MessageArgs.h"
#include "smime/parts/SecurityFindings.h"

namespace tessel::cli {

namespace {

int RunFindings(TCommandContext& ctx) {
  std::unique_ptr<TMessage> message;
  if (int status = LoadMessageArg(ctx, "--findings FILE", message)) return status;
  for (const TMessageFinding& finding : MessageFindings(*message)) ctx.Out << FindingLine(finding) << "\n";
  return ExitDone;
}

TCommandRegistrar registrar("--findings", "FILE", "list what reading the message had to repair or guess", RunFindings);

}  // namespace

}  // namespace tessel::cli
