// tessel --extract FILE PART [--raw | --whole] [-o OUT]: the decoded
// content of a part (--raw: the body as stored; --whole: header block and
// body as stored) on standard output or in OUT. OUT is written beside
// itself first and takes its name only when complete, and is never the
// input file.
#include <memory>
#include <ostream>

#include "ui/cli/Command.h"
#include "ui/cli/MessageArgs.h"
#include "util/system/Exception.h"
#include "util/text/LineEscape.h"
#include "util/system/ReplacingFile.h"

namespace tessel::cli {

namespace {

constexpr const char* kUsage = "--extract FILE PART [--raw | --whole] [-o OUT]";

// Passes writes on and remembers whether one of them failed, so that a
// failed write is told apart from content that does not decode.
class TWatchedStream : public TStream {
public:
  explicit TWatchedStream(TStream& inner) : Inner_(inner) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    int32_t n = 0;
    try {
      n = Inner_.Write(buffer, count);
    } catch (...) {
      Failed = true;
      throw;
    }
    if (n != count) Failed = true;
    return n;
  }
  int32_t Seek(int32_t offset, int origin) override { return Inner_.Seek(offset, origin); }
  int32_t GetSize() override { return Inner_.GetSize(); }
  bool Failed = false;

private:
  TStream& Inner_;
};

int RunExtract(TCommandContext& ctx) {
  bool bad = false;
  bool raw = TakeFlag(ctx.Args, "--raw");
  bool whole = TakeFlag(ctx.Args, "--whole");
  std::string out = TakeOption(ctx.Args, "-o", bad);
  // Unknown options: a PART such as "-1" is one too.
  for (const std::string& word : ctx.Args) bad = bad || (word.size() > 1 && word[0] == '-');
  if (bad || (raw && whole)) return PrintMessageUsage(ctx, kUsage);
  if (!out.empty() && !ctx.Args.empty() && SameFile(out, ctx.Args[0])) {
    ctx.Err << "tessel: " << out << ": the output would replace the input file\n";
    return ExitUsage;
  }
  TPartArg arg;
  if (int status = LoadPartArg(ctx, kUsage, arg)) return status;
  TBodyPart* part = arg.Part;

  std::unique_ptr<TStream> target;
  TReplacingFileStream* file = nullptr;
  try {
    if (out.empty()) {
      target = std::make_unique<TOutputStream>(ctx.Out);
    } else {
      auto replacing = std::make_unique<TReplacingFileStream>(out);
      file = replacing.get();
      target = std::move(replacing);
    }
  } catch (const Exception& e) {
    ctx.Err << "tessel: " << e.Message() << "\n";
    return ExitNotWritten;
  }
  TWatchedStream watched(*target);
  try {
    if (raw)
      part->GetRawContent(watched);
    else if (whole)
      part->GetWholePart(watched);
    else
      part->GetDecodedContent(watched);
    if (file) file->Commit();
  } catch (const Exception& e) {
    // On standard output, what decoded before the fault has been written;
    // a file keeps its old contents.
    ctx.Err << "tessel: " << ctx.Args[1] << ": " << EscapeLine(e.Message()) << "\n";
    return watched.Failed || (file && e.Message().rfind("Cannot write file", 0) == 0) ? ExitNotWritten : ExitNotParsed;
  }
  return ExitDone;
}

TCommandRegistrar registrar("--extract", "FILE PART [--raw|--whole] [-o OUT]",
                            "write a part's content (decoded, raw or whole)", RunExtract);

}  // namespace

}  // namespace tessel::cli
