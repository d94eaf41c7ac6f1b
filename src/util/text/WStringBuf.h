// Growable UTF-16 buffers with a cached string value, a pool that hands
// them out and takes them back, and a plain wide-string holder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessel {

class TWSBufFactory;

class TWStringBuf {
public:
  // A stand-alone buffer holding ws.
  explicit TWStringBuf(const std::u16string& ws = std::u16string());
  ~TWStringBuf();
  TWStringBuf(const TWStringBuf&) = delete;
  TWStringBuf& operator=(const TWStringBuf&) = delete;

  void Assign(const std::u16string& ws);
  // The contents up to the first U+0000 unit (Length still counts all units).
  const std::u16string& GetValue();
  void AddChar(char16_t c);
  void AddString(const std::u16string& ws);
  void AddString(const char16_t* p, int32_t n);
  // Pushes ws from its last unit to its first, so PopChar returns it in order.
  void AddReversed(const std::u16string& ws);
  // Removes and returns the last unit; raises "Buffer is empty" when there is none.
  char16_t PopChar();
  char16_t CharAt(int32_t i) const { return Data_[static_cast<size_t>(i)]; }
  const char16_t* Data() const { return Data_.data(); }
  void Clear();
  // Pooled buffers go back to their pool; a stand-alone one deletes itself,
  // so call it only on a stand-alone buffer made with new that nothing else owns.
  void Release();

  int32_t Length = 0;

private:
  friend class TWSBufFactory;
  explicit TWStringBuf(TWSBufFactory* factory);
  std::u16string Data_;
  std::u16string Cached_;
  bool Dirty_ = false;
  TWSBufFactory* Factory_ = nullptr;
};

class TWSBufFactory {
public:
  TWSBufFactory() = default;
  ~TWSBufFactory();
  TWSBufFactory(const TWSBufFactory&) = delete;
  TWSBufFactory& operator=(const TWSBufFactory&) = delete;

  // A cleared buffer; makes 5 new ones when none is free.
  TWStringBuf* GetBuffer();
  // Raises Exception("Buffer already released") for a buffer already free.
  void Release(TWStringBuf* buffer);

  int32_t AllCount() const { return static_cast<int32_t>(All_.size()); }
  int32_t FreeCount() const { return static_cast<int32_t>(Free_.size()); }

private:
  friend class TWStringBuf;
  std::vector<TWStringBuf*> All_;
  std::vector<TWStringBuf*> Free_;
};

class TWideString {
public:
  explicit TWideString(std::u16string ws) : Value(std::move(ws)) {}
  std::u16string Value;
};

}  // namespace tessel
