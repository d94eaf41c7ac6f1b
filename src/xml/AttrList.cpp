#include "xml/AttrList.h"

#include <algorithm>
#include <memory>

#include "xml/KeyText.h"

namespace tessel {

TAttrList::~TAttrList() { Clear(true); }

void TAttrList::Clear(bool freeItems) {
  int32_t n = Count_;
  Count_ = 0;
  Sorted_ = true;
  if (!Keys_.empty()) Keys_ = {};
  for (int32_t i = 0; i < n; ++i) {
    TAttribute* a = Slots_[static_cast<size_t>(i)].Attr;
    Slots_[static_cast<size_t>(i)].Attr = nullptr;
    if (freeItems) delete a;
  }
}

void TAttrList::Sort() const {
  std::sort(Slots_.begin(), Slots_.begin() + Count_,
            [](const TSlot& a, const TSlot& b) { return CompareKeys(a.Key, b.Key) < 0; });
  Sorted_ = true;
}

int32_t TAttrList::Find(const std::string& key) const {
  if (!Sorted_) Sort();
  return FindKey(Count_, key, [this](int32_t i) -> const std::string& { return Slots_[static_cast<size_t>(i)].Key; });
}

void TAttrList::AddAttribute(TAttribute* attribute) {
  if (Slots_.size() <= static_cast<size_t>(Count_)) Slots_.emplace_back();
  TSlot& spare = Slots_[static_cast<size_t>(Count_)];
  KeyFromWideInto(attribute->Name.ExpandedName, spare.Key);
  if (Count_ >= kSortedAdds) {
    if (Keys_.empty())
      for (int32_t k = 0; k < Count_; ++k) Keys_.insert(Slots_[static_cast<size_t>(k)].Key);
    if (!Keys_.insert(spare.Key).second) throw EDuplicateKey();
    if (Sorted_ && CompareKeys(Slots_[static_cast<size_t>(Count_) - 1].Key, spare.Key) > 0) Sorted_ = false;
    spare.Attr = attribute;
    ++Count_;
    return;
  }
  int32_t i = Find(spare.Key);
  if (i >= 0) throw EDuplicateKey();
  spare.Attr = attribute;
  int32_t at = -i - 1;
  std::rotate(Slots_.begin() + at, Slots_.begin() + Count_, Slots_.begin() + Count_ + 1);
  ++Count_;
}

void TAttrList::Add(const TQName& name, const std::u16string& value) {
  auto attribute = std::make_unique<TAttribute>(name, value);
  AddAttribute(attribute.get());
  attribute.release();
}

void TAttrList::AddCopy(const TAttribute& attribute) { Add(attribute.Name, attribute.Value); }

int32_t TAttrList::IndexOf(const std::u16string& expandedName) const {
  int32_t i = Find(KeyFromWide(expandedName));
  return i >= 0 ? i : -1;
}

std::u16string TAttrList::GetValue(const std::u16string& expandedName) const {
  int32_t i = IndexOf(expandedName);
  return i >= 0 ? Items(i)->Value : std::u16string();
}

}  // namespace tessel
