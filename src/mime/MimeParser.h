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

#include "mime/ParseOptions.h"
#include "mime/bodypart.h"
#include "util/system/Exception.h"
#include "util/text/Text.h"

namespace tessel {

// A message text that does not parse (a header line without a colon). The
// message is the text shown to the user; Offset is where the bad line
// starts in the text parsed (-1 when unknown).
class EMimeParseError : public Exception {
public:
  EMimeParseError(const std::string& message, int32_t offset) : Exception(message), Offset(offset) {}
  int32_t Offset;
};

// The parse error of a message whose parts would need more memory than
// its memory account allows (see TParseOptions::MemoryLimit).
inline constexpr const char* kTooManyParts = "Too many parts for the size of the message";

// Parses the entity that starts at the reader's position: its header, and
// for a multipart its children, recursively, with the part classes and
// limits of options, which every part keeps a reference to (options must
// outlive the parts). The result has no parent and belongs to the caller;
// depth is its nesting level (0 for a message root). Raises EMimeParseError.
std::unique_ptr<TBodyPart> ParseBodyPart(TTextReader& reader, const TParseOptions& options, int32_t depth = 0);

}  // namespace tessel
