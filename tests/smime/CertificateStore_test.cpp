// The store directories: where they are, what a store reads, which keys it
// refuses, and how certificates and keys are written.
#include <sys/stat.h>

#include "SmimeTestSupport.h"
#include "smime/CertificateStore.h"
#include "util/WinError.h"

using namespace smimetest;
using namespace tessel;

namespace {

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
      {"", "relative/ignored", "/home/u/.local/share/tessel/certs"},
  };
  TEnv home("HOME", "/home/u");
  for (const auto& [certDir, dataHome, expected] : cases) {
    TEnv dir("TESSEL_CERT_DIR", certDir), data("XDG_DATA_HOME", dataHome);
    EXPECT_EQ(TCertStore::StoresDirectory(), expected);
  }
  TEnv dir("TESSEL_CERT_DIR", "/srv/certs");
  EXPECT_EQ(TCertStore::StoreDirectory("My"), "/srv/certs/My");
}

class StoreTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(StoreTest, bad_names_and_files_do_not_open_and_a_missing_store_is_empty) {
  for (const char* bad : {"", ".", "..", "a/b", "../My"}) {
    EXPECT_EQ(TCertStore::StoreDirectory(bad), "") << bad;
    EXPECT_EQ(TCertStore::Open(bad), nullptr) << bad;
  }
  std::unique_ptr<TCertStore> store = TCertStore::Open("Any Name");
  ASSERT_NE(store, nullptr);
  EXPECT_TRUE(store->Entries().empty());
  WriteFile(Stores.Root() / "File", "x");
  EXPECT_EQ(TCertStore::Open("File"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTDIR));
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

}  // namespace
