// The banner's wording and colour classes for every row of the verdict
// table, layers in order, and the signer segment a click opens.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "ui/BannerRules.h"

using namespace tessel;

namespace {

TSecurityLayer SignedLayer(const TSmimeInfo& info, void (*change)(TSignatureMarks&)) {
  TSecurityLayer layer;
  layer.Kind = TSecurityLayer::Signed;
  layer.Info = &info;
  TSignatureMarks& m = layer.Signature;
  m.Checked = m.Valid = m.Trusted = m.FromMatches = true;
  m.VerifyStatus = 0;
  m.Revocation = TRevocation::NotRevoked;
  m.SignerEmail = info.SignerEmail;
  change(m);
  layer.Verdict = JudgeSignature(m, layer.Reasons);
  return layer;
}

TSecurityVerdict VerdictOf(std::vector<TSecurityLayer> layers) {
  TSecurityVerdict v;
  for (TSecurityLayer& layer : layers) {
    if (layer.Verdict > v.Verdict) v.Verdict = layer.Verdict;
    v.Layers.push_back(std::move(layer));
  }
  return v;
}

}  // namespace

TEST(BannerRules, signature_rows_word_and_colour) {
  TSmimeInfo info;
  info.SignerEmail = "alice@example.com";
  info.SigningTime = "230415120000Z";
  // Each row's text is the all-good one with one phrase changed (Old), or, with
  // no Old, the whole text New.
  const std::string allGood =
      "Signed by alice@example.com: signature valid, certificate trusted, certificate time-valid, not revoked, "
      "signed 2023-04-15 12:00:00 UTC, matches From";
  const struct {
    void (*Change)(TSignatureMarks&);
    const char* Colour;
    const char* Old;
    const char* New;
  } rows[] = {
      {[](TSignatureMarks&) {}, "good", "", ""},
      {[](TSignatureMarks& m) { m.Checked = false; }, "warning", nullptr,
       "Signed by alice@example.com: signature not checked"},
      {[](TSignatureMarks& m) {
         m.Valid = false;
         m.VerifyStatus = 0x80090006;
       },
       "bad", nullptr, "Signed by alice@example.com: signature not valid: Invalid Signature. (0x80090006)"},
      {[](TSignatureMarks& m) {
         m.Trusted = false;
         m.ChainStatus = 0x20;
       },
       "warning", "certificate trusted", "certificate not trusted (untrusted root)"},
      {[](TSignatureMarks& m) { m.Time = TValidity::Expired; }, "warning", "time-valid", "expired"},
      {[](TSignatureMarks& m) { m.Time = TValidity::NotYetValid; }, "warning", "time-valid", "not yet valid"},
      {[](TSignatureMarks& m) { m.Revocation = TRevocation::Revoked; }, "warning", "not revoked",
       "certificate revoked"},
      {[](TSignatureMarks& m) { m.Revocation = TRevocation::Unknown; }, "warning", "not revoked",
       "revocation not checked"},
      {[](TSignatureMarks& m) { m.FromMatches = false; }, "warning", "matches From", "does not match From"},
      {[](TSignatureMarks& m) { m.OtherSignersInvalid = 1; }, "warning", "From",
       "From, another signer's signature is not valid"},
  };
  for (const auto& row : rows) {
    std::string text = row.Old ? allGood : row.New;
    if (row.Old && *row.Old) text.replace(text.find(row.Old), std::strlen(row.Old), row.New);
    SCOPED_TRACE(text);
    TBanner banner = BuildBanner(VerdictOf({SignedLayer(info, row.Change)}));
    ASSERT_TRUE(banner.Shown);
    EXPECT_EQ(banner.Text(), text);
    EXPECT_STREQ(ColourClassName(banner.Colour), row.Colour);
    // The signer segment carries the layer's colour and is the one a click
    // opens.
    int signers = 0;
    for (const TBannerSegment& s : banner.Segments) {
      if (!s.Signer) continue;
      ++signers;
      EXPECT_EQ(s.Text, "alice@example.com");
      EXPECT_EQ(s.Colour, banner.Colour);
      EXPECT_EQ(s.Layer, 0);
    }
    EXPECT_EQ(signers, 1);
    // Only the clean marks (and the signer of a good layer) are green.
    const std::set<std::string> clean = {"signature valid", "certificate trusted", "certificate time-valid",
                                         "not revoked", "matches From"};
    for (const TBannerSegment& s : banner.Segments) {
      if (s.Colour == TBannerColour::Good) {
        EXPECT_TRUE(clean.count(s.Text) || (s.Signer && banner.Colour == TBannerColour::Good)) << s.Text;
      }
    }
  }
}

TEST(BannerRules, envelope_rows_and_layers_outermost_first) {
  TSmimeInfo envelope;
  envelope.Algorithm = "AES256";
  TSecurityLayer opened;
  opened.Kind = TSecurityLayer::Enveloped;
  opened.Info = &envelope;
  opened.Envelope.Opened = true;
  opened.Verdict = JudgeEnvelope(opened.Envelope, opened.Reasons);

  TSmimeInfo signer;
  signer.SignerEmail = "alice@example.com";
  TSecurityVerdict both = VerdictOf({opened, SignedLayer(signer, [](TSignatureMarks&) {})});
  TBanner banner = BuildBanner(both);
  EXPECT_EQ(banner.Text(),
            "Encrypted with AES256 (256-bit key) \u2192 Signed by alice@example.com: signature valid, certificate "
            "trusted, certificate time-valid, not revoked, matches From");
  EXPECT_STREQ(ColourClassName(banner.Colour), "good");

  TSecurityLayer locked;
  locked.Kind = TSecurityLayer::Enveloped;
  locked.Info = &envelope;
  locked.Envelope.DecryptStatus = 0x80880283;
  locked.Envelope.Recipients = {"Test CA, serial 0A"};
  locked.Verdict = JudgeEnvelope(locked.Envelope, locked.Reasons);
  banner = BuildBanner(VerdictOf({locked}));
  EXPECT_EQ(banner.Text(), "Encrypted: cannot decrypt: no key for Test CA, serial 0A");
  EXPECT_STREQ(ColourClassName(banner.Colour), "warning");

  TSecurityLayer notMessage = opened;
  notMessage.Envelope.ParseFailed = true;
  notMessage.Reasons.clear();
  notMessage.Verdict = JudgeEnvelope(notMessage.Envelope, notMessage.Reasons);
  banner = BuildBanner(VerdictOf({notMessage}));
  EXPECT_EQ(banner.Text(), "Encrypted with AES256 (256-bit key): decrypted content is not a message");
  EXPECT_STREQ(ColourClassName(banner.Colour), "warning");

  // An opened envelope alone proves nothing: neutral colour. No layers: no
  // banner.
  EXPECT_STREQ(ColourClassName(BuildBanner(VerdictOf({opened})).Colour), "none");
  EXPECT_FALSE(BuildBanner(TSecurityVerdict()).Shown);
}

TEST(BannerRules, signing_time_and_signer_caption) {
  const std::pair<const char*, const char*> times[] = {{"230415120000Z", "2023-04-15 12:00:00 UTC"},
                                                       {"990101000000Z", "1999-01-01 00:00:00 UTC"},
                                                       {"20500101000000Z", "2050-01-01 00:00:00 UTC"},
                                                       {"2304151200Z", "2304151200Z"},
                                                       {"23041512000xZ", "23041512000xZ"},
                                                       {"230415120000+", "230415120000+"},
                                                       {"", ""}};
  for (const auto& [in, out] : times) EXPECT_EQ(SigningTimeText(in), out) << in;
  TSmimeInfo info;
  EXPECT_EQ(SignerCaption(info), "unknown signer");
  info.SignerEmail = "a@b";
  EXPECT_EQ(SignerCaption(info), "a@b");
}
