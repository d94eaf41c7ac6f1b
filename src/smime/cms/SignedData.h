// Verification of S/MIME signatures: detached (multipart/signed) and
// attached (application/pkcs7-mime signed-data).
//
// The outcome is a value. Every signer info is checked: the signer's
// certificate is looked for in the message, then in "AddressBook"; when
// several certificates carry the signer's issuer and serial number (a
// stranger's message may have left a forged one in the address book), each
// is tried and the one whose key verifies the signature is taken. Status
// is 0 only when every signer verifies; otherwise it is the status of the
// first signer that does not: kStatusSignerNotFound when its certificate
// is neither in the message nor in "AddressBook", kStatusNoSignature for
// signed data without signers, or the code of the verification fault
// (kStatusHashValue, kStatusBadSignature, ...).
//
// The first signer's signed attributes are kept as they stand (dotted OID,
// whole DER encoding of the first value; a later attribute replaces an
// earlier one with the same OID), with the short names of its S/MIME
// capabilities and its preferred encryption certificate (from the message,
// else "AddressBook").
//
// Raised errors are EWinException: "not signed" (code -3), "Cannot verify
// the signature" (kStatusCannotVerify), "Fatal Error" (the data does not
// decode, kStatusBadEncode).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "smime/cms/Certificate.h"
#include "smime/stores/SmimeStores.h"
#include "smime/cms/StatusCodes.h"
#include "util/text/StringUtils.h"

namespace tessel {

class TAsnElem;

// One signed attribute: its dotted OID and the whole DER encoding of its
// first value.
struct TSignedAttribute {
  std::string Oid;
  std::string Value;
};

// The outcome of one signer info.
struct TSignerCheck {
  // The certificate that was checked (the one that verified when several
  // fitted), with the message's other certificates as its companions;
  // empty when none was found.
  TCertificate Certificate;
  uint32_t Status = kStatusNotChecked;
};

struct TVerification {
  // 0 when every signer verifies, else the first fault (see above).
  uint32_t Status = kStatusNotChecked;
  // Every signer info, in the message's order.
  std::vector<TSignerCheck> Signers;
  // The first signer's.
  std::vector<TSignedAttribute> Attributes;
  TStringListX Capabilities;
  TCertificate EncryptionCertificate;
  // The encapsulated content (attached form), also when the signature does
  // not verify or has no signer.
  std::string Content;

  // The first signer's certificate, or an empty one.
  const TCertificate& SignerCertificate() const;
};

// content: the signed body part's octets exactly as they stand (header and
// body); they are hashed as they are. signature: the signature part's body,
// with its Content-Transfer-Encoding value.
TVerification VerifyDetached(std::string_view content, std::string_view signature, const std::string& signatureEncoding,
                             TSmimeStores& stores);

// data: the application/pkcs7-mime body with its transfer encoding.
TVerification VerifySigned(std::string_view data, const std::string& encoding, TSmimeStores& stores);

// The value of the attribute with this OID, or nullptr.
const std::string* FindAttribute(const std::vector<TSignedAttribute>& attributes, std::string_view oid);

// The short name of one S/MIME capability (SEQUENCE { OID, parameters }):
// "3des", "rc2" or "rc2 <bits>", "des", or "" for any other.
std::string CapabilityName(const TAsnElem* element);

// The transfer decoding the S/MIME operations share: "base64" and
// "quoted-printable" (any case) are decoded, anything else is taken as it is.
std::string TransferDecode(const char* data, int32_t size, const std::string& encoding);

}  // namespace tessel
