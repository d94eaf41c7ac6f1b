#include "util/text/WStringBuf.h"

#include <algorithm>

#include "util/system/Exception.h"

namespace tessel {

namespace {

// Pools grow in batches so that a parser starting up does not allocate one
// buffer per token.
constexpr int kPoolBatch = 5;

}  // namespace

TWStringBuf::TWStringBuf(const std::u16string& ws) { Assign(ws); }

TWStringBuf::TWStringBuf(TWSBufFactory* factory) : Dirty_(true), Factory_(factory) {}

TWStringBuf::~TWStringBuf() {
  if (!Factory_) return;
  auto drop = [this](std::vector<TWStringBuf*>& list) {
    auto it = std::find(list.begin(), list.end(), this);
    if (it != list.end()) list.erase(it);
  };
  drop(Factory_->All_);
  drop(Factory_->Free_);
}

void TWStringBuf::Assign(const std::u16string& ws) {
  Data_ = ws;
  Cached_ = ws;
  Dirty_ = false;
  Length = static_cast<int32_t>(Data_.size());
}

const std::u16string& TWStringBuf::GetValue() {
  if (Dirty_) {
    // The value stops at an embedded U+0000 unit, like a C string would.
    size_t n = Data_.find(u'\0');
    Cached_.assign(Data_.data(), n == std::u16string::npos ? Data_.size() : n);
    Dirty_ = false;
  }
  return Cached_;
}

void TWStringBuf::AddChar(char16_t c) {
  Data_.push_back(c);
  Dirty_ = true;
  ++Length;
}

void TWStringBuf::AddString(const std::u16string& ws) { AddString(ws.data(), static_cast<int32_t>(ws.size())); }

void TWStringBuf::AddString(const char16_t* p, int32_t n) {
  if (n <= 0) return;
  Data_.append(p, static_cast<size_t>(n));
  Dirty_ = true;
  Length += n;
}

void TWStringBuf::AddReversed(const std::u16string& ws) {
  Data_.append(ws.rbegin(), ws.rend());
  Dirty_ = true;
  Length += static_cast<int32_t>(ws.size());
}

char16_t TWStringBuf::PopChar() {
  // Popping an empty buffer is a parser fault; fail clearly instead of
  // reading before the data.
  if (Data_.empty()) throw Exception("Buffer is empty");
  char16_t c = Data_.back();
  Data_.pop_back();
  Dirty_ = true;
  --Length;
  return c;
}

void TWStringBuf::Clear() {
  Data_.clear();  // keeps the capacity, which is what pooling is for
  Dirty_ = true;
  Length = 0;
}

void TWStringBuf::Release() {
  if (Factory_)
    Factory_->Release(this);
  else
    delete this;
}

TWSBufFactory::~TWSBufFactory() {
  // Each buffer's destructor takes it out of both lists.
  while (!All_.empty()) delete All_.back();
}

TWStringBuf* TWSBufFactory::GetBuffer() {
  if (Free_.empty()) {
    for (int i = 0; i < kPoolBatch; ++i) {
      auto* buf = new TWStringBuf(this);
      All_.push_back(buf);
      Free_.push_back(buf);
    }
  }
  TWStringBuf* buf = Free_.front();
  Free_.erase(Free_.begin());
  buf->Clear();
  return buf;
}

void TWSBufFactory::Release(TWStringBuf* buffer) {
  if (std::find(Free_.begin(), Free_.end(), buffer) != Free_.end()) throw Exception("Buffer already released");
  // A buffer of another pool (or none) would be freed twice later on.
  if (buffer->Factory_ != this) throw Exception("Buffer not from this pool");
  Free_.push_back(buffer);
}

}  // namespace tessel
