// Name/value lists: "name=value" lines in a TStringListX, looked up by name
// ignoring case (the form of certificate name parts and signer attributes).
#pragma once

#include <string>
#include <string_view>

#include "util/text/StringUtils.h"

namespace tessel {

// Index of the first line whose name (the text before the first "=") equals
// name ignoring case, or -1.
int32_t IndexOfName(const TStringListX& list, std::string_view name);
// The value of that line, or "".
std::string ListValue(const TStringListX& list, std::string_view name);
// Replaces the value of that line in place, or appends "name=value".
void SetListValue(TStringListX& list, std::string_view name, std::string_view value);
// The name and value of one line.
std::string LineName(std::string_view line);
std::string LineValue(std::string_view line);

}  // namespace tessel
