// tessel --pkcs7 FILE PART: the rows the "S/MIME Info" page shows for a
// part (a detached signature or an application/pkcs7-mime part), one per
// line, two blanks of indent per level, "Name" or "Name: value".
#include <ostream>

#include "Command.h"
#include "PartPath.h"
#include "smime/SmimeRows.h"
#include "util/Exception.h"

namespace tessel::cli {

namespace {

int RunPkcs7(TCommandContext& ctx) {
  if (ctx.Args.size() != 2 || (ctx.Args[0].size() > 1 && ctx.Args[0][0] == '-')) {
    ctx.Err << "tessel: usage: tessel --pkcs7 FILE PART\n";
    return ExitUsage;
  }
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
  TSmimeInfoRows rows;
  rows.Build(*part);
  if (rows.Rows.empty()) ctx.Err << "tessel: " << ctx.Args[1] << ": no PKCS #7 content\n";
  ctx.Out << FormatSmimeRows(rows.Rows);
  return ExitDone;
}

TCommandRegistrar registrar("--pkcs7", "FILE PART", "print the S/MIME information rows of a part", RunPkcs7);

}  // namespace

}  // namespace tessel::cli
