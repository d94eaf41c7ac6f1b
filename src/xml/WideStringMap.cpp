#include "xml/WideStringMap.h"

#include <algorithm>

namespace tessel {

TBaseWideStringMap::~TBaseWideStringMap() = default;

void TBaseWideStringMap::Sort() const {
  auto less = [](const auto& a, const auto& b) { return CompareKeys(a.first, b.first) < 0; };
  auto tail = Items_.end() - static_cast<std::ptrdiff_t>(Unsorted_);
  std::sort(tail, Items_.end(), less);
  std::inplace_merge(Items_.begin(), tail, Items_.end(), less);
  Unsorted_ = 0;
}

int32_t TBaseWideStringMap::IndexOfKey(const std::string& key) const {
  return FindKey(Count(), key, [this](int32_t i) -> const std::string& { return Keys(i); });
}

void TBaseWideStringMap::Put(const std::string& key, const std::u16string& value) {
  ++Generation_;
  auto found = Index_.find(key);
  if (found != Index_.end()) {
    found->second->Value = value;
  } else {
    auto container = std::make_unique<TWideStringContainer>(value);
    Index_.emplace(key, container.get());
    if (Unsorted_ == 0 && !Items_.empty() && CompareKeys(Items_.back().first, key) > 0)
      Unsorted_ = 1;
    else if (Unsorted_ > 0)
      ++Unsorted_;
    Items_.emplace_back(key, std::move(container));
  }
  if (Reverse_) Reverse_->Put(KeyFromWide(value), WideFromKey(key));
}

void TBaseWideStringMap::Put(const std::u16string& key, const std::u16string& value) { Put(KeyFromWide(key), value); }

const std::u16string* TBaseWideStringMap::Find(const std::string& key) const {
  auto found = Index_.find(key);
  return found != Index_.end() ? &found->second->Value : nullptr;
}

std::u16string TBaseWideStringMap::Get(const std::string& key) const {
  const std::u16string* v = Find(key);
  return v ? *v : std::u16string();
}

std::u16string TBaseWideStringMap::Get(const std::u16string& key) const { return Get(KeyFromWide(key)); }

bool TBaseWideStringMap::Contains(const std::string& key) const { return Index_.count(key) != 0; }

bool TBaseWideStringMap::Contains(const std::u16string& key) const { return Contains(KeyFromWide(key)); }

std::u16string TBaseWideStringMap::WideKeys(int32_t i) const { return WideFromKey(Keys(i)); }

void TBaseWideStringMap::RemoveAt(int32_t i) {
  ++Generation_;
  if (Unsorted_) Sort();
  auto& item = Items_[static_cast<size_t>(i)];
  if (Reverse_) {
    std::string valueKey = KeyFromWide(item.second->Value);
    const std::u16string* back = Reverse_->Find(valueKey);
    if (back && SameKey(KeyFromWide(*back), item.first)) Reverse_->Remove(valueKey);
  }
  Index_.erase(item.first);
  Items_.erase(Items_.begin() + i);
}

void TBaseWideStringMap::Remove(const std::string& key) {
  if (!Contains(key)) return;
  int32_t i = IndexOfKey(key);
  if (i >= 0) RemoveAt(i);
}

void TBaseWideStringMap::Remove(const std::u16string& key) { Remove(KeyFromWide(key)); }

void TBaseWideStringMap::Clear() {
  ++Generation_;
  Items_.clear();
  Index_.clear();
  Unsorted_ = 0;
  if (Reverse_) Reverse_->Clear();
}

TWideStringMap::TWideStringMap() { Reverse_ = std::make_unique<TBaseWideStringMap>(); }

}  // namespace tessel
