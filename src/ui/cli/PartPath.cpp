#include "PartPath.h"

#include <cstdint>

#include "mime/MessageFile.h"
#include "mime/MimeParser.h"
#include "smime/SecuritySummary.h"
#include "smime/SmimeRegistration.h"

namespace tessel::cli {

namespace {

int LoadMessage(const std::string& fileName, TCommandContext& ctx, std::unique_ptr<TMessage>& message) {
  // Messages load with their S/MIME layers, as in the windows.
  RegisterSmimeParts();
  std::unique_ptr<TText> text;
  try {
    // A command reads its file once: mapping it spares the copy.
    text = LoadMessageText(fileName, TFileAccess::Map);
  } catch (const Exception& e) {
    ctx.Err << "tessel: " << e.Message() << "\n";
    return ExitUnreadable;
  }
  try {
    message = std::make_unique<TMessage>(std::move(text));
  } catch (const EMimeParseError& e) {
    ctx.Err << "tessel: " << fileName << ": " << e.Message();
    if (e.Offset >= 0) ctx.Err << " (at offset " << e.Offset << ")";
    ctx.Err << "\n";
    return ExitNotParsed;
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
    ctx.Err << "tessel: " << pathText << ": " << e.Message() << "\n";
    return ExitNotParsed;
  }
  if (!arg.Part) {
    ctx.Err << "tessel: no such part: " << pathText << "\n";
    return ExitNoSuchPart;
  }
  return ExitDone;
}

bool ParsePartPath(const std::string& text, std::vector<int32_t>& path) {
  path.clear();
  size_t i = 0;
  while (true) {
    int64_t n = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      n = n * 10 + (text[i] - '0');
      if (n > INT32_MAX) return false;
      ++i;
      ++digits;
    }
    if (digits == 0 || n == 0) return false;
    path.push_back(static_cast<int32_t>(n));
    if (i == text.size()) return true;
    if (text[i] != '.') return false;
    ++i;
  }
}

TBodyPart* FindPart(TMessage& message, const std::vector<int32_t>& path) {
  if (path.empty()) return nullptr;
  TBodyPart* part = message.Roots(path[0] - 1);
  for (size_t i = 1; part && i < path.size(); ++i) {
    if (TBodyPart* inner = part->InnerRoot())
      part = path[i] == 1 ? inner : nullptr;
    else
      part = part->Children(path[i] - 1);
  }
  return part;
}

namespace {

void Walk(TBodyPart& part, const std::string& path, const TPartVisit& visit, const TPartFailure& failed) {
  TBodyPart* inner = nullptr;
  std::string error;
  try {
    inner = part.InnerRoot();
  } catch (const Exception& e) {
    error = e.Message();
  }
  visit(path, part, !inner && part.ChildCount() == 0);
  if (!error.empty()) failed(path, error);
  if (inner) {
    Walk(*inner, path + ".1", visit, failed);
    return;
  }
  for (int32_t i = 0; i < part.ChildCount(); ++i)
    Walk(*part.Children(i), path + "." + std::to_string(i + 1), visit, failed);
}

}  // namespace

void ForEachPart(TMessage& message, const TPartVisit& visit, const TPartFailure& failed) {
  for (int32_t i = 0; i < message.RootCount(); ++i) Walk(*message.Roots(i), std::to_string(i + 1), visit, failed);
}

int32_t TOutputStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  Out_.write(static_cast<const char*>(buffer), count);
  if (!Out_) return 0;
  Position_ += count;
  return count;
}

}  // namespace tessel::cli
