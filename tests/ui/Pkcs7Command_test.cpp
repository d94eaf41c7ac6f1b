// tessel --pkcs7: the S/MIME information rows of one part.
#include <gtest/gtest.h>

#include "SmimeCliSupport.h"
#include "util/StringUtils.h"

using namespace smimetest;
using tessel::StartsWith;

class Pkcs7Cli : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(Pkcs7Cli, signature_part_rows_are_indented_by_depth) {
  std::string file = MessageFile(Stores, "signed.eml", MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  TCliResult r = RunCli({"--pkcs7", file, "1.2"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::string serial = tessel::TCertificate(Cert("alice")).SerialNumber();
  EXPECT_TRUE(StartsWith(r.Out, "Certificates:  (1) \n  Certificate: " + serial + " from Test CA\n    SerialNumber: " +
                                    serial + "\n    Subject: C=PL,O=Example,CN=Alice Signer,E=alice@example.com\n"))
      << r.Out.substr(0, 400);
  EXPECT_NE(r.Out.find("\nSignerInfos:  (1) \n  SignerInfo: " + serial + " from Test CA\n"), std::string::npos);
  EXPECT_NE(r.Out.find("\nASN.1\n  SEQUENCE\n    OID: signedData ( 1.2.840.113549.1.7.2 ) \n"), std::string::npos);
  EXPECT_TRUE(r.Err.empty());
}

TEST_F(Pkcs7Cli, enveloped_part_rows_and_parts_without_pkcs7_data) {
  std::string file = MessageFile(Stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  TCliResult r = RunCli({"--pkcs7", file, "1"});
  ASSERT_EQ(r.Status, 0);
  EXPECT_TRUE(StartsWith(r.Out, "SmimeType: Enveloped Data\nRecipients:  (2) \n  Recipient: ")) << r.Out;

  std::string signedFile = MessageFile(Stores, "signed.eml", MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  TCliResult text = RunCli({"--pkcs7", signedFile, "1.1"});
  EXPECT_EQ(text.Status, 0);
  EXPECT_EQ(text.Out, "");
  EXPECT_NE(text.Err.find("no PKCS #7 content"), std::string::npos);

  EXPECT_EQ(RunCli({"--pkcs7", signedFile, "1.3"}).Status, tessel::cli::ExitNoSuchPart);
  EXPECT_EQ(RunCli({"--pkcs7", signedFile, "1.x"}).Status, tessel::cli::ExitUsage);
  EXPECT_EQ(RunCli({"--pkcs7", signedFile}).Status, tessel::cli::ExitUsage);
}
