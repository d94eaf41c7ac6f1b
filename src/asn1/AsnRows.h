// The rows an element tree is shown as: one row per element in document
// order, named by the tag name; primitive elements carry a value. The
// S/MIME information page and `tessel --asn1` both show these texts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
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

// Row values for the items VisitAsn reports, without a tree: Append gives
// what AsnRowValue gives for the element ParseAsn makes of the same octets.
// Captions of the OIDs met are kept, as a file names the same few again and
// again.
class TAsnRowValues {
public:
  // Appends the value of a primitive item. False when what was appended is
  // printable ASCII without a backslash (hex, OIDs), so that a printer need
  // not escape it; true when it is text from the element.
  bool Append(std::string& out, const TAsnItem& item);

private:
  struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // Keyed by content octets.
  std::unordered_map<std::string, std::string, TTextHash, std::equal_to<>> Captions_;
};

}  // namespace tessel
