#include "FieldList.h"

namespace tessel {

void TFieldList::Set(const std::string& name, std::string value) {
  auto it = Index_.find(name);
  if (it != Index_.end()) {
    size_t i = static_cast<size_t>(it->second);
    if (!value.empty()) {
      Items_[i].Value = std::move(value);
      return;
    }
    Index_.erase(it);
    Removed_[i] = true;
    Items_[i].Value.clear();
    if (++RemovedCount_ > static_cast<int32_t>(Index_.size()) + 16) Compact();
    return;
  }
  if (value.empty()) return;
  Index_.emplace(name, static_cast<int32_t>(Items_.size()));
  Items_.push_back(TItem{name, std::move(value)});
  Removed_.push_back(false);
}

const std::string* TFieldList::Find(const std::string& name) const {
  auto it = Index_.find(name);
  return it == Index_.end() ? nullptr : &Items_[static_cast<size_t>(it->second)].Value;
}

std::string TFieldList::Value(const std::string& name) const {
  const std::string* v = Find(name);
  return v ? *v : std::string();
}

std::vector<TFieldList::TItem> TFieldList::Items() const {
  std::vector<TItem> out;
  out.reserve(Index_.size());
  for (size_t i = 0; i < Items_.size(); ++i)
    if (!Removed_[i]) out.push_back(Items_[i]);
  return out;
}

void TFieldList::Clear() {
  Items_.clear();
  Removed_.clear();
  Index_.clear();
  RemovedCount_ = 0;
}

void TFieldList::Compact() {
  std::vector<TItem> kept;
  kept.reserve(Index_.size());
  for (size_t i = 0; i < Items_.size(); ++i)
    if (!Removed_[i]) kept.push_back(std::move(Items_[i]));
  Items_ = std::move(kept);
  Removed_.assign(Items_.size(), false);
  RemovedCount_ = 0;
  for (size_t i = 0; i < Items_.size(); ++i) Index_[Items_[i].Name] = static_cast<int32_t>(i);
}

}  // namespace tessel
