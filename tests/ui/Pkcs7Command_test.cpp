// tessel --pkcs7: the S/MIME information rows of one part.
#include "SmimeCliSupport.h"
#include "util/text/StringUtils.h"

using namespace smimetest;
using tessel::StartsWith;

TEST(Pkcs7Cli, rows_of_signature_and_enveloped_parts_and_errors) {
  TStoreSandbox stores;
  std::string file = MessageFile(stores, "signed.eml", MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  clitest::TRun r = Command({"--pkcs7", file, "1.2"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(StartsWith(r.Out, "Certificates:  (1) \n  Certificate: " + Serial("alice") + " from Test CA\n"));
  EXPECT_NE(r.Out.find("\nASN.1\n  SEQUENCE\n    OID: signedData ( 1.2.840.113549.1.7.2 ) \n"), std::string::npos);

  std::string enc = MessageFile(stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  EXPECT_TRUE(StartsWith(Command({"--pkcs7", enc, "1"}).Out, "SmimeType: Enveloped Data\nRecipients:  (2) \n"));

  clitest::TRun text = Command({"--pkcs7", file, "1.1"});
  EXPECT_EQ(text.Status, 0);
  EXPECT_EQ(text.Out, "");
  EXPECT_NE(text.Err.find("no PKCS #7 content"), std::string::npos);
  EXPECT_EQ(Command({"--pkcs7", file, "1.3"}).Status, tessel::cli::ExitNoSuchPart);
  EXPECT_EQ(Command({"--pkcs7", file, "1.x"}).Status, tessel::cli::ExitUsage);
}
