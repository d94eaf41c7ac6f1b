// tessel --smime FILE: the message's security summary, one "Name: value"
// line per field (see smime/SecuritySummary.h for the value forms), then
// "Verdict: " and what the layers prove (smime/parts/SecurityVerdict.h).
#include <ostream>

#include "ui/cli/Command.h"
#include "ui/cli/MessageArgs.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/parts/SecurityVerdict.h"
#include "util/text/LineEscape.h"

namespace tessel::cli {

namespace {

int RunSmime(TCommandContext& ctx) {
  std::unique_ptr<TMessage> message;
  if (int status = LoadMessageArg(ctx, "--smime FILE", message)) return status;
  const TSmimeInfo* info = SecurityInfoOf(*message);
  if (!info) {
    ctx.Err << "tessel: the message has no security summary\n";
    return ExitNotParsed;
  }
  for (const auto& [name, value] : SummaryFields(*info)) {
    ctx.Out << name << ':';
    if (!value.empty()) ctx.Out << ' ' << EscapeLine(value);
    ctx.Out << '\n';
  }
  ctx.Out << "Verdict: " << EscapeLine(VerdictLine(JudgeMessage(*message))) << '\n';
  return ExitDone;
}

TCommandRegistrar registrar("--smime", "FILE", "print the message's S/MIME security summary", RunSmime);

}  // namespace

}  // namespace tessel::cli
