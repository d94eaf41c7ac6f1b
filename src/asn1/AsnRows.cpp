#include "asn1/AsnRows.h"

#include "asn1/AsnText.h"
#include "asn1/oid.h"

namespace tessel {

std::string AsnRowValue(const TAsnElem& element) {
  if (auto oid = dynamic_cast<const TOID*>(&element)) return OidCaption(oid->Dotted());
  return AsnValueUtf8(element, kAsnRowValueOctets);
}

void VisitAsnRows(const TAsnElem& root, const std::function<void(const TAsnRow&)>& visit) {
  // An explicit stack: trees built by hand are not bound by the parsers' depth cap.
  struct TPending {
    const TAsnElem* Element;
    int32_t Depth;
  };
  std::vector<TPending> pending{{&root, 0}};
  TAsnRow row;
  while (!pending.empty()) {
    TPending item = pending.back();
    pending.pop_back();
    const TAsnElem& e = *item.Element;
    row.Depth = item.Depth;
    row.Name = e.TagName();
    row.HasValue = !e.Constructed;
    row.Value = row.HasValue ? AsnRowValue(e) : std::string();
    row.Element = &e;
    visit(row);
    for (int32_t i = e.Count(); i-- > 0;)
      if (const TAsnElem* child = e.Items(i)) pending.push_back({child, item.Depth + 1});
  }
}

std::vector<TAsnRow> AsnTreeRows(const TAsnElem& root) {
  std::vector<TAsnRow> rows;
  VisitAsnRows(root, [&rows](const TAsnRow& row) { rows.push_back(row); });
  return rows;
}

namespace {

// A certificate bundle names a few dozen OIDs; hostile data can hold
// millions of different ones, which are captioned afresh once this many are
// kept.
constexpr size_t kMaxKeptCaptions = 4096;

}  // namespace

bool TAsnRowValues::Append(std::string& out, const TAsnItem& item) {
  // The tree parser makes a TOID of every primitive tag 6 and a TInt of
  // every primitive tag 2, whatever the class.
  if (item.Tag == 6) {
    auto it = Captions_.find(item.Content);
    if (it != Captions_.end()) {
      out += it->second;
      return false;
    }
    std::string caption = OidCaption(OidToDotted(item.Content));
    out += caption;
    if (Captions_.size() < kMaxKeptCaptions) Captions_.emplace(std::string(item.Content), std::move(caption));
    return false;
  }
  if (item.Tag == 2) {
    AppendAsnHex(out, item.Content, kAsnRowValueOctets, '\0');
    return false;
  }
  return AppendAsnPrimitiveValue(out, item.Class, item.Tag, item.Content, kAsnRowValueOctets) != TAsnValueKind::Hex;
}

}  // namespace tessel
