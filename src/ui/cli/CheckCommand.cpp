// tessel --check FILE: everything a user waits for when a message opens,
// without windows: load, parse, walk every part (embedded messages
// included), take every header value and every leaf's decoded content.
// Prints
//   parts=N leaves=N bytes=N sample=N headers=N header_bytes=N
// bytes: decoded content bytes; sample: the sum of every 64th decoded byte
// of each leaf, from its first byte; header_bytes: UTF-8 bytes of the
// decoded header values. Problems met on the way go to standard error with
// the part's path, and after the totals every finding (what the parser had
// to repair or guess, smime/parts/SecurityFindings.h) as PATH TAB OFFSET TAB TEXT.
#include <ostream>

#include "ui/cli/Command.h"
#include "ui/cli/MessageArgs.h"
#include "smime/parts/SecurityFindings.h"
#include "util/system/Exception.h"
#include "util/text/LineEscape.h"

namespace tessel::cli {

namespace {

// Takes decoded content without keeping it: counts the bytes and sums every
// 64th one.
class TSampleStream : public TSinkStream {
public:
  void StartLeaf() {
    Offset_ = 0;
    Next_ = 0;
  }
  int64_t Bytes = 0;
  int64_t Sample = 0;

protected:
  int32_t Take(const void* buffer, int32_t count) override {
    const unsigned char* p = static_cast<const unsigned char*>(buffer);
    int64_t end = Offset_ + count;
    for (; Next_ < end; Next_ += 64) Sample += p[Next_ - Offset_];
    Offset_ = end;
    Bytes += count;
    return count;
  }

private:
  int64_t Offset_ = 0;
  int64_t Next_ = 0;
};

int RunCheck(TCommandContext& ctx) {
  std::unique_ptr<TMessage> message;
  if (int status = LoadMessageArg(ctx, "--check FILE", message)) return status;

  int64_t parts = 0, leaves = 0, headers = 0, headerBytes = 0;
  TSampleStream sink;
  TFindingCollector findings(*message, false, SecurityFindingHook(*message));
  auto problem = [&](const std::string& path, const std::string& text) {
    ctx.Err << "tessel: " << path << ": " << EscapeLine(text) << "\n";
  };
  ForEachPart(
      *message,
      [&](const std::string& path, TBodyPart& part, bool leaf) {
        ++parts;
        headers += part.HeaderCount();
        for (int32_t i = 0; i < part.HeaderCount(); ++i)
          headerBytes += static_cast<int64_t>(part.HeaderValue(i).size());
        for (const std::string& note : part.Problems.Notes) problem(path, note);
        findings.Visit(path, part, leaf, leaf ? nullptr : InnerRootOrNull(part));
        if (!leaf) return;
        ++leaves;
        sink.StartLeaf();
        const int64_t before = sink.Bytes;
        int64_t decoded = -1;  // no size: the body is read byte by byte
        try {
          part.GetDecodedContent(sink);
          decoded = sink.Bytes - before;
        } catch (const Exception& e) {
          problem(path, e.Message());
        }
        // While the body is still in the cache.
        findings.DecodedBody(part, decoded);
      },
      [&](const std::string& path, const std::string& text) {
        problem(path, text);
        findings.Failed(path, text);
      });
  ctx.Out << "parts=" << parts << " leaves=" << leaves << " bytes=" << sink.Bytes << " sample=" << sink.Sample
          << " headers=" << headers << " header_bytes=" << headerBytes << "\n";
  ctx.Out.flush();
  for (const TMessageFinding& finding : findings.Result()) ctx.Err << FindingLine(finding) << "\n";
  return ExitDone;
}

TCommandRegistrar registrar("--check", "FILE", "parse a message and decode all of it; print totals", RunCheck);

}  // namespace

}  // namespace tessel::cli
