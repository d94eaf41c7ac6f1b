// In-memory streams over one contiguous block.
//
// TMemoryStream owns a growable block; TPointerStream reads (and overwrites)
// memory it does not own, so a slice of a larger buffer can be handed to a
// reader without copying it; TStringStream keeps its bytes in a byte string.
#pragma once

#include <cstdint>
#include <string>

#include "util/streams/Stream.h"

namespace tessel {

class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, int origin) override;
  int32_t GetSize() override { return Size_; }
  // Grows or shrinks the data; the position is kept within the new size.
  void SetSize(int32_t newSize) override;

  void Clear();
  char* Memory() { return Data_; }
  const char* Memory() const { return Data_; }
  int32_t Size() const { return Size_; }

private:
  void Reserve(int64_t capacity);

  char* Data_ = nullptr;
  int32_t Size_ = 0;
  int32_t Capacity_ = 0;
  int32_t Position_ = 0;
};

// A stream over memory owned by someone else. Writes stay inside the given
// length (a write past it is cut short); the size never changes.
class TPointerStream : public TStream {
public:
  TPointerStream(const void* data, int32_t length) : Data_(static_cast<const char*>(data)), Size_(length) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, int origin) override;
  int32_t GetSize() override { return Size_; }

  const char* Memory() const { return Data_; }

private:
  const char* Data_;
  int32_t Size_;
  int32_t Position_ = 0;
};

class TStringStream : public TStream {
public:
  TStringStream() = default;
  explicit TStringStream(std::string data) : Data_(std::move(data)) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, int origin) override;
  int32_t GetSize() override { return static_cast<int32_t>(Data_.size()); }
  void SetSize(int32_t newSize) override;

  const std::string& DataString() const { return Data_; }
  std::string TakeDataString() {
    Position_ = 0;
    return std::move(Data_);
  }

private:
  std::string Data_;
  int32_t Position_ = 0;
};

}  // namespace tessel
