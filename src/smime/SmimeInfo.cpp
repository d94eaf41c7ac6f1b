#include "SmimeInfo.h"

#include <vector>

#include "Base64Blob.h"
#include "CertificateChain.h"
#include "NameValueList.h"
#include "asn1/asn1.h"

namespace tessel {

void TSmimeInfo::CopyFrom(const TSmimeInfo& source, int32_t what) {
  if (&source == this) return;
  if (what & ciSignature) {
    Verified = source.Verified;
    SignerCertificate = source.SignerCertificate;
    EncryptionCertificate = source.EncryptionCertificate;
    Attributes = source.Attributes;
    Capabilities = source.Capabilities;
    ParseFailed = source.ParseFailed;
    SigningTime = source.SigningTime;
    VerifyStatus = source.VerifyStatus;
    SignatureValid = source.SignatureValid;
    CapabilitiesText = source.CapabilitiesText;
    FirstCapability = source.FirstCapability;
    ChainStatus = source.ChainStatus;
    CertificateStatus = source.CertificateStatus;
    ChainTrusted = source.ChainTrusted;
    TimeValid = source.TimeValid;
    HasRevocationInfo = source.HasRevocationInfo;
    NotRevoked = source.NotRevoked;
    SignerEmail = source.SignerEmail;
  }
  if (what & ciEnvelope) {
    Decrypted = source.Decrypted;
    RecipientCertificate = source.RecipientCertificate;
    Algorithm = source.Algorithm;
    DecryptStatus = source.DecryptStatus;
  }
}

void TSmimeInfo::Complete() {
  CapabilitiesText = ListValue(Attributes, kOidSmimeCapabilities);
  SigningTime.clear();
  if (IndexOfName(Attributes, kOidSigningTime) >= 0) {
    TBlobPtr blob;
    Base64ToBlob(ListValue(Attributes, kOidSigningTime), blob);
    std::vector<TBlobPtr> parts;
    if (blob && blob->Size > 0) SplitAsnChildren(blob->Data, parts, blob->Size, false);
    // A UTCTime or GeneralizedTime is one primitive element: its content
    // octets are the time text.
    if (parts.size() == 1 && parts[0])
      SigningTime.assign(reinterpret_cast<const char*>(parts[0]->Data), static_cast<size_t>(parts[0]->Size));
  }
  if (!SignerCertificate.IsEmpty()) {
    TCertificateChain chain;
    if (GetCertificateChain(SignerCertificate, chain)) {
      ChainStatus = chain.ChainStatus;
      CertificateStatus = chain.CertificateStatus;
      ChainTrusted = ChainStatus == 0 && CertificateStatus == 0;
      TimeValid = (CertificateStatus & kTrustIsNotTimeValid) == 0;
      HasRevocationInfo = chain.HasRevocationInfo;
      NotRevoked = (CertificateStatus & kTrustIsRevoked) == 0;
    }
  }
  FirstCapability = Capabilities.empty() ? std::string() : Capabilities.front();
  SignatureValid = VerifyStatus == 0;
  SignerEmail = SignerCertificate.IsEmpty() ? std::string() : SignerCertificate.NameAttribute(false, 3);
}

bool MatchSignerAddress(const std::string& address, const std::string& from) {
  // Without an address there is no signer to compare: an empty From field
  // (or "<>" in one) must not count as a match.
  if (address.empty()) return false;
  std::string a = LowerCase(address);
  std::string f = LowerCase(from);
  return a == f || f.find("<" + a + ">") != std::string::npos;
}

}  // namespace tessel
