#include "asn1/AsnHeader.h"

namespace tessel::asn1 {

THeaderStatus ReadHeader(const uint8_t* p, const uint8_t* end, THeader& header) {
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

int32_t LengthOctetCount(int32_t length) {
  if (length < 0x80) return 1;
  int32_t n = 0;
  for (uint32_t v = static_cast<uint32_t>(length); v != 0; v >>= 8) ++n;
  return 1 + n;
}

}  // namespace tessel::asn1
