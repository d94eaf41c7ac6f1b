#include "QuotedPrintable.h"

#include <cstring>

namespace tessel {

namespace {

constexpr int HexDigit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

constexpr THexEntry HighEntry(int c) {
  return HexDigit(c) < 0 ? THexEntry{0, false} : THexEntry{static_cast<uint8_t>(HexDigit(c) * 16), true};
}

constexpr THexEntry LowEntry(int c) {
  return HexDigit(c) < 0 ? THexEntry{0, false} : THexEntry{static_cast<uint8_t>(HexDigit(c)), true};
}

}  // namespace

// Constant-initialised, so the tables are ready before any code runs.
#define TESSEL_HEX_E4(f, n) f(n), f(n + 1), f(n + 2), f(n + 3)
#define TESSEL_HEX_E16(f, n) TESSEL_HEX_E4(f, n), TESSEL_HEX_E4(f, n + 4), TESSEL_HEX_E4(f, n + 8), TESSEL_HEX_E4(f, n + 12)
#define TESSEL_HEX_E64(f, n) \
  TESSEL_HEX_E16(f, n), TESSEL_HEX_E16(f, n + 16), TESSEL_HEX_E16(f, n + 32), TESSEL_HEX_E16(f, n + 48)
#define TESSEL_HEX_TABLE(f) TESSEL_HEX_E64(f, 0), TESSEL_HEX_E64(f, 64), TESSEL_HEX_E64(f, 128), TESSEL_HEX_E64(f, 192)
constinit const THexEntry HexHigh[256] = {TESSEL_HEX_TABLE(HighEntry)};
constinit const THexEntry HexLow[256] = {TESSEL_HEX_TABLE(LowEntry)};
#undef TESSEL_HEX_TABLE
#undef TESSEL_HEX_E64
#undef TESSEL_HEX_E16
#undef TESSEL_HEX_E4

// The decoder is deliberately lenient and never fails: "=" and the two bytes
// after it always form one unit, which yields a byte only when the second
// byte is a hex digit. The first byte is not checked, so "=G1" yields 0x01;
// a soft line break ("=" CR LF) yields nothing; an escape cut off by the end
// of the input yields nothing. Text reaching the viewer is often not quite
// well-formed, and this is what users have always seen for it.
void QPDecodeBuffer(const char* data, int32_t count, TStream& output) {
  TWriteBuffer out(output);
  const char* p = data;
  const char* end = count > 0 ? data + count : data;
  while (p < end) {
    // Literal run up to the next '=', cut short by a NUL.
    const char* eq = static_cast<const char*>(std::memchr(p, '=', static_cast<size_t>(end - p)));
    const char* runEnd = eq ? eq : end;
    const char* nul = static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(runEnd - p)));
    if (nul) {
      out.Put(p, static_cast<size_t>(nul - p));
      break;
    }
    out.Put(p, static_cast<size_t>(runEnd - p));
    if (!eq) break;
    p = eq + 1;
    if (end - p < 2) break;  // unfinished escape
    uint8_t high = HexHigh[static_cast<uint8_t>(p[0])].Value;
    const THexEntry& low = HexLow[static_cast<uint8_t>(p[1])];
    if (low.Valid) out.Put(static_cast<char>(high + low.Value));
    p += 2;
  }
  out.Flush();
}

}  // namespace tessel
