// Character readers and writers: bytes in a named charset to UTF-16 code
// units and back, one code unit per call.
//
// A reader or writer works on a byte stream that it owns by default
// (OwnsStream true); a caller that keeps its stream clears OwnsStream right
// after binding it.
//
// The concrete codecs live in EightBitCodec.h, Utf8Codec.h, Utf7Codec.h,
// Utf16Codec.h and WidestringCodec.h; Charsets.h hands them out by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/system/Exception.h"
#include "util/streams/Stream.h"

namespace tessel {

class TCharRWBase {
public:
  TCharRWBase() = default;
  TCharRWBase(const TCharRWBase&) = delete;
  TCharRWBase& operator=(const TCharRWBase&) = delete;
  virtual ~TCharRWBase();

  // Binds stream; when it differs from the current one, the current one is
  // freed first if owned. OwnsStream is left as it is.
  void SetStream(TStream* stream);
  virtual void Flush() {}

  std::string Name;  // the charset name in the codec's own form, e.g. "UTF-8"
  TStream* Stream = nullptr;
  bool OwnsStream = true;
};

class TCharReader : public TCharRWBase {
public:
  // A new reader of the same class, name and tables, with no stream.
  virtual std::unique_ptr<TCharReader> Clone() const = 0;
  // The next code unit; raises EIllegalChar for bytes that are no character.
  // Callers test Eof before each call.
  virtual char16_t ReadChar() = 0;
  // True when no further code unit can come. Readers that may consume bytes
  // yielding no unit (UTF-7's closing '-') look ahead here.
  virtual bool Eof();

  // Whole-string conversions for callers that hold all bytes at once. They
  // give the same code units, and raise the same exceptions, as a fresh
  // clone reading a stream over bytes until Eof; units decoded before a
  // fault are left in out. The object itself (usually a registry
  // prototype) is not changed. The base versions do exactly that reading;
  // table-driven codecs override them with loops that make no virtual call
  // per byte.
  virtual void DecodeBytes(std::string_view bytes, std::u16string& out) const;
  // The same units appended to out as UTF-8, as WideToUtf8 writes them; after
  // a fault out may hold part of the result.
  virtual void DecodeBytesUtf8(std::string_view bytes, std::string& out) const;
  // The same bytes read leniently, for text that is shown whatever its
  // faults (header words): each stretch of bytes the charset cannot read is
  // one U+FFFD and reading resumes right after it; a surrogate outside a pair
  // is U+FFFD too, so out always receives valid UTF-8. Never raises for bad
  // bytes. Returns whether every byte was readable; then out receives exactly
  // what DecodeBytesUtf8 writes, lone surrogates aside. The base version
  // reads a clone one unit at a time and catches its faults; the built-in
  // codecs override it with loops that raise nothing.
  virtual bool DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const;

protected:
  // One byte from Stream; false at the end of the stream.
  bool ReadByte(uint8_t& b);
  // A fresh copy of this reader reading stream, which stays the caller's.
  std::unique_ptr<TCharReader> CloneOver(TStream& stream) const;
};

class TCharWriter : public TCharRWBase {
public:
  virtual std::unique_ptr<TCharWriter> Clone() const = 0;
  virtual void WriteChar(char16_t c) = 0;
  // Whether the charset has a byte form for c.
  virtual bool CanWrite(char16_t c);
  void WriteString(const std::u16string& ws);

protected:
  // Raises "Stream write error" when the bytes do not all go out (or no
  // stream is bound).
  void WriteBytes(const void* data, int32_t count);
};

}  // namespace tessel
