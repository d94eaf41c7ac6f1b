// The one rule for printing text taken from a message on one line of our
// own output (the command line's reports, the windows' one-line captions).
// Such text is hostile: a CR or LF in a certificate name would start a
// forged line, an ESC or CSI would drive the terminal. Every control
// character (C0, DEL and the C1 range U+0080-U+009F) and every byte that is
// not part of well-formed UTF-8 is written as \xNN (the bytes, so that a C1
// character in UTF-8 reads "\xC2\x85"); the backslash is written as "\\", so
// that an escape in the output always means an escape. All else is copied:
// the result is one line of well-formed UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tessel {

// Further characters a format escapes: the space as \x20 (where spaces
// separate fields), the double quote as \" (inside quoted values).
enum TLineEscapeExtra : unsigned {
  EscapeSpace = 1,
  EscapeQuote = 2,
};

void AppendLineEscaped(std::string& out, std::string_view text, unsigned extra = 0);
std::string EscapeLine(std::string_view text, unsigned extra = 0);

}  // namespace tessel
