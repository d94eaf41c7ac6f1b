#include "smime/parts/SecuritySummary.h"

#include "smime/parts/MultipartSigned.h"
#include "smime/parts/SecurityVerdict.h"
#include "smime/parts/SmimeBodyPart.h"
#include "mime/Mailbox.h"
#include "smime/stores/CertificateStore.h"
#include "util/encodings/Base64.h"
#include "util/streams/MemoryStream.h"
#include "util/system/WinError.h"

#include <cstdio>

namespace tessel {

TSmimeInfo* SecurityInfoOf(const TMessage& message) { return dynamic_cast<TSmimeInfo*>(message.SecurityInfo.get()); }

std::unique_ptr<TSecuritySummary> CreateSecuritySummary() { return std::make_unique<TSmimeInfo>(); }

void BuildSecuritySummary(TMessage& message) {
  if (!message.SecurityInfo) message.SecurityInfo = std::make_unique<TSmimeInfo>();
  TSmimeInfo* summary = SecurityInfoOf(message);
  if (!summary) return;
  summary->Stores = TSmimeStores::Of(message.Options());
  int32_t signedLayers = 0, envelopedLayers = 0;
  for (int32_t i = 0; i < message.RootCount(); ++i) {
    TBodyPart* root = message.Roots(i);
    const TSmimeInfo* info = nullptr;
    bool isSigned = false, isEnveloped = false;
    if (auto smime = dynamic_cast<TSmimeBodyPart*>(root)) {
      info = smime->Info.get();
      isEnveloped = smime->Kind == TSmimeBodyPart::skEnveloped;
      isSigned = smime->Kind == TSmimeBodyPart::skSigned;
    } else if (auto multipart = dynamic_cast<TMultipartSigned*>(root)) {
      info = multipart->Info.get();
      isSigned = true;
    }
    if (isEnveloped && envelopedLayers++ == 0) summary->CopyFrom(*info, TSmimeInfo::ciEnvelope);
    if (isSigned && signedLayers++ == 0) summary->CopyFrom(*info, TSmimeInfo::ciSignature);
  }
  summary->SingleLayer = signedLayers < 2 && envelopedLayers < 2;
  // Only a signer's address is compared with the From field (read only
  // then: the header block may be huge).
  summary->FromMatches =
      !summary->SignerEmail.empty() && MatchSignerAddress(summary->SignerEmail, MessageFromField(message));
}

int32_t RememberSigners(const TMessage& message) {
  const TSmimeInfo* summary = SecurityInfoOf(message);
  if (!summary) return 0;
  int32_t added = 0;
  for (const TSignerCheck& signer : summary->Signers) {
    if (signer.Status != 0 || signer.Certificate.IsEmpty()) continue;
    std::string error;
    if (TCertStore::AddCertificate("AddressBook", signer.Certificate.Handle(), error) == TCertStore::TAddResult::Added)
      ++added;
  }
  if (added > 0 && summary->Stores) summary->Stores->Forget("AddressBook");
  return added;
}

std::string DecryptProblemsText(const TSmimeInfo& info) { return JoinStrings(info.DecryptProblems, " "); }

std::string StatusCodeText(uint32_t code) {
  if (code == kStatusNotChecked) return "not checked";
  return ErrorText(code);
}

std::string TrustStatusText(uint32_t status) {
  static const struct {
    uint32_t Bit;
    const char* Text;
  } kBits[] = {
      {0x1, "not time valid"},
      {0x4, "revoked"},
      {0x8, "signature not valid"},
      {0x10, "not valid for usage"},
      {0x20, "untrusted root"},
      {0x40, "revocation status unknown"},
      {0x80, "cyclic"},
      {0x100, "invalid extension"},
      {0x200, "invalid policy constraints"},
      {0x400, "invalid basic constraints"},
      {0x800, "invalid name constraints"},
      {0x10000, "partial chain"},
      {0x1000000, "offline revocation"},
  };
  std::string text;
  uint32_t known = 0;
  for (const auto& bit : kBits) {
    known |= bit.Bit;
    if (!(status & bit.Bit)) continue;
    if (!text.empty()) text += ", ";
    text += bit.Text;
  }
  if (status & ~known) {
    char other[32];
    std::snprintf(other, sizeof other, "other bits 0x%08X", status & ~known);
    if (!text.empty()) text += ", ";
    text += other;
  }
  return text;
}

namespace {

std::string Code(uint32_t code, const std::string& text) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", code);
  return text.empty() ? std::string(hex) : std::string(hex) + " " + text;
}

std::string Certificate(const TCertificate& certificate) {
  return certificate.IsEmpty() ? std::string() : certificate.SerialNumber() + " from " + certificate.IssuerName();
}

const char* Flag(bool value) { return value ? "yes" : "no"; }

// Attribute values are base64 with line breaks: dropping the breaks keeps
// every field on one line and loses nothing.
std::string OneLine(std::string text) {
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return text;
}

std::string Base64Text(const std::string& octets) {
  TStringStream text;
  Base64EncodeBuffer(octets.data(), static_cast<int32_t>(octets.size()), text);
  return text.DataString();
}

// "OID=base64" per attribute, as the attribute list has always been shown.
std::string AttributesText(const std::vector<TSignedAttribute>& attributes) {
  TStringListX lines;
  for (const TSignedAttribute& a : attributes) lines.push_back(a.Oid + "=" + OneLine(Base64Text(a.Value)));
  return JoinStrings(lines, ", ");
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SummaryFields(const TSmimeInfo& info) {
  std::vector<std::pair<std::string, std::string>> fields = {
      {"RecipientCertificate", Certificate(info.RecipientCertificate)},
      {"SignerCertificate", Certificate(info.SignerCertificate)},
      {"EncryptionCertificate", Certificate(info.EncryptionCertificate)},
      {"Attributes", AttributesText(info.Attributes)},
      // Text from the certificate keeps its line breaks: the printer
      // escapes them, so a hostile address shows what it holds.
      {"Capabilities", JoinStrings(info.Capabilities, ", ")},
      {"SignerEmail", info.SignerEmail},
      {"SignatureValid", Flag(info.SignatureValid)},
      {"ChainTrusted", Flag(info.ChainTrusted)},
      {"TimeValid", Flag(info.TimeValid)},
      {"FromMatches", Flag(info.FromMatches)},
      {"NotRevoked", Flag(info.NotRevoked)},
      {"ChainStatus", Code(info.ChainStatus, TrustStatusText(info.ChainStatus))},
      {"CertificateStatus", Code(info.CertificateStatus, TrustStatusText(info.CertificateStatus))},
      {"HasRevocationInfo", Flag(info.HasRevocationInfo)},
      {"Decrypted", Flag(info.Decrypted)},
      {"Algorithm", info.Algorithm},
      {"Verified", Flag(info.Verified)},
      {"ParseFailed", Flag(info.ParseFailed)},
      {"SigningTime", info.SigningTime},
      {"VerifyStatus", Code(info.VerifyStatus, StatusCodeText(info.VerifyStatus))},
      {"DecryptStatus", Code(info.DecryptStatus, StatusCodeText(info.DecryptStatus))},
      {"CapabilitiesText", info.CapabilitiesText.empty() ? std::string() : OneLine(Base64Text(info.CapabilitiesText))},
      {"FirstCapability", info.FirstCapability},
      {"SingleLayer", Flag(info.SingleLayer)},
  };
  for (size_t i = 1; i < info.Signers.size(); ++i) {
    const TSignerCheck& signer = info.Signers[i];
    std::string certificate = Certificate(signer.Certificate);
    fields.emplace_back("OtherSigner", (certificate.empty() ? "(certificate not found)" : certificate) + ", " +
                                           Code(signer.Status, StatusCodeText(signer.Status)));
  }
  if (!info.DecryptProblems.empty()) fields.emplace_back("DecryptProblems", DecryptProblemsText(info));
  return fields;
}

}  // namespace tessel
