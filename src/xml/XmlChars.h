// Character classes of the XML toolkit, one UTF-16 unit at a time.
//
// Letter and CombiningChar follow the XML 1.0 character tables; Digit is the
// ASCII digits only and Extender is U+00B7 only, which keeps names that the
// configuration file writes readable by any XML 1.0 parser.
#pragma once

#include <cstdint>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessel {

namespace xmlchars {

enum : uint8_t {
  kChar = 1,         // allowed in a document
  kSpace = 2,        // #x9, #xA, #xD, #x20
  kNameStart = 4,    // Letter, "_", ":"
  kNameChar = 8,     // Letter, Digit, ".", "-", "_", ":", CombiningChar, Extender
  kNCNameChar = 16,  // NameChar without ":"
  kPlainText = 32,   // Char that needs no attention in character data
};

extern const uint8_t* const Table;  // 65536 entries

}  // namespace xmlchars

inline bool IsXmlChar(char16_t c) { return xmlchars::Table[c] & xmlchars::kChar; }
inline bool IsXmlSpace(char16_t c) { return xmlchars::Table[c] & xmlchars::kSpace; }
inline bool IsNameStart(char16_t c) { return xmlchars::Table[c] & xmlchars::kNameStart; }
inline bool IsNameChar(char16_t c) { return xmlchars::Table[c] & xmlchars::kNameChar; }
inline bool IsNCNameChar(char16_t c) { return xmlchars::Table[c] & xmlchars::kNCNameChar; }
bool IsLetter(char16_t c);

// The first unit from p on that is no NCName character, or end. Names are
// mostly ASCII: eight units are classified at once without a branch per
// unit, and the table decides from the first unit above U+007F on.
inline const char16_t* SkipNCNameChars(const char16_t* p, const char16_t* end) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // t <= k, unsigned, for t = v - lo: v lies in [lo, lo + k].
    auto in = [&](__m128i t, short k) { return _mm_cmpeq_epi16(_mm_subs_epu16(t, _mm_set1_epi16(k)), zero); };
    __m128i name = in(_mm_sub_epi16(_mm_or_si128(v, _mm_set1_epi16(0x20)), _mm_set1_epi16('a')), 25);
    name = _mm_or_si128(name, in(_mm_sub_epi16(v, _mm_set1_epi16('0')), 9));
    name = _mm_or_si128(name, in(_mm_sub_epi16(v, _mm_set1_epi16('-')), 1));  // "-" and "."
    name = _mm_or_si128(name, _mm_cmpeq_epi16(v, _mm_set1_epi16('_')));
    unsigned stop = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFFu;
    if (stop) {
      p += __builtin_ctz(stop) / 2;
      if (*p < 0x80) return p;
      break;
    }
    p += 8;
  }
#endif
  while (p < end && IsNCNameChar(*p)) ++p;
  return p;
}

// True when s is not empty, begins with a name start and goes on with name
// characters: an XML 1.0 Name (colons allowed).
bool IsName(const std::u16string& s);

}  // namespace tessel
