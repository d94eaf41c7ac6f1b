// Identifier and length octets read from memory, shared by the tree parser
// and SplitAsnChildren. Internal to the ASN.1 library.
#pragma once

#include <cstdint>
#include <string>

#include "util/streams/Stream.h"

namespace tessel::asn1 {

struct THeader {
  uint8_t Class = 0;
  bool Constructed = false;
  uint32_t Tag = 0;
  bool Indefinite = false;
  int32_t Length = 0;      // 0 for indefinite length
  int32_t HeaderSize = 0;  // identifier and length octets
};

enum class THeaderStatus {
  Ok,
  Truncated,  // the block ends inside the identifier or length octets
  BadLength,  // more than four length octets, or a length of 2^31 or more
};

// Reads the identifier and length octets at p (end: one past the block). A
// high tag number (low five bits all set) consumes the following octets up to
// the first with bit 8 clear and is kept as 31.
// Inline: the walk over a block calls it once per element.
inline THeaderStatus ReadHeader(const uint8_t* p, const uint8_t* end, THeader& header) {
  const uint8_t* start = p;
  if (p >= end) return THeaderStatus::Truncated;
  uint8_t id = *p++;
  header.Class = static_cast<uint8_t>((id & 0xC0) >> 5);
  header.Constructed = (id & 0x20) != 0;
  header.Tag = id & 0x1F;
  if (header.Tag == 31) {
    for (;;) {
      if (p >= end) return THeaderStatus::Truncated;
      if ((*p++ & 0x80) == 0) break;
    }
  }
  if (p >= end) return THeaderStatus::Truncated;
  uint8_t first = *p++;
  header.Indefinite = false;
  if (first < 0x80) {
    header.Length = first;
  } else {
    int n = first & 0x7F;
    if (n == 0) {
      header.Indefinite = true;
      header.Length = 0;
    } else {
      // Lengths must fit the signed 32-bit sizes used everywhere else.
      if (n > 4) return THeaderStatus::BadLength;
      uint32_t length = 0;
      for (int i = 0; i < n; ++i) {
        if (p >= end) return THeaderStatus::Truncated;
        length = (length << 8) | *p++;
      }
      if (length > 0x7FFFFFFFu) return THeaderStatus::BadLength;
      header.Length = static_cast<int32_t>(length);
    }
  }
  header.HeaderSize = static_cast<int32_t>(p - start);
  return THeaderStatus::Ok;
}

// Number of octets the definite length octets for length take (1 to 5).
int32_t LengthOctetCount(int32_t length);

// Exactly size octets from the stream's position, read in pieces so that the
// buffer only grows as data actually arrives; the stream's read error when
// fewer remain.
std::string ReadContent(TStream& stream, int32_t size);

}  // namespace tessel::asn1
