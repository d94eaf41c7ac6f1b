// Certificate chains as trust-status bits: trusted roots from the "Root"
// store, intermediates from the message and "AddressBook", time validity and
// revocation lists.
#include "SmimeTestSupport.h"
#include "smime/CertificateChain.h"

using namespace smimetest;
using namespace tessel;

namespace {

constexpr uint32_t kPartial = kTrustIsPartialChain, kUntrusted = kTrustIsUntrustedRoot, kTime = kTrustIsNotTimeValid;

TEST(CertificateChain, status_bits_length_and_revocation_info) {
  const struct {
    const char* What;
    std::vector<std::pair<const char*, const char*>> Files;  // store, PKI file
    const char* Name;
    std::vector<std::string> Companions;  // certificates the message carries
    uint32_t ChainStatus, CertificateStatus;
    int32_t Length;
    bool HasRevocationInfo;
    int64_t Time = 0;
  } cases[] = {
      {"trusted", {{"Root", "ca.pem"}}, "alice", {}, 0, 0, 2, false},
      {"issuer missing", {}, "alice", {}, kPartial, 0, 1, false},
      {"root only in the address book", {{"AddressBook", "ca.pem"}}, "alice", {}, kUntrusted, 0, 2, false},
      // The message's own root is no more trusted than the address book's.
      {"root in the message", {}, "stranger", {"other"}, kUntrusted, 0, 2, false},
      {"self-signed alone", {}, "twoou", {}, kUntrusted, kUntrusted, 1, false},
      {"self-signed trusted", {{"Root", "twoou.pem"}}, "twoou", {}, 0, 0, 1, false},
      {"intermediate missing", {{"Root", "ca.pem"}}, "deep", {}, kPartial, 0, 1, false},
      {"intermediate in the message", {{"Root", "ca.pem"}}, "deep", {"inter"}, 0, 0, 3, false},
      {"intermediate in the address book", {{"Root", "ca.pem"}, {"AddressBook", "inter.pem"}}, "deep", {}, 0, 0, 3,
       false},
      {"expired", {{"Root", "ca.pem"}}, "expired", {}, kTime, kTime, 2, false},
      {"not yet valid", {{"Root", "ca.pem"}}, "alice", {}, kTime, kTime, 2, false, 946684800 /* 2000-01-01 */},
      {"revoked", {{"Root", "ca.pem"}, {"Root", "ca.crl"}}, "revoked", {}, kTrustIsRevoked, kTrustIsRevoked, 2, true},
      {"not revoked", {{"Root", "ca.pem"}, {"Root", "ca.crl"}}, "alice", {}, 0, 0, 2, true},
      // A certificate whose issuer published no list is not checked.
      {"issuer without a list", {{"Root", "ca.pem"}, {"Root", "ca.crl"}}, "deep", {"inter"}, 0, 0, 3, false},
  };
  for (const auto& c : cases) {
    TStoreSandbox stores;
    for (const auto& [store, file] : c.Files) stores.Put(store, file, file);
    TCertificate certificate(Cert(c.Name));
    std::vector<crypto::TCertHandle> companions;
    for (const std::string& n : c.Companions) companions.push_back(Cert(n));
    certificate.SetCompanions(companions);
    TCertificateChain chain;
    ASSERT_TRUE(GetCertificateChain(certificate, chain, c.Time)) << c.What;
    EXPECT_EQ(chain.ChainStatus, c.ChainStatus) << c.What;
    EXPECT_EQ(chain.CertificateStatus, c.CertificateStatus) << c.What;
    EXPECT_EQ(chain.Length, c.Length) << c.What;
    EXPECT_EQ(chain.HasRevocationInfo, c.HasRevocationInfo) << c.What;
  }
}

TEST(CertificateChain, empty_certificate_has_no_chain) {
  TCertificateChain chain;
  chain.ChainStatus = 77;
  EXPECT_FALSE(GetCertificateChain(TCertificate(), chain));
  EXPECT_EQ(chain.ChainStatus, 77u);
}

}  // namespace
