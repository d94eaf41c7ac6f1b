#include "xml/KeyText.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessel {

std::string KeyFromWide(std::u16string_view ws) {
  std::string out;
  KeyFromWideInto(ws, out);
  return out;
}

void KeyFromWideInto(std::u16string_view ws, std::string& out) {
  size_t n = ws.size();
  // The common all-ASCII key: converted in one pass into the storage out
  // already has, then checked.
  out.resize(n);
  char16_t seen = 0;
  size_t k = 0;
#if defined(__SSE2__)
  __m128i any = _mm_setzero_si128();
  for (; n - k >= 8; k += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ws.data() + k));
    any = _mm_or_si128(any, v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out.data() + k), _mm_packus_epi16(v, v));
  }
  // Any unit from 0x80 on has a bit above the low seven set.
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(any, _mm_set1_epi16(static_cast<short>(0xFF80))),
                                        _mm_setzero_si128())) != 0xFFFF)
    seen = 0x80;
#endif
  for (; k < n; ++k) {
    seen |= ws[k];
    out[k] = static_cast<char>(ws[k]);
  }
  if (seen < 0x80) return;
  out.clear();
  out.reserve(n + n / 2);
  for (char16_t c : ws) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 + (c >> 6));
      out += static_cast<char>(0x80 + (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 + (c >> 12));
      out += static_cast<char>(0x80 + ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 + (c & 0x3F));
    }
  }
}

namespace {

// Decodes one code point at s[i] and advances i; bytes that are no UTF-8
// lead stand for themselves so that any byte string still has an order.
uint32_t NextCode(std::string_view s, size_t& i) {
  uint8_t b = static_cast<uint8_t>(s[i++]);
  int more = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xC0 && b < 0xE0 ? 1 : 0;
  uint32_t c = more == 3 ? b & 0x07u : more == 2 ? b & 0x0Fu : more == 1 ? b & 0x1Fu : b;
  for (; more > 0 && i < s.size(); --more) c = (c << 6) | (static_cast<uint8_t>(s[i++]) & 0x3Fu);
  return c;
}

uint32_t Fold(uint32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x137) return c | 1;
  if (c >= 0x139 && c <= 0x148) return c + (c & 1);
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return c + (c & 1);
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

}  // namespace

std::u16string WideFromKey(std::string_view key) {
  std::u16string out;
  size_t i = 0;
  while (i < key.size() && static_cast<uint8_t>(key[i]) < 0x80) ++i;
  if (i == key.size()) {
    out.resize(key.size());
    for (size_t k = 0; k < key.size(); ++k) out[k] = static_cast<char16_t>(key[k]);
    return out;
  }
  out.reserve(key.size());
  for (size_t j = 0; j < key.size();) out += static_cast<char16_t>(NextCode(key, j));
  return out;
}

size_t HashKey(std::string_view key) {
  // FNV-1a over the code points as CompareKeys folds them.
  uint64_t h = 14695981039346656037ull;
  auto mix = [&h](uint32_t c) {
    for (int k = 0; k < 4; ++k, c >>= 8) {
      h ^= c & 0xFF;
      h *= 1099511628211ull;
    }
  };
  for (size_t i = 0; i < key.size();) {
    uint8_t x = static_cast<uint8_t>(key[i]);
    if (x < 0x80) {
      mix(x >= 'A' && x <= 'Z' ? x + 32u : x);
      ++i;
    } else {
      mix(Fold(NextCode(key, i)));
    }
  }
  return static_cast<size_t>(h);
}

int CompareKeys(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    uint8_t x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[j]);
    uint32_t cx, cy;
    if ((x | y) < 0x80) {  // the common all-ASCII step
      cx = x >= 'A' && x <= 'Z' ? x + 32u : x;
      cy = y >= 'A' && y <= 'Z' ? y + 32u : y;
      ++i, ++j;
    } else {
      cx = Fold(NextCode(a, i));
      cy = Fold(NextCode(b, j));
    }
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

int CompareWideKeys(std::u16string_view a, std::u16string_view b) {
  // A key holds each unit as its own code point, so the units themselves
  // are compared, folded as CompareKeys folds them.
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    uint32_t x = a[i], y = b[i];
    if (x == y) continue;
    if ((x | y) < 0x80) {
      x = x >= 'A' && x <= 'Z' ? x + 32u : x;
      y = y >= 'A' && y <= 'Z' ? y + 32u : y;
    } else {
      x = Fold(x);
      y = Fold(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace tessel
