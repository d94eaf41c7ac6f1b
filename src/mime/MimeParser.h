// The MIME parser: one recursive descent over a text reader that splits
// multipart bodies at their delimiters, with a stack of the delimiters of
// all open multiparts shared by every level, and gives each finished part
// its class by content type.
//
// Lines end at CR (an LF after it belongs to the line end); a lone LF is an
// ordinary byte. The parser never reads or moves past the end of its text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bodypart.h"
#include "util/Exception.h"
#include "util/Text.h"

namespace tessel {

// Parts nested deeper than this below the outermost message are not split
// further: a multipart there is kept as a leaf holding its raw content, and
// an embedded message there is not parsed. Every level costs stack in the
// parser and in each walk over the tree; real mail nests a dozen levels at
// most, so 100 leaves room for any of it and stays far from the stack limit.
constexpr int32_t kMaxNestingDepth = 100;

// A message text that does not parse (a header line without a colon). The
// message is the text shown to the user; Offset is where the bad line
// starts in the text parsed (-1 when unknown).
class EMimeParseError : public Exception {
public:
  EMimeParseError(const std::string& message, int32_t offset) : Exception(message), Offset(offset) {}
  int32_t Offset;
};

// Parses the entity that starts at the reader's position: its header, and
// for a multipart its children, recursively. The result has no parent and
// belongs to the caller; depth is its nesting level (0 for a message root).
// Raises EMimeParseError.
std::unique_ptr<TBodyPart> ParseBodyPart(TTextReader& reader, int32_t depth = 0);

// Class choice. A finished part whose lower-cased content type has a
// registered class is remade as that class (taking over its fields and
// children) and analysed again; when that fails the plain part stays.
// "message/rfc822" is built in; the S/MIME classes register here.
using TPartFactory = std::unique_ptr<TBodyPart> (*)();
void RegisterPartClass(const std::string& contentType, TPartFactory factory);
// The factory for a lower-cased content type, or nullptr.
TPartFactory FindPartClass(const std::string& contentType);

// Testing aid: the number of bytes that searches for absent delimiters may
// scan in one parse before the parser indexes the text's delimiter lines
// (negative: the default, twice the text length plus 1 MB).
void SetDelimiterScanBudget(int64_t bytes);

}  // namespace tessel
