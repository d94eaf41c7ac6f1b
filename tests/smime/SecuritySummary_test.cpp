// The message-level security summary: peeling of nested layers, which
// layer the summary copies, the signer's chain and address, and the
// address book.
#include <gtest/gtest.h>

#include "SmimeTestSupport.h"
#include "smime/CertificateStore.h"

using namespace tessel;
using namespace smimetest;

namespace {

const std::string kFromAlice = "From: Alice Signer <Alice@Example.com>\r\n";

std::unique_ptr<TMessage> SignedBy(const std::string& signer, const std::string& from = kFromAlice) {
  return Load(Pkcs7Mime(SignOpaque(PkiContent(), signer), "signed-data", from));
}

}  // namespace

class Summary_ : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(Summary_, nested_layers_are_peeled_and_the_first_of_each_kind_summarised) {
  Stores.PutIdentity("My", "carol");
  // A multipart/signed by alice, enveloped for carol, opaque-signed by deep.
  std::string enveloped = Pkcs7Mime(Encrypt(MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s"))), "");
  auto message = Load(Pkcs7Mime(SignOpaque(enveloped, "deep"), "signed-data", kFromAlice));
  ASSERT_EQ(message->RootCount(), 3);
  auto first = dynamic_cast<TSmimeBodyPart*>(message->Roots(0)), second = dynamic_cast<TSmimeBodyPart*>(message->Roots(1));
  auto third = dynamic_cast<TMultipartSigned*>(message->Roots(2));
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(first->Kind * 10 + second->Kind, TSmimeBodyPart::skSigned * 10 + TSmimeBodyPart::skEnveloped);
  EXPECT_EQ(third->Info->VerifyStatus, 0u);
  EXPECT_EQ(message->TextPart, third->ContentPart);

  TSmimeInfo& summary = Summary(*message);
  EXPECT_EQ(summary.SignerCertificate.SerialNumber(), Serial("deep"));  // the outer signature
  EXPECT_EQ(summary.RecipientCertificate.SerialNumber(), Serial("carol"));
  EXPECT_EQ(summary.DecryptStatus, 0u);
  EXPECT_EQ(summary.Algorithm, second->Info->Algorithm);
  // deep's layer and the multipart/signed root are two signed layers.
  EXPECT_FALSE(summary.SingleLayer);
  EXPECT_EQ(summary.SignerEmail, "");  // deep has no address
  EXPECT_FALSE(summary.FromMatches);

  EXPECT_TRUE(Summary(*SignedBy("alice")).SingleLayer);
  EXPECT_EQ(Load(Pkcs7Mime(SignOpaque(Pkcs7Mime(SignOpaque(PkiContent()), "")), ""))->RootCount(), 3);
}

TEST_F(Summary_, signer_address_is_matched_against_the_from_field) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"alice@example.com", "ALICE@Example.COM", true},
      {"Alice@Example.com", "\"Alice\" <alice@example.com>, bob@example.com", true},
      {"alice@example.com", "Alice alice@example.com", false},  // only in angle brackets
      {"alice@example.com", "<malice@example.com>", false},
      {"", "", false},  // no signer address matches nothing
      {"", "Someone <>", false},
  };
  for (const auto& [address, from, match] : cases) EXPECT_EQ(MatchSignerAddress(address, from), match) << from;
  EXPECT_TRUE(Summary(*SignedBy("alice")).FromMatches);
  EXPECT_FALSE(Summary(*SignedBy("alice", "From: mallory@example.com\r\n")).FromMatches);
  EXPECT_FALSE(Summary(*Load("Content-Type: text/plain\r\n\r\nplain\r\n")).FromMatches);
}

TEST_F(Summary_, chain_time_and_revocation_follow_the_root_store) {
  TSmimeInfo untrusted = Summary(*SignedBy("alice"));
  EXPECT_TRUE(untrusted.SignatureValid);
  EXPECT_EQ(untrusted.ChainStatus, crypto::kTrustIsPartialChain);
  EXPECT_EQ(untrusted.SigningTime.size(), 13u);  // a UTCTime: YYMMDDhhmmssZ
  EXPECT_EQ(untrusted.SignerEmail, "alice@example.com");
  // Rows in order, each adding a file to "Root"; the flags are ChainTrusted,
  // TimeValid, NotRevoked and HasRevocationInfo.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"alice", "", "0110"}, {"alice", "ca.pem", "1110"}, {"expired", "", "0010"},
      {"revoked", "ca.crl", "0101"}, {"alice", "", "1111"},
  };
  for (const auto& [signer, rootFile, flags] : cases) {
    if (*rootFile) Stores.Put("Root", rootFile, rootFile);
    TSmimeInfo i = Summary(*SignedBy(signer));
    EXPECT_EQ(i.VerifyStatus, 0u) << signer;
    std::string bits;
    for (bool flag : {i.ChainTrusted, i.TimeValid, i.NotRevoked, i.HasRevocationInfo}) bits += flag ? '1' : '0';
    EXPECT_EQ(bits, flags) << signer << " " << rootFile;
    EXPECT_EQ(i.ChainTrusted, (i.ChainStatus | i.CertificateStatus) == 0) << signer;
  }
}

TEST_F(Summary_, the_signer_certificate_goes_into_the_address_book_once) {
  auto book = [] {
    auto store = TCertStore::Open("AddressBook");
    return store ? store->Certificates() : std::vector<crypto::TCertHandle>();
  };
  Load("Content-Type: text/plain\r\n\r\nplain\r\n");
  Load(Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  EXPECT_TRUE(book().empty());
  SignedBy("alice");
  SignedBy("alice");
  EXPECT_EQ(book(), std::vector<crypto::TCertHandle>{Cert("alice")});
}

TEST_F(Summary_, message_without_layers_keeps_the_initial_codes_across_reparsing) {
  auto message = Load("From: a@example.com\r\nContent-Type: text/plain\r\n\r\nplain\r\n");
  for (int pass = 0; pass < 2; ++pass) {
    TSmimeInfo& s = Summary(*message);
    EXPECT_EQ(s.VerifyStatus, kStatusNotChecked);
    EXPECT_EQ(s.DecryptStatus, kStatusNotChecked);
    EXPECT_FALSE(s.SignatureValid || s.Verified || s.Decrypted);
    EXPECT_TRUE(s.SingleLayer);
    message->Reparse();
  }
}
