// An application/pkcs7-mime (or x-pkcs7-mime) part: it holds enveloped or
// signed data, which is decrypted or unwrapped on first use and parsed as a
// further root part. Every outcome is kept as status codes in Info; nothing
// of decoding reaches the caller as an error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "smime/parts/SmimeInfo.h"
#include "mime/bodypart.h"
#include "util/text/Text.h"

namespace tessel {

class TSmimeBodyPart : public TBodyPart {
public:
  enum : int32_t { skEnveloped = 0, skSigned = 1, skNoType = 2, skUnknown = 3 };

  TSmimeBodyPart();
  ~TSmimeBodyPart() override;

  std::unique_ptr<TBodyPart> NewOfClass() const override { return std::make_unique<TSmimeBodyPart>(); }
  const char* ClassTag() const override { return "smime"; }
  std::string ListingDetails() const override;
  TBodyPart* InnerRoot() override { return DecodedPart(); }
  TBodyPart* PeelLayer() override { return DecodedPart(); }
  // The plain analysis, then the kind from the first octets of the body.
  void Analyze() override;

  // The root part of the decrypted or unwrapped content, decoding on the
  // first call (and again after ResetDecoded); nullptr when decoding gave
  // no content or the content did not parse.
  TBodyPart* DecodedPart();
  // The part DecodedPart gave last, without decoding.
  TBodyPart* CurrentDecodedPart() const { return DecodedPart_.get(); }
  // Makes the next DecodedPart decode again, with the stores read anew (the
  // user may have added a key meanwhile). Parts it gave before stay alive
  // (others may still show them) until this part is freed.
  void ResetDecoded() {
    Decoded = false;
    Stores()->ForgetAll();
  }
  // The decoded octets the inner part refers to, or nullptr.
  TText* DecodedText() const { return DecodedText_.get(); }

  // skEnveloped, skSigned, skNoType (no "smime-type" parameter) or
  // skUnknown.
  int32_t Kind = skUnknown;
  // Decoding has been done (with or without success).
  bool Decoded = false;
  // The last decoding produced content.
  bool DecodeOk = false;
  std::unique_ptr<TSmimeInfo> Info;
  // The user's stores as this part's message reads them (shared with the
  // other parts of its message, decoded content included).
  const std::shared_ptr<TSmimeStores>& Stores();

private:
  std::shared_ptr<TSmimeStores> Stores_;
  void DetectKind();
  void Decode();
  void Decrypt();
  void Unwrap();
  // Frees the decoded content (keeping parts handed out already).
  void RetireDecoded();
  // Takes output's octets as DecodedText and parses them; sets ParseFailed
  // when they are no MIME entity.
  void ParseContent(std::string bytes);

  std::unique_ptr<TText> DecodedText_;
  std::unique_ptr<TBodyPart> DecodedPart_;
  // Earlier results of decoding, for parts that still refer to them; parts
  // before the texts they point into.
  std::vector<std::unique_ptr<TBodyPart>> RetiredParts_;
  std::vector<std::unique_ptr<TText>> RetiredTexts_;
};

// The kind a body sniffs as from its first octets: the ContentInfo's content
// type signedData (skSigned) or envelopedData (skEnveloped), else skUnknown.
int32_t SniffPkcs7Kind(TStream& stream);

// "enveloped", "signed", "none" or "unknown".
const char* SmimeKindName(int32_t kind);

}  // namespace tessel
