// The text form of a message's structure, one line per part, as the
// structure listing of the command line prints it:
//
//   PATH TAB CONTENT-TYPE TAB FIELDS
//
// CONTENT-TYPE is the main value of Content-Type as written, or "-" when the
// part has none. FIELDS are space-separated, each present only when it
// applies, in this order: class=<class> (rfc822 for an embedded message)
// followed by the class's own fields (ListingDetails),
// enc=<transfer encoding>, disp=attachment, name="<name>",
// filename="<file name>", size=<raw body length>,
// at=<HeaderStart>,<BodyStart>,<BodyEnd> (offsets into the part's own text).
#pragma once

#include <string>
#include <string_view>

#include "mime/bodypart.h"

namespace tessel {

std::string FormatPartLine(const std::string& path, const TBodyPart& part);

// Listing escapes for UTF-8 text (util/LineEscape.h): with quoted, also '"'
// with a backslash; with !quoted, also the space (\x20), which separates
// fields.
std::string EscapeListingText(std::string_view utf8, bool quoted);

}  // namespace tessel
