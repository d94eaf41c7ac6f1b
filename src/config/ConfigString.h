// Configuration file names: the expansion of "${key}" and "%{VARIABLE}"
// expressions, quoting a name so that expansion leaves it alone, and making
// a name absolute.
//
// File names stay byte strings throughout: on this system a file name is a
// sequence of bytes, and not every such sequence is valid UTF-8.
#pragma once

#include <functional>
#include <string>

namespace tessel {

// Gives the unnamed value of the configuration key at a key path, UTF-8
// encoded ('' for a missing key).
using TConfigKeyReader = std::function<std::string(const std::string& keyPath)>;

// Expands the expressions of s:
//   "$$" and "%%"   one "$" or "%"
//   "${path}"       the unnamed value of the configuration key at path
//   "%{NAME}"       the environment variable NAME ("%NAME%" when undefined)
//   "\"{text}"      text verbatim, "}}" standing for one "}"
//   "}"             outside an expression: ends the text, the rest is dropped
// Expressions nest: the text between the braces is expanded first. Errors
// raise Exception with s followed by ":\"}\" expected" (an unclosed brace) or
// ":Unexpected EOS" (a double quote standing last).
std::string ExpandConfigText(const std::string& s, const TConfigKeyReader& readKey);

// A form of fileName that ExpandConfigText turns back into fileName exactly:
// fileName itself when it holds none of the characters the expansion acts on,
// else a verbatim block.
std::string QuoteConfigFileName(const std::string& fileName);

// fileName when it begins with "/", else the current directory, "/" and
// fileName. Raises Exception when the current directory cannot be found.
std::string MakeAbsoluteFileName(const std::string& fileName);

}  // namespace tessel
