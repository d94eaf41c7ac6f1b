#include "asn1/AsnText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "util/charsets/Utf8Codec.h"
#include "util/text/HexText.h"

namespace tessel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

uint8_t At(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

// Length of the well-formed UTF-8 character at s[i], or 0 when the octets
// there do not start one (overlong forms, surrogates and code points past
// U+10FFFF included). c receives the code point.
size_t Utf8CharAt(std::string_view s, size_t i, char32_t& c) {
  uint8_t b = At(s, i);
  if (b < 0x80) {
    c = b;
    return 1;
  }
  size_t n;
  char32_t min;
  if (b >= 0xC2 && b <= 0xDF)
    n = 2, c = b & 0x1Fu, min = 0x80;
  else if (b >= 0xE0 && b <= 0xEF)
    n = 3, c = b & 0x0Fu, min = 0x800;
  else if (b >= 0xF0 && b <= 0xF4)
    n = 4, c = b & 0x07u, min = 0x10000;
  else
    return 0;
  if (s.size() - i < n) return 0;
  for (size_t k = 1; k < n; ++k) {
    uint8_t t = At(s, i + k);
    if ((t & 0xC0) != 0x80) return 0;
    c = (c << 6) | (t & 0x3Fu);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Printable UTF-8 throughout, and not empty.
bool IsPrintableUtf8(std::string_view s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size();) {
    char32_t c;
    size_t n = Utf8CharAt(s, i, c);
    if (n == 0 || IsControl(c)) return false;
    i += n;
  }
  return true;
}

void AppendSkippedNote(std::string& out, size_t skipped) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, skipped);
  out += "... --Skipped ";
  out.append(digits, end);
  out += " octets--";
}

}  // namespace

TAsnValueKind AsnValueKind(const TAsnElem& element) {
  if (element.Constructed) return TAsnValueKind::Hex;
  return AsnPrimitiveValueKind(element.Class, element.Tag, element.Content());
}

TAsnValueKind AsnPrimitiveValueKind(uint8_t cls, uint32_t tag, std::string_view content) {
  if (cls != acUniversal || tag == 31) {
    // Tag 0 is hex by the classic rendering ([0] keyIdentifier and the
    // like). A context [7] of address size is a GeneralName's iPAddress
    // (or a name constraint's address and mask): octets, even when they
    // happen to be printable.
    if (tag == 0) return TAsnValueKind::Hex;
    size_t size = content.size();
    if (cls == acContext && tag == 7 && (size == 4 || size == 8 || size == 16 || size == 32)) return TAsnValueKind::Hex;
    return IsPrintableUtf8(content) ? TAsnValueKind::Utf8 : TAsnValueKind::Hex;
  }
  switch (tag) {
    case 12: return TAsnValueKind::Utf8;
    case 28: return TAsnValueKind::Universal;
    case 30: return TAsnValueKind::Bmp;
    // NumericString, PrintableString, T61/TeletexString, VideotexString,
    // IA5String, UTCTime, GeneralizedTime, GraphicString, VisibleString,
    // GeneralString, ObjectDescriptor: one octet per character. Octets past
    // ASCII are read as Latin-1, as the certificate tools of the field do.
    case 7:
    case 18:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
    case 24:
    case 25:
    case 26:
    case 27: return TAsnValueKind::Latin1;
    default: return TAsnValueKind::Hex;
  }
}

std::string AsnStringToUtf8(TAsnValueKind kind, std::string_view octets, int32_t maxOctets, size_t& consumed) {
  std::string out;
  consumed = AppendAsnStringUtf8(out, kind, octets, maxOctets);
  return out;
}

size_t AppendAsnStringUtf8(std::string& out, TAsnValueKind kind, std::string_view octets, int32_t maxOctets) {
  size_t limit =
      maxOctets > 0 && octets.size() > static_cast<size_t>(maxOctets) ? static_cast<size_t>(maxOctets) : octets.size();
  size_t i = 0;
  switch (kind) {
    case TAsnValueKind::Hex: break;
    case TAsnValueKind::Latin1:
      out.reserve(out.size() + limit);
      for (; i < limit; ++i) AppendCodePointUtf8(out, At(octets, i));
      break;
    case TAsnValueKind::Utf8:
      out.reserve(out.size() + limit);
      while (i < limit) {
        char32_t c;
        size_t n = Utf8CharAt(octets, i, c);
        if (n == 0) {
          // One replacement per octet that starts no character.
          AppendCodePointUtf8(out, kReplacement);
          ++i;
          continue;
        }
        if (i + n > limit) break;  // a character the cut would split
        out.append(octets.substr(i, n));
        i += n;
      }
      break;
    case TAsnValueKind::Bmp:
      while (i < limit) {
        if (octets.size() - i < 2) {  // an odd last octet
          AppendCodePointUtf8(out, kReplacement);
          i = octets.size();
          break;
        }
        if (i + 2 > limit) break;
        char32_t u = static_cast<char32_t>(At(octets, i) << 8 | At(octets, i + 1));
        if (u >= 0xD800 && u <= 0xDBFF && octets.size() - i >= 4) {
          char32_t low = static_cast<char32_t>(At(octets, i + 2) << 8 | At(octets, i + 3));
          if (low >= 0xDC00 && low <= 0xDFFF) {
            if (i + 4 > limit) break;  // never half a pair
            AppendCodePointUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
            i += 4;
            continue;
          }
        }
        AppendCodePointUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
        i += 2;
      }
      break;
    case TAsnValueKind::Universal:
      while (i < limit) {
        if (octets.size() - i < 4) {  // a cut-off last character
          AppendCodePointUtf8(out, kReplacement);
          i = octets.size();
          break;
        }
        if (i + 4 > limit) break;
        uint32_t u = static_cast<uint32_t>(At(octets, i)) << 24 | static_cast<uint32_t>(At(octets, i + 1)) << 16 |
                     static_cast<uint32_t>(At(octets, i + 2)) << 8 | At(octets, i + 3);
        AppendCodePointUtf8(out,
                            u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : static_cast<char32_t>(u));
        i += 4;
      }
      break;
  }
  return i;
}

std::string AsnValueUtf8(const TAsnElem& element, int32_t maxOctets) {
  if (auto oid = dynamic_cast<const TOID*>(&element)) return oid->Dotted();
  if (dynamic_cast<const TInt*>(&element)) return element.ValueText(maxOctets);
  if (element.Constructed) {
    bool number = element.Class == acUniversal && (element.Tag == 2 || element.Tag == 10);
    return element.ValueHex(maxOctets, number ? '\0' : ' ');
  }
  std::string text;
  AppendAsnPrimitiveValue(text, element.Class, element.Tag, element.Content(), maxOctets);
  return text;
}

void AppendAsnHex(std::string& out, std::string_view octets, int32_t maxOctets, char separator) {
  static constexpr auto kPairs = [] {
    std::array<char, 512> pairs{};
    for (unsigned c = 0; c < 256; ++c) {
      pairs[2 * c] = HexDigit(c >> 4);
      pairs[2 * c + 1] = HexDigit(c);
    }
    return pairs;
  }();
  size_t n = octets.size();
  size_t shown = (maxOctets <= 0 || n <= static_cast<size_t>(maxOctets)) ? n : static_cast<size_t>(maxOctets);
  const auto* p = reinterpret_cast<const unsigned char*>(octets.data());
  // Written through a small buffer: appending pieces costs a check per
  // octet, resizing first a fill of the whole width.
  char chunk[768];
  constexpr size_t kPerChunk = sizeof chunk / 3;
  for (size_t i = 0; i < shown;) {
    size_t count = std::min(kPerChunk, shown - i);
    bool first = i == 0;
    char* q = chunk;
    if (separator) {
      // A separator before every octet; the very first one is left out.
      for (size_t k = 0; k < count; ++k, ++i, q += 3) {
        q[0] = separator;
        std::memcpy(q + 1, &kPairs[2 * p[i]], 2);
      }
    } else {
      for (size_t k = 0; k < count; ++k, ++i, q += 2) std::memcpy(q, &kPairs[2 * p[i]], 2);
    }
    size_t skip = separator && first ? 1 : 0;
    out.append(chunk + skip, static_cast<size_t>(q - chunk) - skip);
  }
  if (shown < n) AppendSkippedNote(out, n - shown);
}

TAsnValueKind AppendAsnPrimitiveValue(std::string& out, uint8_t cls, uint32_t tag, std::string_view content,
                                      int32_t maxOctets) {
  TAsnValueKind kind = AsnPrimitiveValueKind(cls, tag, content);
  if (kind == TAsnValueKind::Hex) {
    // INTEGER and ENUMERATED read as one number: no separators.
    bool number = cls == acUniversal && (tag == 2 || tag == 10);
    AppendAsnHex(out, content, maxOctets, number ? '\0' : ' ');
    return kind;
  }
  size_t consumed = AppendAsnStringUtf8(out, kind, content, maxOctets);
  if (consumed < content.size()) AppendSkippedNote(out, content.size() - consumed);
  return kind;
}

}  // namespace tessel
