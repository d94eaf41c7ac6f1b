#include "xml/AttrList.h"

#include <algorithm>
#include <memory>

#include "xml/KeyText.h"

namespace tessel {

TAttrList::~TAttrList() { Clear(true); }

void TAttrList::Clear(bool freeItems) {
  if (!Keys_.empty()) Keys_ = {};
  if (freeItems)
    for (TAttribute* a : Slots_) delete a;
  Slots_.clear();
  Count_ = 0;
  Sorted_ = true;
}

void TAttrList::Sort() const {
  std::sort(Slots_.begin(), Slots_.end(), [](const TAttribute* a, const TAttribute* b) {
    return CompareWideKeys(a->Name.ExpandedName, b->Name.ExpandedName) < 0;
  });
  Sorted_ = true;
}

int32_t TAttrList::Find(std::u16string_view expandedName) const {
  if (!Sorted_) Sort();
  return FindSorted(Count_, [&](int32_t i) {
    return CompareWideKeys(Slots_[static_cast<size_t>(i)]->Name.ExpandedName, expandedName);
  });
}

void TAttrList::AddAttribute(TAttribute* attribute) {
  const std::u16string& name = attribute->Name.ExpandedName;
  if (Count_ >= kSortedAdds) {
    if (Keys_.empty())
      for (const TAttribute* a : Slots_) Keys_.insert(KeyFromWide(a->Name.ExpandedName));
    if (!Keys_.insert(KeyFromWide(name)).second) throw EDuplicateKey();
    if (Sorted_ && CompareWideKeys(Slots_.back()->Name.ExpandedName, name) > 0) Sorted_ = false;
    Slots_.push_back(attribute);
    ++Count_;
    return;
  }
  int32_t i = Find(name);
  if (i >= 0) throw EDuplicateKey();
  Slots_.insert(Slots_.begin() + (-i - 1), attribute);
  ++Count_;
}

void TAttrList::Add(const TQName& name, const std::u16string& value) {
  auto attribute = std::make_unique<TAttribute>(name, value);
  AddAttribute(attribute.get());
  attribute.release();
}

void TAttrList::AddCopy(const TAttribute& attribute) { Add(attribute.Name, attribute.Value); }

int32_t TAttrList::IndexOf(const std::u16string& expandedName) const {
  int32_t i = Find(expandedName);
  return i >= 0 ? i : -1;
}

std::u16string TAttrList::GetValue(const std::u16string& expandedName) const {
  int32_t i = IndexOf(expandedName);
  return i >= 0 ? Items(i)->Value : std::u16string();
}

}  // namespace tessel
