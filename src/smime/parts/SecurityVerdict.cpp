#include "smime/parts/SecurityVerdict.h"

#include <ctime>
#include <optional>

#include "smime/parts/MultipartSigned.h"
#include "smime/parts/Pkcs7Info.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/parts/SmimeBodyPart.h"
#include "smime/cms/StatusCodes.h"
#include "mime/Mailbox.h"

namespace tessel {

const char* VerdictName(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Good: return "good";
    case TVerdict::Warning: return "warning";
    case TVerdict::Bad: return "bad";
    case TVerdict::None: break;
  }
  return "none";
}

namespace {

// Chain faults that are marks of their own (time and revocation); every
// other bit means the chain does not lead to a trusted root as it should.
constexpr uint32_t kTimeAndRevocationBits = crypto::kTrustIsNotTimeValid | crypto::kTrustIsRevoked |
                                            crypto::kTrustRevocationStatusUnknown | crypto::kTrustIsOfflineRevocation;

std::string Hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

}  // namespace

std::string StatusPhrase(uint32_t code) {
  // A verdict may be worded before any crypto call registered the texts.
  static const bool registered = (RegisterStatusTexts(), true);
  (void)registered;
  std::string text = StatusCodeText(code);
  return text.empty() ? Hex(code) : text + " (" + Hex(code) + ")";
}

// The rule table. Rows, checked in this order:
//   no check ran                                  -> warning "signature not checked"
//   signature does not verify                     -> bad, with the status
//   verifies, every mark below clean              -> good
//   verifies, any of: chain not trusted, expired, not yet valid, revoked,
//     revocation unknown, From differs, another signer invalid
//                                                 -> warning naming each
TVerdict JudgeSignature(const TSignatureMarks& m, std::vector<std::string>& reasons) {
  if (!m.Checked) {
    reasons.push_back("signature not checked");
    return TVerdict::Warning;
  }
  if (!m.Valid) {
    reasons.push_back("signature not valid: " + StatusPhrase(m.VerifyStatus));
    return TVerdict::Bad;
  }
  size_t before = reasons.size();
  if (!m.Trusted) {
    std::string why = TrustStatusText(m.ChainStatus & ~kTimeAndRevocationBits);
    reasons.push_back(why.empty() ? "certificate not trusted" : "certificate not trusted (" + why + ")");
  }
  if (m.Time == TValidity::Expired) reasons.push_back("certificate expired");
  if (m.Time == TValidity::NotYetValid) reasons.push_back("certificate not yet valid");
  if (m.Revocation == TRevocation::Revoked) reasons.push_back("certificate revoked");
  if (m.Revocation == TRevocation::Unknown) reasons.push_back("revocation not checked");
  if (!m.FromMatches)
    reasons.push_back(m.SignerEmail.empty() ? "signer certificate names no address to match From"
                                            : "signer address " + m.SignerEmail + " does not match From");
  if (m.OtherSignersInvalid > 0)
    reasons.push_back(m.OtherSignersInvalid == 1
                          ? "another signer's signature is not valid"
                          : std::to_string(m.OtherSignersInvalid) + " other signers' signatures are not valid");
  return reasons.size() == before ? TVerdict::Good : TVerdict::Warning;
}

// Rows: opened and parsed -> none (encryption says nothing of the sender);
// opened, content no message -> warning; not opened -> warning naming the
// recipients when no key fitted, else the status.
TVerdict JudgeEnvelope(const TEnvelopeMarks& m, std::vector<std::string>& reasons) {
  if (m.Opened) {
    if (!m.ParseFailed) return TVerdict::None;
    reasons.push_back("decrypted content is not a message");
    return TVerdict::Warning;
  }
  if ((m.DecryptStatus == kStatusNoRecipientMatches || m.DecryptStatus == kStatusUnsupportedRecipient) &&
      !m.Recipients.empty()) {
    reasons.push_back("cannot decrypt: no key for " + JoinStrings(m.Recipients, "; "));
  } else {
    reasons.push_back("cannot decrypt: " + StatusPhrase(m.DecryptStatus));
  }
  return TVerdict::Warning;
}

TSignatureMarks SignatureMarksOf(const TSmimeInfo& info, const std::string& fromField, int64_t now) {
  TSignatureMarks m;
  m.Checked = info.Verified;
  m.VerifyStatus = info.VerifyStatus;
  m.Valid = info.Verified && info.VerifyStatus == 0 && !info.SignerCertificate.IsEmpty();
  uint32_t status = info.ChainStatus | info.CertificateStatus;
  m.ChainStatus = status;
  m.Trusted = m.Valid && (status & ~kTimeAndRevocationBits) == 0;
  if (!info.TimeValid) {
    TCertificateDetails details = GetCertificateDetails(info.SignerCertificate.Handle());
    m.Time = details.Valid && now < details.NotBefore ? TValidity::NotYetValid : TValidity::Expired;
  }
  if (!info.NotRevoked || (status & crypto::kTrustIsRevoked))
    m.Revocation = TRevocation::Revoked;
  else if (info.HasRevocationInfo &&
           !(status & (crypto::kTrustRevocationStatusUnknown | crypto::kTrustIsOfflineRevocation)))
    m.Revocation = TRevocation::NotRevoked;
  m.SignerEmail = info.SignerEmail;
  m.FromMatches = MatchSignerAddress(info.SignerEmail, fromField);
  for (size_t i = 1; i < info.Signers.size(); ++i)
    if (info.Signers[i].Status != 0) ++m.OtherSignersInvalid;
  return m;
}

TEnvelopeMarks EnvelopeMarksOf(const TBodyPart& part, const TSmimeInfo& info) {
  TEnvelopeMarks m;
  m.DecryptStatus = info.DecryptStatus;
  m.Opened = info.DecryptStatus == 0;
  m.ParseFailed = info.ParseFailed;
  if (m.Opened) return m;
  std::string octets;
  try {
    octets = part.GetDecodedContent()->ToString();
  } catch (const std::exception&) {
    return m;
  }
  TPKCS7MimeInfo pkcs7(octets.data(), static_cast<int32_t>(octets.size()));
  for (int32_t i = 0; i < pkcs7.RecipientCount(); ++i) {
    const TSignerInfo* r = pkcs7.Recipient(i);
    if (!r) continue;
    // A recipient named by key identifier has no issuer and serial here.
    m.Recipients.push_back(r->SerialNumber.empty() ? std::string("a recipient named by key identifier")
                                                   : r->IssuerName() + ", serial " + r->SerialNumber);
  }
  return m;
}

std::string MessageFromField(const TMessage& message) {
  const TBodyPart* root = message.RootPart;
  if (!root || !root->Text || root->BodyStart <= root->HeaderStart) return std::string();
  return Trim(RawHeaderField(root->Text->GetView(root->HeaderStart, root->BodyStart), "from"));
}

TSecurityVerdict JudgeMessage(const TMessage& message, int64_t now) {
  if (now == 0) now = static_cast<int64_t>(std::time(nullptr));
  TSecurityVerdict verdict;
  // Read for the first signature only: an unsigned message never needs it.
  std::optional<std::string> from;
  for (int32_t i = 0; i < message.RootCount(); ++i) {
    const TBodyPart* root = message.Roots(i);
    TSecurityLayer layer;
    layer.Part = root;
    if (auto smime = dynamic_cast<const TSmimeBodyPart*>(root)) {
      if (smime->Kind != TSmimeBodyPart::skEnveloped && smime->Kind != TSmimeBodyPart::skSigned) continue;
      layer.Kind = smime->Kind == TSmimeBodyPart::skEnveloped ? TSecurityLayer::Enveloped : TSecurityLayer::Signed;
      layer.Info = smime->Info.get();
    } else if (auto multipart = dynamic_cast<const TMultipartSigned*>(root)) {
      layer.Info = multipart->Info.get();
    }
    if (!layer.Info) continue;
    if (layer.Kind == TSecurityLayer::Signed) {
      if (!from) from = MessageFromField(message);
      layer.Signature = SignatureMarksOf(*layer.Info, *from, now);
      layer.Verdict = JudgeSignature(layer.Signature, layer.Reasons);
    } else {
      layer.Envelope = EnvelopeMarksOf(*root, *layer.Info);
      layer.Verdict = JudgeEnvelope(layer.Envelope, layer.Reasons);
    }
    if (layer.Verdict > verdict.Verdict) verdict.Verdict = layer.Verdict;
    verdict.Reasons.insert(verdict.Reasons.end(), layer.Reasons.begin(), layer.Reasons.end());
    verdict.Layers.push_back(std::move(layer));
  }
  return verdict;
}

std::string VerdictLine(const TSecurityVerdict& verdict) {
  std::string line = VerdictName(verdict.Verdict);
  if (!verdict.Reasons.empty()) line += " (" + JoinStrings(verdict.Reasons, "; ") + ")";
  return line;
}

int32_t AlgorithmKeyBits(const std::string& algorithm) {
  if (algorithm == "3DES") return 168;
  if (algorithm == "DES") return 56;
  for (const char* prefix : {"AES", "RC2 "}) {
    std::string p(prefix);
    if (algorithm.size() > p.size() && algorithm.compare(0, p.size(), p) == 0) {
      int32_t bits = 0;
      for (size_t i = p.size(); i < algorithm.size(); ++i) {
        if (algorithm[i] < '0' || algorithm[i] > '9' || bits > 100000) return 0;
        bits = bits * 10 + (algorithm[i] - '0');
      }
      return bits;
    }
  }
  return 0;
}

}  // namespace tessel
