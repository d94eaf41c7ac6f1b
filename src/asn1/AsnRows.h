// The rows an element tree is shown as: one row per element in document
// order, named by the tag name; primitive elements carry a value. The
// S/MIME information page and `tessel --asn1` both show these texts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace tessel {

// Octets of a primitive value shown in a row (the rest is cut, between
// characters, with a note saying how many octets were left out).
inline constexpr int32_t kAsnRowValueOctets = 256;

struct TAsnRow {
  int32_t Depth = 0;  // 0 for the root
  std::string Name;   // TagName
  bool HasValue = false;
  std::string Value;
  const TAsnElem* Element = nullptr;

  // "Name" for constructed elements, "Name: Value" for primitive ones.
  std::string Text() const { return HasValue ? Name + ": " + Value : Name; }
};

// The value a row shows for a primitive element: an OBJECT IDENTIFIER as its
// caption (OidCaption), anything else as AsnValueUtf8 limited to 256 octets.
std::string AsnRowValue(const TAsnElem& element);

// Calls visit for every element of the tree, parents before children.
void VisitAsnRows(const TAsnElem& root, const std::function<void(const TAsnRow&)>& visit);
std::vector<TAsnRow> AsnTreeRows(const TAsnElem& root);

}  // namespace tessel
