#include "util/text/StringUtils.h"

#include <sys/stat.h>

#include <cerrno>

#include "util/system/WinError.h"

namespace tessel {

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string AngleBracket(const std::string& s) {
  std::string r = StartsWith(s, "<") ? s : "<" + s;
  if (!EndsWith(r, ">")) r += '>';
  return r;
}

std::string ReplaceChar(std::string s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
  return s;
}

std::string SplitFirst(std::string& s, char separator) {
  size_t p = s.find(separator);
  std::string head;
  if (p == std::string::npos) {
    head.swap(s);
  } else {
    head = s.substr(0, p);
    s.erase(0, p + 1);
  }
  return head;
}

TStringListX SplitString(std::string_view s, std::string_view separators) {
  TStringListX result;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (separators.find(s[i]) != std::string_view::npos) {
      if (i > start) result.emplace_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start < s.size()) result.emplace_back(s.substr(start));
  return result;
}

TStringListX SplitQuoted(std::string_view s, std::string_view separators, std::string_view quotes, int32_t maximum) {
  TStringListX result;
  if (maximum == 1) {
    result.emplace_back(s);
    return result;
  }
  char quote = 0;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (!quoted && quotes.find(c) != std::string_view::npos) {
      quote = c;
      quoted = true;
    } else if (!quoted && separators.find(c) != std::string_view::npos) {
      if (i > start) result.emplace_back(s.substr(start, i - start));
      if (maximum > 0) {
        --maximum;
        if (maximum == 1) {
          result.emplace_back(s.substr(i + 1));
          return result;
        }
      }
      start = i + 1;
    } else if (quoted && c == quote) {
      quoted = false;
    }
  }
  if (start < s.size()) result.emplace_back(s.substr(start));
  return result;
}

std::string JoinStrings(const TStringListX& list, std::string_view separator) {
  std::string r;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i) r += separator;
    r += list[i];
  }
  return r;
}

std::string JoinNameValues(const TStringListX& list, std::string_view itemSeparator,
                           std::string_view nameValueSeparator) {
  std::string r;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i) r += itemSeparator;
    const std::string& item = list[i];
    size_t eq = item.find('=');
    if (eq == std::string::npos) {
      r += item;
      r += nameValueSeparator;
    } else {
      r.append(item, 0, eq);
      r += nameValueSeparator;
      r.append(item, eq + 1, std::string::npos);
    }
  }
  return r;
}

int32_t IndexOfString(std::string_view s, std::initializer_list<std::string_view> items) {
  int32_t i = 0;
  for (std::string_view item : items) {
    if (item == s) return i;
    ++i;
  }
  return -1;
}

int32_t IndexOfString(std::string_view s, const std::vector<std::string>& items) {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == s) return static_cast<int32_t>(i);
  return -1;
}

std::string GetListItem(const TStringListX& list, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return std::string();
  return list[static_cast<size_t>(index)];
}

std::string LowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

std::string UpperCase(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

void TrimInPlace(std::string& s) {
  std::string_view kept = TrimView(s);
  size_t begin = static_cast<size_t>(kept.data() - s.data());
  s.resize(begin + kept.size());
  s.erase(0, begin);
}

void ForceFileDirectory(const std::string& fileName) {
  size_t slash = fileName.rfind('/');
  if (slash == std::string::npos || slash == 0) return;
  std::string dir = fileName.substr(0, slash);
  for (size_t p = 1; p <= dir.size(); ++p) {
    if (p == dir.size() || dir[p] == '/') {
      std::string part = dir.substr(0, p);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
        RaiseSystemError("Cannot create directory \"" + part + "\".", static_cast<uint32_t>(errno));
      }
    }
  }
}

}  // namespace tessel
