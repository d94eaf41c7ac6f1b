// Quoted-printable decoding.
#pragma once

#include <cstdint>

#include "util/streams/Stream.h"

namespace tessel {

struct THexEntry {
  uint8_t Value;
  bool Valid;
};
// HexHigh holds digit * 16 and HexLow the digit for '0'-'9', 'A'-'F', 'a'-'f';
// every other entry is {0, false}.
extern const THexEntry HexHigh[256];
extern const THexEntry HexLow[256];

// Decodes at most count bytes onto output; a NUL byte ends decoding. Never fails.
void QPDecodeBuffer(const char* data, int32_t count, TStream& output);

}  // namespace tessel
