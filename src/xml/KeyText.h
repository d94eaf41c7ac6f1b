// Keys of the toolkit's sorted lists: wide strings held as UTF-8 byte
// strings and compared without regard to letter case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

// The UTF-8 form of ws, unit by unit: a surrogate becomes a three-byte form of
// its own, exactly as the UTF-8 character writer writes it.
std::string KeyFromWide(std::u16string_view ws);
// The same into out, reusing its storage.
void KeyFromWideInto(std::u16string_view ws, std::string& out);
// The wide form of a key made by KeyFromWide (three-byte forms of surrogates
// come back as the units they were made from).
std::u16string WideFromKey(std::string_view key);

// Case-insensitive order of two keys: negative, zero or positive. Letters are
// folded to lower case (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic
// capitals), then code points are compared, so "_" sorts before the letters.
int CompareKeys(std::string_view a, std::string_view b);
inline bool SameKey(std::string_view a, std::string_view b) { return CompareKeys(a, b) == 0; }
// The same order on the wide strings the keys are made from:
// CompareWideKeys(a, b) has the sign of CompareKeys(KeyFromWide(a), KeyFromWide(b)).
int CompareWideKeys(std::u16string_view a, std::u16string_view b);
// A hash of a key that equal keys (SameKey) share: one of its folded code points.
size_t HashKey(std::string_view key);

// Function objects for hashed containers of keys.
struct TKeyHash {
  size_t operator()(std::string_view key) const { return HashKey(key); }
};
struct TKeyEqual {
  bool operator()(std::string_view a, std::string_view b) const { return SameKey(a, b); }
};

// Binary search among count sorted items, compareAt(i) giving the sign of
// the i-th item against the one sought: its index, or the insertion point
// as -(index + 1).
template <class TCompareAt>
int32_t FindSorted(int32_t count, TCompareAt compareAt) {
  int32_t lo = 0, hi = count - 1;
  while (lo <= hi) {
    int32_t mid = (lo + hi) / 2;
    int c = compareAt(mid);
    if (c == 0) return mid;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -(lo + 1);
}

// The same for key among count keys in CompareKeys order, keyAt(i) giving
// the i-th.
template <class TKeyAt>
int32_t FindKey(int32_t count, std::string_view key, TKeyAt keyAt) {
  return FindSorted(count, [&](int32_t i) { return CompareKeys(keyAt(i), key); });
}

}  // namespace tessel
