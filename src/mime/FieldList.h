// An ordered list of name=value items with unique names, as a part keeps its
// header fields and content parameters.
//
// Names are stored as given (the parser passes them lower-cased); Find
// compares exactly. Assigning a value to a name that is present replaces the
// value in place; assigning the empty value removes the item, so the list
// only ever holds non-empty values. Lookups go through a hash index, so a
// header block with many thousands of distinct names costs no more per line
// than a short one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessel {

class TFieldList {
public:
  struct TItem {
    std::string Name;
    std::string Value;
  };

  // Sets name := value; an empty value removes the item.
  void Set(const std::string& name, std::string value);
  // The value under name, or nullptr when there is none.
  const std::string* Find(const std::string& name) const;
  // The value under name, or "" when there is none.
  std::string Value(const std::string& name) const;

  int32_t Count() const { return static_cast<int32_t>(Index_.size()); }
  // The items in the order their names were first set (removed ones left out).
  std::vector<TItem> Items() const;
  void Clear();

private:
  // Removed items stay as empty slots until they outnumber the live ones.
  void Compact();

  std::vector<TItem> Items_;
  std::vector<bool> Removed_;
  std::unordered_map<std::string, int32_t> Index_;
  int32_t RemovedCount_ = 0;
};

}  // namespace tessel
