// What the message commands share: opening a message file as the windows
// do, the part named on the command line (mime/PartPath.h), and streams
// onto the output.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ui/cli/Command.h"
#include "mime/Message.h"
#include "mime/PartPath.h"
#include "util/streams/Stream.h"

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

// A write-only stream onto an output stream (standard output).
class TOutputStream : public TSinkStream {
public:
  explicit TOutputStream(std::ostream& out) : Out_(out) {}

protected:
  int32_t Take(const void* buffer, int32_t count) override;

private:
  std::ostream& Out_;
};

}  // namespace tessel::cli
