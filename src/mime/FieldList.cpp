#include "mime/FieldList.h"

namespace tessel {

namespace {

// Up to this many slots a scan beats hashing (and spares the allocations).
constexpr size_t kScanLimit = 16;

}  // namespace

TFieldList::TFieldList(const TFieldList& other) : Slots_(other.Slots_), Live_(other.Live_) {
  if (other.Index_) BuildIndex();
}

TFieldList& TFieldList::operator=(const TFieldList& other) {
  if (this != &other) {
    Slots_ = other.Slots_;
    Live_ = other.Live_;
    Index_.reset();
    if (other.Index_) BuildIndex();
  }
  return *this;
}

int32_t TFieldList::IndexOf(const std::string& name) const {
  if (Index_) {
    auto it = Index_->find(name);
    return it == Index_->end() ? -1 : it->second;
  }
  for (size_t i = 0; i < Slots_.size(); ++i)
    if (!Slots_[i].Removed && Slots_[i].Item.Name == name) return static_cast<int32_t>(i);
  return -1;
}

void TFieldList::Set(const std::string& name, std::string value) {
  int32_t i = IndexOf(name);
  if (i >= 0) {
    TSlot& slot = Slots_[static_cast<size_t>(i)];
    if (!value.empty()) {
      slot.Item.Value = std::move(value);
      return;
    }
    slot.Removed = true;
    slot.Item.Value.clear();
    if (Index_) Index_->erase(name);
    --Live_;
    // Removed slots stay until they outnumber the live ones.
    if (Slots_.size() > kScanLimit && static_cast<size_t>(Live_) * 2 < Slots_.size()) Compact();
    return;
  }
  if (value.empty()) return;
  Slots_.push_back(TSlot{TItem{name, std::move(value)}, false});
  ++Live_;
  if (Index_)
    Index_->emplace(name, static_cast<int32_t>(Slots_.size()) - 1);
  else if (Slots_.size() > kScanLimit)
    BuildIndex();
}

const std::string* TFieldList::Find(const std::string& name) const {
  int32_t i = IndexOf(name);
  return i < 0 ? nullptr : &Slots_[static_cast<size_t>(i)].Item.Value;
}

std::string TFieldList::Value(const std::string& name) const {
  const std::string* v = Find(name);
  return v ? *v : std::string();
}

std::vector<TFieldList::TItem> TFieldList::Items() const {
  std::vector<TItem> out;
  out.reserve(static_cast<size_t>(Live_));
  for (const TSlot& slot : Slots_)
    if (!slot.Removed) out.push_back(slot.Item);
  return out;
}

void TFieldList::Clear() {
  Slots_.clear();
  Live_ = 0;
  Index_.reset();
}

void TFieldList::Compact() {
  std::vector<TSlot> kept;
  kept.reserve(static_cast<size_t>(Live_));
  for (TSlot& slot : Slots_)
    if (!slot.Removed) kept.push_back(std::move(slot));
  Slots_ = std::move(kept);
  if (Index_) BuildIndex();
}

void TFieldList::BuildIndex() {
  Index_ = std::make_unique<std::unordered_map<std::string, int32_t>>();
  Index_->reserve(Slots_.size() * 2);
  for (size_t i = 0; i < Slots_.size(); ++i)
    if (!Slots_[i].Removed) Index_->emplace(Slots_[i].Item.Name, static_cast<int32_t>(i));
}

}  // namespace tessel
