#include "util/streams/MemoryStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "util/system/Exception.h"

namespace tessel {

namespace {

// New position for a Seek, clamped to 0 .. size. Computed in 64 bits so that
// hostile offsets cannot overflow.
int32_t SeekTarget(int32_t position, int32_t size, int32_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case soBeginning: target = offset; break;
    case soCurrent: target = int64_t(position) + offset; break;
    case soEnd: target = int64_t(size) + offset; break;
    default: return position;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(target, 0, size));
}

int32_t ReadFrom(const char* data, int32_t size, int32_t& position, void* buffer, int32_t count) {
  if (count <= 0 || position >= size) return 0;
  int32_t n = std::min(count, size - position);
  std::memcpy(buffer, data + position, static_cast<size_t>(n));
  position += n;
  return n;
}

}  // namespace

TMemoryStream::~TMemoryStream() { std::free(Data_); }

void TMemoryStream::Reserve(int64_t capacity) {
  if (capacity <= Capacity_) return;
  if (capacity > std::numeric_limits<int32_t>::max()) throw Exception("Out of memory while expanding memory stream");
  int64_t grown = std::max<int64_t>(capacity, int64_t(Capacity_) + Capacity_ / 2);
  grown = std::min<int64_t>(std::max<int64_t>(grown, 256), std::numeric_limits<int32_t>::max());
  char* p = static_cast<char*>(std::realloc(Data_, static_cast<size_t>(grown)));
  if (!p) throw Exception("Out of memory while expanding memory stream");
  Data_ = p;
  Capacity_ = static_cast<int32_t>(grown);
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) { return ReadFrom(Data_, Size_, Position_, buffer, count); }

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int64_t end = int64_t(Position_) + count;
  Reserve(end);
  std::memcpy(Data_ + Position_, buffer, static_cast<size_t>(count));
  Position_ = static_cast<int32_t>(end);
  if (Position_ > Size_) Size_ = Position_;
  return count;
}

int32_t TMemoryStream::Seek(int32_t offset, int origin) {
  Position_ = SeekTarget(Position_, Size_, offset, origin);
  return Position_;
}

void TMemoryStream::SetSize(int32_t newSize) {
  if (newSize < 0) newSize = 0;
  Reserve(newSize);
  Size_ = newSize;
  if (Position_ > Size_) Position_ = Size_;
}

void TMemoryStream::Clear() {
  std::free(Data_);
  Data_ = nullptr;
  Size_ = Capacity_ = Position_ = 0;
}

int32_t TPointerStream::Read(void* buffer, int32_t count) { return ReadFrom(Data_, Size_, Position_, buffer, count); }

int32_t TPointerStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || Position_ >= Size_) return 0;
  int32_t n = std::min(count, Size_ - Position_);
  std::memcpy(const_cast<char*>(Data_) + Position_, buffer, static_cast<size_t>(n));
  Position_ += n;
  return n;
}

int32_t TPointerStream::Seek(int32_t offset, int origin) {
  Position_ = SeekTarget(Position_, Size_, offset, origin);
  return Position_;
}

int32_t TStringStream::Read(void* buffer, int32_t count) {
  return ReadFrom(Data_.data(), GetSize(), Position_, buffer, count);
}

int32_t TStringStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int64_t end = int64_t(Position_) + count;
  if (end > std::numeric_limits<int32_t>::max()) throw Exception("Stream write error");
  if (end > static_cast<int64_t>(Data_.size())) Data_.resize(static_cast<size_t>(end));
  std::memcpy(Data_.data() + Position_, buffer, static_cast<size_t>(count));
  Position_ = static_cast<int32_t>(end);
  return count;
}

int32_t TStringStream::Seek(int32_t offset, int origin) {
  Position_ = SeekTarget(Position_, GetSize(), offset, origin);
  return Position_;
}

void TStringStream::SetSize(int32_t newSize) {
  Data_.resize(static_cast<size_t>(std::max(newSize, 0)));
  if (Position_ > GetSize()) Position_ = GetSize();
}

}  // namespace tessel
