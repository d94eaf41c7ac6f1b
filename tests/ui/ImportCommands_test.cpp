// tessel --import-p12 and --import-cert: what lands in which store, with
// which file modes, and the exit statuses.
#include <fcntl.h>

#include "SmimeCliSupport.h"
#include "smime/stores/CertificateStore.h"

using namespace smimetest;
using namespace tessel;
using clitest::Command;
using clitest::TRun;

namespace {

std::vector<crypto::TCertHandle> StoreCertificates(const std::string& name) {
  std::unique_ptr<TCertStore> store = TCertStore::Open(name);
  return store ? store->Certificates() : std::vector<crypto::TCertHandle>();
}

class ImportTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;
  std::string PasswordFile(const std::string& text) {
    WriteFile(Stores.Root() / "password.txt", text, 0600);
    return (Stores.Root() / "password.txt").string();
  }
  const std::string AliceP12 = (Pki() / "alice.p12").string();
};

TEST_F(ImportTest, p12_puts_certificate_and_private_key_into_my_and_its_ca_into_the_address_book) {
  TRun r = Command({"--import-p12", AliceP12, "--password-file", PasswordFile("secret\r\n")});
  ASSERT_EQ(r.Status, cli::ExitDone) << r.Err;
  EXPECT_NE(r.Out.find("Added to \"My\": \"Alice Signer\""), std::string::npos) << r.Out;
  std::unique_ptr<TCertStore> my = TCertStore::Open("My");
  ASSERT_EQ(my->Entries().size(), 1u);
  EXPECT_EQ(my->Entries()[0].Certificate, Cert("alice"));
  struct stat st;
  ASSERT_EQ(::stat(my->Entries()[0].KeyFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string problem;
  EXPECT_TRUE(my->LoadKey(my->Entries()[0], problem)) << problem;
  // Not to the roots: a file from elsewhere does not decide whom to trust.
  EXPECT_EQ(StoreCertificates("AddressBook"), std::vector<crypto::TCertHandle>{Cert("ca")});
  EXPECT_TRUE(StoreCertificates("Root").empty());
  TRun again = Command({"--import-p12", AliceP12, "--password-file", PasswordFile("secret")});
  EXPECT_EQ(again.Status, cli::ExitDone) << again.Err;
  EXPECT_NE(again.Out.find("Already in \"My\""), std::string::npos) << again.Out;

  ASSERT_EQ(Command({"--import-p12", (Pki() / "carol-nopass.p12").string()}).Status, cli::ExitDone);
  EXPECT_EQ(StoreCertificates("My").size(), 2u);
}

TEST_F(ImportTest, cert_goes_to_the_address_book_or_the_named_store) {
  ASSERT_EQ(Command({"--import-cert", (Pki() / "carol.pem").string()}).Status, cli::ExitDone);
  EXPECT_EQ(StoreCertificates("AddressBook"), std::vector<crypto::TCertHandle>{Cert("carol")});
  EXPECT_NE(Command({"--import-cert", (Pki() / "carol.pem").string()}).Out.find("Already in"), std::string::npos);
  WriteFile(Stores.Root() / "ca.der", CertDer("ca"));
  ASSERT_EQ(Command({"--import-cert", (Stores.Root() / "ca.der").string(), "--store", "Root"}).Status, cli::ExitDone);
  EXPECT_EQ(StoreCertificates("Root"), std::vector<crypto::TCertHandle>{Cert("ca")});
}

TEST_F(ImportTest, failed_imports_write_nothing) {
  const std::string missing = (Stores.Root() / "missing").string();
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"--import-p12", AliceP12, "--password-file", PasswordFile("nope")}, cli::ExitNotParsed},
      {{"--import-p12"}, cli::ExitUsage},
      {{"--import-p12", AliceP12, "--password-file"}, cli::ExitUsage},
      {{"--import-p12", missing}, cli::ExitUnreadable},
      {{"--import-p12", (Pki() / "alice.pem").string()}, cli::ExitNotParsed},
      {{"--import-cert", (Pki() / "carol.key").string()}, cli::ExitNotParsed},
      {{"--import-cert", missing}, cli::ExitUnreadable},
      {{"--import-cert", (Pki() / "carol.pem").string(), "--store", "../x"}, cli::ExitUsage},
      {{"--import-cert"}, cli::ExitUsage},
  };
  for (const auto& [args, status] : cases) EXPECT_EQ(Command(args).Status, status) << args.back();
  EXPECT_NE(Command(cases[0].first).Err.find("password"), std::string::npos);
  // Without a controlling terminal there is nobody to ask (as under CI);
  // with one the command would wait for typing, so that case is left out.
  int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY);
  if (tty >= 0) ::close(tty);
  if (tty < 0) {
    TRun noTerminal = Command({"--import-p12", AliceP12});
    EXPECT_EQ(noTerminal.Status, cli::ExitUsage);
    EXPECT_NE(noTerminal.Err.find("--password-file"), std::string::npos);
  }
  for (const char* store : {"My", "AddressBook", "Root"}) EXPECT_TRUE(StoreCertificates(store).empty()) << store;
}

}  // namespace
