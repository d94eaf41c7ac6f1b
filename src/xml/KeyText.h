// Keys of the toolkit's sorted lists: wide strings held as UTF-8 byte
// strings and compared without regard to letter case.
#pragma once

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

}  // namespace tessel
