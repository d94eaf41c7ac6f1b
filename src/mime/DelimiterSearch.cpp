#include "mime/DelimiterSearch.h"

#include <algorithm>
#include <cstring>

namespace tessel {

namespace {

constexpr std::string_view kLineStart = "\r\n--";

// Default budget of failed scanning: a couple of passes over the text, and
// a floor so that small messages never bother with an index.
int64_t DefaultBudget(int64_t length) { return 2 * length + (1 << 20); }

bool KeyLess(std::string_view a, std::string_view b) { return a < b; }

}  // namespace

TDelimiterFinder::TDelimiterFinder(const char* start, const char* end, int64_t scanBudget)
    : Start_(start), End_(end), Budget_(scanBudget < 0 ? DefaultBudget(end - start) : scanBudget) {}

int32_t TDelimiterFinder::Find(std::string_view delimiter, int32_t from) {
  int64_t length = End_ - Start_;
  if (from < 0) from = 0;
  if (from > length) from = static_cast<int32_t>(length);
  if (delimiter.empty() || static_cast<int64_t>(delimiter.size()) > length - from) return -1;
  bool indexable = delimiter.substr(0, kLineStart.size()) == kLineStart;
  // A budget of nothing allows no failed scan at all: index at once.
  if (!Indexed_ && indexable && Budget_ == 0) BuildIndex();
  if (Indexed_ && indexable) return IndexedFind(delimiter, from);
  int32_t found = DirectFind(delimiter, from);
  if (found < 0 && indexable) {
    Budget_ -= length - from;
    if (Budget_ < 0) BuildIndex();
  }
  return found;
}

int32_t TDelimiterFinder::DirectFind(std::string_view delimiter, int32_t from) const {
  if (delimiter.substr(0, kLineStart.size()) != kLineStart) {
    const void* p =
        memmem(Start_ + from, static_cast<size_t>(End_ - Start_ - from), delimiter.data(), delimiter.size());
    return p ? static_cast<int32_t>(static_cast<const char*>(p) - Start_) : -1;
  }
  // Delimiter lines are found by their dashes: memchr skips base64 bodies
  // (which hold no "-") and most text far faster than a substring search.
  const char* p = Start_ + from + 2;
  while (p < End_) {
    const char* dash = static_cast<const char*>(std::memchr(p, '-', static_cast<size_t>(End_ - p)));
    if (!dash) break;
    const char* start = dash - 2;
    if (static_cast<size_t>(End_ - start) < delimiter.size()) break;  // no later occurrence fits either
    if (dash[1] == '-' && dash[-1] == '\n' && dash[-2] == '\r' &&
        std::memcmp(start, delimiter.data(), delimiter.size()) == 0)
      return static_cast<int32_t>(start - Start_);
    p = dash + 1;
  }
  return -1;
}

std::string_view TDelimiterFinder::Key(int32_t line) const {
  size_t i = static_cast<size_t>(line);
  return std::string_view(Start_ + Lines_[i] + kLineStart.size(), static_cast<size_t>(KeyLength_[i]));
}

void TDelimiterFinder::BuildIndex() {
  Indexed_ = true;
  const char* p = Start_;
  while (true) {
    const void* hit = memmem(p, static_cast<size_t>(End_ - p), kLineStart.data(), kLineStart.size());
    if (!hit) break;
    const char* q = static_cast<const char*>(hit);
    const char* key = q + kLineStart.size();
    const void* cr = std::memchr(key, '\r', static_cast<size_t>(End_ - key));
    const char* keyEnd = cr ? static_cast<const char*>(cr) : End_;
    Lines_.push_back(static_cast<int32_t>(q - Start_));
    KeyLength_.push_back(static_cast<int32_t>(keyEnd - key));
    // Occurrences may overlap ("\r\n--\r\n--"): the next one can start at
    // the CR that ends this key.
    p = q + 1;
  }
  Sorted_.resize(Lines_.size());
  for (size_t i = 0; i < Sorted_.size(); ++i) Sorted_[i] = static_cast<int32_t>(i);
  std::sort(Sorted_.begin(), Sorted_.end(), [this](int32_t a, int32_t b) {
    std::string_view ka = Key(a), kb = Key(b);
    return ka != kb ? KeyLess(ka, kb) : a < b;
  });
}

const std::vector<int32_t>& TDelimiterFinder::Candidates(std::string_view head, bool exact) {
  std::string cacheKey;
  cacheKey.reserve(head.size() + 1);
  cacheKey += exact ? '=' : '^';
  cacheKey.append(head);
  auto it = Candidates_.find(cacheKey);
  if (it != Candidates_.end()) return it->second;

  std::vector<int32_t> positions;
  auto first = std::lower_bound(Sorted_.begin(), Sorted_.end(), head,
                                [this](int32_t line, std::string_view h) { return KeyLess(Key(line), h); });
  for (auto i = first; i != Sorted_.end(); ++i) {
    std::string_view key = Key(*i);
    if (key.substr(0, head.size()) != head) break;
    if (exact && key.size() != head.size()) break;  // longer keys sort after the equal ones
    positions.push_back(Lines_[static_cast<size_t>(*i)]);
  }
  // Boundaries that match no line at all are common in hostile input and
  // cost only the binary search above: they are not kept.
  static const std::vector<int32_t> kNone;
  if (positions.empty()) return kNone;
  std::sort(positions.begin(), positions.end());
  return Candidates_.emplace(std::move(cacheKey), std::move(positions)).first->second;
}

int32_t TDelimiterFinder::IndexedFind(std::string_view delimiter, int32_t from) {
  std::string_view boundary = delimiter.substr(kLineStart.size());
  // A key ends at a CR, so a boundary holding a CR can only match a line
  // whose key is exactly the part before that CR; the rest is compared in
  // the text.
  size_t cr = boundary.find('\r');
  bool exact = cr != std::string_view::npos;
  const std::vector<int32_t>& lines = Candidates(exact ? boundary.substr(0, cr) : boundary, exact);
  for (auto i = std::lower_bound(lines.begin(), lines.end(), from); i != lines.end(); ++i) {
    if (!exact) return *i;
    if (static_cast<size_t>(End_ - Start_ - *i) >= delimiter.size() &&
        std::memcmp(Start_ + *i, delimiter.data(), delimiter.size()) == 0)
      return *i;
  }
  return -1;
}

}  // namespace tessel
