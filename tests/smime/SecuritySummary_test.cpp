// The message-level security summary: peeling of nested layers, which
// layer the summary copies, the signer's chain and address, the address
// book, and the text form of the fields.
#include <gtest/gtest.h>

#include "SmimeMessages.h"
#include "smime/CertificateStore.h"
#include "smime/StatusCodes.h"

using namespace tessel;
using namespace smimetest;

namespace {

std::string Serial(const std::string& pkiName) { return TCertificate(Cert(pkiName)).SerialNumber(); }

const std::string kFromAlice = "From: Alice Signer <Alice@Example.com>\r\n";

// An opaque-signed message from alice with the given From line.
std::string SignedMessage(const std::string& from, const std::string& signer = "alice") {
  return Pkcs7Mime(SignOpaque(PkiContent(), signer), "signed-data", from);
}

}  // namespace

class Summary_ : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(Summary_, nested_layers_are_peeled_into_roots_and_the_first_of_each_kind_summarised) {
  Stores.PutIdentity("My", "carol");
  // Innermost: a multipart/signed by alice; then enveloped for carol; then
  // opaque-signed by deep.
  std::string inner = MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s"));
  std::string enveloped = Pkcs7Mime(Encrypt(inner), "enveloped-data");
  std::string outer = Pkcs7Mime(SignOpaque(enveloped, "deep"), "signed-data", kFromAlice);
  auto message = Load(outer);
  ASSERT_EQ(message->RootCount(), 3);
  auto first = dynamic_cast<TSmimeBodyPart*>(message->Roots(0));
  auto second = dynamic_cast<TSmimeBodyPart*>(message->Roots(1));
  auto third = dynamic_cast<TMultipartSigned*>(message->Roots(2));
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(first->Kind, TSmimeBodyPart::skSigned);
  EXPECT_EQ(second->Kind, TSmimeBodyPart::skEnveloped);
  EXPECT_EQ(message->Roots(1), first->CurrentDecodedPart());
  EXPECT_EQ(message->Roots(2), second->CurrentDecodedPart());
  EXPECT_EQ(third->Info->VerifyStatus, 0u);
  // The text part is found in the innermost root.
  EXPECT_EQ(message->TextPart, third->ContentPart);

  TSmimeInfo& summary = Summary(*message);
  // Signature fields of the first signed root (deep's outer layer)...
  EXPECT_EQ(summary.SignerCertificate.SerialNumber(), Serial("deep"));
  EXPECT_EQ(summary.VerifyStatus, 0u);
  EXPECT_TRUE(summary.Verified);
  // ...envelope fields of the first enveloped one.
  EXPECT_TRUE(summary.Decrypted);
  EXPECT_EQ(summary.DecryptStatus, 0u);
  EXPECT_EQ(summary.RecipientCertificate.SerialNumber(), Serial("carol"));
  EXPECT_EQ(summary.Algorithm, second->Info->Algorithm);
  EXPECT_FALSE(summary.Algorithm.empty());
  EXPECT_FALSE(summary.SingleLayer);  // two signed layers
  // deep has no e-mail address: nothing to match against From.
  EXPECT_EQ(summary.SignerEmail, "");
  EXPECT_FALSE(summary.FromMatches);
}

TEST_F(Summary_, a_signed_layer_inside_a_signed_layer_is_peeled_again) {
  std::string twice = Pkcs7Mime(SignOpaque(SignedMessage(""), "alice"), "signed-data", kFromAlice);
  auto message = Load(twice);
  EXPECT_EQ(message->RootCount(), 3);
  EXPECT_FALSE(Summary(*message).SingleLayer);
  EXPECT_TRUE(Summary(*message).FromMatches);
  auto once = Load(SignedMessage(kFromAlice));
  EXPECT_EQ(once->RootCount(), 2);
  EXPECT_TRUE(Summary(*once).SingleLayer);
}

TEST_F(Summary_, signer_address_is_matched_against_the_from_field) {
  struct {
    const char* Address;
    const char* From;
    bool Match;
  } cases[] = {
      {"alice@example.com", "alice@example.com", true},
      {"alice@example.com", "ALICE@Example.COM", true},
      {"Alice@Example.com", "Alice <alice@example.com>", true},
      {"alice@example.com", "\"Alice\" <alice@example.com>, bob@example.com", true},
      {"alice@example.com", "Alice alice@example.com", false},  // only in angle brackets
      {"alice@example.com", "<malice@example.com>", false},
      {"alice@example.com", "", false},
      {"", "", false},  // no signer address matches nothing
      {"", "Someone <>", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchSignerAddress(c.Address, c.From), c.Match) << c.Address << " / " << c.From;

  EXPECT_TRUE(Summary(*Load(SignedMessage(kFromAlice))).FromMatches);
  EXPECT_FALSE(Summary(*Load(SignedMessage("From: Mallory <mallory@example.com>\r\n"))).FromMatches);
  // No From field and no signer: still no match.
  EXPECT_FALSE(Summary(*Load("Content-Type: text/plain\r\n\r\nplain\r\n")).FromMatches);
}

TEST_F(Summary_, chain_fields_follow_the_root_store) {
  auto untrusted = Load(SignedMessage(kFromAlice));
  TSmimeInfo& before = Summary(*untrusted);
  EXPECT_TRUE(before.SignatureValid);
  EXPECT_FALSE(before.ChainTrusted);
  EXPECT_NE(before.ChainStatus, 0u);
  EXPECT_TRUE(before.TimeValid);
  EXPECT_TRUE(before.NotRevoked);

  Stores.Put("Root", "ca.pem", "ca.pem");
  auto trusted = Load(SignedMessage(kFromAlice));
  TSmimeInfo& after = Summary(*trusted);
  EXPECT_TRUE(after.ChainTrusted);
  EXPECT_EQ(after.ChainStatus, 0u);
  EXPECT_EQ(after.CertificateStatus, 0u);
  EXPECT_TRUE(after.TimeValid);
  EXPECT_TRUE(after.NotRevoked);
  EXPECT_EQ(after.SignerEmail, "alice@example.com");
  // openssl's signing time is a UTCTime of this century.
  ASSERT_EQ(after.SigningTime.size(), 13u);
  EXPECT_EQ(after.SigningTime.back(), 'Z');
}

TEST_F(Summary_, expired_and_revoked_signers_are_flagged) {
  Stores.Put("Root", "ca.pem", "ca.pem");
  auto expired = Load(Pkcs7Mime(PkiFile("expired.p7m"), "signed-data"));
  TSmimeInfo& old = Summary(*expired);
  EXPECT_EQ(old.VerifyStatus, 0u);  // the signature itself is good
  EXPECT_FALSE(old.TimeValid);
  EXPECT_NE(old.CertificateStatus & 1u, 0u);
  EXPECT_FALSE(old.ChainTrusted);
  EXPECT_TRUE(old.NotRevoked);

  Stores.Put("Root", "ca.crl", "ca.crl");
  auto revoked = Load(SignedMessage("", "revoked"));
  TSmimeInfo& bad = Summary(*revoked);
  EXPECT_EQ(bad.VerifyStatus, 0u);
  EXPECT_FALSE(bad.NotRevoked);
  EXPECT_TRUE(bad.HasRevocationInfo);
  EXPECT_NE(bad.CertificateStatus & 4u, 0u);
  EXPECT_FALSE(bad.ChainTrusted);
  // With the list there, a good certificate of the same CA carries
  // revocation information and is not revoked.
  TSmimeInfo& good = Summary(*Load(SignedMessage(kFromAlice)));
  EXPECT_TRUE(good.HasRevocationInfo);
  EXPECT_TRUE(good.NotRevoked);
  EXPECT_TRUE(good.ChainTrusted);
}

TEST_F(Summary_, the_signer_certificate_goes_into_the_address_book_once) {
  auto count = [] {
    auto store = TCertStore::Open("AddressBook");
    return store ? store->Certificates().size() : 0u;
  };
  EXPECT_EQ(count(), 0u);
  Load(SignedMessage(kFromAlice));
  ASSERT_EQ(count(), 1u);
  EXPECT_EQ(TCertStore::Open("AddressBook")->Certificates().front(), Cert("alice"));
  Load(SignedMessage(kFromAlice));
  EXPECT_EQ(count(), 1u);
  // Messages without a signer add nothing.
  Load("Content-Type: text/plain\r\n\r\nplain\r\n");
  Load(Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  EXPECT_EQ(count(), 1u);
}

TEST_F(Summary_, message_without_layers_keeps_the_initial_codes) {
  auto message = Load("From: a@example.com\r\nContent-Type: text/plain\r\n\r\nplain\r\n");
  TSmimeInfo& s = Summary(*message);
  EXPECT_EQ(s.VerifyStatus, kStatusNotChecked);
  EXPECT_EQ(s.DecryptStatus, kStatusNotChecked);
  EXPECT_FALSE(s.SignatureValid);
  EXPECT_FALSE(s.Verified);
  EXPECT_FALSE(s.Decrypted);
  EXPECT_TRUE(s.SingleLayer);
  EXPECT_TRUE(s.SignerCertificate.IsEmpty());
  // Reparsing builds the summary anew.
  message->Reparse();
  EXPECT_TRUE(Summary(*message).SingleLayer);
}

TEST_F(Summary_, copy_from_takes_only_the_chosen_group) {
  TSmimeInfo source;
  source.VerifyStatus = 0;
  source.SignerEmail = "s@example.com";
  source.ParseFailed = true;
  source.Attributes = {"1.2=AA=="};
  source.DecryptStatus = 0x80880283;
  source.Algorithm = "3DES";
  source.Decrypted = true;
  TSmimeInfo signature;
  signature.CopyFrom(source, TSmimeInfo::ciSignature);
  EXPECT_EQ(signature.VerifyStatus, 0u);
  EXPECT_EQ(signature.SignerEmail, "s@example.com");
  EXPECT_TRUE(signature.ParseFailed);
  EXPECT_EQ(signature.Attributes, source.Attributes);
  EXPECT_EQ(signature.DecryptStatus, kStatusNotChecked);
  EXPECT_EQ(signature.Algorithm, "");
  TSmimeInfo envelope;
  envelope.CopyFrom(source, TSmimeInfo::ciEnvelope);
  EXPECT_EQ(envelope.DecryptStatus, 0x80880283u);
  EXPECT_EQ(envelope.Algorithm, "3DES");
  EXPECT_TRUE(envelope.Decrypted);
  EXPECT_EQ(envelope.VerifyStatus, kStatusNotChecked);
  EXPECT_FALSE(envelope.ParseFailed);
}

TEST_F(Summary_, summary_fields_in_declaration_order_with_their_text_forms) {
  auto message = Load(SignedMessage(kFromAlice));
  auto fields = SummaryFields(Summary(*message));
  std::vector<std::string> names;
  for (const auto& f : fields) names.push_back(f.first);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "RecipientCertificate", "SignerCertificate", "EncryptionCertificate", "Attributes",
                       "Capabilities", "SignerEmail", "SignatureValid", "ChainTrusted", "TimeValid", "FromMatches",
                       "NotRevoked", "ChainStatus", "CertificateStatus", "HasRevocationInfo", "Decrypted",
                       "Algorithm", "Verified", "ParseFailed", "SigningTime", "VerifyStatus", "DecryptStatus",
                       "CapabilitiesText", "FirstCapability", "SingleLayer"}));
  std::map<std::string, std::string> value(fields.begin(), fields.end());
  EXPECT_EQ(value["RecipientCertificate"], "");
  EXPECT_EQ(value["SignerCertificate"], Serial("alice") + " from Test CA");
  EXPECT_EQ(value["SignatureValid"], "yes");
  EXPECT_EQ(value["Decrypted"], "no");
  EXPECT_EQ(value["VerifyStatus"], "0x00000000 The operation completed successfully.");
  EXPECT_EQ(value["DecryptStatus"], "0x00000002 not checked");
  // Without the CA in "Root" the chain stops at alice's issuer.
  EXPECT_EQ(value["ChainStatus"], "0x00010000 partial chain");
  EXPECT_EQ(value["CertificateStatus"], "0x00000000");
  // Lists are joined by ", " and no value spans lines.
  EXPECT_NE(value["Attributes"].find(", 1.2.840.113549.1.9.5="), std::string::npos);
  for (const auto& f : fields) EXPECT_EQ(f.second.find_first_of("\r\n"), std::string::npos) << f.first;
  EXPECT_EQ(TrustStatusText(0x10021), "not time valid, untrusted root, partial chain");
  EXPECT_EQ(TrustStatusText(0x2), "other bits 0x00000002");
  EXPECT_EQ(StatusCodeText(kStatusSignerNotFound),
            "The certificate for the signer of the message is invalid or not found.");
}
