// A plain list of named objects in the order added. Names are held as UTF-8
// and looked up without regard to case; the first entry of a name wins. The
// list owns its objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xml/KeyText.h"

namespace tessel {

template <class T>
class TWideStringList {
public:
  TWideStringList() = default;
  TWideStringList(const TWideStringList&) = delete;
  TWideStringList& operator=(const TWideStringList&) = delete;

  T* Add(const std::u16string& name, std::unique_ptr<T> object) {
    T* p = object.get();
    Items_.emplace_back(KeyFromWide(name), std::move(object));
    First_.emplace(Items_.back().first, p);  // an earlier entry of the name stays first
    return p;
  }
  // The first object of that name, or nullptr.
  T* Find(const std::string& name) const {
    auto found = First_.find(name);
    return found != First_.end() ? found->second : nullptr;
  }
  T* Find(const std::u16string& name) const { return Find(KeyFromWide(name)); }
  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  const std::string& Names(int32_t i) const { return Items_[static_cast<size_t>(i)].first; }
  T* Objects(int32_t i) const { return Items_[static_cast<size_t>(i)].second.get(); }
  void Clear() {
    Items_.clear();
    First_.clear();
  }

private:
  std::vector<std::pair<std::string, std::unique_ptr<T>>> Items_;
  // The first object of each name: a document may declare thousands of
  // entities and refer to each, which a search of the list makes quadratic.
  std::unordered_map<std::string, T*, TKeyHash, TKeyEqual> First_;
};

}  // namespace tessel
