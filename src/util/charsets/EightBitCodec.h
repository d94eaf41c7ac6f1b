// Reader and writer for the single-byte charsets (ISO 8859 family,
// Windows-1250): one table of 256 code units, 0 meaning "no character".
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/streams/CharRW.h"

namespace tessel {

class T8bitReader : public TCharReader {
public:
  // Copies the 256-entry table and takes name as its Name.
  T8bitReader(const std::string& name, const char16_t* toUnicode);
  std::unique_ptr<TCharReader> Clone() const override;
  // Raises EIllegalChar with an empty message for a byte mapped to 0.
  char16_t ReadChar() override;
  void DecodeBytes(std::string_view bytes, std::u16string& out) const override;
  void DecodeBytesUtf8(std::string_view bytes, std::string& out) const override;
  // An unreadable byte is one U+FFFD, except NUL, which stays a NUL so that
  // callers cutting text at its first NUL cut it there.
  bool DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const override;

  std::array<char16_t, 256> ToUnicode;

  // UTF-8 form of each byte's code unit (Length 0 for unreadable bytes),
  // shared by a prototype and its clones.
  struct TUtf8Form {
    char Bytes[3];
    uint8_t Length;
  };
  using TUtf8Forms = std::array<TUtf8Form, 256>;

private:
  T8bitReader(const T8bitReader& other, int);  // Clone's copy
  std::shared_ptr<const TUtf8Forms> Utf8Forms_;
};

class T8bitWriter : public TCharWriter {
public:
  T8bitWriter(const std::string& name, const char16_t* toUnicode);
  std::unique_ptr<TCharWriter> Clone() const override;
  // Writes the byte of c; a unit the charset lacks is skipped silently
  // (callers that care ask CanWrite first).
  void WriteChar(char16_t c) override;
  bool CanWrite(char16_t c) override { return Lookup(c) >= 0; }

  struct TPair {
    char16_t Unit;
    uint8_t Byte;
  };
  std::array<char16_t, 256> ToUnicode;
  // All 256 (ToUnicode[b], b) pairs sorted by unit, then byte.
  std::array<TPair, 256> FromUnicode;

  // The byte for c, or -1. When several bytes share c (U+0000, or an
  // undefined ISO position reading as a character defined elsewhere) the
  // lowest one is the answer, which is always the defined byte.
  int Lookup(char16_t c) const;

private:
  T8bitWriter(const T8bitWriter& other, int);
};

}  // namespace tessel
