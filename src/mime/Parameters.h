// Content header values: a main value followed by name=value parameters,
// separated by ";".
//
// The scan is deliberately simple: a parameter value runs to the next ";"
// (quotes do not protect one), surrounding blanks are trimmed, and one pair
// of enclosing double quotes is removed (a lone leading quote alone too).
#pragma once

#include <cstdint>
#include <string>

#include "mime/FieldList.h"

namespace tessel {

// Sets params[lower-case(trimmed name)] := the main value of value, and
// params[lower-case(parameter name)] := its value for every parameter. A
// later item of the same name replaces an earlier one; empty values remove.
void ParseParameters(TFieldList& params, const std::string& name, const std::string& value);

// Positions are 1-based character indexes into value. Each reads from pos up
// to its separator ("=" for a name, ";" for a value), consumes it, and
// returns the position after the last character consumed.
int32_t ReadParamName(const std::string& value, int32_t pos, std::string& name);
int32_t ReadParamValue(const std::string& value, int32_t pos, std::string& text);

}  // namespace tessel
