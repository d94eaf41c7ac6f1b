// TCertificate: names, serial numbers, making certificates from octets and
// elements, the display hook, and lookups in the user's stores.
#include "SmimeTestSupport.h"
#include "asn1/asn1.h"
#include "smime/Certificate.h"
#include "smime/CertificateStore.h"
#include "smime/NameValueList.h"
#include "util/Base64.h"
#include "util/MemoryStream.h"
#include "util/WinError.h"

using namespace smimetest;
using namespace tessel;

namespace {

TCertificate Load(const std::string& name) { return TCertificate(Cert(name)); }

std::string Base64Of(const std::string& octets) {
  TStringStream s;
  Base64EncodeBuffer(octets.data(), static_cast<int32_t>(octets.size()), s);
  return s.DataString();
}

std::string IssuerBase64(const std::string& name) { return Base64Of(Cert(name).IssuerDer()); }

// --- names and serial numbers --------------------------------------------------

TEST(CertificateNames, issuer_parts_in_order_and_issuer_name) {
  TCertificate alice = Load("alice");
  EXPECT_EQ(alice.IssuerParts(), (TStringListX{"C=PL", "O=Example", "CN=Test CA"}));
  EXPECT_EQ(alice.IssuerName(), "Test CA");
  EXPECT_EQ(alice.SubjectParts(),
            (TStringListX{"C=PL", "O=Example", "CN=Alice Signer", "E=alice@example.com"}));
}

TEST(CertificateNames, issuer_without_common_name_gives_first_value) {
  EXPECT_EQ(Load("unitleaf").IssuerName(), "Example");
  EXPECT_EQ(Load("unitleaf").IssuerParts(), (TStringListX{"O=Example", "OU=Unit"}));
  EXPECT_EQ(TCertificate().IssuerName(), "");
}

TEST(CertificateNames, later_attribute_of_a_name_replaces_the_earlier_in_place) {
  EXPECT_EQ(Load("twoou").SubjectParts(), (TStringListX{"OU=Second", "CN=Two OU"}));
}

TEST(CertificateNames, name_parts_skip_multi_valued_sets_and_name_unknown_oids_empty) {
  std::string cn = Seq(Oid("2.5.4.3") + Tlv(0x0C, "Ann"));
  std::string o = Seq(Oid("2.5.4.10") + Tlv(0x13, "Org"));
  std::string unknown = Seq(Oid("1.2.3.4") + Tlv(0x13, "x"));
  std::string name = Seq(Set(cn) + Set(o + cn) + Set(unknown) + Set(Seq(Integer("\x01") + Tlv(0x13, "y"))));
  EXPECT_EQ(NameParts(name), (TStringListX{"CN=Ann", "=x"}));
  EXPECT_TRUE(NameParts(std::string("garbage")).empty());
}

TEST(CertificateNames, name_attribute_by_number) {
  TCertificate alice = Load("alice");
  EXPECT_EQ(alice.NameAttribute(false, 0), "Alice Signer");
  EXPECT_EQ(alice.NameAttribute(false, 1), "");
  EXPECT_EQ(alice.NameAttribute(false, 2), "Example");
  EXPECT_EQ(alice.NameAttribute(false, 3), "alice@example.com");
  EXPECT_EQ(alice.NameAttribute(true, 0), "Test CA");
  EXPECT_EQ(alice.NameAttribute(false, 4), "");
  EXPECT_EQ(alice.NameAttribute(false, -1), "");
  EXPECT_EQ(Load("unitleaf").NameAttribute(true, 1), "Unit");
  EXPECT_EQ(TCertificate().NameAttribute(false, 0), "");
}

TEST(CertificateNames, serial_number_hex_most_significant_first) {
  EXPECT_EQ(Load("serialno").SerialNumber(), "010AFF");
  EXPECT_EQ(Load("alice").SerialNumber(), "1000");  // the test CA's first serial, 0x1000
  EXPECT_EQ(TCertificate().SerialNumber(), "");
}

// --- making certificates --------------------------------------------------------

TEST(CertificateCreate, from_der_base64_and_pem_streams_give_the_same_certificate) {
  std::string der = CertDer("alice");
  TStringStream derStream(der);
  TStringStream b64Stream(Base64Of(der));
  TStringStream pemStream(PkiFile("alice.pem"));
  EXPECT_EQ(TCertificate::CreateFromStream(derStream).Encoded(), der);
  EXPECT_EQ(TCertificate::CreateFromStream(b64Stream).Encoded(), der);
  EXPECT_EQ(TCertificate::CreateFromStream(pemStream).Encoded(), der);
}

TEST(CertificateCreate, octets_that_are_no_certificate_give_an_empty_object) {
  for (const std::string& bad : {std::string(), std::string("hello world"), std::string("==AB"),
                                 CertDer("alice") + "x", CertDer("alice").substr(0, 100)}) {
    TStringStream s(bad);
    TCertificate c = TCertificate::CreateFromStream(s);
    EXPECT_TRUE(c.IsEmpty());
    EXPECT_EQ(c.Encoded(), "");
  }
}

TEST(CertificateCreate, from_element_writes_no_file) {
  char pattern[] = "/tmp/tessel-cert-cwd-XXXXXX";
  fs::path dir = ::mkdtemp(pattern);
  fs::path old = fs::current_path();
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
  TCertificate alice = Load("alice");
  alice.SetCompanions({Cert("ca")});
  TCertificate copy = alice;
  EXPECT_EQ(copy.Encoded(), alice.Encoded());
  EXPECT_EQ(copy.IssuerName(), "Test CA");
  EXPECT_EQ(copy.Companions().size(), 1u);
  TCertificate other = Load("bob");
  (void)other.SubjectParts();  // cached lists must follow the new certificate
  other.Assign(&alice);
  EXPECT_EQ(other.NameAttribute(false, 0), "Alice Signer");
  EXPECT_EQ(other.SubjectParts()[2], "CN=Alice Signer");
  other.Assign(nullptr);
  EXPECT_TRUE(other.IsEmpty());
  EXPECT_TRUE(other.SubjectParts().empty());
}

// --- display hook ---------------------------------------------------------------------

TEST(CertificateShow, without_hook_or_when_the_hook_fails_it_cannot_display) {
  SetCertificateDisplayHook(nullptr);
  EXPECT_THROW(
      {
        try {
          Load("alice").Show();
        } catch (const Exception& e) {
          EXPECT_STREQ(e.what(), "Cannot display certificate");
          throw;
        }
      },
      Exception);
  SetCertificateDisplayHook([](const TCertificate&, const std::string&) { return 1; });
  EXPECT_THROW(Load("alice").Show(), Exception);
  SetCertificateDisplayHook(nullptr);
}

TEST(CertificateShow, hook_gets_a_temporary_der_file_removed_afterwards) {
  std::string seenPath, seenBytes;
  int calls = 0;
  SetCertificateDisplayHook([&](const TCertificate& c, const std::string& path) {
    ++calls;
    seenPath = path;
    seenBytes = ReadFile(path);
    EXPECT_EQ(c.NameAttribute(false, 0), "Alice Signer");
    return 0;
  });
  Load("alice").Show();
  TCertificate().Show();  // an empty object shows nothing
  SetCertificateDisplayHook(nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seenBytes, CertDer("alice"));
  EXPECT_NE(fs::path(seenPath).filename().string().find("KelMsg"), std::string::npos);
  EXPECT_EQ(fs::path(seenPath).extension(), ".cer");
  EXPECT_FALSE(fs::exists(seenPath));
}

// --- stores -----------------------------------------------------------------------

class CertificateStoreTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(CertificateStoreTest, find_takes_the_first_of_three_with_the_issuer_in_file_name_order) {
  Stores.Put("AddressBook", "dave.pem", "c.pem");
  Stores.Put("AddressBook", "other.pem", "0.pem");  // another issuer, first in order
  Stores.Put("AddressBook", "carol.pem", "b.pem");
  Stores.Put("AddressBook", "bob.pem", "a.pem");
  TCertificate c;
  c.FindInStore("AddressBook", IssuerBase64("bob"), false, "");
  EXPECT_EQ(c.Encoded(), CertDer("bob"));
}

TEST_F(CertificateStoreTest, find_with_serial_and_a_der_file) {
  Stores.Put("AddressBook", "bob.pem", "a.pem");
  WriteFile(Stores.Store("AddressBook") / "b.cer", CertDer("carol"));
  TCertificate carol = Load("carol");
  TCertificate c;
  c.FindInStore("AddressBook", IssuerBase64("carol"), false, carol.SerialNumber());
  EXPECT_EQ(c.Encoded(), CertDer("carol"));
  c.FindInStore("AddressBook", IssuerBase64("carol"), false, "FFFF");
  EXPECT_TRUE(c.IsEmpty());
}

TEST_F(CertificateStoreTest, find_requiring_a_key_gives_nothing_when_the_winner_has_none) {
  Stores.Put("My", "bob.pem", "a.pem");
  Stores.PutIdentity("My", "carol");
  TCertificate c;
  c.FindInStore("My", IssuerBase64("bob"), true, "");
  EXPECT_TRUE(c.IsEmpty());
  c.FindInStore("My", IssuerBase64("carol"), true, Load("carol").SerialNumber());
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
  TCertificate bob = Load("bob");
  bob.AddToStore("AddressBook");
  fs::path file = Stores.Root() / "AddressBook" / (Cert("bob").Sha256Hex() + ".pem");
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(ReadFile(file), PkiFile("bob.pem"));
  bob.AddToStore("AddressBook");  // already there: no second file
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
