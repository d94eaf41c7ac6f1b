#include "util/text/HexText.h"

#include <algorithm>

namespace tessel {

std::string StreamToHex(TStream& stream, char separator, int32_t maximum, const std::string& suffix) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  int32_t remaining = std::max(stream.GetSize() - stream.GetPosition(), 0);
  int32_t skipped = maximum <= 0 ? 0 : std::max(remaining - maximum, 0);
  int32_t shown = remaining - skipped;
  std::string result;
  result.reserve(static_cast<size_t>(shown) * (separator ? 3 : 2) + suffix.size());
  uint8_t buf[4096];
  while (shown > 0) {
    int32_t n = stream.Read(buf, std::min<int32_t>(shown, sizeof buf));
    if (n <= 0) break;  // the stream ended before its size said it would
    for (int32_t i = 0; i < n; ++i) {
      result += kDigits[buf[i] >> 4];
      result += kDigits[buf[i] & 15];
      if (separator != '\0' && shown > 1) result += separator;
      --shown;
    }
  }
  if (skipped > 0) result += suffix;
  return result;
}

}  // namespace tessel
