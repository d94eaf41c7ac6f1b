#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "asn1/oid.h"
#include "util/text/HexText.h"

namespace tessel {

namespace {

// Looked up by string_view without making a string for every OID shown.
struct TTextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using TNameList = std::unordered_map<std::string, std::string, TTextHash, std::equal_to<>>;

// Built once, in table order, so that a later row replaces an earlier one.
const TNameList& NameList() {
  static const TNameList list = [] {
    TNameList m;
    m.reserve(OidTableSize);
    for (const TOidRecord& record : OidTable) {
      std::string dotted = record.Oid;
      for (char& c : dotted)
        if (c == ' ') c = '.';
      m[dotted] = record.Name;
    }
    return m;
  }();
  return list;
}

// An arc of any size as base-10^9 limbs, least significant first.
class TBigArc {
public:
  void Push7(uint32_t group) {
    uint64_t carry = group;
    for (uint32_t& limb : Limbs_) {
      uint64_t v = uint64_t(limb) * 128 + carry;
      limb = static_cast<uint32_t>(v % kBase);
      carry = v / kBase;
    }
    while (carry) {
      Limbs_.push_back(static_cast<uint32_t>(carry % kBase));
      carry /= kBase;
    }
  }
  // Only called on values of 80 and more.
  void Subtract(uint32_t n) {
    for (uint32_t& limb : Limbs_) {
      if (limb >= n) {
        limb -= n;
        return;
      }
      limb = static_cast<uint32_t>(limb + kBase - n);
      n = 1;
    }
  }
  std::string Text() const {
    size_t top = Limbs_.size();
    while (top > 1 && Limbs_[top - 1] == 0) --top;
    if (top == 0) return "0";
    std::string s = std::to_string(Limbs_[top - 1]);
    for (size_t i = top - 1; i-- > 0;) {
      std::string part = std::to_string(Limbs_[i]);
      s.append(9 - part.size(), '0');
      s += part;
    }
    return s;
  }

private:
  static constexpr uint64_t kBase = 1000000000;
  std::vector<uint32_t> Limbs_;
};

// Arcs longer than this many octets (more than 440 bits; UUID arcs take 19)
// are written in hex: decimal conversion costs the square of the length, and
// hostile content could hold one arc of a megabyte.
constexpr size_t kMaxDecimalArcOctets = 64;

// groups: the arc's 7-bit groups, most significant first.
std::string HexArc(const std::vector<uint8_t>& groups) {
  std::vector<uint8_t> bits;  // least significant first
  for (size_t g = groups.size(); g-- > 0;)
    for (int i = 0; i < 7; ++i) bits.push_back(static_cast<uint8_t>((groups[g] >> i) & 1));
  while (bits.size() % 4) bits.push_back(0);
  std::string hex;
  for (size_t i = bits.size(); i >= 4; i -= 4) {
    int nibble = bits[i - 1] * 8 + bits[i - 2] * 4 + bits[i - 3] * 2 + bits[i - 4];
    if (hex.empty() && nibble == 0) continue;
    hex += HexDigit(static_cast<unsigned>(nibble));
  }
  return "0x" + (hex.empty() ? std::string("0") : hex);
}

// One subidentifier from p, advancing it past its last octet (or to end).
// first: the first subidentifier, which carries the first two arcs.
std::string ReadArc(const uint8_t*& p, const uint8_t* end, bool first) {
  const uint8_t* start = p;
  while (p < end && (*p++ & 0x80)) {
  }
  // Leading zero groups (a non-minimal encoding) add nothing to the value.
  while (start + 1 < p && *start == 0x80) ++start;
  size_t octets = static_cast<size_t>(p - start);
  if (octets <= 9) {  // 63 bits at most
    uint64_t v = 0;
    for (const uint8_t* q = start; q < p; ++q) v = (v << 7) | (*q & 0x7F);
    if (!first) return std::to_string(v);
    if (v < 80) return std::to_string(v / 40) + "." + std::to_string(v % 40);
    return "2." + std::to_string(v - 80);
  }
  // From here on the value is at least 2^63, far above 80.
  if (octets > kMaxDecimalArcOctets) {
    std::vector<uint8_t> groups;
    for (const uint8_t* q = start; q < p; ++q) groups.push_back(*q & 0x7F);
    if (first) {
      int borrow = 80;
      for (size_t g = groups.size(); g-- > 0 && borrow;) {
        int v = groups[g] - borrow % 128;
        borrow /= 128;
        if (v < 0) {
          v += 128;
          ++borrow;
        }
        groups[g] = static_cast<uint8_t>(v);
      }
    }
    return (first ? "2." : "") + HexArc(groups);
  }
  TBigArc arc;
  for (const uint8_t* q = start; q < p; ++q) arc.Push7(*q & 0x7F);
  if (!first) return arc.Text();
  arc.Subtract(80);
  return "2." + arc.Text();
}

}  // namespace

std::string OidName(std::string_view dottedOid) {
  const auto& list = NameList();
  auto it = list.find(dottedOid);
  return it == list.end() ? std::string() : it->second;
}

std::string OidToDotted(std::string_view content) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(content.data());
  const uint8_t* end = p + content.size();
  std::string dotted;
  if (p == end) return dotted;
  dotted = ReadArc(p, end, true);
  while (p < end) {
    dotted += '.';
    dotted += ReadArc(p, end, false);
  }
  return dotted;
}

std::string OidCaption(std::string_view dottedOid) {
  std::string name = OidName(dottedOid);
  if (name.empty()) return std::string(dottedOid);
  return name + " ( " + std::string(dottedOid) + " ) ";
}

}  // namespace tessel
