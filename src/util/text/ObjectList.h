// A list of object pointers that may own its objects.
//
// An owning list frees its objects when cleared or destroyed. Clearing first
// takes every object out of the list and then frees them in their former
// order, so an object whose destructor removes itself from this same list
// (a body part leaving its parent's children) neither disturbs the walk nor
// is freed twice.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace tessel {

template <class T>
class TObjectList {
public:
  explicit TObjectList(bool ownsObjects = true) : OwnsObjects(ownsObjects) {}
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;
  ~TObjectList() { Clear(false); }

  bool OwnsObjects;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  bool Empty() const { return Items_.empty(); }
  T* Items(int32_t i) const { return Items_[static_cast<size_t>(i)]; }
  T* operator[](int32_t i) const { return Items(i); }
  T* First() const { return Items_.front(); }
  T* Last() const { return Items_.back(); }

  int32_t Add(T* item) {
    Items_.push_back(item);
    return Count() - 1;
  }
  // Takes ownership from a unique_ptr (the list must be owning to free it).
  T* Add(std::unique_ptr<T> item) {
    T* p = item.release();
    Items_.push_back(p);
    return p;
  }
  void Insert(int32_t index, T* item) { Items_.insert(Items_.begin() + index, item); }
  int32_t IndexOf(const T* item) const {
    auto it = std::find(Items_.begin(), Items_.end(), item);
    return it == Items_.end() ? -1 : static_cast<int32_t>(it - Items_.begin());
  }
  // Takes the item out of the list without freeing it; returns it, or
  // nullptr when it is not in the list.
  T* Extract(const T* item) {
    int32_t i = IndexOf(item);
    if (i < 0) return nullptr;
    T* p = Items_[static_cast<size_t>(i)];
    Items_.erase(Items_.begin() + i);
    return p;
  }
  // Takes the item out and frees it when the list owns its objects.
  void Remove(T* item) {
    if (Extract(item) && OwnsObjects) delete item;
  }
  void Delete(int32_t index) { Remove(Items(index)); }

  void Clear(bool freeObjects = false) {
    std::vector<T*> taken;
    taken.swap(Items_);
    if (OwnsObjects || freeObjects)
      for (T* p : taken) delete p;
  }

  auto begin() const { return Items_.begin(); }
  auto end() const { return Items_.end(); }

private:
  std::vector<T*> Items_;
};

}  // namespace tessel
