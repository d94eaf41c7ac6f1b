// Finding multipart delimiters in a message text.
//
// A search looks for the first occurrence of a delimiter ("\r\n--" followed
// by the boundary) that starts at or after a given offset and lies wholly
// within the text. Found occurrences move the parse forward, so searches
// that succeed cost no more than one pass over the text. A search that
// fails, though, scans to the end of the text, and a hostile message can
// hold many multiparts whose delimiters never occur. Once failed scans have
// cost a few passes over the text, the finder indexes every line that starts
// with "--" once, sorted by the bytes after the dashes; from then on a
// search is a binary search in that index, and the positions of the lines
// that can match a boundary are gathered once per distinct boundary (a
// line is gathered at most once per distinct prefix of it that is used as a
// boundary, which bounds the total by the size of the text).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessel {

class TDelimiterFinder {
public:
  // The text [start, end); scanBudget < 0 picks the default.
  TDelimiterFinder(const char* start, const char* end, int64_t scanBudget = -1);

  // The offset of the first occurrence of delimiter at or after from (from
  // is clamped to the text), or -1.
  int32_t Find(std::string_view delimiter, int32_t from);

  bool Indexed() const { return Indexed_; }

private:
  int32_t DirectFind(std::string_view delimiter, int32_t from) const;
  int32_t IndexedFind(std::string_view delimiter, int32_t from);
  void BuildIndex();
  // Positions of the delimiter lines whose key starts with head (or, with
  // exact, equals it), ascending.
  const std::vector<int32_t>& Candidates(std::string_view head, bool exact);
  std::string_view Key(int32_t line) const;

  const char* Start_;
  const char* End_;
  int64_t Budget_;
  bool Indexed_ = false;
  // Offsets of every "\r\n--" in the text, ascending, and the length of the
  // key after each (up to the next CR or the end of the text).
  std::vector<int32_t> Lines_;
  std::vector<int32_t> KeyLength_;
  // Indexes into Lines_, ordered by key.
  std::vector<int32_t> Sorted_;
  std::unordered_map<std::string, std::vector<int32_t>> Candidates_;
};

}  // namespace tessel
