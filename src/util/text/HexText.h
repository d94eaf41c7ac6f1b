// Hex rendering of stream contents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/streams/Stream.h"

namespace tessel {

// The upper-case hex digit of the low four bits of v.
constexpr char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

// Upper-case hex of bytes, with separator between bytes ('\0' for none).
std::string BytesToHex(std::string_view bytes, char separator = '\0');

// Upper-case hex of the stream's remaining bytes; separator between bytes
// ('\0' for none); at most maximum bytes (0: all), the last ones skipped, and
// then suffix appended.
std::string StreamToHex(TStream& stream, char separator, int32_t maximum, const std::string& suffix);

}  // namespace tessel
