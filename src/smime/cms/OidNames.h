// Our short names of object identifiers: name attributes (CN, O,
// OU, C, L, S, E, ...) and algorithms (3des, rc2, des, aes128, sha1, ...).
#pragma once

#include <string>
#include <string_view>

namespace tessel {

// True with name set when the table below has a name for the dotted OID.
bool FindOidInfoName(std::string_view dottedOid, std::string& name);
// The name, or "" for OIDs without one.
std::string OidInfoName(std::string_view dottedOid);

}  // namespace tessel
