#include "smime/parts/SmimeBodyPart.h"

#include <cstdio>
#include <exception>

#include "smime/cms/AsnQuery.h"
#include "smime/cms/EnvelopedData.h"
#include "smime/cms/SignedData.h"
#include "smime/cms/StatusCodes.h"
#include "asn1/asn1.h"
#include "mime/MessageFile.h"
#include "mime/MimeParser.h"
#include "util/charsets/Charsets.h"
#include "util/streams/MemoryStream.h"
#include "util/text/StringUtils.h"
#include "util/system/WinError.h"

namespace tessel {

namespace {

// Octets of the body that DetectKind decodes: enough for the ContentInfo's
// SEQUENCE header and content-type OID, however the lengths are written.
constexpr int32_t kSniffBytes = 100;

// Codes of the CMS readers meaning "this is no data of that kind".
constexpr uint32_t kCodeNotEncrypted = static_cast<uint32_t>(-2);
constexpr uint32_t kCodeNotSigned = static_cast<uint32_t>(-3);

// Codes that stand for "nothing was decoded": the part keeps "not checked".
constexpr uint32_t kCodeDecryptRefused = 0x80880281;
constexpr uint32_t kCodeVerifyRefused = 0x80880261;
constexpr uint32_t kCodeNotYetDone = 0x80091004;
// What a failure without a code of its own reports.
constexpr uint32_t kCodeMessageError = 0x80091001;

std::string Hex32(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

}  // namespace

int32_t SniffPkcs7Kind(TStream& stream) {
  try {
    TAsnParser parser(stream);
    TAsnElem* first = parser.Next();
    if (!first || first->Class != acUniversal || first->Tag != 16) return TSmimeBodyPart::skUnknown;
    std::string oid = AsnOidText(parser.Next());
    if (oid == "1.2.840.113549.1.7.2") return TSmimeBodyPart::skSigned;
    if (oid == "1.2.840.113549.1.7.3") return TSmimeBodyPart::skEnveloped;
  } catch (const std::exception&) {
    // Octets that are no ASN.1 at all decide nothing.
  }
  return TSmimeBodyPart::skUnknown;
}

const char* SmimeKindName(int32_t kind) {
  switch (kind) {
    case TSmimeBodyPart::skEnveloped: return "enveloped";
    case TSmimeBodyPart::skSigned: return "signed";
    case TSmimeBodyPart::skNoType: return "none";
    default: return "unknown";
  }
}

TSmimeBodyPart::TSmimeBodyPart() : Info(std::make_unique<TSmimeInfo>()) {}

const std::shared_ptr<TSmimeStores>& TSmimeBodyPart::Stores() {
  if (!Stores_) Info->Stores = Stores_ = TSmimeStores::Of(ParseOptions());
  return Stores_;
}

TSmimeBodyPart::~TSmimeBodyPart() {
  // Inner parts refer into the decoded texts: they go first.
  DecodedPart_.reset();
  RetiredParts_.clear();
}

std::string TSmimeBodyPart::ListingDetails() const {
  return std::string("kind=") + SmimeKindName(Kind) + " verify=" + Hex32(Info->VerifyStatus) +
         " decrypt=" + Hex32(Info->DecryptStatus) + " decoded=" + (DecodeOk ? "yes" : "no");
}

void TSmimeBodyPart::Analyze() {
  TBodyPart::Analyze();
  DetectKind();
}

void TSmimeBodyPart::DetectKind() {
  Kind = skUnknown;
  if (!Text) return;
  int32_t end = BodyStart + kSniffBytes < BodyEnd ? BodyStart + kSniffBytes : BodyEnd;
  if (end <= BodyStart) return;
  TMemoryStream head;
  try {
    Text->Decode(BodyStart, end, WideToUtf8(TransferEncoding), head);
  } catch (const std::exception&) {
    // A faulty encoding further on; what decoded before it still counts.
  }
  head.SetPosition(0);
  Kind = SniffPkcs7Kind(head);
}

TBodyPart* TSmimeBodyPart::DecodedPart() {
  if (!Decoded) Decode();
  return DecodedPart_.get();
}

void TSmimeBodyPart::RetireDecoded() {
  if (DecodedPart_) RetiredParts_.push_back(std::move(DecodedPart_));
  if (DecodedText_) RetiredTexts_.push_back(std::move(DecodedText_));
}

void TSmimeBodyPart::Decode() {
  RetireDecoded();
  Decoded = true;
  DecodeOk = false;
  if (Kind == skUnknown) {
    std::string type = LowerCase(GetFieldUtf8("smime-type"));
    if (type == "enveloped-data")
      Kind = skEnveloped;
    else if (type == "signed-data")
      Kind = skSigned;
    else if (type.empty())
      Kind = skNoType;
  }
  if (Kind != skSigned) Decrypt();
  // Decrypt turns the kind to enveloped for anything that was enveloped
  // data, whether or not a key fitted.
  if (Kind != skEnveloped) Unwrap();
  Info->Complete();
}

void TSmimeBodyPart::ParseContent(std::string bytes) {
  // Content written on Unix systems ends its lines with LF alone; the same
  // rule as for message files makes it readable (and hashes nested
  // signatures over the canonical form).
  ApplyLineEndRule(bytes);
  // Layers inside layers each hold a decoded copy: the message's memory
  // account bounds them all.
  if (const auto& account = ParseOptions().Account; account && !account->Take(static_cast<int64_t>(bytes.size()))) {
    Info->ParseFailed = true;
    return;
  }
  DecodedText_ = std::make_unique<TText>(std::move(bytes));
  // The inner root sits one level below this part, so that nested layers
  // stay within the parser's nesting cap.
  if (Depth + 1 >= ParseOptions().MaxNestingDepth) {
    Info->ParseFailed = true;
    return;
  }
  try {
    DecodedPart_ = ParseBodyPart(*DecodedText_->CreateReader(), ParseOptions(), Depth + 1);
  } catch (const std::exception&) {
    DecodedPart_.reset();
    DecodedText_.reset();
    Info->ParseFailed = true;
  }
}

void TSmimeBodyPart::Decrypt() {
  RetireDecoded();
  TSmimeInfo& info = *Info;
  info.Decrypted = false;
  if (!Text) return;
  try {
    TDecryption result = DecryptEnveloped(Text->GetView(BodyStart, BodyEnd), WideToUtf8(TransferEncoding), *Stores());
    std::string content = std::move(result.Content);
    bool decrypted = result.Status == 0;
    info.SetDecryption(std::move(result));
    info.Decrypted = true;
    Kind = skEnveloped;
    if (decrypted) {
      ParseContent(std::move(content));
      DecodeOk = true;
    }
  } catch (const EWinException& e) {
    info.DecryptStatus = e.ErrorCode;
    if (e.ErrorCode != kCodeNotEncrypted) {
      info.Decrypted = true;
      Kind = skEnveloped;
    }
  } catch (const std::exception&) {
    info.DecryptStatus = kCodeMessageError;
  }
  if (info.DecryptStatus == 0 && !DecodeOk) info.DecryptStatus = kCodeMessageError;
  if (info.DecryptStatus == kCodeDecryptRefused || info.DecryptStatus == kCodeNotYetDone) {
    info.DecryptStatus = kStatusNotChecked;
    DecodeOk = false;
  }
}

void TSmimeBodyPart::Unwrap() {
  RetireDecoded();
  TSmimeInfo& info = *Info;
  info.Verified = false;
  if (!Text) return;
  try {
    TVerification result = VerifySigned(Text->GetView(BodyStart, BodyEnd), WideToUtf8(TransferEncoding), *Stores());
    std::string content = std::move(result.Content);
    info.SetVerification(std::move(result));
    ParseContent(std::move(content));
    Kind = skSigned;
    info.Verified = true;
    DecodeOk = true;
  } catch (const EWinException& e) {
    info.VerifyStatus = e.ErrorCode;
    if (e.ErrorCode != kCodeNotSigned) {
      Kind = skSigned;
      info.Verified = true;
    }
  } catch (const std::exception&) {
    info.VerifyStatus = kCodeMessageError;
  }
  if (info.VerifyStatus == kCodeVerifyRefused || info.VerifyStatus == kCodeNotYetDone) {
    info.VerifyStatus = kStatusNotChecked;
    DecodeOk = false;
  }
}

}  // namespace tessel
