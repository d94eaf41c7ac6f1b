// tessel --smime, and what --dump and --check show of S/MIME layers.
#include <gtest/gtest.h>

#include "SmimeCliSupport.h"
#include "util/StringUtils.h"

using namespace smimetest;
using tessel::StartsWith;

namespace {

std::string Serial(const std::string& pkiName) { return tessel::TCertificate(Cert(pkiName)).SerialNumber(); }

}  // namespace

class SmimeCli : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(SmimeCli, smime_prints_every_summary_field_of_a_signed_message) {
  std::string file = MessageFile(Stores, "signed.eml",
                                 "From: Alice <alice@example.com>\r\n" +
                                     MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  TCliResult r = RunCli({"--smime", file});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> lines = Lines(r.Out);
  ASSERT_EQ(lines.size(), 24u) << r.Out;
  EXPECT_EQ(lines[0], "RecipientCertificate:");
  EXPECT_EQ(lines[1], "SignerCertificate: " + Serial("alice") + " from Test CA");
  EXPECT_TRUE(StartsWith(lines[3], "Attributes: 1.2.840.113549.1.9.3=BgkqhkiG9w0BBwE=, 1.2.840.113549.1.9.5="))
      << lines[3];
  EXPECT_EQ(lines[5], "SignerEmail: alice@example.com");
  EXPECT_EQ(lines[6], "SignatureValid: yes");
  EXPECT_EQ(lines[7], "ChainTrusted: no");
  EXPECT_EQ(lines[9], "FromMatches: yes");
  EXPECT_EQ(lines[11], "ChainStatus: 0x00010000 partial chain");
  EXPECT_EQ(lines[12], "CertificateStatus: 0x00000000");
  EXPECT_EQ(lines[14], "Decrypted: no");
  EXPECT_EQ(lines[15], "Algorithm:");
  EXPECT_EQ(lines[16], "Verified: yes");
  EXPECT_EQ(lines[19], "VerifyStatus: 0x00000000 The operation completed successfully.");
  EXPECT_EQ(lines[20], "DecryptStatus: 0x00000002 not checked");
  EXPECT_EQ(lines[23], "SingleLayer: yes");
}

TEST_F(SmimeCli, smime_reports_a_failed_decryption_with_its_code_text) {
  std::string file = MessageFile(Stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  TCliResult r = RunCli({"--smime", file});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> lines = Lines(r.Out);
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[14], "Decrypted: yes");
  EXPECT_EQ(lines[20],
            "DecryptStatus: 0x80880283 None of your certificates with a private key is a recipient of this message.");
  EXPECT_EQ(lines[19], "VerifyStatus: 0x00000002 not checked");
}

TEST_F(SmimeCli, smime_usage_and_load_errors) {
  EXPECT_EQ(RunCli({"--smime"}).Status, tessel::cli::ExitUsage);
  EXPECT_EQ(RunCli({"--smime", "a", "b"}).Status, tessel::cli::ExitUsage);
  EXPECT_EQ(RunCli({"--smime", (Stores.Root() / "missing.eml").string()}).Status, tessel::cli::ExitUnreadable);
  std::string bad = MessageFile(Stores, "bad.eml", "no colon here\r\n\r\n");
  TCliResult r = RunCli({"--smime", bad});
  EXPECT_EQ(r.Status, tessel::cli::ExitNotParsed);
  EXPECT_NE(r.Err.find("Invalid header:"), std::string::npos);
}

TEST_F(SmimeCli, dump_shows_the_layer_fields_and_the_inner_root_as_child_one) {
  std::string file = MessageFile(Stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  TCliResult locked = RunCli({"--dump", file});
  ASSERT_EQ(locked.Status, 0);
  std::vector<std::string> lines = Lines(locked.Out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(StartsWith(lines[0], "1\tapplication/pkcs7-mime\tclass=smime kind=enveloped verify=0x00000002 "
                                   "decrypt=0x80880283 decoded=no enc=base64 name=\"smime.p7m\" size="))
      << lines[0];

  Stores.PutIdentity("My", "carol");
  TCliResult open = RunCli({"--dump", file});
  lines = Lines(open.Out);
  ASSERT_EQ(lines.size(), 3u) << open.Out;
  EXPECT_TRUE(StartsWith(lines[0], "1\tapplication/pkcs7-mime\tclass=smime kind=enveloped verify=0x00000002 "
                                   "decrypt=0x00000000 decoded=yes "));
  // The decrypted entity below the S/MIME part, and again as the message's
  // second root.
  EXPECT_TRUE(StartsWith(lines[1], "1.1\ttext/plain\tsize=29 at=0,46,75")) << lines[1];
  EXPECT_TRUE(StartsWith(lines[2], "2\ttext/plain\tsize=29 at=0,46,75")) << lines[2];

  // --check takes the inner content too.
  TCliResult check = RunCli({"--check", file});
  EXPECT_TRUE(StartsWith(check.Out, "parts=3 leaves=2 ")) << check.Out;
}

TEST_F(SmimeCli, dump_of_plain_parts_is_unchanged) {
  std::string file = MessageFile(Stores, "plain.eml",
                                 "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n"
                                 "\r\nhello\r\n--b--\r\n");
  TCliResult r = RunCli({"--dump", file});
  EXPECT_EQ(r.Out, "1\tmultipart/mixed\tsize=47 at=0,45,92\n1.1\ttext/plain\tsize=5 at=50,78,83\n");
}
