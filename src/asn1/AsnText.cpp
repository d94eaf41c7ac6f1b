#include "asn1/AsnText.h"

#include "util/charsets/Utf8Codec.h"

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

std::string SkippedNote(size_t skipped) { return "... --Skipped " + std::to_string(skipped) + " octets--"; }

}  // namespace

TAsnValueKind AsnValueKind(const TAsnElem& element) {
  if (element.Constructed) return TAsnValueKind::Hex;
  if (element.Class != acUniversal || element.Tag == 31) {
    // Tag 0 is hex by the classic rendering ([0] keyIdentifier and the
    // like). A context [7] of address size is a GeneralName's iPAddress
    // (or a name constraint's address and mask): octets, even when they
    // happen to be printable.
    if (element.Tag == 0) return TAsnValueKind::Hex;
    size_t size = element.Content().size();
    if (element.Class == acContext && element.Tag == 7 && (size == 4 || size == 8 || size == 16 || size == 32))
      return TAsnValueKind::Hex;
    return IsPrintableUtf8(element.Content()) ? TAsnValueKind::Utf8 : TAsnValueKind::Hex;
  }
  switch (element.Tag) {
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
  size_t limit =
      maxOctets > 0 && octets.size() > static_cast<size_t>(maxOctets) ? static_cast<size_t>(maxOctets) : octets.size();
  std::string out;
  size_t i = 0;
  switch (kind) {
    case TAsnValueKind::Hex: break;
    case TAsnValueKind::Latin1:
      out.reserve(limit);
      for (; i < limit; ++i) AppendCodePointUtf8(out, At(octets, i));
      break;
    case TAsnValueKind::Utf8:
      out.reserve(limit);
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
  consumed = i;
  return out;
}

std::string AsnValueUtf8(const TAsnElem& element, int32_t maxOctets) {
  if (auto oid = dynamic_cast<const TOID*>(&element)) return oid->Dotted();
  if (dynamic_cast<const TInt*>(&element)) return element.ValueText(maxOctets);
  TAsnValueKind kind = AsnValueKind(element);
  if (kind == TAsnValueKind::Hex) {
    // INTEGER and ENUMERATED read as one number: no separators.
    bool number = element.Class == acUniversal && (element.Tag == 2 || element.Tag == 10);
    return element.ValueHex(maxOctets, number ? '\0' : ' ');
  }
  std::string_view content = element.Content();
  size_t consumed = 0;
  std::string text = AsnStringToUtf8(kind, content, maxOctets, consumed);
  if (consumed < content.size()) text += SkippedNote(content.size() - consumed);
  return text;
}

}  // namespace tessel
