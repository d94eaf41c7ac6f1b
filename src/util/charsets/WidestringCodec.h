// "widestring": the in-memory form of wide strings, UTF-16 little-endian
// without a byte-order mark.
#pragma once

#include <memory>

#include "util/charsets/Utf16Codec.h"

namespace tessel {

class TWidestringReader : public TUTF16Reader {
public:
  TWidestringReader() : TUTF16Reader("widestring", false) {}
  std::unique_ptr<TCharReader> Clone() const override { return std::make_unique<TWidestringReader>(); }
};

class TWidestringWriter : public TUTF16Writer {
public:
  TWidestringWriter() : TUTF16Writer("widestring", false) {}
  std::unique_ptr<TCharWriter> Clone() const override { return std::make_unique<TWidestringWriter>(); }
};

}  // namespace tessel
