// Character readers and writers: bytes in a named charset to UTF-16 code
// units and back, one code unit per call.
//
// A reader or writer works on a byte stream that it owns by default
// (OwnsStream true); a caller that keeps its stream clears OwnsStream right
// after binding it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Exception.h"
#include "Stream.h"

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
  virtual bool Eof();
};

class TCharWriter : public TCharRWBase {
public:
  virtual std::unique_ptr<TCharWriter> Clone() const = 0;
  virtual void WriteChar(char16_t c) = 0;
  // Whether the charset has a byte form for c.
  virtual bool CanWrite(char16_t c);
  void WriteString(const std::u16string& ws);
};

}  // namespace tessel
