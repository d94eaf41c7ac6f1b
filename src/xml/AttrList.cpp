#include "AttrList.h"

#include <memory>

#include "KeyText.h"

namespace tessel {

TAttrList::~TAttrList() { Clear(true); }

void TAttrList::Clear(bool freeItems) {
  std::vector<std::pair<std::string, TAttribute*>> taken;
  taken.swap(Items_);
  if (freeItems)
    for (auto& item : taken) delete item.second;
}

int32_t TAttrList::Find(const std::string& key) const {
  int32_t lo = 0, hi = Count() - 1;
  while (lo <= hi) {
    int32_t mid = (lo + hi) / 2;
    int c = CompareKeys(Items_[static_cast<size_t>(mid)].first, key);
    if (c == 0) return mid;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -(lo + 1);
}

void TAttrList::AddAttribute(TAttribute* attribute) {
  std::string key = KeyFromWide(attribute->Name.ExpandedName);
  int32_t i = Find(key);
  if (i >= 0) throw EDuplicateKey();
  Items_.insert(Items_.begin() + (-i - 1), {std::move(key), attribute});
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
