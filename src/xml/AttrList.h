// Attributes of a start tag, kept sorted by expanded name without regard to
// case, which is also the order in which writers put them out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "xml/KeyText.h"

#include "util/system/Exception.h"
#include "xml/QName.h"

namespace tessel {

// Raised when a key is added to a sorted list that already holds it.
class EDuplicateKey : public Exception {
public:
  EDuplicateKey() : Exception("String list does not allow duplicates") {}
};

struct TAttribute {
  TAttribute() = default;
  TAttribute(const TQName& name, std::u16string value) : Name(name), Value(std::move(value)) {}
  TQName Name;
  std::u16string Value;
};

class TAttrList {
public:
  TAttrList() = default;
  virtual ~TAttrList();
  TAttrList(const TAttrList&) = delete;
  TAttrList& operator=(const TAttrList&) = delete;

  // Empties the list; with freeItems the attributes are freed too. Without it
  // they stay with whoever added them.
  virtual void Clear(bool freeItems);
  // Adds the attribute under its expanded name; raises EDuplicateKey (list
  // unchanged) when an equal key is there. The list frees it on Clear(true)
  // and when it is destroyed.
  virtual void AddAttribute(TAttribute* attribute);
  // A new attribute from a copy of name and the value.
  virtual void Add(const TQName& name, const std::u16string& value);
  virtual void AddCopy(const TAttribute& attribute);

  int32_t Count() const { return Count_; }
  TAttribute* Items(int32_t i) const {
    if (!Sorted_) Sort();
    return Slots_[static_cast<size_t>(i)];
  }
  // Index of the key (an expanded name), or -1.
  int32_t IndexOf(const std::u16string& expandedName) const;
  // The value of the attribute with that expanded name, or "".
  std::u16string GetValue(const std::u16string& expandedName) const;

private:
  // Index of the expanded name, or the insertion point as -(index + 1).
  int32_t Find(std::u16string_view expandedName) const;
  void Sort() const;
  // The attributes are ordered by their expanded names as they stand (an
  // attribute's name must not change while it is in the list), compared
  // like keys without a key being made: a start tag's few attributes cost
  // a comparison or two each. Up to kSortedAdds attributes go straight to
  // their place; past that a start tag with thousands of attributes would
  // move the list once per attribute, so later ones are appended, checked
  // against a hash of the keys, and the list is sorted once when it is
  // next read.
  static constexpr int32_t kSortedAdds = 32;
  mutable std::vector<TAttribute*> Slots_;  // Count_ of them; the storage is kept
  int32_t Count_ = 0;
  mutable bool Sorted_ = true;
  std::unordered_set<std::string, TKeyHash, TKeyEqual> Keys_;  // filled past kSortedAdds only
};

}  // namespace tessel
