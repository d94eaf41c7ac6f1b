#include "mime/Parameters.h"

#include <string_view>

#include "util/text/StringUtils.h"

namespace tessel {

namespace {

void LowerInPlace(std::string& s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
}

// Collects from pos (1-based) up to separator or the end, trimmed; returns
// the position after the separator (or after the last character).
int32_t ReadUpTo(const std::string& value, int32_t pos, char separator, std::string& out) {
  int32_t n = static_cast<int32_t>(value.size());
  if (pos < 1) pos = 1;
  if (pos > n) {
    out.clear();
    return n + 1;
  }
  size_t from = static_cast<size_t>(pos - 1);
  size_t sep = value.find(separator, from);
  size_t end = sep == std::string::npos ? value.size() : sep;
  out.assign(TrimView(std::string_view(value).substr(from, end - from)));
  return sep == std::string::npos ? n + 1 : static_cast<int32_t>(sep) + 2;
}

}  // namespace

int32_t ReadParamName(const std::string& value, int32_t pos, std::string& name) {
  return ReadUpTo(value, pos, '=', name);
}

int32_t ReadParamValue(const std::string& value, int32_t pos, std::string& text) {
  int32_t next = ReadUpTo(value, pos, ';', text);
  if (!text.empty() && text.front() == '"') {
    text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.pop_back();
  }
  return next;
}

void ParseParameters(TFieldList& params, const std::string& name, const std::string& value) {
  std::string main;
  int32_t pos = ReadParamValue(value, 1, main);
  std::string key(TrimView(name));
  LowerInPlace(key);
  params.Set(key, std::move(main));
  int32_t length = static_cast<int32_t>(value.size());
  // A single character left over can hold no name=value pair.
  while (pos < length) {
    std::string pname, pvalue;
    pos = ReadParamName(value, pos, pname);
    pos = ReadParamValue(value, pos, pvalue);
    LowerInPlace(pname);
    params.Set(pname, std::move(pvalue));
  }
}

}  // namespace tessel
