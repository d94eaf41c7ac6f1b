#include "asn1/AsnHeader.h"

namespace tessel::asn1 {

int32_t LengthOctetCount(int32_t length) {
  if (length < 0x80) return 1;
  int32_t n = 0;
  for (uint32_t v = static_cast<uint32_t>(length); v != 0; v >>= 8) ++n;
  return 1 + n;
}

}  // namespace tessel::asn1
