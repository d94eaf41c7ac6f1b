#include "ui/BannerRules.h"

#include <cctype>

namespace tessel {

const char* ColourClassName(TBannerColour colour) {
  switch (colour) {
    case TBannerColour::Good: return "good";
    case TBannerColour::Warning: return "warning";
    case TBannerColour::Bad: return "bad";
    case TBannerColour::Neutral: break;
  }
  return "none";
}

TBannerColour ColourOf(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Good: return TBannerColour::Good;
    case TVerdict::Warning: return TBannerColour::Warning;
    case TVerdict::Bad: return TBannerColour::Bad;
    case TVerdict::None: break;
  }
  return TBannerColour::Neutral;
}

std::string TBanner::Text() const {
  std::string text;
  for (const TBannerSegment& s : Segments) text += s.Text;
  return text;
}

std::string SignerCaption(const TSmimeInfo& info) {
  std::string name = info.SignerCertificate.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName);
  const std::string& address = info.SignerEmail;
  if (!name.empty() && !address.empty()) return name + " <" + address + ">";
  if (!address.empty()) return address;
  if (!name.empty()) return name;
  return "unknown signer";
}

std::string SigningTimeText(const std::string& value) {
  bool utc = value.size() == 13, generalized = value.size() == 15;
  if ((!utc && !generalized) || value.back() != 'Z') return value;
  for (size_t i = 0; i + 1 < value.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(value[i]))) return value;
  std::string year = utc ? (value[0] >= '5' ? "19" : "20") + value.substr(0, 2) : value.substr(0, 4);
  std::string rest = value.substr(utc ? 2 : 4);
  return year + "-" + rest.substr(0, 2) + "-" + rest.substr(2, 2) + " " + rest.substr(4, 2) + ":" + rest.substr(6, 2) +
         ":" + rest.substr(8, 2) + " UTC";
}

namespace {

class TBuilder {
public:
  explicit TBuilder(TBanner& banner) : Banner_(banner) {}

  void Add(std::string text, TBannerColour colour, int32_t layer, bool signer = false) {
    Banner_.Segments.push_back(TBannerSegment{std::move(text), colour, layer, signer});
  }
  void Separator(const char* text) { Add(text, TBannerColour::Neutral, -1); }

  void Signed(const TSecurityLayer& layer, int32_t index) {
    const TSignatureMarks& m = layer.Signature;
    Add("Signed by ", TBannerColour::Neutral, index);
    Add(SignerCaption(*layer.Info), ColourOf(layer.Verdict), index, true);
    Separator(": ");
    if (!m.Checked) {
      Add("signature not checked", TBannerColour::Warning, index);
      return;
    }
    if (!m.Valid) {
      // The layer's one reason says why, with the status text and code.
      Add(layer.Reasons.empty() ? "signature not valid" : layer.Reasons.front(), TBannerColour::Bad, index);
      return;
    }
    Add("signature valid", TBannerColour::Good, index);
    // Each further mark in the layer's own words when it is a fault.
    Separator(", ");
    if (m.Trusted)
      Add("certificate trusted", TBannerColour::Good, index);
    else
      Add(Reason("certificate not trusted"), TBannerColour::Warning, index);
    Separator(", ");
    if (m.Time == TValidity::Valid)
      Add("certificate time-valid", TBannerColour::Good, index);
    else
      Add(m.Time == TValidity::Expired ? "certificate expired" : "certificate not yet valid", TBannerColour::Warning,
          index);
    Separator(", ");
    if (m.Revocation == TRevocation::NotRevoked)
      Add("not revoked", TBannerColour::Good, index);
    else
      Add(m.Revocation == TRevocation::Revoked ? "certificate revoked" : "revocation not checked",
          TBannerColour::Warning, index);
    if (!layer.Info->SigningTime.empty()) {
      Separator(", ");
      Add("signed " + SigningTimeText(layer.Info->SigningTime), TBannerColour::Neutral, index);
    }
    Separator(", ");
    if (m.FromMatches)
      Add("matches From", TBannerColour::Good, index);
    else
      Add(m.SignerEmail.empty() ? "no signer address to match From" : "does not match From", TBannerColour::Warning,
          index);
    if (m.OtherSignersInvalid > 0) {
      Separator(", ");
      Add(Reason("other signer"), TBannerColour::Warning, index);
    }
  }

  void Enveloped(const TSecurityLayer& layer, int32_t index) {
    const TSmimeInfo& info = *layer.Info;
    if (layer.Envelope.Opened) {
      std::string text = "Encrypted";
      if (!info.Algorithm.empty()) {
        text += " with " + info.Algorithm;
        if (int32_t bits = AlgorithmKeyBits(info.Algorithm)) text += " (" + std::to_string(bits) + "-bit key)";
      }
      if (!info.RecipientCertificate.IsEmpty()) {
        std::string name = info.RecipientCertificate.NameAttribute(TNameOf::Subject, TNameAttribute::EmailAddress);
        if (name.empty()) name = info.RecipientCertificate.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName);
        text += ", opened with the certificate of " + (name.empty() ? std::string("an unnamed subject") : name) +
                " (serial " + info.RecipientCertificate.SerialNumber() + ")";
      }
      Add(text, TBannerColour::Neutral, index);
      if (layer.Envelope.ParseFailed) {
        Separator(": ");
        Add("decrypted content is not a message", TBannerColour::Warning, index);
      }
      return;
    }
    Add("Encrypted: ", TBannerColour::Neutral, index);
    Add(layer.Reasons.empty() ? "cannot decrypt" : layer.Reasons.front(), TBannerColour::Warning, index);
  }

private:
  // The layer's reason that contains key (it names the fault in full), else
  // key itself.
  static std::string ReasonOf(const TSecurityLayer& layer, const std::string& key) {
    for (const std::string& r : layer.Reasons)
      if (r.find(key) != std::string::npos) return r;
    return key;
  }

public:
  // Set per layer before the marks are added.
  const TSecurityLayer* Current = nullptr;
  std::string Reason(const std::string& prefix) const { return Current ? ReasonOf(*Current, prefix) : prefix; }

private:
  TBanner& Banner_;
};

}  // namespace

TBanner BuildBanner(const TSecurityVerdict& verdict) {
  TBanner banner;
  if (verdict.Layers.empty()) return banner;
  banner.Shown = true;
  banner.Colour = ColourOf(verdict.Verdict);
  TBuilder builder(banner);
  for (size_t i = 0; i < verdict.Layers.size(); ++i) {
    const TSecurityLayer& layer = verdict.Layers[i];
    if (i > 0) builder.Separator(" \u2192 ");
    builder.Current = &layer;
    if (layer.Kind == TSecurityLayer::Signed)
      builder.Signed(layer, static_cast<int32_t>(i));
    else
      builder.Enveloped(layer, static_cast<int32_t>(i));
  }
  return banner;
}

}  // namespace tessel
