#include "smime/parts/SecurityFindings.h"

#include "smime/parts/MultipartSigned.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/parts/SecurityVerdict.h"
#include "smime/parts/SmimeBodyPart.h"
#include "mime/Mailbox.h"
#include "util/text/StringUtils.h"

namespace tessel {

int64_t HeaderLineOffset(const TBodyPart& part, std::string_view name) {
  if (!part.Text || part.BodyStart <= part.HeaderStart) return part.HeaderStart;
  std::string_view header = part.Text->GetView(part.HeaderStart, part.BodyStart);
  size_t at = 0;
  while (at < header.size()) {
    if (header.size() - at > name.size() && header[at + name.size()] == ':' &&
        SameText(header.substr(at, name.size()), name))
      return part.HeaderStart + static_cast<int64_t>(at);
    size_t cr = header.find('\r', at);
    if (cr == std::string_view::npos) break;
    at = cr + 1;
    if (at < header.size() && header[at] == '\n') ++at;
  }
  return part.HeaderStart;
}

void AddSecurityFindings(const TMessage& message, const TBodyPart& part, std::vector<TFinding>& out) {
  const int64_t at = part.BodyStart;
  // Only the S/MIME classes and the root have anything to add.
  if (!part.ClassTag() && &part != message.RootPart) return;
  if (auto smime = dynamic_cast<const TSmimeBodyPart*>(&part)) {
    if (!smime->Decoded || !smime->Info) return;
    const TSmimeInfo& info = *smime->Info;
    if (smime->Kind == TSmimeBodyPart::skEnveloped) {
      if (info.DecryptStatus != 0)
        out.push_back(TFinding{at, "S/MIME layer not decrypted: " + StatusPhrase(info.DecryptStatus)});
      else if (info.ParseFailed)
        out.push_back(TFinding{at, "S/MIME layer: the decrypted content does not parse as a message"});
    } else if (smime->Kind == TSmimeBodyPart::skSigned) {
      if (info.Verified && info.VerifyStatus != 0)
        out.push_back(TFinding{at, "S/MIME signature not valid: " + StatusPhrase(info.VerifyStatus)});
      if (info.ParseFailed) out.push_back(TFinding{at, "S/MIME layer: the signed content does not parse as a message"});
    } else if (!smime->DecodeOk) {
      out.push_back(
          TFinding{at, "S/MIME part holds neither signed nor enveloped data: " + StatusPhrase(info.VerifyStatus)});
    }
  } else if (auto multipart = dynamic_cast<const TMultipartSigned*>(&part)) {
    if (!multipart->Verified)
      out.push_back(TFinding{at, "multipart/signed not checked: it does not have exactly two parts"});
    else if (multipart->Info && multipart->Info->VerifyStatus != 0)
      out.push_back(TFinding{at, "S/MIME signature not valid: " + StatusPhrase(multipart->Info->VerifyStatus)});
  }
  if (&part == message.RootPart) {
    // Every signed layer whose signer's address is not the From field's.
    TSecurityVerdict verdict = JudgeMessage(message);
    for (const TSecurityLayer& layer : verdict.Layers) {
      if (layer.Kind != TSecurityLayer::Signed || !layer.Signature.Checked || layer.Signature.FromMatches ||
          !layer.Info || layer.Info->SignerCertificate.IsEmpty())
        continue;
      out.push_back(TFinding{HeaderLineOffset(part, "from"),
                             layer.Signature.SignerEmail.empty()
                                 ? std::string("The signer's certificate names no address to match From")
                                 : "From differs from the signer's address " + layer.Signature.SignerEmail});
    }
  }
}

TPartFindingHook SecurityFindingHook(const TMessage& message) {
  return [&message](const TBodyPart& part, std::vector<TFinding>& out) { AddSecurityFindings(message, part, out); };
}

std::vector<TMessageFinding> MessageFindings(TMessage& message, bool withBodies, const TPartFindingHook& more) {
  return CollectFindings(message, withBodies, [&](const TBodyPart& part, std::vector<TFinding>& out) {
    AddSecurityFindings(message, part, out);
    if (more) more(part, out);
  });
}

}  // namespace tessel
