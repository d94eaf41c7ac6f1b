// Small byte-string routines shared by every subsystem. All comparisons are
// exact and case-sensitive.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// A plain, unsorted string list (duplicates allowed).
using TStringListX = std::vector<std::string>;

bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);
// s with "<" in front unless it starts with one, and ">" after unless it ends with one.
std::string AngleBracket(const std::string& s);
std::string ReplaceChar(std::string s, char from, char to);

// Cuts s at the first separator: returns the part before it and leaves the
// part after it in s; without a separator returns s and empties it.
std::string SplitFirst(std::string& s, char separator);
// Tokens between separator characters; empty tokens are dropped.
TStringListX SplitString(std::string_view s, std::string_view separators);
// Like SplitString, but separators inside a quoted stretch do not split (the
// quotes stay in the token). maximum <= 0: no limit; maximum n >= 2: at most
// n items, the last holding the unsplit rest; maximum 1: s itself.
TStringListX SplitQuoted(std::string_view s, std::string_view separators, std::string_view quotes, int32_t maximum);

std::string JoinStrings(const TStringListX& list, std::string_view separator);
// For "name=value" items: name, nameValueSeparator, value, joined by itemSeparator.
std::string JoinNameValues(const TStringListX& list, std::string_view itemSeparator,
                           std::string_view nameValueSeparator);

int32_t IndexOfString(std::string_view s, std::initializer_list<std::string_view> items);
int32_t IndexOfString(std::string_view s, const std::vector<std::string>& items);
// The item, or "" when index is outside the list.
std::string GetListItem(const TStringListX& list, int32_t index);

inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }

// ASCII-only case conversion (charset and encoding names, header names).
std::string LowerCase(std::string s);
std::string UpperCase(std::string s);
bool SameText(std::string_view a, std::string_view b);
// s without leading and trailing blanks and control characters (bytes <= 0x20).
std::string_view TrimView(std::string_view s);
inline std::string Trim(std::string_view s) { return std::string(TrimView(s)); }
// The same, in place.
void TrimInPlace(std::string& s);

// Creates every missing directory of fileName's directory path.
void ForceFileDirectory(const std::string& fileName);

}  // namespace tessel
