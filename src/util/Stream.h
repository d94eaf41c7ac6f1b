// The byte stream abstraction every reader and writer of the system works on:
// Read, Write and Seek with the origins beginning (0), current (1) and end (2),
// a size and a position, all 32-bit signed.
#pragma once

#include <cstdint>

namespace tessel {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Copies up to count bytes to buffer; returns the number copied (0 at the end).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes count bytes at the position; returns the number written.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position; returns the new position.
  virtual int32_t Seek(int32_t offset, int origin) = 0;

  virtual int32_t GetSize();
  virtual void SetSize(int32_t newSize);
  int32_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int32_t pos) { Seek(pos, soBeginning); }

  // Like Read and Write, but raise "Stream read error" / "Stream write error"
  // when fewer than count bytes move.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);

  // Copies count bytes from source's position; count 0 copies the whole of
  // source from its beginning. Returns the number of bytes copied.
  int32_t CopyFrom(TStream& source, int32_t count);
};

}  // namespace tessel
