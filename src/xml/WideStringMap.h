// A sorted map from wide-string keys (held as UTF-8, compared without regard
// to case) to wide-string values, with an optional reverse map from each
// value to the key that last stored it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xml/KeyText.h"

namespace tessel {

struct TWideStringContainer {
  explicit TWideStringContainer(std::u16string value) : Value(std::move(value)) {}
  std::u16string Value;
};

class TBaseWideStringMap {
public:
  TBaseWideStringMap() = default;
  virtual ~TBaseWideStringMap();
  TBaseWideStringMap(const TBaseWideStringMap&) = delete;
  TBaseWideStringMap& operator=(const TBaseWideStringMap&) = delete;

  // Replaces the value of an existing key (its key text stays as first
  // stored) or inserts the key in sorted position; then records value -> key
  // in the reverse map, when there is one.
  void Put(const std::u16string& key, const std::u16string& value);
  void Put(const std::string& key, const std::u16string& value);
  // The value, or "" when absent.
  std::u16string Get(const std::u16string& key) const;
  std::u16string Get(const std::string& key) const;
  // The stored value or nullptr; valid until the map changes.
  const std::u16string* Find(const std::string& key) const;
  bool Contains(const std::u16string& key) const;
  bool Contains(const std::string& key) const;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  // The key as stored (UTF-8) and as a wide string.
  const std::string& Keys(int32_t i) const {
    if (Unsorted_) Sort();
    return Items_[static_cast<size_t>(i)].first;
  }
  std::u16string WideKeys(int32_t i) const;
  const std::u16string& Values(int32_t i) const {
    if (Unsorted_) Sort();
    return Items_[static_cast<size_t>(i)].second->Value;
  }

  // Removing a missing key does nothing. The reverse entry of the removed
  // value goes too when it names this key.
  void Remove(const std::u16string& key);
  void Remove(const std::string& key);
  void RemoveAt(int32_t i);
  void Clear();

  TBaseWideStringMap* ReverseMap() const { return Reverse_.get(); }
  // Changes with every Put, Remove and Clear: a pointer from Find, and what
  // it points to, stay as they were while it does not change.
  uint64_t Generation() const { return Generation_; }

protected:
  std::unique_ptr<TBaseWideStringMap> Reverse_;

private:
  // Index of key, or the insertion point as -(index + 1).
  int32_t IndexOfKey(const std::string& key) const;
  // Puts the appended keys in their places.
  void Sort() const;

  // Sorted by key, except the last Unsorted_ items: a new key is appended
  // and merged in when the order is next needed, so that n keys put in any
  // order cost n log n and not n moves of the list each. Lookups by key go
  // through the hash, which holds every key.
  mutable std::vector<std::pair<std::string, std::unique_ptr<TWideStringContainer>>> Items_;
  mutable size_t Unsorted_ = 0;
  std::unordered_map<std::string, TWideStringContainer*, TKeyHash, TKeyEqual> Index_;
  uint64_t Generation_ = 1;
};

class TWideStringMap : public TBaseWideStringMap {
public:
  TWideStringMap();
};

}  // namespace tessel
