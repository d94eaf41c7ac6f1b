// What two starts of the viewer say to each other over the user's local
// socket.
//
// A start that finds a running instance hands it its file names and ends.
// Each message is one frame: a 4-byte big-endian length N, then N bytes, the
// first of which is the command and the rest its UTF-8 argument. The
// receiver answers every frame it has acted on with the single byte
// kInstanceAck, so the sender sends the next name only after the previous
// file is open (the order of windows is the order of the names).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

enum class TInstanceCommand : char {
  Raise = 'R',  // bring the main window to the front; no argument
  Open = 'O',   // open the absolute file name in the argument
};

// A file name is at most PATH_MAX (4096) bytes on Linux; the cap keeps a
// stray writer on the socket from making the instance buffer without end.
constexpr uint32_t kMaxInstanceFrame = 64 * 1024;
constexpr char kInstanceAck = 'K';

struct TInstanceFrame {
  TInstanceCommand Command = TInstanceCommand::Raise;
  std::string Argument;
};

std::string EncodeInstanceFrame(TInstanceCommand command, std::string_view argument);

// Splits a byte stream into frames, whatever pieces the bytes arrive in.
// A frame that is empty, too long or has an unknown command breaks the
// reader for good: the connection is then dropped.
class TInstanceFrameReader {
public:
  void Feed(std::string_view bytes);
  // Takes the next complete frame; false when none is complete yet or the
  // reader is broken.
  bool Next(TInstanceFrame& frame);
  bool Broken() const { return Broken_; }

private:
  std::string Pending_;
  bool Broken_ = false;
};

}  // namespace tessel
