#include "SecuritySummary.h"

#include "MultipartSigned.h"
#include "SmimeBodyPart.h"

namespace tessel {

TSmimeInfo* SecurityInfoOf(const TMessage& message) { return dynamic_cast<TSmimeInfo*>(message.SecurityInfo.get()); }

void BuildSecuritySummary(TMessage& message) {
  if (!message.SecurityInfo) message.SecurityInfo = std::make_unique<TSmimeInfo>();
  TSmimeInfo* summary = SecurityInfoOf(message);
  if (!summary) return;
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
  summary->FromMatches =
      message.RootPart && MatchSignerAddress(summary->SignerEmail, message.RootPart->GetFieldUtf8("from"));
  summary->SignerCertificate.AddToStore("AddressBook");
}

}  // namespace tessel
