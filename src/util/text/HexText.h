// Hex rendering of stream contents.
#pragma once

#include <cstdint>
#include <string>

#include "util/streams/Stream.h"

namespace tessel {

// Upper-case hex of the stream's remaining bytes; separator between bytes
// ('\0' for none); at most maximum bytes (0: all), the last ones skipped, and
// then suffix appended.
std::string StreamToHex(TStream& stream, char separator, int32_t maximum, const std::string& suffix);

}  // namespace tessel
