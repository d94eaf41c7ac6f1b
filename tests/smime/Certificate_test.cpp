// TCertificate: names, serial numbers, making and the display hook;
// certificate chains as trust-status bits.
#include "SmimeTestSupport.h"
#include "asn1/asn1.h"
#include "smime/cms/CertificateChain.h"
#include "util/system/Exception.h"

using namespace smimetest;
using namespace tessel;

namespace {

TCertificate Named(const std::string& name) { return name.empty() ? TCertificate() : TCertificate(Cert(name)); }

TEST(CertificateNames, parts_issuer_name_and_serial_number) {
  const struct {
    const char* Name;
    TStringListX Subject, Issuer;
    const char* IssuerName;
    const char* Serial;  // nullptr: random
  } cases[] = {
      {"alice",
       {"C=PL", "O=Example", "CN=Alice Signer", "E=alice@example.com"},
       {"C=PL", "O=Example", "CN=Test CA"},
       "Test CA",
       "1000"},  // the test CA's first serial, 0x1000
      {"unitleaf", {"O=Example", "CN=Unit Leaf"}, {"O=Example", "OU=Unit"}, "Example", nullptr},  // no CN: first value
      // A later attribute of a name replaces the earlier in place.
      {"twoou", {"OU=Second", "CN=Two OU"}, {"OU=Second", "CN=Two OU"}, "Two OU", nullptr},
      {"serialno", {"CN=Serial Test"}, {"CN=Serial Test"}, "Serial Test", "010AFF"},
      {"", {}, {}, "", ""}};
  for (const auto& c : cases) {
    TCertificate cert = Named(c.Name);
    EXPECT_EQ(cert.SubjectParts(), c.Subject) << c.Name;
    EXPECT_EQ(cert.IssuerParts(), c.Issuer) << c.Name;
    EXPECT_EQ(cert.IssuerName(), c.IssuerName) << c.Name;
    if (c.Serial) {
      EXPECT_EQ(cert.SerialNumber(), c.Serial) << c.Name;
    }
  }
  using enum TNameAttribute;
  const std::tuple<const char*, TNameOf, TNameAttribute, const char*> attributes[] = {
      {"alice", TNameOf::Subject, CommonName, "Alice Signer"},
      {"alice", TNameOf::Subject, OrganizationalUnit, ""},
      {"alice", TNameOf::Subject, Organization, "Example"},
      {"alice", TNameOf::Subject, EmailAddress, "alice@example.com"},
      {"alice", TNameOf::Issuer, CommonName, "Test CA"},
      {"unitleaf", TNameOf::Issuer, OrganizationalUnit, "Unit"},
      {"", TNameOf::Subject, CommonName, ""}};
  for (const auto& [name, whose, which, value] : attributes)
    EXPECT_EQ(Named(name).NameAttribute(whose, which), value) << name << int(whose) << int(which);
}

TEST(CertificateNames, name_parts_skip_multi_valued_sets_and_name_unknown_oids_empty) {
  std::string cn = Seq(Oid("2.5.4.3") + Tlv(0x0C, "Ann"));
  std::string o = Seq(Oid("2.5.4.10") + Tlv(0x13, "Org"));
  std::string unknown = Seq(Oid("1.2.3.4") + Tlv(0x13, "x"));
  std::string name = Seq(Set(cn) + Set(o + cn) + Set(unknown) + Set(Seq(Integer("\x01") + Tlv(0x13, "y"))));
  EXPECT_EQ(NameParts(name), (TStringListX{"CN=Ann", "=x"}));
  EXPECT_TRUE(NameParts(std::string("garbage")).empty());
  // Values as UTF-8 whatever their string type; non-strings in hex.
  const std::pair<std::string, const char*> values[] = {
      {Tlv(0x1E, std::string("\x00\xC5\x00n\x00n", 6)), "CN=\xC3\x85nn"},      // BMPString
      {Tlv(0x1C, std::string("\x00\x01\xF6\x00", 4)), "CN=\xF0\x9F\x98\x80"},  // UniversalString
      {Tlv(0x14, "\xC5nn"), "CN=\xC3\x85nn"},                                  // T61String, Latin-1
      {Tlv(0x04, "\x01\xFF"), "CN=01 FF"},                                     // OCTET STRING
  };
  for (const auto& [value, expected] : values)
    EXPECT_EQ(NameParts(Seq(Set(Seq(Oid("2.5.4.3") + value)))), TStringListX{expected}) << expected;
}

TEST(CertificateCreate, from_der_base64_or_pem_and_nothing_from_other_octets) {
  const std::string der = CertDer("alice");
  for (const std::string& good : {der, Base64(der), PkiFile("alice.pem")}) {
    TStringStream s(good);
    EXPECT_EQ(TCertificate::CreateFromStream(s).Encoded(), der);
  }
  for (const std::string& bad :
       {std::string(), std::string("hello world"), std::string("==AB"), der + "x", der.substr(0, 100)}) {
    TStringStream s(bad);
    TCertificate c = TCertificate::CreateFromStream(s);
    EXPECT_TRUE(c.IsEmpty());
    EXPECT_EQ(c.Encoded(), "");
  }
}

TEST(CertificateCreate, from_element_writes_no_file) {
  TTempDir temp;
  fs::path dir = temp.Path(), old = fs::current_path();
  fs::current_path(dir);
  std::string der = CertDer("bob");
  std::unique_ptr<TAsnElem> element = ParseAsn(der.data(), static_cast<int32_t>(der.size()));
  TCertificate c = TCertificate::CreateFromElement(*element);
  bool wroteFiles = !fs::is_empty(dir);
  fs::current_path(old);
  EXPECT_EQ(c.Encoded(), der);
  EXPECT_FALSE(wroteFiles);
}

TEST(CertificateCreate, copies_and_assign_hold_the_same_certificate) {
  TCertificate alice = Named("alice");
  alice.SetCompanions({Cert("ca")});
  TCertificate copy = alice;
  EXPECT_EQ(copy.Encoded(), alice.Encoded());
  EXPECT_EQ(copy.Companions().size(), 1u);
  TCertificate other = Named("bob");
  (void)other.SubjectParts();  // cached lists must follow the new certificate
  other.Assign(&alice);
  EXPECT_EQ(other.SubjectParts()[2], "CN=Alice Signer");
  other.Assign(nullptr);
  EXPECT_TRUE(other.IsEmpty());
  EXPECT_TRUE(other.SubjectParts().empty());
}

TEST(CertificateShow, hook_gets_a_temporary_der_file_and_without_one_it_cannot_display) {
  std::vector<std::string> seen;  // path, octets and subject name of each call
  SetCertificateDisplayHook([&](const TCertificate& c, const std::string& path) {
    seen.insert(seen.end(), {path, ReadFileBytes(path), c.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName)});
    return 0;
  });
  Named("alice").Show();
  TCertificate().Show();  // an empty object shows nothing
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1], CertDer("alice"));
  EXPECT_EQ(seen[2], "Alice Signer");
  EXPECT_NE(fs::path(seen[0]).filename().string().find("KelMsg"), std::string::npos);
  EXPECT_EQ(fs::path(seen[0]).extension(), ".cer");
  EXPECT_FALSE(fs::exists(seen[0]));  // removed afterwards
  const TCertificateDisplayHook failing = [](auto&, auto&) { return 1; };
  for (const TCertificateDisplayHook& hook : {TCertificateDisplayHook(), failing}) {
    SetCertificateDisplayHook(hook);
    try {
      Named("alice").Show();
      ADD_FAILURE() << "shown";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Cannot display certificate");
    }
  }
  SetCertificateDisplayHook(nullptr);
}

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
      {"intermediate in address book", {{"Root", "ca.pem"}, {"AddressBook", "inter.pem"}}, "deep", {}, 0, 0, 3, false},
      {"expired", {{"Root", "ca.pem"}}, "expired", {}, kTime, kTime, 2, false},
      {"not yet valid", {{"Root", "ca.pem"}}, "alice", {}, kTime, kTime, 2, false, 946684800 /* 2000-01-01 */},
      {"revoked", {{"Root", "ca.pem"}, {"Root", "ca.crl"}}, "revoked", {}, kTrustIsRevoked, kTrustIsRevoked, 2, true},
      {"not revoked", {{"Root", "ca.pem"}, {"Root", "ca.crl"}}, "alice", {}, 0, 0, 2, true},
      // A certificate whose issuer published no list is not checked.
      {"issuer without a list", {{"Root", "ca.pem"}, {"Root", "ca.crl"}}, "deep", {"inter"}, 0, 0, 3, false}};
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

TEST(CertificateChain, forged_signatures_and_unsuitable_use_have_their_own_bits) {
  TStoreSandbox stores;
  stores.Put("Root", "ca.pem", "ca.pem");
  // A certificate whose own signature was changed: its value is the last
  // field of the encoding.
  std::string forged = CertDer("alice");
  forged.back() ^= 0x01;
  // A chain through an intermediate whose own signature was changed.
  std::string forgedInter = CertDer("inter");
  forgedInter.back() ^= 0x01;
  constexpr TChainUse kMail = TChainUse::MailSigning, kAny = TChainUse::Any;
  constexpr uint32_t kSignature = kTrustIsNotSignatureValid, kUsage = kTrustIsNotValidForUsage;
  const struct {
    const char* What;
    crypto::TCertHandle Certificate;
    std::vector<crypto::TCertHandle> Companions;
    TChainUse Use;
    uint32_t ChainStatus, CertificateStatus;
  } cases[] = {{"sound", Cert("alice"), {}, kMail, 0, 0},
               {"forged signature", crypto::TCertHandle::FromDer(forged), {}, kAny, kSignature, kSignature},
               {"sound intermediate", Cert("deep"), {Cert("inter")}, kMail, 0, 0},
               {"forged intermediate", Cert("deep"), {crypto::TCertHandle::FromDer(forgedInter)}, kAny, kSignature, 0},
               // Key usage without digital signature, extended key usage for servers.
               {"key usage forbids signing", Cert("nosign"), {}, kMail, kUsage, kUsage},
               {"server authentication only", Cert("webonly"), {}, kMail, kUsage, kUsage},
               // Without a use to check, both are sound certificates.
               {"key usage, any use", Cert("nosign"), {}, kAny, 0, 0},
               {"server authentication, any use", Cert("webonly"), {}, kAny, 0, 0}};
  for (const auto& c : cases) {
    ASSERT_FALSE(c.Certificate.Empty()) << c.What;
    TCertificate certificate(c.Certificate);
    certificate.SetCompanions(c.Companions);
    TCertificateChain chain;
    ASSERT_TRUE(GetCertificateChain(certificate, chain, 0, c.Use)) << c.What;
    EXPECT_EQ(chain.ChainStatus, c.ChainStatus) << c.What;
    EXPECT_EQ(chain.CertificateStatus, c.CertificateStatus) << c.What;
  }
}

TEST(CertificateChain, empty_certificate_has_no_chain) {
  TCertificateChain chain;
  chain.ChainStatus = 77;
  EXPECT_FALSE(GetCertificateChain(TCertificate(), chain));
  EXPECT_EQ(chain.ChainStatus, 77u);
}

}  // namespace
