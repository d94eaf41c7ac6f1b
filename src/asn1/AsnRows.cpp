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

}  // namespace tessel
