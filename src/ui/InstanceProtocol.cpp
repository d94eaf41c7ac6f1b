#include "ui/InstanceProtocol.h"

namespace tessel {

std::string EncodeInstanceFrame(TInstanceCommand command, std::string_view argument) {
  const uint32_t n = static_cast<uint32_t>(argument.size() + 1);
  std::string out;
  out.reserve(4 + n);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((n >> shift) & 0xFF));
  out.push_back(static_cast<char>(command));
  out.append(argument);
  return out;
}

void TInstanceFrameReader::Feed(std::string_view bytes) {
  if (!Broken_) Pending_.append(bytes);
}

bool TInstanceFrameReader::Next(TInstanceFrame& frame) {
  if (Broken_ || Pending_.size() < 4) return false;
  uint32_t n = 0;
  for (int i = 0; i < 4; ++i) n = (n << 8) | static_cast<unsigned char>(Pending_[static_cast<size_t>(i)]);
  if (n == 0 || n > kMaxInstanceFrame) {
    Broken_ = true;
    Pending_.clear();
    return false;
  }
  if (Pending_.size() < 4 + size_t{n}) return false;
  const char command = Pending_[4];
  if (command != static_cast<char>(TInstanceCommand::Raise) && command != static_cast<char>(TInstanceCommand::Open)) {
    Broken_ = true;
    Pending_.clear();
    return false;
  }
  frame.Command = static_cast<TInstanceCommand>(command);
  frame.Argument.assign(Pending_, 5, n - 1);
  Pending_.erase(0, 4 + size_t{n});
  return true;
}

}  // namespace tessel
