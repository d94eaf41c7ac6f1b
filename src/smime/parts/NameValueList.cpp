#include "smime/parts/NameValueList.h"

namespace tessel {

std::string LineName(std::string_view line) {
  size_t eq = line.find('=');
  return std::string(eq == std::string_view::npos ? line : line.substr(0, eq));
}

std::string LineValue(std::string_view line) {
  size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string() : std::string(line.substr(eq + 1));
}

int32_t IndexOfName(const TStringListX& list, std::string_view name) {
  for (size_t i = 0; i < list.size(); ++i) {
    std::string_view line = list[i];
    size_t eq = line.find('=');
    if (eq != std::string_view::npos && SameText(line.substr(0, eq), name)) return static_cast<int32_t>(i);
  }
  return -1;
}

std::string ListValue(const TStringListX& list, std::string_view name) {
  int32_t i = IndexOfName(list, name);
  return i < 0 ? std::string() : LineValue(list[static_cast<size_t>(i)]);
}

void SetListValue(TStringListX& list, std::string_view name, std::string_view value) {
  std::string line(name);
  line += '=';
  line += value;
  int32_t i = IndexOfName(list, name);
  if (i < 0)
    list.push_back(std::move(line));
  else
    list[static_cast<size_t>(i)] = std::move(line);
}

}  // namespace tessel
