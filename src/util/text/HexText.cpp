#include "util/text/HexText.h"

#include <algorithm>

namespace tessel {

std::string BytesToHex(std::string_view bytes, char separator) {
  // Written straight into a string of the final size: rows of certificates
  // are mostly keys and signatures in hex.
  std::string result;
  size_t n = bytes.size();
  if (n == 0) return result;
  result.resize(separator != '\0' ? n * 3 - 1 : n * 2);
  char* out = result.data();
  for (size_t i = 0; i < n; ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    *out++ = HexDigit(c >> 4);
    *out++ = HexDigit(c);
    if (separator != '\0' && i + 1 < n) *out++ = separator;
  }
  return result;
}

std::string StreamToHex(TStream& stream, char separator, int32_t maximum, const std::string& suffix) {
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
      result += HexDigit(buf[i] >> 4);
      result += HexDigit(buf[i]);
      if (separator != '\0' && shown > 1) result += separator;
      --shown;
    }
  }
  if (skipped > 0) result += suffix;
  return result;
}

}  // namespace tessel
