// TCertificate: names, serial numbers, making certificates from octets and
// elements, the display hook, and lookups in the user's stores.
#include "SmimeTestSupport.h"
#include "asn1/asn1.h"
#include "smime/CertificateStore.h"
#include "util/WinError.h"

using namespace smimetest;
using namespace tessel;

namespace {

TCertificate Named(const std::string& name) { return name.empty() ? TCertificate() : TCertificate(Cert(name)); }
std::string IssuerBase64(const std::string& name) { return Base64(Cert(name).IssuerDer()); }

TEST(CertificateNames, parts_issuer_name_and_serial_number) {
  const struct {
    const char* Name;
    TStringListX Subject, Issuer;
    const char* IssuerName;
    const char* Serial;  // nullptr: random
  } cases[] = {
      {"alice", {"C=PL", "O=Example", "CN=Alice Signer", "E=alice@example.com"}, {"C=PL", "O=Example", "CN=Test CA"},
       "Test CA", "1000"},  // the test CA's first serial, 0x1000
      {"unitleaf", {"O=Example", "CN=Unit Leaf"}, {"O=Example", "OU=Unit"}, "Example", nullptr},  // no CN: first value
      // A later attribute of a name replaces the earlier in place.
      {"twoou", {"OU=Second", "CN=Two OU"}, {"OU=Second", "CN=Two OU"}, "Two OU", nullptr},
      {"serialno", {"CN=Serial Test"}, {"CN=Serial Test"}, "Serial Test", "010AFF"},
      {"", {}, {}, "", ""},
  };
  for (const auto& c : cases) {
    TCertificate cert = Named(c.Name);
    EXPECT_EQ(cert.SubjectParts(), c.Subject) << c.Name;
    EXPECT_EQ(cert.IssuerParts(), c.Issuer) << c.Name;
    EXPECT_EQ(cert.IssuerName(), c.IssuerName) << c.Name;
    if (c.Serial) {
      EXPECT_EQ(cert.SerialNumber(), c.Serial) << c.Name;
    }
  }
  const std::tuple<const char*, bool, int, const char*> attributes[] = {
      {"alice", false, 0, "Alice Signer"}, {"alice", false, 1, ""}, {"alice", false, 2, "Example"},
      {"alice", false, 3, "alice@example.com"}, {"alice", true, 0, "Test CA"}, {"alice", false, 4, ""},
      {"alice", false, -1, ""}, {"unitleaf", true, 1, "Unit"}, {"", false, 0, ""},
  };
  for (const auto& [name, ofIssuer, number, value] : attributes)
    EXPECT_EQ(Named(name).NameAttribute(ofIssuer, number), value) << name << ofIssuer << number;
}

TEST(CertificateNames, name_parts_skip_multi_valued_sets_and_name_unknown_oids_empty) {
  std::string cn = Seq(Oid("2.5.4.3") + Tlv(0x0C, "Ann"));
  std::string o = Seq(Oid("2.5.4.10") + Tlv(0x13, "Org"));
  std::string unknown = Seq(Oid("1.2.3.4") + Tlv(0x13, "x"));
  std::string name = Seq(Set(cn) + Set(o + cn) + Set(unknown) + Set(Seq(Integer("\x01") + Tlv(0x13, "y"))));
  EXPECT_EQ(NameParts(name), (TStringListX{"CN=Ann", "=x"}));
  EXPECT_TRUE(NameParts(std::string("garbage")).empty());
}

TEST(CertificateCreate, from_der_base64_or_pem_and_nothing_from_other_octets) {
  const std::string der = CertDer("alice");
  for (const std::string& good : {der, Base64(der), PkiFile("alice.pem")}) {
    TStringStream s(good);
    EXPECT_EQ(TCertificate::CreateFromStream(s).Encoded(), der);
  }
  for (const std::string& bad : {std::string(), std::string("hello world"), std::string("==AB"), der + "x",
                                 der.substr(0, 100)}) {
    TStringStream s(bad);
    TCertificate c = TCertificate::CreateFromStream(s);
    EXPECT_TRUE(c.IsEmpty());
    EXPECT_EQ(c.Encoded(), "");
  }
}

TEST(CertificateCreate, from_element_writes_no_file) {
  fs::path dir = TempDir(), old = fs::current_path();
  fs::current_path(dir);
  std::string der = CertDer("bob");
  std::unique_ptr<TAsnElem> element = ParseAsn(der.data(), static_cast<int32_t>(der.size()));
  TCertificate c = TCertificate::CreateFromElement(*element);
  bool wroteFiles = !fs::is_empty(dir);
  fs::current_path(old);
  fs::remove_all(dir);
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
  std::string seenPath, seenBytes;
  int calls = 0;
  SetCertificateDisplayHook([&](const TCertificate& c, const std::string& path) {
    ++calls;
    seenPath = path;
    seenBytes = ReadFile(path);
    EXPECT_EQ(c.NameAttribute(false, 0), "Alice Signer");
    return 0;
  });
  Named("alice").Show();
  TCertificate().Show();  // an empty object shows nothing
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seenBytes, CertDer("alice"));
  EXPECT_NE(fs::path(seenPath).filename().string().find("KelMsg"), std::string::npos);
  EXPECT_EQ(fs::path(seenPath).extension(), ".cer");
  EXPECT_FALSE(fs::exists(seenPath));  // removed afterwards

  for (TCertificateDisplayHook hook : {TCertificateDisplayHook(), TCertificateDisplayHook([](auto&, auto&) { return 1; })}) {
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

class CertificateStoreTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(CertificateStoreTest, find_takes_the_first_fitting_file_in_name_order) {
  Stores.Put("AddressBook", "dave.pem", "c.pem");
  Stores.Put("AddressBook", "other.pem", "0.pem");  // another issuer, first in order
  WriteFile(Stores.Store("AddressBook") / "b.cer", CertDer("carol"));  // DER
  Stores.Put("AddressBook", "bob.pem", "a.pem");
  TCertificate c;
  c.FindInStore("AddressBook", IssuerBase64("bob"), false, "");
  EXPECT_EQ(c.Encoded(), CertDer("bob"));
  c.FindInStore("AddressBook", IssuerBase64("carol"), false, Serial("carol"));
  EXPECT_EQ(c.Encoded(), CertDer("carol"));
  c.FindInStore("AddressBook", IssuerBase64("carol"), false, "FFFF");
  EXPECT_TRUE(c.IsEmpty());

  // Requiring a key gives nothing when the first fitting one has none.
  Stores.Put("My", "bob.pem", "a.pem");
  Stores.PutIdentity("My", "carol");
  c.FindInStore("My", IssuerBase64("bob"), true, "");
  EXPECT_TRUE(c.IsEmpty());
  c.FindInStore("My", IssuerBase64("carol"), true, Serial("carol"));
  EXPECT_EQ(c.Encoded(), CertDer("carol"));
}

TEST_F(CertificateStoreTest, find_in_a_store_that_cannot_be_opened_raises) {
  WriteFile(Stores.Root() / "Blocked", "a file where a directory belongs");
  for (const char* name : {"Blocked", "..", "a/b"}) {
    TCertificate c;
    try {
      c.FindInStore(name, IssuerBase64("bob"), false, "");
      ADD_FAILURE() << name;
    } catch (const EWinException& e) {
      EXPECT_STREQ(e.what(), "Could not open the MY system store.");
      EXPECT_NE(e.ErrorCode, 0u);
    }
  }
}

TEST_F(CertificateStoreTest, add_to_store_is_exclusive_and_keeps_existing_files) {
  TCertificate bob = Named("bob");
  bob.AddToStore("AddressBook");
  bob.AddToStore("AddressBook");  // already there: no second file
  fs::path file = Stores.Root() / "AddressBook" / (Cert("bob").Sha256Hex() + ".pem");
  EXPECT_EQ(ReadFile(file), PkiFile("bob.pem"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Stores.Root() / "AddressBook"), fs::directory_iterator()), 1);

  // A file that holds the fingerprint's name is never overwritten.
  fs::path carolFile = Stores.Store("Other") / (Cert("carol").Sha256Hex() + ".pem");
  WriteFile(carolFile, "mine");
  std::string error;
  EXPECT_EQ(TCertStore::AddCertificate("Other", Cert("carol"), error), TCertStore::TAddResult::AlreadyThere);
  EXPECT_EQ(ReadFile(carolFile), "mine");
  // The same certificate under another file name is there already too.
  Stores.Put("Third", "dave.pem", "dave.pem");
  EXPECT_EQ(TCertStore::AddCertificate("Third", Cert("dave"), error), TCertStore::TAddResult::AlreadyThere);
  TCertificate().AddToStore("AddressBook");
}

}  // namespace
