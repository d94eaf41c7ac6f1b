// What a PKCS #7 body holds, read from its ASN.1 tree without the OpenSSL
// layer: the certificates it carries, its signers and, for
// enveloped data, its recipients. TPKCS7SignatureInfo reads a detached
// signature (signed-data); TPKCS7MimeInfo reads an application/pkcs7-mime
// body, signed-data or enveloped-data.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "smime/cms/Certificate.h"
#include "smime/cms/SignerInfo.h"
#include "asn1/asn1.h"

namespace tessel {

// Paths from a ContentInfo to the fields the objects read.
inline constexpr const char* kSignedCertificatesPath = "1.2.840.113549.1.7.2/[1]/[0]/[3]";
inline constexpr const char* kSignerInfosPath = "1.2.840.113549.1.7.2/[1]/[0]/[-1]/[*]";
inline constexpr const char* kRecipientInfosPath = "1.2.840.113549.1.7.3/[1]/[0]/[1]";

// The certificates and signers of a signed-data ContentInfo. Input that is
// no such thing gives empty lists.
class TPKCS7SignedContents {
public:
  TPKCS7SignedContents() = default;
  TPKCS7SignedContents(const TPKCS7SignedContents&) = delete;
  TPKCS7SignedContents& operator=(const TPKCS7SignedContents&) = delete;

  int32_t CertificateCount() const { return static_cast<int32_t>(Certificates_.size()); }
  int32_t SignerCount() const { return static_cast<int32_t>(Signers_.size()); }
  // 0-based; nullptr outside the list.
  const TCertificate* Certificate(int32_t i) const;
  const TSignerInfo* SignerInfo(int32_t i) const;
  // The parsed structure (nullptr when the octets did not parse).
  const TAsnElem* Tree() const { return Tree_.get(); }

protected:
  void Parse(const void* data, int32_t size);
  // Reads the certificates and signers; false when the tree holds no
  // signed-data fourth field.
  bool ReadSigned();

  std::unique_ptr<TAsnElem> Tree_;
  std::vector<TCertificate> Certificates_;
  std::vector<std::unique_ptr<TSignerInfo>> Signers_;
};

class TPKCS7SignatureInfo : public TPKCS7SignedContents {
public:
  TPKCS7SignatureInfo(const void* data, int32_t size);
  // The structure is signed-data (it has a fourth field).
  bool IsSigned = false;
};

class TPKCS7MimeInfo : public TPKCS7SignedContents {
public:
  enum : int32_t { pkEnveloped = 0, pkSigned = 1, pkNeither = 3 };

  TPKCS7MimeInfo(const void* data, int32_t size);

  int32_t Kind = pkNeither;
  int32_t RecipientCount() const { return static_cast<int32_t>(Recipients_.size()); }
  const TSignerInfo* Recipient(int32_t i) const;

private:
  std::vector<std::unique_ptr<TSignerInfo>> Recipients_;
};

}  // namespace tessel
