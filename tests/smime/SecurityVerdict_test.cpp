// The verdict rule table: every row, with the reasons it gives; the marks
// a real signed or encrypted message yields; the --smime verdict line.
#include "SmimeTestSupport.h"
#include "smime/parts/SecurityVerdict.h"

using namespace tessel;
using namespace smimetest;

namespace {

TSignatureMarks GoodMarks() {
  TSignatureMarks m;
  m.Checked = m.Valid = m.Trusted = m.FromMatches = true;
  m.VerifyStatus = 0;
  m.Time = TValidity::Valid;
  m.Revocation = TRevocation::NotRevoked;
  m.SignerEmail = "alice@example.com";
  return m;
}

using M = TSignatureMarks&;  // what a row changes in the clean marks
constexpr TVerdict kWarning = TVerdict::Warning;

struct TRow {
  void (*Change)(M);
  TVerdict Expected;
  std::vector<std::string> Reasons;
};

}  // namespace

TEST(SecurityVerdict, signature_rule_table) {
  const TRow rows[] = {
      {[](M) {}, TVerdict::Good, {}},
      {[](M m) { m.Checked = false; }, kWarning, {"signature not checked"}},
      {[](M m) { m.Valid = false, m.VerifyStatus = kStatusBadSignature; },
       TVerdict::Bad,
       {"signature not valid: Invalid Signature. (0x80090006)"}},
      // A bad signature outweighs every other mark, which is not listed.
      {[](M m) { m.Valid = m.Trusted = m.FromMatches = false, m.VerifyStatus = kStatusSignerNotFound; },
       TVerdict::Bad,
       {"signature not valid: The certificate for the signer of the message is invalid or not found. (0x80096002)"}},
      {[](M m) { m.Trusted = false, m.ChainStatus = 0x10000 | 0x40; },
       kWarning,
       {"certificate not trusted (partial chain)"}},
      {[](M m) { m.Trusted = false; }, kWarning, {"certificate not trusted"}},
      {[](M m) { m.Time = TValidity::Expired; }, kWarning, {"certificate expired"}},
      {[](M m) { m.Time = TValidity::NotYetValid; }, kWarning, {"certificate not yet valid"}},
      {[](M m) { m.Revocation = TRevocation::Revoked; }, kWarning, {"certificate revoked"}},
      {[](M m) { m.Revocation = TRevocation::Unknown; }, kWarning, {"revocation not checked"}},
      {[](M m) { m.FromMatches = false; }, kWarning, {"signer address alice@example.com does not match From"}},
      {[](M m) { m.FromMatches = false, m.SignerEmail.clear(); },
       kWarning,
       {"signer certificate names no address to match From"}},
      {[](M m) { m.OtherSignersInvalid = 1; }, kWarning, {"another signer's signature is not valid"}},
      {[](M m) { m.OtherSignersInvalid = 2; }, kWarning, {"2 other signers' signatures are not valid"}},
      {[](M m) {
         m.Trusted = m.FromMatches = false, m.ChainStatus = 0x20;
         m.Time = TValidity::Expired, m.Revocation = TRevocation::Revoked;
       },
       kWarning,
       {"certificate not trusted (untrusted root)", "certificate expired", "certificate revoked",
        "signer address alice@example.com does not match From"}}};
  for (const TRow& row : rows) {
    TSignatureMarks m = GoodMarks();
    row.Change(m);
    std::vector<std::string> reasons;
    EXPECT_EQ(JudgeSignature(m, reasons), row.Expected) << testing::PrintToString(row.Reasons);
    EXPECT_EQ(reasons, row.Reasons);
  }
}

TEST(SecurityVerdict, envelope_rule_table) {
  struct TEnvelopeRow {
    TEnvelopeMarks Marks;
    TVerdict Expected;
    std::vector<std::string> Reasons;
  };
  TEnvelopeMarks opened;
  opened.Opened = true;
  opened.DecryptStatus = 0;
  TEnvelopeMarks notMessage = opened;
  notMessage.ParseFailed = true;
  TEnvelopeMarks noKey;
  noKey.DecryptStatus = kStatusNoRecipientMatches;
  noKey.Recipients = {"Test CA, serial 01", "a recipient named by key identifier"};
  TEnvelopeMarks noKeyNoList = noKey;
  noKeyNoList.Recipients.clear();
  TEnvelopeMarks broken;
  broken.DecryptStatus = kStatusBadData;
  const TEnvelopeRow rows[] = {
      {opened, TVerdict::None, {}},
      {notMessage, TVerdict::Warning, {"decrypted content is not a message"}},
      {noKey,
       TVerdict::Warning,
       {"cannot decrypt: no key for Test CA, serial 01; a recipient named by key identifier"}},
      {noKeyNoList,
       TVerdict::Warning,
       {"cannot decrypt: None of your certificates with a private key is a recipient of this message. (0x80880283)"}},
      {broken, TVerdict::Warning, {"cannot decrypt: Bad Data. (0x80090005)"}}};
  for (const TEnvelopeRow& row : rows) {
    std::vector<std::string> reasons;
    EXPECT_EQ(JudgeEnvelope(row.Marks, reasons), row.Expected) << row.Reasons.size();
    EXPECT_EQ(reasons, row.Reasons);
  }
}

TEST(SecurityVerdict, algorithm_key_bits) {
  const std::pair<const char*, int32_t> rows[] = {{"AES128", 128}, {"AES256", 256},       {"3DES", 168}, {"DES", 56},
                                                  {"RC2 40", 40},  {"RC2 ", 0},           {"AES", 0},    {"AESx1", 0},
                                                  {"", 0},         {"RC2 99999999999", 0}};
  for (const auto& [name, bits] : rows) EXPECT_EQ(AlgorithmKeyBits(name), bits) << name;
}

using SecurityVerdictMessages = TSandboxTest;

TEST_F(SecurityVerdictMessages, layers_of_real_messages_outermost_first) {
  // Signed by alice, whose chain ends at a CA that is not in "Root".
  auto message =
      Load("From: Alice <alice@example.com>\r\n" + MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  TSecurityVerdict v = JudgeMessage(*message);
  ASSERT_EQ(v.Layers.size(), 1u);
  EXPECT_EQ(v.Layers[0].Kind, TSecurityLayer::Signed);
  EXPECT_TRUE(v.Layers[0].Signature.Valid);
  EXPECT_TRUE(v.Layers[0].Signature.FromMatches);
  EXPECT_EQ(v.Verdict, TVerdict::Warning);
  EXPECT_EQ(VerdictLine(v), "warning (certificate not trusted (partial chain); revocation not checked)");

  // The same signature under another sender's From.
  message = Load("From: mallory@example.com\r\n" + MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  v = JudgeMessage(*message);
  EXPECT_NE(VerdictLine(v).find("signer address alice@example.com does not match From"), std::string::npos);

  // Encrypted for recipients of whom the user holds no key.
  message = Load(Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  v = JudgeMessage(*message);
  ASSERT_EQ(v.Layers.size(), 1u);
  EXPECT_EQ(v.Layers[0].Kind, TSecurityLayer::Enveloped);
  ASSERT_EQ(v.Layers[0].Envelope.Recipients.size(), 2u);
  EXPECT_EQ(v.Layers[0].Envelope.Recipients[0], "Test CA, serial " + Serial("bob"));
  EXPECT_EQ(v.Verdict, TVerdict::Warning);

  // With carol's key it opens, and the layer proves nothing by itself.
  Stores.PutIdentity("My", "carol");
  message = Load(Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  v = JudgeMessage(*message);
  ASSERT_EQ(v.Layers.size(), 1u);
  EXPECT_TRUE(v.Layers[0].Envelope.Opened);
  EXPECT_EQ(VerdictLine(v), "none");

  // A message without S/MIME.
  message = Load("From: a@example.com\r\n\r\nhello\r\n");
  EXPECT_TRUE(JudgeMessage(*message).Layers.empty());
  EXPECT_EQ(VerdictLine(JudgeMessage(*message)), "none");
}
