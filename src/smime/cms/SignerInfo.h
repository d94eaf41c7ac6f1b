// One signer or recipient of a PKCS #7 structure, read from its SignerInfo
// or RecipientInfo element: who it is (issuer and serial number) and, for a
// signer, its authenticated attributes.
#pragma once

#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "util/text/StringUtils.h"

namespace tessel {

class TSignerInfo {
public:
  // element: a SignerInfo or RecipientInfo of the tree that must outlive
  // this object (attribute values point into it). Elements of another
  // shape give empty fields, never an error.
  explicit TSignerInfo(const TAsnElem& element);
  TSignerInfo(const TSignerInfo&) = delete;
  TSignerInfo& operator=(const TSignerInfo&) = delete;

  struct TAttribute {
    std::string Oid;         // dotted form
    const TAsnElem* Values;  // the attribute's SET of values (not owned)
  };

  // Upper-case hex of the serial number's content octets.
  std::string SerialNumber;
  // "name=value" lines of the issuer name, as certificates give them.
  TStringListX IssuerParts;
  // The authenticated attributes in order; empty for a recipient and for a
  // signer without them.
  std::vector<TAttribute> Attributes;

  // The issuer's CN, else the first issuer line's value, else "".
  std::string IssuerName() const;
};

}  // namespace tessel
