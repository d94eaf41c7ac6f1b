// Certificate chains as trust-status bits: trusted roots from the "Root"
// store, intermediates from the message and "AddressBook", time validity and
// revocation lists.
#include "SmimeTestSupport.h"
#include "smime/CertificateChain.h"

using namespace smimetest;
using namespace tessel;

namespace {

class ChainTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;

  TCertificateChain Chain(const std::string& name, std::vector<std::string> companions = {}, int64_t time = 0) {
    TCertificate c(Cert(name));
    std::vector<crypto::TCertHandle> list;
    for (const std::string& n : companions) list.push_back(Cert(n));
    c.SetCompanions(list);
    TCertificateChain chain;
    EXPECT_TRUE(GetCertificateChain(c, chain, time)) << name;
    return chain;
  }
};

TEST_F(ChainTest, trusted_through_the_root_store) {
  Stores.Put("Root", "ca.pem", "ca.pem");
  TCertificateChain chain = Chain("alice");
  EXPECT_EQ(chain.ChainStatus, 0u);
  EXPECT_EQ(chain.CertificateStatus, 0u);
  EXPECT_EQ(chain.Length, 2);
  EXPECT_FALSE(chain.HasRevocationInfo);
}

TEST_F(ChainTest, missing_issuer_is_a_partial_chain) {
  TCertificateChain chain = Chain("alice");
  EXPECT_EQ(chain.ChainStatus & kTrustIsPartialChain, kTrustIsPartialChain);
  EXPECT_EQ(chain.CertificateStatus & kTrustIsNotTimeValid, 0u);
  EXPECT_EQ(chain.Length, 1);
}

TEST_F(ChainTest, root_known_only_from_the_address_book_is_untrusted) {
  Stores.Put("AddressBook", "ca.pem", "ca.pem");
  TCertificateChain chain = Chain("alice");
  EXPECT_EQ(chain.ChainStatus & kTrustIsUntrustedRoot, kTrustIsUntrustedRoot);
  EXPECT_EQ(chain.ChainStatus & kTrustIsPartialChain, 0u);
  EXPECT_EQ(chain.Length, 2);
  // The message's own root is no more trusted than the address book's.
  TCertificateChain stranger = Chain("stranger", {"other"});
  EXPECT_EQ(stranger.ChainStatus & kTrustIsUntrustedRoot, kTrustIsUntrustedRoot);
}

TEST_F(ChainTest, self_signed_certificate_alone_is_an_untrusted_root_of_its_own) {
  TCertificateChain chain = Chain("twoou");
  EXPECT_EQ(chain.CertificateStatus & kTrustIsUntrustedRoot, kTrustIsUntrustedRoot);
  Stores.Put("Root", "twoou.pem", "twoou.pem");
  EXPECT_EQ(Chain("twoou").ChainStatus, 0u);
}

TEST_F(ChainTest, intermediate_from_the_message_completes_the_chain) {
  Stores.Put("Root", "ca.pem", "ca.pem");
  EXPECT_EQ(Chain("deep").ChainStatus & kTrustIsPartialChain, kTrustIsPartialChain);
  TCertificateChain chain = Chain("deep", {"inter"});
  EXPECT_EQ(chain.ChainStatus, 0u);
  EXPECT_EQ(chain.Length, 3);
  Stores.Put("AddressBook", "inter.pem", "inter.pem");
  EXPECT_EQ(Chain("deep").ChainStatus, 0u);
}

TEST_F(ChainTest, expired_certificate_is_not_time_valid) {
  Stores.Put("Root", "ca.pem", "ca.pem");
  TCertificateChain chain = Chain("expired");
  EXPECT_EQ(chain.CertificateStatus, kTrustIsNotTimeValid);
  EXPECT_EQ(chain.ChainStatus, kTrustIsNotTimeValid);
  // Before its start, a valid certificate is not time valid either.
  EXPECT_EQ(Chain("alice", {}, 946684800 /* 2000-01-01 */).CertificateStatus & kTrustIsNotTimeValid,
            kTrustIsNotTimeValid);
}

TEST_F(ChainTest, revocation_list_in_the_root_store_marks_revoked_certificates) {
  Stores.Put("Root", "ca.pem", "ca.pem");
  Stores.Put("Root", "ca.crl", "ca.crl");
  TCertificateChain revoked = Chain("revoked");
  EXPECT_EQ(revoked.CertificateStatus, kTrustIsRevoked);
  EXPECT_TRUE(revoked.HasRevocationInfo);
  TCertificateChain alice = Chain("alice");
  EXPECT_EQ(alice.ChainStatus, 0u);
  EXPECT_TRUE(alice.HasRevocationInfo);
  // A certificate whose issuer published no list is not checked.
  TCertificateChain deep = Chain("deep", {"inter"});
  EXPECT_EQ(deep.ChainStatus, 0u);
  EXPECT_FALSE(deep.HasRevocationInfo);
}

TEST_F(ChainTest, empty_certificate_has_no_chain) {
  TCertificateChain chain;
  chain.ChainStatus = 77;
  EXPECT_FALSE(GetCertificateChain(TCertificate(), chain));
  EXPECT_EQ(chain.ChainStatus, 77u);
}

}  // namespace
