// Header lines as text: encoded words ("=?charset?encoding?text?="), the Q
// encoding, and the reading of plain 8-bit header bytes.
//
// Every header line the parser reads goes through DecodeHeaderLine, so all
// header data a part keeps is UTF-8.
//
// Plain 8-bit text (header bytes outside encoded words, encoded words in a
// charset that is not registered, the header block as a whole) is read the
// way this platform writes text: a run of bytes that is valid UTF-8 is taken
// as UTF-8, and every other byte as ISO 8859-1. That way UTF-8 headers that
// mail programs write without encoded words read correctly, and stray 8-bit
// bytes from older programs still show as the Latin-1 letters they usually
// are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/streams/Stream.h"

namespace tessel {

// Where a decoder notes what it had to make of bad input (an unknown charset,
// a broken base64 word). Decoding never fails because of such input; the
// notes only tell a caller that wants to report it. Each note once.
class THeaderProblems {
public:
  void Add(const std::string& note);
  bool Empty() const { return Notes.empty(); }
  std::vector<std::string> Notes;
};

// Decodes the encoded words of one physical header line and returns the line
// as UTF-8. White space between encoded words stays; an encoded word without
// its closing "?=" drops the rest of the line.
std::string DecodeHeaderLine(std::string_view line, THeaderProblems* problems = nullptr);
// The same, appended to out (a buffer a caller reuses from line to line).
void AppendDecodedHeaderLine(std::string_view line, std::string& out, THeaderProblems* problems = nullptr);

// The text of one encoded word: "B" or "b" is base64, any other encoding
// name the Q encoding; then the bytes are read in charset (an unregistered
// charset as plain 8-bit text). The result ends at its first U+0000.
std::u16string DecodeEncodedWord(const std::string& charset, const std::string& encoding, std::string_view text,
                                 THeaderProblems* problems = nullptr);
// The same, appended to out as UTF-8.
void DecodeEncodedWordUtf8(std::string_view charset, std::string_view encoding, std::string_view text, std::string& out,
                           THeaderProblems* problems = nullptr);

// The Q encoding: "_" is a space, "=" and two hex digits a byte. Lower-case
// hex digits are taken like upper-case ones (mailers write both); an "="
// followed by anything else is kept as it stands, and an "=" cut off by the
// end of the text writes nothing.
void QDecode(std::string_view text, TStream& stream);
void QDecode(std::string_view text, std::string& out);

// Plain 8-bit text as UTF-8 / UTF-16 (see the note at the top).
void AppendSystemText(std::string_view bytes, std::string& utf8);
std::string SystemTextToUtf8(std::string_view bytes);
std::u16string SystemTextToWide(std::string_view bytes);

}  // namespace tessel
