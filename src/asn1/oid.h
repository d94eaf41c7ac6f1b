// Object identifiers: the dotted text of an encoded OID and the built-in
// table of descriptive names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

struct TOidRecord {
  const char* Oid;   // decimal arcs separated by single blanks: "1 2 840 113549 1 7 2"
  const char* Name;  // "signedData"
};

inline constexpr int32_t OidTableSize = 524;
// Rows 1 to 524 of the name table are OidTable[0] to OidTable[523]. Three OIDs
// stand in it twice; the later row is the one OidName gives.
extern const TOidRecord OidTable[OidTableSize];

// The table's name for a dotted OID ("2.5.4.3" gives "commonName"), or the
// empty string. Matching is on the whole dotted text.
std::string OidName(std::string_view dottedOid);

// The dotted form of an OBJECT IDENTIFIER's content octets: arcs of any size
// in decimal, the first two taken from the first subidentifier as the
// standard says (values of 80 and above belong to arc 2). An arc cut off by
// the end of the content ends with the groups read so far; empty content
// gives the empty string.
std::string OidToDotted(std::string_view content);

// How the viewer labels an OID: "signedData ( 1.2.840.113549.1.7.2 ) " when
// the table knows it, else the dotted OID alone.
std::string OidCaption(std::string_view dottedOid);

}  // namespace tessel
