#include "smime/cms/SignerInfo.h"

#include "smime/cms/AsnQuery.h"
#include "smime/cms/Certificate.h"
#include "smime/parts/NameValueList.h"

namespace tessel {

namespace {

bool IsUniversal(const TAsnElem* e, uint32_t tag) { return e && e->Class == acUniversal && e->Tag == tag; }

}  // namespace

TSignerInfo::TSignerInfo(const TAsnElem& element) {
  // issuerAndSerialNumber is the second field of both SignerInfo and
  // KeyTransRecipientInfo; the CMS forms that name the certificate by key
  // identifier have no issuer to show.
  const TAsnElem* id = element.Items(1);
  if (id && id->Constructed) {
    if (const TAsnElem* serial = id->Items(1); serial && !serial->Constructed) SerialNumber = serial->ValueHex(0, '\0');
    if (const TAsnElem* issuer = id->Items(0); IsUniversal(issuer, 16) && issuer->Constructed)
      IssuerParts = NameParts(*issuer);
  }
  // version, sid, digestAlgorithm, [0] authenticatedAttributes,
  // digestEncryptionAlgorithm, encryptedDigest: a SignerInfo with attributes
  // has six fields or more, a RecipientInfo four.
  const TAsnElem* attributes = element.Count() > 5 ? element.Items(3) : nullptr;
  if (!attributes || attributes->Class != acContext || attributes->Tag != 0) return;
  for (int32_t i = 0; i < attributes->Count(); ++i) {
    const TAsnElem* attribute = attributes->Items(i);
    if (!attribute || attribute->Count() != 2) continue;
    std::string oid = AsnOidText(attribute->Items(0));
    if (oid.empty()) continue;
    Attributes.push_back(TAttribute{oid, attribute->Items(1)});
  }
}

std::string TSignerInfo::IssuerName() const {
  int32_t cn = IndexOfName(IssuerParts, "CN");
  if (cn >= 0) return LineValue(IssuerParts[static_cast<size_t>(cn)]);
  return IssuerParts.empty() ? std::string() : LineValue(IssuerParts.front());
}

}  // namespace tessel
