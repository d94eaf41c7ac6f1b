#include "util/encodings/QuotedPrintable.h"

#include <algorithm>
#include <bit>
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
#define TESSEL_HEX_E16(f, n) \
  TESSEL_HEX_E4(f, n), TESSEL_HEX_E4(f, n + 4), TESSEL_HEX_E4(f, n + 8), TESSEL_HEX_E4(f, n + 12)
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
namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Marks the bytes of w that are '=' or NUL. The lowest marked byte is always
// exact (higher marks may be false), which is all the scan needs.
inline uint64_t SpecialBytes(uint64_t w) {
  uint64_t eq = w ^ (kOnes * '=');
  return ((w - kOnes) & ~w & kHighs) | ((eq - kOnes) & ~eq & kHighs);
}

// Index of the first marked byte in memory order.
inline int FirstMarked(uint64_t marks) {
  if constexpr (std::endian::native == std::endian::little)
    return std::countr_zero(marks) / 8;
  else
    return std::countl_zero(marks) / 8;
}

}  // namespace

void QPDecodeBuffer(const char* data, int32_t count, TStream& output) {
  // Output is never longer than input, so a piece of input of the buffer's
  // size fits into one reserved piece of output.
  constexpr size_t kPiece = 8192;
  TWriteBuffer out(output);
  const char* p = data;
  const char* const end = count > 0 ? data + count : data;
  while (p < end) {
    const char* pieceEnd = p + std::min(static_cast<size_t>(end - p), kPiece);
    char* const start = out.Reserve(kPiece);
    char* o = start;
    while (p < pieceEnd) {
      // Literal bytes eight at a time up to the next '=' or NUL.
      while (pieceEnd - p >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        std::memcpy(o, &w, 8);
        uint64_t marks = SpecialBytes(w);
        if (marks) {
          int n = FirstMarked(marks);
          o += n;
          p += n;
          break;
        }
        o += 8;
        p += 8;
      }
      if (p == pieceEnd) break;
      char c = *p;
      if (c != '=' && c != '\0') {
        *o++ = c;
        ++p;
        continue;
      }
      if (c == '\0') {
        out.Commit(static_cast<size_t>(o - start));
        out.Flush();
        return;
      }
      // "=" and the two bytes after it (which may lie past pieceEnd).
      if (end - p < 3) {
        p = end;  // unfinished escape
        break;
      }
      const THexEntry& low = HexLow[static_cast<uint8_t>(p[2])];
      if (low.Valid) *o++ = static_cast<char>(HexHigh[static_cast<uint8_t>(p[1])].Value + low.Value);
      p += 3;
    }
    out.Commit(static_cast<size_t>(o - start));
  }
  out.Flush();
}

}  // namespace tessel
