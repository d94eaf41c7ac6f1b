// Character classes of the XML toolkit, one UTF-16 unit at a time.
//
// Letter and CombiningChar follow the XML 1.0 character tables; Digit is the
// ASCII digits only and Extender is U+00B7 only, which keeps names that the
// configuration file writes readable by any XML 1.0 parser.
#pragma once

#include <cstdint>
#include <string>

namespace tessel {

namespace xmlchars {

enum : uint8_t {
  kChar = 1,         // allowed in a document
  kSpace = 2,        // #x9, #xA, #xD, #x20
  kNameStart = 4,    // Letter, "_", ":"
  kNameChar = 8,     // Letter, Digit, ".", "-", "_", ":", CombiningChar, Extender
  kNCNameChar = 16,  // NameChar without ":"
  kPlainText = 32,   // Char that needs no attention in character data
};

extern const uint8_t* const Table;  // 65536 entries

}  // namespace xmlchars

inline bool IsXmlChar(char16_t c) { return xmlchars::Table[c] & xmlchars::kChar; }
inline bool IsXmlSpace(char16_t c) { return xmlchars::Table[c] & xmlchars::kSpace; }
inline bool IsNameStart(char16_t c) { return xmlchars::Table[c] & xmlchars::kNameStart; }
inline bool IsNameChar(char16_t c) { return xmlchars::Table[c] & xmlchars::kNameChar; }
inline bool IsNCNameChar(char16_t c) { return xmlchars::Table[c] & xmlchars::kNCNameChar; }
bool IsLetter(char16_t c);

// True when s is not empty, begins with a name start and goes on with name
// characters: an XML 1.0 Name (colons allowed).
bool IsName(const std::u16string& s);

}  // namespace tessel
