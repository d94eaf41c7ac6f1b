// The outcome of the S/MIME checks of one part, or the summary of a whole
// message (its first signed and first enveloped layer). Verification and
// decryption write their fields; Complete derives the rest.
#pragma once

#include <cstdint>
#include <string>

#include "smime/cms/Certificate.h"
#include "smime/cms/EnvelopedData.h"
#include "smime/cms/SignedData.h"
#include "smime/stores/SmimeStores.h"
#include "mime/Message.h"
#include "util/text/StringUtils.h"

namespace tessel {

class TSmimeInfo : public TSecuritySummary {
public:
  // What CopyFrom copies.
  enum : int32_t { ciSignature = 1, ciEnvelope = 2 };

  // The user's certificate that decrypted the content.
  TCertificate RecipientCertificate;
  TCertificate SignerCertificate;
  // The signer's preferred encryption certificate.
  TCertificate EncryptionCertificate;
  // The signer's authenticated attributes: dotted OID and the DER encoding
  // of the first value.
  std::vector<TSignedAttribute> Attributes;
  // Short names of the signer's S/MIME capabilities, in order.
  TStringListX Capabilities;
  // E-mail address in the signer certificate's subject.
  std::string SignerEmail;
  // VerifyStatus is 0.
  bool SignatureValid = false;
  // The signer's chain reports no error at all.
  bool ChainTrusted = false;
  // The certificate is valid at this time (its status lacks bit 1).
  bool TimeValid = false;
  // SignerEmail matches the message's From field.
  bool FromMatches = false;
  // The certificate's status lacks the revoked bit (4).
  bool NotRevoked = false;
  uint32_t ChainStatus = 0;
  // Status of the chain's first element.
  uint32_t CertificateStatus = 0;
  bool HasRevocationInfo = false;
  // Decryption was attempted on enveloped data.
  bool Decrypted = false;
  // Name of the content-encryption algorithm.
  std::string Algorithm;
  // A signature check ran.
  bool Verified = false;
  // The decrypted or unwrapped content did not parse as a MIME entity.
  bool ParseFailed = false;
  // The signing-time attribute's characters as they stand
  // ("230415120000Z"), empty without one.
  std::string SigningTime;
  // 0 valid, kStatusSignerNotFound, another code of StatusCodes.h; kStatusNotChecked
  // before any check.
  uint32_t VerifyStatus = kStatusNotChecked;
  // 0 success, the error code otherwise; kStatusNotChecked before any attempt.
  uint32_t DecryptStatus = kStatusNotChecked;
  // The S/MIME capabilities attribute (the DER encoding of its value).
  std::string CapabilitiesText;
  std::string FirstCapability;
  // The message has fewer than two signed and fewer than two enveloped
  // layers.
  bool SingleLayer = false;
  // Every signer info of the layer, the first one (which the fields above
  // describe) included, with its certificate and its own status.
  std::vector<TSignerCheck> Signers;
  // Why keys of "My" that fit a recipient could not be used.
  std::vector<std::string> DecryptProblems;
  // The user's stores as this layer (or message) reads them; not copied.
  std::shared_ptr<TSmimeStores> Stores;

  // Copies the signature fields (what & ciSignature) and/or the envelope
  // fields (what & ciEnvelope) of source; certificates and lists by value.
  void CopyFrom(const TSmimeInfo& source, int32_t what);
  // Takes the outcome of a verification (VerifyStatus and the signer's
  // certificates, attributes and capabilities) or of a decryption.
  void SetVerification(TVerification&& verification);
  void SetDecryption(TDecryption&& decryption);
  // Derives SigningTime, CapabilitiesText, FirstCapability, SignatureValid,
  // SignerEmail and, for a signer certificate, the chain fields (built for
  // mail signing, with the stores of Stores).
  void Complete();
};

// Whether the signer's address belongs to the From field: equal to the
// whole field, or to the address of one of the field's mailboxes (local
// part as it stands, domain ignoring case). An address that only appears in
// a display name, a comment or a quoted string matches nothing, nor does
// an empty address.
bool MatchSignerAddress(const std::string& address, const std::string& from);

// The attribute OIDs the summary reads.
inline constexpr const char* kOidSigningTime = "1.2.840.113549.1.9.5";
inline constexpr const char* kOidSmimeCapabilities = "1.2.840.113549.1.9.15";

}  // namespace tessel
