// tessel --import-p12 and --import-cert: what lands in which store, with
// which file modes, and the exit statuses.
#include <fcntl.h>
#include <sys/stat.h>

#include "SmimeTestSupport.h"
#include "cli/Command.h"
#include "smime/CertificateStore.h"

using namespace smimetest;
using namespace tessel;

namespace {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

TRun Tessel(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = cli::RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

std::vector<crypto::TCertHandle> StoreCertificates(const std::string& name) {
  std::unique_ptr<TCertStore> store = TCertStore::Open(name);
  return store ? store->Certificates() : std::vector<crypto::TCertHandle>();
}

class ImportTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;
  fs::path PasswordFile(const std::string& text) {
    fs::path p = Stores.Root() / "password.txt";
    WriteFile(p, text, 0600);
    return p;
  }
};

TEST_F(ImportTest, p12_with_password_file_puts_certificate_and_private_key_into_my) {
  TRun r = Tessel({"--import-p12", (Pki() / "alice.p12").string(), "--password-file", PasswordFile("secret\r\n").string()});
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
  // The file's CA certificate goes to the address book, not to the roots.
  EXPECT_EQ(StoreCertificates("AddressBook"), std::vector<crypto::TCertHandle>{Cert("ca")});
  EXPECT_TRUE(StoreCertificates("Root").empty());

  TRun again = Tessel({"--import-p12", (Pki() / "alice.p12").string(), "--password-file", PasswordFile("secret").string()});
  EXPECT_EQ(again.Status, cli::ExitDone) << again.Err;
  EXPECT_NE(again.Out.find("Already in \"My\""), std::string::npos) << again.Out;
}

TEST_F(ImportTest, p12_wrong_password_or_no_way_to_ask_writes_nothing) {
  TRun wrong = Tessel({"--import-p12", (Pki() / "alice.p12").string(), "--password-file", PasswordFile("nope").string()});
  EXPECT_EQ(wrong.Status, cli::ExitNotParsed);
  EXPECT_NE(wrong.Err.find("password"), std::string::npos);
  EXPECT_TRUE(StoreCertificates("My").empty());
  // Without a controlling terminal there is nobody to ask (as under CI);
  // with one the command would wait for typing, so that case is left out.
  int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY);
  if (tty >= 0) ::close(tty);
  if (tty < 0) {
    TRun noTerminal = Tessel({"--import-p12", (Pki() / "alice.p12").string()});
    EXPECT_EQ(noTerminal.Status, cli::ExitUsage);
    EXPECT_NE(noTerminal.Err.find("--password-file"), std::string::npos);
  }
  EXPECT_TRUE(StoreCertificates("My").empty());
}

TEST_F(ImportTest, p12_without_password_needs_none) {
  TRun r = Tessel({"--import-p12", (Pki() / "carol-nopass.p12").string()});
  ASSERT_EQ(r.Status, cli::ExitDone) << r.Err;
  EXPECT_EQ(StoreCertificates("My"), std::vector<crypto::TCertHandle>{Cert("carol")});
}

TEST_F(ImportTest, p12_command_errors) {
  EXPECT_EQ(Tessel({"--import-p12"}).Status, cli::ExitUsage);
  EXPECT_EQ(Tessel({"--import-p12", (Pki() / "alice.p12").string(), "--password-file"}).Status, cli::ExitUsage);
  EXPECT_EQ(Tessel({"--import-p12", (Stores.Root() / "missing.p12").string()}).Status, cli::ExitUnreadable);
  EXPECT_EQ(Tessel({"--import-p12", (Pki() / "alice.pem").string()}).Status, cli::ExitNotParsed);
}

TEST_F(ImportTest, cert_goes_to_the_address_book_or_the_named_store) {
  TRun r = Tessel({"--import-cert", (Pki() / "carol.pem").string()});
  ASSERT_EQ(r.Status, cli::ExitDone) << r.Err;
  EXPECT_EQ(StoreCertificates("AddressBook"), std::vector<crypto::TCertHandle>{Cert("carol")});
  EXPECT_NE(Tessel({"--import-cert", (Pki() / "carol.pem").string()}).Out.find("Already in"), std::string::npos);

  WriteFile(Stores.Root() / "ca.der", CertDer("ca"));
  ASSERT_EQ(Tessel({"--import-cert", (Stores.Root() / "ca.der").string(), "--store", "Root"}).Status, cli::ExitDone);
  EXPECT_EQ(StoreCertificates("Root"), std::vector<crypto::TCertHandle>{Cert("ca")});
}

TEST_F(ImportTest, cert_command_errors) {
  EXPECT_EQ(Tessel({"--import-cert", (Pki() / "carol.key").string()}).Status, cli::ExitNotParsed);
  EXPECT_EQ(Tessel({"--import-cert", (Stores.Root() / "missing.pem").string()}).Status, cli::ExitUnreadable);
  EXPECT_EQ(Tessel({"--import-cert", (Pki() / "carol.pem").string(), "--store", "../x"}).Status, cli::ExitUsage);
  EXPECT_EQ(Tessel({"--import-cert"}).Status, cli::ExitUsage);
  EXPECT_TRUE(StoreCertificates("AddressBook").empty());
}

}  // namespace
