#include "MultipartSigned.h"

#include <cstdio>

#include "SignedData.h"
#include "util/Charsets.h"
#include "util/StringUtils.h"

namespace tessel {

bool IsSignatureType(const std::string& contentType) {
  std::string type = LowerCase(contentType);
  return type == "application/x-pkcs7-signature" || type == "application/pkcs7-signature";
}

TMultipartSigned::TMultipartSigned() : Info(std::make_unique<TSmimeInfo>()) {}

std::string TMultipartSigned::ListingDetails() const {
  char codes[64];
  std::snprintf(codes, sizeof codes, " verify=0x%08X decrypt=0x%08X", Info->VerifyStatus, Info->DecryptStatus);
  return std::string("kind=signed") + codes + " decoded=" + (Verified ? "yes" : "no");
}

void TMultipartSigned::Analyze() {
  TBodyPart::Analyze();
  Verified = false;
  SignaturePart = ContentPart = nullptr;
  if (ChildCount() != 2) return;
  if (IsSignatureType(Children(0)->GetFieldUtf8("content-type"))) {
    SignaturePart = Children(0);
    ContentPart = Children(1);
  } else {
    SignaturePart = Children(1);
    ContentPart = Children(0);
  }
  TSmimeInfo& info = *Info;
  info.Verified = true;
  // The signed part is hashed with its header block exactly as it stands
  // in the text; the signature part's body is handed over still encoded.
  const TBodyPart& content = *ContentPart;
  const TBodyPart& signature = *SignaturePart;
  int32_t contentSize = content.BodyEnd > content.HeaderStart ? content.BodyEnd - content.HeaderStart : 0;
  static const char kNothing[] = "";
  const char* contentBytes = content.Text && contentSize > 0 ? content.Text->PtrAt(content.HeaderStart) : kNothing;
  const char* signatureBytes =
      signature.Text && signature.RawSize() > 0 ? signature.Text->PtrAt(signature.BodyStart) : kNothing;
  VerifyDetached(contentBytes, contentSize, signatureBytes, WideToUtf8(signature.TransferEncoding), &info.Attributes,
                 &info.Capabilities, info.VerifyStatus, &info.EncryptionCertificate, &info.SignerCertificate,
                 signature.RawSize());
  info.Complete();
  Verified = true;
}

}  // namespace tessel
