// UTF-8 reader and writer, and the whole-string UTF-8 routines that the
// registry's conversions are built on.
//
// Characters beyond U+FFFF read as a surrogate pair (the second unit comes
// from the next ReadChar), and a pair is written as one four-byte form, so
// that text with such characters survives a round trip and is valid UTF-8
// for every other program. Surrogates that are not part of a pair read and
// write as three-byte forms, as they always did.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "util/streams/CharRW.h"

namespace tessel {

// The first byte at or after p that is not ASCII (end when there is none),
// looked at eight bytes at a time.
inline const uint8_t* SkipAscii(const uint8_t* p, const uint8_t* end) {
  while (end - p >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if (w & 0x8080808080808080ull) break;
    p += 8;
  }
  while (p < end && *p < 0x80) ++p;
  return p;
}

// Length of the sequence a byte starts: 1 for ASCII, 0 for bytes that can
// not start one (continuation bytes, 0xFE, 0xFF), 2 to 6 for lead bytes.
extern const std::array<uint8_t, 256> Utf8LeadLength;

class TUTF8Reader : public TCharReader {
public:
  TUTF8Reader() { Name = "UTF-8"; }
  std::unique_ptr<TCharReader> Clone() const override { return std::make_unique<TUTF8Reader>(); }
  // Raises EIllegalChar "Illegar UTF-8 character beginning with #x" + two
  // hex digits for a byte that cannot start a sequence, and "Illegal
  // character" for a continuation byte that is not 10xxxxxx (that byte is
  // left unread), a sequence cut off by the end of the stream, an overlong
  // form, a value above U+10FFFF and the five- and six-byte forms.
  char16_t ReadChar() override;
  bool Eof() override { return Pending_ == 0 && TCharReader::Eof(); }
  void DecodeBytes(std::string_view bytes, std::u16string& out) const override;
  void DecodeBytesUtf8(std::string_view bytes, std::string& out) const override;
  // A broken or cut-off sequence is one U+FFFD standing for the longest
  // start of a sequence it has (at least one byte).
  bool DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const override;

private:
  char16_t Pending_ = 0;  // low surrogate of a pair whose high unit went out
};

class TUTF8Writer : public TCharWriter {
public:
  TUTF8Writer() { Name = "UTF-8"; }
  ~TUTF8Writer() override;
  std::unique_ptr<TCharWriter> Clone() const override { return std::make_unique<TUTF8Writer>(); }
  // A high surrogate waits for the next unit: a low surrogate completes a
  // four-byte form, anything else first writes it as a three-byte form.
  void WriteChar(char16_t c) override;
  // Writes a waiting high surrogate. The destructor calls it too.
  void Flush() override;

private:
  char16_t PendingHigh_ = 0;
};

// Appends units[0..count) to out as UTF-8 (pairs as four-byte forms).
void AppendUtf8(const char16_t* units, size_t count, std::string& out);

// The same, but a surrogate that is not half of a pair becomes U+FFFD, so
// that out is valid UTF-8 for every consumer.
void AppendUtf8Lenient(const char16_t* units, size_t count, std::string& out);

// Appends one code point (at most U+10FFFF, no surrogate) to out as UTF-8.
void AppendCodePointUtf8(std::string& out, char32_t c);

// Appends the code units of UTF-8 bytes to out with the reader's rules and
// messages; on a fault the units before it stay in out.
void DecodeUtf8(std::string_view bytes, std::u16string& out);

}  // namespace tessel
