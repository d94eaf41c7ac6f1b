#include "WideStringMap.h"

#include "KeyText.h"

namespace tessel {

TBaseWideStringMap::~TBaseWideStringMap() = default;

int32_t TBaseWideStringMap::IndexOfKey(const std::string& key) const {
  return FindKey(Count(), key, [this](int32_t i) -> const std::string& { return Keys(i); });
}

void TBaseWideStringMap::Put(const std::string& key, const std::u16string& value) {
  int32_t i = IndexOfKey(key);
  auto container = std::make_unique<TWideStringContainer>(value);
  if (i >= 0)
    Items_[static_cast<size_t>(i)].second = std::move(container);
  else
    Items_.insert(Items_.begin() + (-i - 1), {key, std::move(container)});
  if (Reverse_) Reverse_->Put(KeyFromWide(value), WideFromKey(key));
}

void TBaseWideStringMap::Put(const std::u16string& key, const std::u16string& value) {
  Put(KeyFromWide(key), value);
}

const std::u16string* TBaseWideStringMap::Find(const std::string& key) const {
  int32_t i = IndexOfKey(key);
  return i >= 0 ? &Items_[static_cast<size_t>(i)].second->Value : nullptr;
}

std::u16string TBaseWideStringMap::Get(const std::string& key) const {
  const std::u16string* v = Find(key);
  return v ? *v : std::u16string();
}

std::u16string TBaseWideStringMap::Get(const std::u16string& key) const {
  return Get(KeyFromWide(key));
}

bool TBaseWideStringMap::Contains(const std::string& key) const { return IndexOfKey(key) >= 0; }

bool TBaseWideStringMap::Contains(const std::u16string& key) const {
  return Contains(KeyFromWide(key));
}

std::u16string TBaseWideStringMap::WideKeys(int32_t i) const { return WideFromKey(Keys(i)); }

void TBaseWideStringMap::RemoveAt(int32_t i) {
  auto& item = Items_[static_cast<size_t>(i)];
  if (Reverse_) {
    std::string valueKey = KeyFromWide(item.second->Value);
    const std::u16string* back = Reverse_->Find(valueKey);
    if (back && SameKey(KeyFromWide(*back), item.first)) Reverse_->Remove(valueKey);
  }
  Items_.erase(Items_.begin() + i);
}

void TBaseWideStringMap::Remove(const std::string& key) {
  int32_t i = IndexOfKey(key);
  if (i >= 0) RemoveAt(i);
}

void TBaseWideStringMap::Remove(const std::u16string& key) { Remove(KeyFromWide(key)); }

void TBaseWideStringMap::Clear() {
  Items_.clear();
  if (Reverse_) Reverse_->Clear();
}

TWideStringMap::TWideStringMap() { Reverse_ = std::make_unique<TBaseWideStringMap>(); }

}  // namespace tessel
