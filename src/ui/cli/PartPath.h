// What the message commands share: loading a message file as the windows
// do, part paths, the walk over all parts, and streams onto the output.
//
// Part paths: the message's roots are 1, 2, ... in root order; a child is
// its parent's path, ".", and its 1-based index; the embedded message of a
// "message/rfc822" part (or the inner root of an S/MIME part) is that
// part's only child, ".1".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Command.h"
#include "mime/Message.h"
#include "util/Stream.h"

namespace tessel::cli {

// The message and the part named by the FILE PART arguments.
struct TPartArg {
  std::unique_ptr<TMessage> Message;
  TBodyPart* Part = nullptr;
};

// The opening every message command shares. usage: the command's usage
// line after "tessel ", printed as "tessel: usage: ..." when the arguments
// are not FILE (LoadMessageArg) or FILE PART (LoadPartArg), or when FILE is
// an option. The file loads with the line-end rule; then PART must be a
// part path naming a part. Each returns ExitDone, or the exit status with
// the reason on ctx.Err.
int PrintMessageUsage(TCommandContext& ctx, const char* usage);
int LoadMessageArg(TCommandContext& ctx, const char* usage, std::unique_ptr<TMessage>& message);
int LoadPartArg(TCommandContext& ctx, const char* usage, TPartArg& arg);

// "1.2.1" -> {1, 2, 1}; false for anything that is not dot-separated
// positive numbers.
bool ParsePartPath(const std::string& text, std::vector<int32_t>& path);

// The part at path, or nullptr when there is none. An embedded message on
// the way that does not parse raises the parser's exception.
TBodyPart* FindPart(TMessage& message, const std::vector<int32_t>& path);

// Every part in depth-first order, embedded messages expanded. leaf: the
// part has nothing below it. An embedded message that does not parse is
// reported through failed (with the path of the part that holds it), and
// that part counts as a leaf.
using TPartVisit = std::function<void(const std::string& path, TBodyPart& part, bool leaf)>;
using TPartFailure = std::function<void(const std::string& path, const std::string& message)>;
void ForEachPart(TMessage& message, const TPartVisit& visit, const TPartFailure& failed);

// A write-only stream onto an output stream (standard output).
class TOutputStream : public TStream {
public:
  explicit TOutputStream(std::ostream& out) : Out_(out) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t, int) override { return Position_; }
  int32_t GetSize() override { return Position_; }

private:
  std::ostream& Out_;
  int32_t Position_ = 0;
};

}  // namespace tessel::cli
