// UTF-16 readers and writers in either byte order. They pass code units
// through as they are: surrogate pairs stay two units, and a byte-order mark
// is neither skipped on reading nor written (callers that sniff one consume
// it themselves).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "util/streams/CharRW.h"

namespace tessel {

class TUTF16Reader : public TCharReader {
public:
  TUTF16Reader(const std::string& name, bool bigEndian) : BigEndian(bigEndian) { Name = name; }
  std::unique_ptr<TCharReader> Clone() const override;
  // A lone byte left at the end of the stream raises EIllegalChar
  // "Illegal character".
  char16_t ReadChar() override;
  void DecodeBytes(std::string_view bytes, std::u16string& out) const override;
  // A lone byte at the end is one U+FFFD.
  bool DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const override;

  const bool BigEndian;
};

class TUTF16Writer : public TCharWriter {
public:
  TUTF16Writer(const std::string& name, bool bigEndian) : BigEndian(bigEndian) { Name = name; }
  std::unique_ptr<TCharWriter> Clone() const override;
  void WriteChar(char16_t c) override;

  const bool BigEndian;
};

}  // namespace tessel
