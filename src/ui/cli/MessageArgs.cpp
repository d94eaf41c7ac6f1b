#include "ui/cli/MessageArgs.h"

#include <cstdint>

#include "mime/MessageFile.h"
#include "mime/MimeParser.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/parts/SmimeParseOptions.h"
#include "util/text/LineEscape.h"

namespace tessel::cli {

namespace {

int LoadMessage(const std::string& fileName, TCommandContext& ctx, std::unique_ptr<TMessage>& message) {
  try {
    // Messages open with their S/MIME layers, as in the windows. A command
    // reads its file once: mapping it spares the copy.
    message = OpenMessageFile(fileName, SmimeParseOptions(), TFileAccess::Map);
  } catch (const EMimeParseError& e) {
    // The message quotes the offending line of the file.
    ctx.Err << "tessel: " << fileName << ": " << EscapeLine(e.Message());
    if (e.Offset >= 0) ctx.Err << " (at offset " << e.Offset << ")";
    ctx.Err << "\n";
    return ExitNotParsed;
  } catch (const Exception& e) {
    ctx.Err << "tessel: " << e.Message() << "\n";
    return ExitUnreadable;
  }
  if (ctx.RememberSigners) RememberSigners(*message);
  return ExitDone;
}

bool ArgsAre(const TCommandContext& ctx, size_t count) {
  return ctx.Args.size() == count && !(ctx.Args[0].size() > 1 && ctx.Args[0][0] == '-');
}

}  // namespace

int PrintMessageUsage(TCommandContext& ctx, const char* usage) {
  ctx.Err << "tessel: usage: tessel " << usage << "\n";
  return ExitUsage;
}

int LoadMessageArg(TCommandContext& ctx, const char* usage, std::unique_ptr<TMessage>& message) {
  if (!ArgsAre(ctx, 1)) return PrintMessageUsage(ctx, usage);
  return LoadMessage(ctx.Args[0], ctx, message);
}

int LoadPartArg(TCommandContext& ctx, const char* usage, TPartArg& arg) {
  if (!ArgsAre(ctx, 2)) return PrintMessageUsage(ctx, usage);
  const std::string& pathText = ctx.Args[1];
  std::vector<int32_t> path;
  if (!ParsePartPath(pathText, path)) {
    ctx.Err << "tessel: not a part path: " << pathText << "\n";
    return ExitUsage;
  }
  if (int status = LoadMessage(ctx.Args[0], ctx, arg.Message)) return status;
  try {
    arg.Part = FindPart(*arg.Message, path);
  } catch (const Exception& e) {
    ctx.Err << "tessel: " << pathText << ": " << EscapeLine(e.Message()) << "\n";
    return ExitNotParsed;
  }
  if (!arg.Part) {
    ctx.Err << "tessel: no such part: " << pathText << "\n";
    return ExitNoSuchPart;
  }
  return ExitDone;
}

int32_t TOutputStream::Take(const void* buffer, int32_t count) {
  Out_.write(static_cast<const char*>(buffer), count);
  return Out_ ? count : 0;
}

}  // namespace tessel::cli
