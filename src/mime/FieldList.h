// An ordered list of name=value items with unique names, as a part keeps its
// header fields and content parameters.
//
// Names are stored as given (the parser passes them lower-cased); Find
// compares exactly. Assigning a value to a name that is present replaces the
// value in place; assigning the empty value removes the item, so the list
// only ever holds non-empty values. A part usually has a handful of items,
// found fastest by a plain scan; a list that grows beyond that gets a hash
// index, so that a header block with many thousands of distinct names costs
// no more per line than a short one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessel {

class TFieldList {
public:
  struct TItem {
    std::string Name;
    std::string Value;
  };

  TFieldList() = default;
  TFieldList(const TFieldList& other);
  TFieldList& operator=(const TFieldList& other);
  TFieldList(TFieldList&&) noexcept = default;
  TFieldList& operator=(TFieldList&&) noexcept = default;

  // Sets name := value; an empty value removes the item.
  void Set(const std::string& name, std::string value);
  // The value under name, or nullptr when there is none.
  const std::string* Find(const std::string& name) const;
  // The value under name, or "" when there is none.
  std::string Value(const std::string& name) const;

  int32_t Count() const { return Live_; }
  // The items in the order their names were first set (removed ones left out).
  std::vector<TItem> Items() const;
  void Clear();

private:
  struct TSlot {
    TItem Item;
    bool Removed = false;
  };
  int32_t IndexOf(const std::string& name) const;
  void Compact();
  void BuildIndex();

  std::vector<TSlot> Slots_;
  int32_t Live_ = 0;
  // Name -> slot, made once the list outgrows a scan.
  std::unique_ptr<std::unordered_map<std::string, int32_t>> Index_;
};

}  // namespace tessel
