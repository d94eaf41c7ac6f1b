// The byte stream abstraction every reader and writer of the system works on:
// Read, Write and Seek with the origins beginning (0), current (1) and end (2),
// a size and a position, all 32-bit signed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// A stream that only takes bytes (a file being written, standard output, a
// counter): reading gives nothing, and the position and the size are the
// number of bytes taken so far.
class TSinkStream : public TStream {
public:
  int32_t Read(void*, int32_t) final { return 0; }
  int32_t Write(const void* buffer, int32_t count) final {
    if (count <= 0) return 0;
    int32_t n = Take(buffer, count);
    if (n > 0) Taken_ += n;
    return n;
  }
  int32_t Seek(int32_t, int) final { return Position(); }
  int32_t GetSize() final { return Position(); }
  // Every byte taken so far.
  int64_t Taken() const { return Taken_; }

protected:
  // Takes count (> 0) bytes; returns how many were taken.
  virtual int32_t Take(const void* buffer, int32_t count) = 0;

private:
  int32_t Position() const { return Taken_ > INT32_MAX ? INT32_MAX : static_cast<int32_t>(Taken_); }
  int64_t Taken_ = 0;
};

// Collects small pieces of output and hands them to a stream in large
// writes, so that producers of a few bytes at a time (decoders) do not pay a
// virtual call per piece. Flush must be called before the writer goes away;
// there is no flush in the destructor because a failing write must be able
// to raise.
class TWriteBuffer {
public:
  explicit TWriteBuffer(TStream& output) : Output_(output) {}
  TWriteBuffer(const TWriteBuffer&) = delete;
  TWriteBuffer& operator=(const TWriteBuffer&) = delete;

  void Put(char c) {
    if (Used_ == kCapacity) Flush();
    Buffer_[Used_++] = c;
  }
  void Put(const char* data, size_t n) {
    // Used_ never exceeds the capacity; saying so spares the compiler a
    // false out-of-bounds warning.
    if (Used_ > kCapacity) __builtin_unreachable();
    if (n <= kCapacity - Used_) {
      std::memcpy(Buffer_ + Used_, data, n);
      Used_ += n;
      return;
    }
    Flush();
    if (n < kCapacity) {
      std::memcpy(Buffer_, data, n);
      Used_ = n;
      return;
    }
    // Large runs go straight through, without a copy.
    while (n > 0) {
      int32_t piece = n > kMaxWrite ? kMaxWrite : static_cast<int32_t>(n);
      Output_.WriteBuffer(data, piece);
      data += piece;
      n -= static_cast<size_t>(piece);
    }
  }
  // Room for at least n (at most 16384) more bytes; Commit says how many were filled.
  char* Reserve(size_t n) {
    if (n > kCapacity - Used_) Flush();
    return Buffer_ + Used_;
  }
  void Commit(size_t n) { Used_ += n; }
  // Writes everything collected; a short write raises "Stream write error".
  void Flush() {
    if (Used_ > 0) Output_.WriteBuffer(Buffer_, static_cast<int32_t>(Used_));
    Used_ = 0;
  }

private:
  static constexpr size_t kCapacity = 16384;
  static constexpr int32_t kMaxWrite = 1 << 30;
  TStream& Output_;
  size_t Used_ = 0;
  char Buffer_[kCapacity];
};

}  // namespace tessel
