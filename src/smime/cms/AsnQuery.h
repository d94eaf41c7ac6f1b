// Picking pieces out of an ASN.1 element tree with a small path language.
//
// A path is a list of steps separated by "/", each applied to every element
// the steps before it selected; the result is the selected elements in
// order:
//   1.2.840.113549.1.7.2  keeps the element when its first child is that
//                         OBJECT IDENTIFIER (dotted text, exact), else drops it;
//                         the next step applies to the same element
//   [n]                   the child at (count + n) mod count: [0] first,
//                         [-1] last, indexes past the end wrap round
//   [*]                   every child, in order
// An empty path selects the element itself.
#pragma once

#include <string_view>
#include <vector>

#include "asn1/asn1.h"

namespace tessel {

// The selected elements; they stay owned by the tree. A null root selects
// nothing. A step that is empty ("//", a leading or trailing "/") raises
// Exception("Invalid part:\"\""), an index that is no integer
// Exception("'<text>' is not a valid integer value"); both are checked for
// the whole path before any element is looked at, so a bad path fails the
// same way on every tree. An index step on an element without children
// selects nothing.
std::vector<TAsnElem*> AsnQuery(TAsnElem* root, std::string_view path);

// The dotted text when element is an OBJECT IDENTIFIER, else "".
std::string AsnOidText(const TAsnElem* element);

}  // namespace tessel
