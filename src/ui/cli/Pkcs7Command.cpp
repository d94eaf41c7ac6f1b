// tessel --pkcs7 FILE PART: the rows the "S/MIME Info" page shows for a
// part (a detached signature or an application/pkcs7-mime part), one per
// line, two blanks of indent per level, "Name" or "Name: value".
#include <ostream>

#include "ui/cli/Command.h"
#include "ui/cli/MessageArgs.h"
#include "smime/parts/SmimeRows.h"
#include "util/text/LineEscape.h"

namespace tessel::cli {

namespace {

int RunPkcs7(TCommandContext& ctx) {
  TPartArg arg;
  if (int status = LoadPartArg(ctx, "--pkcs7 FILE PART", arg)) return status;
  TSmimeInfoRows rows;
  rows.Build(*arg.Part);
  if (rows.Rows.empty()) ctx.Err << "tessel: " << ctx.Args[1] << ": no PKCS #7 content\n";
  // One line per row, whatever the names and values hold.
  std::string text;
  for (const TSmimeRow& row : rows.Rows) {
    text.append(static_cast<size_t>(row.Depth) * 2, ' ');
    AppendLineEscaped(text, row.Text());
    text += '\n';
  }
  ctx.Out << text;
  return ExitDone;
}

TCommandRegistrar registrar("--pkcs7", "FILE PART", "print the S/MIME information rows of a part", RunPkcs7);

}  // namespace

}  // namespace tessel::cli
