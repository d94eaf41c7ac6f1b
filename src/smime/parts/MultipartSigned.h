// A multipart/signed part: a signed body part and a detached PKCS #7
// signature over it, checked when the part is analysed.
#pragma once

#include <memory>
#include <string>

#include "smime/parts/SmimeInfo.h"
#include "mime/bodypart.h"

namespace tessel {

class TMultipartSigned : public TBodyPart {
public:
  TMultipartSigned();

  std::unique_ptr<TBodyPart> NewOfClass() const override { return std::make_unique<TMultipartSigned>(); }
  const char* ClassTag() const override { return "signed"; }
  std::string ListingDetails() const override;
  // The signature part and what lies below it enter no index.
  bool IndexesChild(const TBodyPart& child) const override { return &child != SignaturePart; }
  // The plain analysis, then, with exactly two children, the check of the
  // signature. Errors of the check (a signature that cannot be decoded at
  // all) are raised: the parser then keeps the part as a plain multipart.
  void Analyze() override;

  std::unique_ptr<TSmimeInfo> Info;
  // The user's stores as this part's message reads them (shared with the
  // other parts of its message).
  const std::shared_ptr<TSmimeStores>& Stores();
  TBodyPart* SignaturePart = nullptr;
  TBodyPart* ContentPart = nullptr;
  // The part had exactly two children and the check ran.
  bool Verified = false;

  // Where the signed octets of content (one of the children) end: its
  // BodyEnd for a leaf; for a multipart the CR of this part's delimiter
  // after it, so that its epilogue is hashed as the signer hashed it.
  int32_t SignedContentEnd(const TBodyPart& content) const;

private:
  std::shared_ptr<TSmimeStores> Stores_;
};

// Whether a content type names a detached signature
// ("application/pkcs7-signature" or "application/x-pkcs7-signature", any
// case).
bool IsSignatureType(const std::string& contentType);

}  // namespace tessel
