#include "mime/HeaderDecoding.h"

#include <algorithm>
#include <cstring>

#include "util/encodings/Base64.h"
#include "util/charsets/Charsets.h"
#include "util/system/Exception.h"
#include "util/streams/MemoryStream.h"
#include "util/text/StringUtils.h"
#include "util/charsets/Utf7Codec.h"
#include "util/charsets/Utf8Codec.h"

namespace tessel {

void THeaderProblems::Add(const std::string& note) {
  if (std::find(Notes.begin(), Notes.end(), note) == Notes.end()) Notes.push_back(note);
}

namespace {

constexpr uint64_t kHighBits8 = 0x8080808080808080ull;

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

// UTF-16 units as UTF-8; a surrogate that is not half of a pair becomes
// U+FFFD, so that the result is always valid UTF-8.
void AppendUnits(std::u16string_view units, std::string& out) {
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendCodePoint(c, out);
  }
}

// The codecs write a surrogate that is not half of a pair as a three-byte
// form (ED A0..BF xx); header data must be valid UTF-8 for every consumer,
// so such forms in out from position `from` on become U+FFFD.
void ReplaceSurrogateForms(std::string& out, size_t from) {
  size_t p = out.find('\xED', from);
  if (p == std::string::npos) return;
  std::string fixed(out, 0, p);
  for (size_t i = p; i < out.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(out[i]);
    if (b == 0xED && i + 2 < out.size() && (static_cast<uint8_t>(out[i + 1]) & 0xE0) == 0xA0) {
      fixed += "\xEF\xBF\xBD";
      i += 2;
    } else {
      fixed += out[i];
    }
  }
  out.swap(fixed);
}

// Cuts out at its first NUL from position `from` on.
void CutAtNul(std::string& out, size_t from) {
  size_t z = out.find('\0', from);
  if (z != std::string::npos) out.resize(z);
}

// Length of the longest start of a well-formed UTF-8 sequence at p (at
// least 1): the bytes one U+FFFD stands for when the sequence is cut off or
// broken, so that reading resumes at the first byte that cannot continue it.
size_t BadUtf8Length(const uint8_t* p, const uint8_t* end) {
  uint8_t b = p[0];
  size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 1;
  uint8_t low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
  uint8_t high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
  size_t i = 1;
  while (i < n && p + i < end && p[i] >= (i == 1 ? low : 0x80) && p[i] <= (i == 1 ? high : 0xBF)) ++i;
  return i;
}

// UTF-8 read leniently without exceptions: each broken or cut-off sequence
// is one U+FFFD, and reading resumes right after it.
void DecodeUtf8Lenient(std::string_view bytes, std::string& out) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    if (*p < 0x80) {
      out += static_cast<char>(*p++);
      continue;
    }
    uint32_t cp;
    if (size_t n = ValidSequence(p, end, cp)) {
      out.append(reinterpret_cast<const char*>(p), n);
      p += n;
    } else {
      out += "\xEF\xBF\xBD";
      p += BadUtf8Length(p, end);
    }
  }
}

// UTF-7 read leniently without exceptions: a '+' that starts nothing, and a
// run that ends inside a unit, are each one U+FFFD; the byte after them is
// read as it would be after a good run.
void DecodeUtf7Lenient(std::string_view bytes, std::string& out) {
  std::u16string units;
  bool inRun = false;
  uint32_t bits = 0;
  int nbits = 0, sextets = 0;
  auto endRun = [&] {
    inRun = false;
    // Bytes of a cut quad: one for one or two sextets, two for three.
    static constexpr int kPartial[] = {0, 1, 1, 2};
    if (sextets == 0 || (sextets % 4 != 0 && (sextets / 4 * 3 + kPartial[sextets % 4]) % 2 == 1))
      units += u'\xFFFD';
  };
  for (unsigned char b : bytes) {
    if (inRun) {
      uint8_t v = Base64DecodeTable[b];
      if (v < 64) {
        bits = (bits << 6 | v) & 0xFFFFFF;
        nbits += 6;
        ++sextets;
        if (nbits >= 16) {
          nbits -= 16;
          char16_t unit = static_cast<char16_t>(bits >> nbits);
          if (unit != 0) units += unit;
        }
        continue;
      }
      if (sextets == 0 && b == '-') {
        inRun = false;
        units += u'+';
        continue;
      }
      endRun();
      if (b == '-' && sextets > 0) continue;
    }
    if (b == '+') {
      inRun = true;
      bits = 0;
      nbits = sextets = 0;
      continue;
    }
    units += static_cast<char16_t>(b);
  }
  if (inRun) endRun();
  AppendUnits(units, out);
}

// A slow but forgiving reading of bytes in charset: a byte sequence the
// reader rejects becomes U+FFFD and reading goes on after it. A NUL byte that
// an 8-bit charset cannot read ends the text like a NUL character would.
void DecodeForgiving(const std::string& charset, std::string_view bytes, std::string& out) {
  std::unique_ptr<TCharReader> reader = FindCharReader(charset);
  if (!reader) return;
  // The common charsets are read without an exception per bad byte.
  if (dynamic_cast<TUTF7Reader*>(reader.get())) return DecodeUtf7Lenient(bytes, out);
  if (dynamic_cast<TUTF8Reader*>(reader.get())) return DecodeUtf8Lenient(bytes, out);
  TPointerStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
  reader->SetStream(&stream);
  reader->OwnsStream = false;
  std::u16string units;
  while (!reader->Eof()) {
    int32_t before = stream.GetPosition();
    try {
      char16_t c = reader->ReadChar();
      if (c == 0) break;
      units += c;
    } catch (const Exception&) {
      int32_t after = stream.GetPosition();
      if (after <= before) stream.SetPosition(after = before + 1);
      if (after == before + 1 && bytes[static_cast<size_t>(before)] == '\0') break;
      units += u'\xFFFD';
    }
  }
  reader->SetStream(nullptr);
  AppendUnits(units, out);
}

}  // namespace

void AppendSystemText(std::string_view bytes, std::string& utf8) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* end = p + bytes.size();
  utf8.reserve(utf8.size() + bytes.size());
  while (p < end) {
    const uint8_t* run = p;
    while (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      if (w & kHighBits8) break;
      p += 8;
    }
    while (p < end && *p < 0x80) ++p;
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

void QDecode(std::string_view text, std::string& out) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  size_t n = text.size();
  out.reserve(out.size() + n);
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c == '_') {
      out += ' ';
    } else if (c != '=') {
      out += c;
    } else if (i + 1 >= n) {
      break;  // "=" with no digits at the end writes nothing
    } else if (i + 2 >= n) {
      // One character left: a digit waits for a second that never comes;
      // anything else is not an escape at all.
      if (hex(text[i + 1]) < 0) out.append(text.substr(i, 2));
      break;
    } else {
      int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
      if (hi >= 0 && lo >= 0)
        out += static_cast<char>(hi * 16 + lo);
      else
        out.append(text.substr(i, 3));
      i += 2;
    }
  }
}

void QDecode(std::string_view text, TStream& stream) {
  std::string out;
  QDecode(text, out);
  stream.WriteBuffer(out.data(), static_cast<int32_t>(out.size()));
}

void DecodeEncodedWordUtf8(std::string_view charset, std::string_view encoding, std::string_view text,
                           std::string& out, THeaderProblems* problems) {
  std::string bytes;
  if (encoding == "B" || encoding == "b") {
    TStringStream stream;
    try {
      Base64DecodeString(text, stream);
    } catch (const Exception& e) {
      // The quads before the fault are decoded; they are what is shown.
      if (problems) problems->Add(e.Message() + " (base64 encoded word)");
    }
    bytes = stream.TakeDataString();
  } else {
    QDecode(text, bytes);
  }

  std::string name(charset);
  size_t base = out.size();
  std::optional<std::string> converted;
  try {
    converted = CharsetToUtf8(name, bytes);
  } catch (const Exception&) {
    if (problems) problems->Add("Illegal character in " + name + " text");
    DecodeForgiving(name, bytes, out);
    CutAtNul(out, base);
    return;
  }
  if (!converted) {
    if (problems) problems->Add("Unknown charset " + name);
    size_t z = bytes.find('\0');
    AppendSystemText(std::string_view(bytes).substr(0, z), out);
    return;
  }
  out += *converted;
  CutAtNul(out, base);
  ReplaceSurrogateForms(out, base);
}

std::u16string DecodeEncodedWord(const std::string& charset, const std::string& encoding, std::string_view text,
                                 THeaderProblems* problems) {
  std::string utf8;
  DecodeEncodedWordUtf8(charset, encoding, text, utf8, problems);
  return Utf8ToWide(utf8);
}

std::string DecodeHeaderLine(std::string_view line, THeaderProblems* problems) {
  std::string out;
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
    if (close == std::string_view::npos) return out;  // an unclosed word drops the rest of the line
    DecodeEncodedWordUtf8(line.substr(cs, q1 - cs), line.substr(q1 + 1, q2 - q1 - 1),
                          line.substr(q2 + 1, close - q2 - 1), out, problems);
    i = plain = close + 2;
  }
  AppendSystemText(line.substr(plain), out);
  return out;
}

}  // namespace tessel
