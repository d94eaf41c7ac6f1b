#include "smime/parts/SmimeInfo.h"

#include <vector>

#include "smime/cms/CertificateChain.h"
#include "asn1/AsnText.h"
#include "asn1/asn1.h"
#include "mime/Mailbox.h"

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
    Signers = source.Signers;
  }
  if (what & ciEnvelope) {
    Decrypted = source.Decrypted;
    RecipientCertificate = source.RecipientCertificate;
    Algorithm = source.Algorithm;
    DecryptStatus = source.DecryptStatus;
    DecryptProblems = source.DecryptProblems;
  }
}

void TSmimeInfo::SetVerification(TVerification&& verification) {
  VerifyStatus = verification.Status;
  SignerCertificate = verification.SignerCertificate();
  EncryptionCertificate = std::move(verification.EncryptionCertificate);
  Attributes = std::move(verification.Attributes);
  Capabilities = std::move(verification.Capabilities);
  Signers = std::move(verification.Signers);
}

void TSmimeInfo::SetDecryption(TDecryption&& decryption) {
  DecryptStatus = decryption.Status;
  Algorithm = std::move(decryption.Algorithm);
  RecipientCertificate = std::move(decryption.RecipientCertificate);
  DecryptProblems = std::move(decryption.KeyProblems);
}

void TSmimeInfo::Complete() {
  const std::string* capabilities = FindAttribute(Attributes, kOidSmimeCapabilities);
  CapabilitiesText = capabilities ? *capabilities : std::string();
  SigningTime.clear();
  if (const std::string* time = FindAttribute(Attributes, kOidSigningTime)) {
    std::vector<TBlobPtr> parts;
    if (!time->empty()) SplitAsnChildren(time->data(), parts, static_cast<int32_t>(time->size()), false);
    // A UTCTime or GeneralizedTime is one primitive element: its content
    // octets are the time text (read as one octet per character, so that
    // octets that are no time still give UTF-8).
    if (parts.size() == 1 && parts[0]) {
      size_t consumed = 0;
      SigningTime = AsnStringToUtf8(
          TAsnValueKind::Latin1,
          std::string_view(reinterpret_cast<const char*>(parts[0]->Data), static_cast<size_t>(parts[0]->Size)), 0,
          consumed);
    }
  }
  if (!SignerCertificate.IsEmpty()) {
    if (!Stores) Stores = std::make_shared<TSmimeStores>();
    TCertificateChain chain;
    if (GetCertificateChain(SignerCertificate, chain, *Stores, TChainUse::MailSigning)) {
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
  SignerEmail = SignerCertificate.IsEmpty()
                    ? std::string()
                    : SignerCertificate.NameAttribute(TNameOf::Subject, TNameAttribute::EmailAddress);
}

bool MatchSignerAddress(const std::string& address, const std::string& from) {
  // Without an address there is no signer to compare: an empty From field
  // (or "<>" in one) must not count as a match.
  if (address.empty()) return false;
  std::string a = LowerCase(address);
  if (a == LowerCase(from)) return true;
  for (const TMailbox& mailbox : ParseMailboxes(from))
    if (LowerCase(mailbox.Address()) == a) return true;
  return false;
}

}  // namespace tessel
