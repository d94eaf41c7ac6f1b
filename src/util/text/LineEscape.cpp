#include "util/text/LineEscape.h"
#include "util/text/HexText.h"

#include <cstdint>
#include <cstring>

namespace tessel {

namespace {

// Length of the well-formed UTF-8 sequence at p (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0.
size_t Utf8Length(const unsigned char* p, size_t left) {
  unsigned char c = p[0];
  size_t n;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < n || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < n; ++i)
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  return n;
}

// Skips whole words of eight plain octets (0x20 to 0x7E, no backslash) from
// i on; the octet-wise loop decides the rest. Hex and ASCII values, which are
// most of what is escaped, pass eight octets per step.
size_t PlainRunEnd(const unsigned char* p, size_t i, size_t size) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
  auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  while (size - i >= 8) {
    uint64_t v;
    std::memcpy(&v, p + i, 8);
    // Octets of 0x80 and above, below 0x20, DEL, and the backslash.
    if ((v & kHigh) | ((v - kOnes * 0x20) & ~v & kHigh) | hasZero(v ^ (kOnes * 0x7F)) | hasZero(v ^ (kOnes * '\\')))
      break;
    i += 8;
  }
  return i;
}

void PutHex(std::string& out, unsigned char c) {
  out += "\\x";
  out += HexDigit(c >> 4);
  out += HexDigit(c);
}

}  // namespace

void AppendLineEscaped(std::string& out, std::string_view text, unsigned extra) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t size = text.size(), i = 0;
  out.reserve(out.size() + size);
  while (i < size) {
    // Plain printable ASCII, copied in runs.
    size_t run = i;
    if (extra == 0) run = PlainRunEnd(p, run, size);
    while (run < size && p[run] >= 0x20 && p[run] < 0x7F && p[run] != '\\' &&
           !((extra & EscapeSpace) && p[run] == ' ') && !((extra & EscapeQuote) && p[run] == '"'))
      ++run;
    out.append(text.data() + i, run - i);
    i = run;
    if (i == size) break;
    unsigned char c = p[i];
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (c < 0x80) {  // C0, DEL, or the space
      PutHex(out, c);
      ++i;
      continue;
    }
    size_t n = Utf8Length(p + i, size - i);
    bool c1 = n == 2 && c == 0xC2 && p[i + 1] <= 0x9F;
    if (n == 0 || c1) {
      // The escaped bytes: a bad byte alone (what follows is looked at
      // afresh), a C1 character whole.
      size_t bytes = c1 ? 2 : 1;
      for (size_t k = 0; k < bytes; ++k) PutHex(out, p[i + k]);
      i += bytes;
      continue;
    }
    out.append(text.data() + i, n);
    i += n;
  }
}

std::string EscapeLine(std::string_view text, unsigned extra) {
  std::string out;
  AppendLineEscaped(out, text, extra);
  return out;
}

}  // namespace tessel
