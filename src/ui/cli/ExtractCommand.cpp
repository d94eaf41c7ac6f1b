// tessel --extract FILE PART [--raw | --whole] [-o OUT]: the decoded
// content of a part (--raw: the body as stored; --whole: header block and
// body as stored) on standard output or in OUT.
#include <memory>
#include <ostream>

#include "Command.h"
#include "PartPath.h"
#include "util/Exception.h"
#include "util/FileStream.h"

namespace tessel::cli {

namespace {

int Usage(TCommandContext& ctx) {
  ctx.Err << "tessel: usage: tessel --extract FILE PART [--raw | --whole] [-o OUT]\n";
  return ExitUsage;
}

int RunExtract(TCommandContext& ctx) {
  bool bad = false;
  bool raw = TakeFlag(ctx.Args, "--raw");
  bool whole = TakeFlag(ctx.Args, "--whole");
  std::string out = TakeOption(ctx.Args, "-o", bad);
  if (bad || (raw && whole) || ctx.Args.size() != 2) return Usage(ctx);
  for (const std::string& arg : ctx.Args)
    if (arg.size() > 1 && arg[0] == '-') return Usage(ctx);
  std::vector<int32_t> path;
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

  std::unique_ptr<TStream> target;
  try {
    if (out.empty())
      target = std::make_unique<TOutputStream>(ctx.Out);
    else
      target = std::make_unique<TFileStream>(out, TFileMode::Create);
  } catch (const Exception& e) {
    ctx.Err << "tessel: " << e.Message() << "\n";
    return ExitUnreadable;
  }
  try {
    if (raw)
      part->GetRawContent(*target);
    else if (whole)
      part->GetWholePart(*target);
    else
      part->GetDecodedContent(*target);
  } catch (const Exception& e) {
    // What decoded before the fault has been written.
    ctx.Err << "tessel: " << ctx.Args[1] << ": " << e.Message() << "\n";
    return e.Message() == "Stream write error" ? ExitUnreadable : ExitNotParsed;
  }
  return ExitDone;
}

TCommandRegistrar registrar("--extract", "FILE PART [--raw|--whole] [-o OUT]",
                            "write a part's content (decoded, raw or whole)", RunExtract);

}  // namespace

}  // namespace tessel::cli
