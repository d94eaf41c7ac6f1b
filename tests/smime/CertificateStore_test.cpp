// The store directories: where they are, what a store reads, which keys it
// refuses, how certificates and keys are written, and lookups in them.
#include <sys/stat.h>

#include "SmimeTestSupport.h"
#include "smime/stores/CertificateStore.h"
#include "util/system/WinError.h"

using namespace smimetest;
using namespace tessel;

namespace {

std::string IssuerBase64(const std::string& name) { return Base64(Cert(name).IssuerDer()); }

mode_t FileMode(const fs::path& p) {
  struct stat st;
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(StoreDirectories, environment_decides_where_the_stores_are) {
  // $TESSEL_CERT_DIR, $XDG_DATA_HOME (only an absolute one counts), $HOME.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"/srv/certs/", "/data", "/srv/certs"},
      {nullptr, "/data", "/data/tessel/certs"},
      {"", "relative/ignored", "/home/u/.local/share/tessel/certs"}};
  TEnv home("HOME", "/home/u");
  for (const auto& [certDir, dataHome, expected] : cases) {
    TEnv dir("TESSEL_CERT_DIR", certDir), data("XDG_DATA_HOME", dataHome);
    EXPECT_EQ(TCertStore::StoresDirectory(), expected);
  }
  TEnv dir("TESSEL_CERT_DIR", "/srv/certs");
  EXPECT_EQ(TCertStore::StoreDirectory("My"), "/srv/certs/My");
}

using StoreTest = TSandboxTest;

TEST_F(StoreTest, bad_names_and_files_do_not_open_and_a_missing_store_is_empty) {
  std::unique_ptr<TCertStore> store = TCertStore::Open("Any Name");
  ASSERT_NE(store, nullptr);
  EXPECT_TRUE(store->Entries().empty());
  WriteFile(Stores.Root() / "File", "a file where a directory belongs");
  int error = 0;
  EXPECT_EQ(TCertStore::Open("File", &error), nullptr);
  EXPECT_EQ(error, ENOTDIR);
  for (const char* bad : {"", ".", "..", "a/b", "../My", "File"}) {
    EXPECT_EQ(TCertStore::StoreDirectory(bad) == "", *bad != 'F') << bad;
    EXPECT_EQ(TCertStore::Open(bad), nullptr) << bad;
    try {
      TCertificate().FindInStore(bad, IssuerBase64("bob"), false, "");
      ADD_FAILURE() << bad;
    } catch (const EWinException& e) {
      EXPECT_STREQ(e.what(), "Could not open the MY system store.");
      EXPECT_NE(e.ErrorCode, 0u);
    }
  }
}

TEST_F(StoreTest, contents_in_file_name_order_and_file_order) {
  fs::path dir = Stores.Store("AddressBook");
  WriteFile(dir / "b.pem", PkiFile("carol.pem") + PkiFile("bob.pem"));  // two in one file
  WriteFile(dir / "a.der", CertDer("dave"));
  WriteFile(dir / "c.crl", PkiFile("ca.crl"));
  WriteFile(dir / "d.txt", "notes, not a certificate");
  WriteFile(dir / ".hidden.pem", PkiFile("alice.pem"));
  fs::create_directory(dir / "e.pem");
  std::unique_ptr<TCertStore> store = TCertStore::Open("AddressBook");
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->Certificates(), (std::vector<crypto::TCertHandle>{Cert("dave"), Cert("carol"), Cert("bob")}));
  EXPECT_EQ(store->Crls().size(), 1u);
  EXPECT_FALSE(store->Entries()[0].HasKey());
}

TEST_F(StoreTest, pkcs12_without_password_holds_certificate_and_key_and_with_one_is_skipped) {
  Stores.Put("My", "carol-nopass.p12", "carol.p12", 0600);
  Stores.Put("My", "alice.p12", "alice.p12", 0600);  // needs "secret": nobody to ask
  std::unique_ptr<TCertStore> my = TCertStore::Open("My");
  ASSERT_EQ(my->Entries().size(), 1u);
  EXPECT_EQ(my->Entries()[0].Certificate, Cert("carol"));
  EXPECT_TRUE(my->Entries()[0].KeyInPkcs12);
  std::string problem;
  EXPECT_TRUE(my->LoadKey(my->Entries()[0], problem)) << problem;
  ::chmod((Stores.Root() / "My" / "carol.p12").c_str(), 0604);
  EXPECT_FALSE(my->LoadKey(my->Entries()[0], problem));
}

TEST_F(StoreTest, keys_are_written_private_beside_their_own_certificate_only) {
  mode_t old = ::umask(0);
  crypto::TCertHandle cert;
  crypto::TPrivateKey key;
  std::vector<crypto::TCertHandle> others;
  ASSERT_EQ(crypto::ReadPkcs12(PkiFile("carol-nopass.p12"), nullptr, cert, key, others), crypto::TPkcs12Result::Ok);
  std::string error;
  TCertStore::TAddResult r = TCertStore::AddCertificateWithKey("My", cert, key, error);
  ::umask(old);
  ASSERT_EQ(r, TCertStore::TAddResult::Added) << error;
  fs::path base = Stores.Root() / "My" / cert.Sha256Hex();
  EXPECT_EQ(FileMode(base.string() + ".key"), 0600u);
  EXPECT_EQ(FileMode(Stores.Root() / "My"), 0700u);
  EXPECT_EQ(TCertStore::AddCertificateWithKey("My", cert, key, error), TCertStore::TAddResult::AlreadyThere);
  // A key that is not the certificate's is not written.
  crypto::TPrivateKey bobKey = crypto::ReadPrivateKey(PkiFile("bob.key"), error);
  EXPECT_EQ(TCertStore::AddCertificateWithKey("My", Cert("dave"), bobKey, error), TCertStore::TAddResult::Failed);
  // A certificate there without key gets its key beside it.
  Stores.Put("My", "bob.pem", "bob.pem");
  EXPECT_EQ(TCertStore::AddCertificateWithKey("My", Cert("bob"), bobKey, error), TCertStore::TAddResult::Added);
  EXPECT_EQ(FileMode(Stores.Root() / "My" / "bob.key"), 0600u);
  std::unique_ptr<TCertStore> my = TCertStore::Open("My");
  ASSERT_EQ(my->Entries().size(), 2u);
  for (const TStoreEntry& entry : my->Entries()) EXPECT_TRUE(my->LoadKey(entry, error)) << error;
}

TEST_F(StoreTest, find_takes_the_first_fitting_file_in_name_order) {
  Stores.Put("AddressBook", "dave.pem", "c.pem");
  Stores.Put("AddressBook", "other.pem", "0.pem");                     // another issuer, first in order
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

TEST_F(StoreTest, add_to_store_is_exclusive_and_keeps_existing_files) {
  TCertificate bob(Cert("bob"));
  bob.AddToStore("AddressBook");
  bob.AddToStore("AddressBook");  // already there: no second file
  fs::path file = Stores.Root() / "AddressBook" / (Cert("bob").Sha256Hex() + ".pem");
  EXPECT_EQ(ReadFileBytes(file), PkiFile("bob.pem"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Stores.Root() / "AddressBook"), fs::directory_iterator()), 1);

  // A file that holds the fingerprint's name is never overwritten.
  fs::path carolFile = Stores.Store("Other") / (Cert("carol").Sha256Hex() + ".pem");
  WriteFile(carolFile, "mine");
  std::string error;
  EXPECT_EQ(TCertStore::AddCertificate("Other", Cert("carol"), error), TCertStore::TAddResult::AlreadyThere);
  EXPECT_EQ(ReadFileBytes(carolFile), "mine");
  // The same certificate under another file name is there already too.
  Stores.Put("Third", "dave.pem", "dave.pem");
  EXPECT_EQ(TCertStore::AddCertificate("Third", Cert("dave"), error), TCertStore::TAddResult::AlreadyThere);
  TCertificate().AddToStore("AddressBook");
}

}  // namespace
