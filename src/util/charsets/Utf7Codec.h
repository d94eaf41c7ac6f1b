// UTF-7 reader and writer (RFC 2152): direct characters as single ASCII
// bytes, everything else as UTF-16 code units, high byte first, packed into
// base64 runs without pad characters that begin with '+' and may end with
// '-'.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>

#include "util/streams/CharRW.h"

namespace tessel {

class TUTF7Reader : public TCharReader {
public:
  TUTF7Reader() { Name = "UTF-7"; }
  std::unique_ptr<TCharReader> Clone() const override { return std::make_unique<TUTF7Reader>(); }
  // Raises Exception "Invalid utf7 sequence" for a '+' followed by neither a
  // base64 character nor '-' (the end of the stream included), and for a run
  // that ends with an odd number of bytes inside an incomplete quad. A unit
  // of value 0 decoded from a run is dropped.
  char16_t ReadChar() override;
  // Decodes ahead when bytes remain, because a run's closing '-' (or a run of
  // zero units) yields nothing: Eof is true exactly when no unit follows. A
  // fault met while looking ahead is raised by the next ReadChar.
  bool Eof() override;
  // A '+' that starts nothing, and a run that ends inside a unit, are each
  // one U+FFFD; the byte after them is read as it would be after a good run.
  bool DecodeBytesLenientUtf8(std::string_view bytes, std::string& out) const override;

private:
  // Reads bytes until at least one unit is queued or the stream ends.
  void Step();
  void FinishRun();
  void ConvertQuad(int sextets);
  void PutByte(uint8_t b);
  void Queue(char16_t c) { Ready_[ReadyCount_++] = c; }

  bool InBase64_ = false;
  uint8_t Sextets_[4] = {0, 0, 0, 0};
  int32_t SextetCount_ = 0;  // sextets since the '+'
  int32_t ByteCount_ = 0;    // bytes produced since the '+'
  uint8_t HighByte_ = 0;     // first byte of a unit whose second is awaited
  bool Converted_ = false;   // the current quad's sextets are already bytes
  // Units decoded but not yet returned (one step yields at most two).
  char16_t Ready_[2] = {0, 0};
  int32_t ReadyCount_ = 0;
  int32_t ReadyPos_ = 0;
  std::exception_ptr Deferred_;
};

class TUTF7Writer : public TCharWriter {
public:
  TUTF7Writer() { Name = "UTF-7"; }
  // Closes an open run, so a freed writer always leaves a complete one.
  ~TUTF7Writer() override;
  std::unique_ptr<TCharWriter> Clone() const override { return std::make_unique<TUTF7Writer>(); }
  void WriteChar(char16_t c) override;
  // Closes an open run and writes '-'.
  void Flush() override;

private:
  // Writes the run's last bits and leaves base64.
  void CloseRun(char* out, int& n);
  void AddByte(uint8_t b, char* out, int& n);

  bool InBase64_ = false;
  int32_t GroupCount_ = 0;  // bytes waiting in Group_ (0 to 2 between calls)
  uint8_t Group_[3] = {0, 0, 0};
};

}  // namespace tessel
