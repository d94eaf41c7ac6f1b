// tessel --extract FILE PART [--raw | --whole] [-o OUT]: the decoded
// content of a part (--raw: the body as stored; --whole: header block and
// body as stored) on standard output or in OUT.
#include <memory>
#include <ostream>

#include "Command.h"
#include "MessageArgs.h"
#include "util/Exception.h"
#include "util/FileStream.h"

namespace tessel::cli {

namespace {

constexpr const char* kUsage = "--extract FILE PART [--raw | --whole] [-o OUT]";

int RunExtract(TCommandContext& ctx) {
  bool bad = false;
  bool raw = TakeFlag(ctx.Args, "--raw");
  bool whole = TakeFlag(ctx.Args, "--whole");
  std::string out = TakeOption(ctx.Args, "-o", bad);
  // Unknown options: a PART such as "-1" is one too.
  for (const std::string& word : ctx.Args) bad = bad || (word.size() > 1 && word[0] == '-');
  if (bad || (raw && whole)) return PrintMessageUsage(ctx, kUsage);
  TPartArg arg;
  if (int status = LoadPartArg(ctx, kUsage, arg)) return status;
  TBodyPart* part = arg.Part;

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
