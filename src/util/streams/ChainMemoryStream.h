// An in-memory stream made of a chain of fixed-size blocks: data once written
// never moves, and large decoded parts need no single contiguous block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/streams/Stream.h"

namespace tessel {

class TChainMemoryStream : public TStream {
public:
  static constexpr int32_t BlockSize = 100000;

  TChainMemoryStream();
  ~TChainMemoryStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, int origin) override;
  int32_t GetSize() override { return Size_; }
  void SetSize(int32_t) override {}  // no effect; Clear empties the stream

  void Clear();

  int32_t BlockCount() const { return static_cast<int32_t>(Blocks_.size()); }
  int32_t BlockIndex() const { return BlockIndex_; }
  int32_t BlockOffset() const { return BlockOffset_; }
  // The whole contents as one byte string (position unchanged).
  std::string ToString() const;

private:
  std::vector<std::unique_ptr<char[]>> Blocks_;
  int32_t Size_ = 0;
  int32_t BlockIndex_ = 0;
  int32_t BlockOffset_ = 0;
  int32_t Position_ = 0;
};

}  // namespace tessel
