// The value of a primitive element as text fit for a screen or a terminal:
// always valid UTF-8, whatever the element holds.
//
// ValueText gives the content octets as they stand, which for a BMPString
// means UTF-16 with NULs and for a BOOLEAN a raw FF. Rows, summaries and
// command output use AsnValueUtf8 instead: character strings are converted
// from their own encoding, everything else is shown in hex.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "asn1/asn1.h"

namespace tessel {

// How a primitive element's content is shown.
enum class TAsnValueKind : uint8_t {
  Hex,        // octets as upper-case hex pairs
  Utf8,       // UTF8String: checked, bad octets become U+FFFD
  Latin1,     // one octet per character (PrintableString, IA5String, T61String, ...)
  Bmp,        // BMPString: UTF-16, big-endian
  Universal,  // UniversalString: UCS-4, big-endian
};

// The kind for an element, from its class, tag and content. Universal tags
// say it; elements of other classes (whose meaning only their schema knows)
// show as text when the content is printable UTF-8 and as hex otherwise.
TAsnValueKind AsnValueKind(const TAsnElem& element);
// The same for a primitive element of this class, tag and content.
TAsnValueKind AsnPrimitiveValueKind(uint8_t cls, uint32_t tag, std::string_view content);

// Converts octets of a character string to UTF-8, using at most maxOctets of
// them (0: all) and cutting only between characters. consumed receives the
// number of octets used. Characters that cannot be (an odd octet of a
// BMPString, a lone surrogate, a code point past U+10FFFF, malformed UTF-8)
// become U+FFFD.
std::string AsnStringToUtf8(TAsnValueKind kind, std::string_view octets, int32_t maxOctets, size_t& consumed);
// The same appended to out; returns the number of octets used.
size_t AppendAsnStringUtf8(std::string& out, TAsnValueKind kind, std::string_view octets, int32_t maxOctets);

// The shown value of a primitive element (see above), at most maxOctets
// content octets (0: all). A cut value ends with the note
// "... --Skipped N octets--" as hex values do. An OBJECT IDENTIFIER gives its
// dotted form, an INTEGER its hex digits without separators.
std::string AsnValueUtf8(const TAsnElem& element, int32_t maxOctets);

// Appends what AsnValueUtf8 gives for a primitive element of this class, tag
// and content that is neither a TOID nor a TInt; returns the kind used.
TAsnValueKind AppendAsnPrimitiveValue(std::string& out, uint8_t cls, uint32_t tag, std::string_view content,
                                      int32_t maxOctets);
// Appends upper-case hex of at most maxOctets octets (0: all), separator
// between octets ('\0' for none), and the skipped note when cut.
void AppendAsnHex(std::string& out, std::string_view octets, int32_t maxOctets, char separator);

}  // namespace tessel
