#include "util/streams/ChainMemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "util/system/Exception.h"

namespace tessel {

namespace {

std::unique_ptr<char[]> NewBlock() {
  // Blocks are written before they are read, so they need no zero fill.
  return std::make_unique_for_overwrite<char[]>(TChainMemoryStream::BlockSize);
}

}  // namespace

TChainMemoryStream::TChainMemoryStream() { Blocks_.push_back(NewBlock()); }

TChainMemoryStream::~TChainMemoryStream() = default;

int32_t TChainMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || Position_ >= Size_) return 0;
  int32_t total = std::min(count, Size_ - Position_);
  char* out = static_cast<char*>(buffer);
  int32_t left = total;
  while (left > 0) {
    int32_t piece = std::min(left, BlockSize - BlockOffset_);
    std::memcpy(out, Blocks_[static_cast<size_t>(BlockIndex_)].get() + BlockOffset_, static_cast<size_t>(piece));
    out += piece;
    left -= piece;
    BlockOffset_ += piece;
    if (BlockOffset_ == BlockSize) {
      // The next block exists: a write that fills a block appends the next one.
      ++BlockIndex_;
      BlockOffset_ = 0;
    }
  }
  Position_ += total;
  return total;
}

int32_t TChainMemoryStream::Write(const void* buffer, int32_t count) {
  // An empty write changes nothing; cutting the data at the position here
  // would lose the bytes after it for no reason.
  if (count <= 0) return 0;
  if (int64_t(Position_) + count > std::numeric_limits<int32_t>::max()) throw Exception("Stream write error");
  const char* in = static_cast<const char*>(buffer);
  int32_t left = count;
  while (left > 0) {
    int32_t piece = std::min(left, BlockSize - BlockOffset_);
    std::memcpy(Blocks_[static_cast<size_t>(BlockIndex_)].get() + BlockOffset_, in, static_cast<size_t>(piece));
    in += piece;
    left -= piece;
    BlockOffset_ += piece;
    if (BlockOffset_ == BlockSize) {
      ++BlockIndex_;
      BlockOffset_ = 0;
      if (BlockIndex_ == BlockCount()) Blocks_.push_back(NewBlock());
    }
  }
  Position_ += count;
  Size_ = Position_;
  return count;
}

int32_t TChainMemoryStream::Seek(int32_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case soBeginning: target = offset; break;
    case soCurrent: target = int64_t(Position_) + offset; break;
    case soEnd: target = int64_t(Size_) + offset; break;
    default: target = Position_; break;
  }
  Position_ = static_cast<int32_t>(std::clamp<int64_t>(target, 0, Size_));
  BlockIndex_ = Position_ / BlockSize;
  BlockOffset_ = Position_ % BlockSize;
  return Position_;
}

void TChainMemoryStream::Clear() {
  Blocks_.clear();
  Size_ = Position_ = BlockIndex_ = BlockOffset_ = 0;
  Blocks_.push_back(NewBlock());
}

std::string TChainMemoryStream::ToString() const {
  std::string s;
  s.resize(static_cast<size_t>(Size_));
  int32_t done = 0;
  for (size_t i = 0; done < Size_; ++i) {
    int32_t piece = std::min(BlockSize, Size_ - done);
    std::memcpy(s.data() + done, Blocks_[i].get(), static_cast<size_t>(piece));
    done += piece;
  }
  return s;
}

}  // namespace tessel
