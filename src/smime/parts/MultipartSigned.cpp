#include "smime/parts/MultipartSigned.h"

#include <cstdio>

#include "smime/cms/SignedData.h"
#include "util/charsets/Charsets.h"
#include "util/text/StringUtils.h"

namespace tessel {

bool IsSignatureType(const std::string& contentType) {
  std::string type = LowerCase(contentType);
  return type == "application/x-pkcs7-signature" || type == "application/pkcs7-signature";
}

TMultipartSigned::TMultipartSigned() : Info(std::make_unique<TSmimeInfo>()) {}

const std::shared_ptr<TSmimeStores>& TMultipartSigned::Stores() {
  if (!Stores_) Info->Stores = Stores_ = TSmimeStores::Of(ParseOptions());
  return Stores_;
}

std::string TMultipartSigned::ListingDetails() const {
  char codes[64];
  std::snprintf(codes, sizeof codes, " verify=0x%08X decrypt=0x%08X", Info->VerifyStatus, Info->DecryptStatus);
  return std::string("kind=signed") + codes + " decoded=" + (Verified ? "yes" : "no");
}

int32_t TMultipartSigned::SignedContentEnd(const TBodyPart& content) const {
  // A leaf ends at the CR of the delimiter that follows it. A multipart
  // ends after its close delimiter line, but the signer hashed everything
  // up to this part's next delimiter: the epilogue (often a blank line)
  // included, or, without one, not even the close line's CR LF, which then
  // begins that delimiter.
  if (!content.IsMultipart || !content.Text || Delimiter.empty()) return content.BodyEnd;
  int32_t from = content.BodyEnd - 2 > content.HeaderStart ? content.BodyEnd - 2 : content.HeaderStart;
  int32_t limit = BodyEnd > from ? BodyEnd : from;
  std::string_view rest = content.Text->GetView(from, limit);
  size_t at = rest.find(Delimiter);
  return at == std::string_view::npos ? content.BodyEnd : from + static_cast<int32_t>(at);
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
  int32_t contentEnd = SignedContentEnd(content);
  int32_t contentSize = contentEnd > content.HeaderStart ? contentEnd - content.HeaderStart : 0;
  std::string_view contentBytes =
      content.Text && contentSize > 0 ? content.Text->GetView(content.HeaderStart, contentEnd) : std::string_view();
  std::string_view signatureBytes = signature.Text && signature.RawSize() > 0
                                        ? signature.Text->GetView(signature.BodyStart, signature.BodyEnd)
                                        : std::string_view();
  info.SetVerification(VerifyDetached(contentBytes, signatureBytes, WideToUtf8(signature.TransferEncoding), *Stores()));
  info.Complete();
  Verified = true;
}

}  // namespace tessel
