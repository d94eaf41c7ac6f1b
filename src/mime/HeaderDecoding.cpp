#include "mime/HeaderDecoding.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "util/encodings/Base64.h"
#include "util/charsets/Charsets.h"
#include "util/charsets/Utf8Codec.h"
#include "util/streams/MemoryStream.h"
#include "util/text/StringUtils.h"

namespace tessel {

void THeaderProblems::Add(const std::string& note) {
  if (std::find(Notes.begin(), Notes.end(), note) == Notes.end()) Notes.push_back(note);
}

namespace {

// Length of the valid UTF-8 sequence at p (2 to 4), or 0 when the bytes there
// are no valid sequence (overlong forms, surrogates and values beyond
// U+10FFFF included).
size_t ValidSequence(const uint8_t* p, const uint8_t* end, uint32_t& cp) {
  uint8_t b = p[0];
  size_t n;
  uint32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    min = 0x80;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    min = 0x800;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    min = 0x10000;
    cp = b & 0x07;
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

void AppendCodePoint(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void AppendSystemText(std::string_view bytes, std::string& utf8) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* end = p + bytes.size();
  utf8.reserve(utf8.size() + bytes.size());
  while (p < end) {
    const uint8_t* run = p;
    p = SkipAscii(p, end);
    utf8.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
    if (p == end) break;
    uint32_t cp;
    size_t n = ValidSequence(p, end, cp);
    if (n) {
      utf8.append(reinterpret_cast<const char*>(p), n);
      p += n;
    } else {
      AppendCodePoint(*p++, utf8);  // ISO 8859-1: the byte is the code point
    }
  }
}

std::string SystemTextToUtf8(std::string_view bytes) {
  std::string out;
  AppendSystemText(bytes, out);
  return out;
}

std::u16string SystemTextToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* end = p + bytes.size();
  while (p < end) {
    if (*p < 0x80) {
      out += static_cast<char16_t>(*p++);
      continue;
    }
    uint32_t cp;
    size_t n = ValidSequence(p, end, cp);
    if (!n) {
      out += static_cast<char16_t>(*p++);
      continue;
    }
    p += n;
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  return out;
}

namespace {

// The value of each hexadecimal digit; 0xFF for every other byte.
constexpr std::array<uint8_t, 256> kHexValue = [] {
  std::array<uint8_t, 256> t{};
  for (size_t i = 0; i < t.size(); ++i)
    t[i] = i >= '0' && i <= '9'   ? static_cast<uint8_t>(i - '0')
           : i >= 'A' && i <= 'F' ? static_cast<uint8_t>(i - 'A' + 10)
           : i >= 'a' && i <= 'f' ? static_cast<uint8_t>(i - 'a' + 10)
                                  : 0xFF;
  return t;
}();

}  // namespace

void QDecode(std::string_view text, std::string& out) {
  auto hex = [](char c) -> int {
    uint8_t v = kHexValue[static_cast<unsigned char>(c)];
    return v == 0xFF ? -1 : v;
  };
  // The result is never longer than the text: written in place, then cut.
  size_t n = text.size();
  size_t base = out.size();
  out.resize(base + n);
  char* q = out.data() + base;
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c == '_') {
      *q++ = ' ';
    } else if (c != '=') {
      *q++ = c;
    } else if (i + 1 >= n) {
      break;  // "=" with no digits at the end writes nothing
    } else if (i + 2 >= n) {
      // One character left: a digit waits for a second that never comes;
      // anything else is not an escape at all.
      if (hex(text[i + 1]) < 0) {
        *q++ = text[i];
        *q++ = text[i + 1];
      }
      break;
    } else {
      uint8_t hi = kHexValue[static_cast<unsigned char>(text[i + 1])];
      uint8_t lo = kHexValue[static_cast<unsigned char>(text[i + 2])];
      if ((hi | lo) < 16) {
        *q++ = static_cast<char>(hi << 4 | lo);
      } else {
        *q++ = text[i];
        *q++ = text[i + 1];
        *q++ = text[i + 2];
      }
      i += 2;
    }
  }
  out.resize(static_cast<size_t>(q - out.data()));
}

void QDecode(std::string_view text, TStream& stream) {
  std::string out;
  QDecode(text, out);
  stream.WriteBuffer(out.data(), static_cast<int32_t>(out.size()));
}

namespace {

// The octets of an encoded word's text, in bytes (replaced).
void DecodeWordOctets(std::string_view encoding, std::string_view text, std::string& bytes, THeaderProblems* problems) {
  bytes.clear();
  if (encoding == "B" || encoding == "b") {
    // The quads before a fault are decoded; they are what is shown.
    if (!Base64DecodeAppend(text, bytes) && problems) problems->Add("Invalid input (base64 encoded word)");
  } else {
    QDecode(text, bytes);
  }
}

// bytes: a buffer the caller keeps for the words of a line.
void DecodeWordUtf8(std::string_view charset, std::string_view encoding, std::string_view text, std::string& out,
                    THeaderProblems* problems, std::string& bytes) {
  DecodeWordOctets(encoding, text, bytes, problems);
  // Lenient in one pass: bad bytes cost no more than good ones.
  size_t base = out.size();
  std::optional<bool> clean = AppendCharsetLenientUtf8(charset, bytes, out);
  if (!clean) {
    if (problems) problems->Add("Unknown charset " + std::string(charset));
    size_t z = bytes.find('\0');
    AppendSystemText(std::string_view(bytes).substr(0, z), out);
    return;
  }
  if (!*clean && problems) problems->Add("Illegal character in " + std::string(charset) + " text");
  size_t z = out.find('\0', base);
  if (z != std::string::npos) out.resize(z);
}

}  // namespace

void DecodeEncodedWordUtf8(std::string_view charset, std::string_view encoding, std::string_view text, std::string& out,
                           THeaderProblems* problems) {
  std::string bytes;
  DecodeWordUtf8(charset, encoding, text, out, problems, bytes);
}

std::u16string DecodeEncodedWord(const std::string& charset, const std::string& encoding, std::string_view text,
                                 THeaderProblems* problems) {
  std::string utf8;
  DecodeEncodedWordUtf8(charset, encoding, text, utf8, problems);
  return Utf8ToWide(utf8);
}

std::string DecodeHeaderLine(std::string_view line, THeaderProblems* problems) {
  std::string out;
  AppendDecodedHeaderLine(line, out, problems);
  return out;
}

void AppendDecodedHeaderLine(std::string_view line, std::string& out, THeaderProblems* problems) {
  out.reserve(out.size() + line.size());
  thread_local std::string bytes;  // one word's octets; its room stays
  size_t n = line.size();
  size_t plain = 0;  // start of the plain text not yet written
  size_t i = 0;
  while (i < n) {
    // State 0: plain text up to the next "=?" that leaves room for a word
    // (at least six characters after the "=").
    const char* eq = static_cast<const char*>(std::memchr(line.data() + i, '=', n - i));
    if (!eq) break;
    size_t e = static_cast<size_t>(eq - line.data());
    if (!(e + 6 < n && line[e + 1] == '?')) {
      i = e + 1;
      continue;
    }
    AppendSystemText(line.substr(plain, e - plain), out);
    // States 1 and 2: charset and encoding, each up to the next "?".
    size_t cs = e + 2;
    size_t q1 = line.find('?', cs);
    size_t q2 = q1 == std::string_view::npos ? q1 : line.find('?', q1 + 1);
    // State 3: the encoded text runs to the next "?" directly followed by "=".
    size_t close = q2 == std::string_view::npos ? q2 : line.find("?=", q2 + 1);
    if (close == std::string_view::npos) return;  // an unclosed word drops the rest of the line
    DecodeWordUtf8(line.substr(cs, q1 - cs), line.substr(q1 + 1, q2 - q1 - 1), line.substr(q2 + 1, close - q2 - 1), out,
                   problems, bytes);
    i = plain = close + 2;
  }
  AppendSystemText(line.substr(plain), out);
}

}  // namespace tessel
