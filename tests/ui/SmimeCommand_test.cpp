// tessel --smime and --pkcs7, and what --dump and --check show of S/MIME
// layers.
#include "SmimeCliSupport.h"
#include "smime/stores/CertificateStore.h"
#include "util/text/StringUtils.h"

#include <algorithm>

using namespace smimetest;
using tessel::StartsWith;

class SmimeCli : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(SmimeCli, smime_prints_every_summary_field_in_order) {
  std::string signedMessage =
      "From: Alice <alice@example.com>\r\n" + MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s"));
  clitest::TRun r = Command({"--smime", MessageFile(Stores, "signed.eml", signedMessage)});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> lines = Lines(r.Out);
  std::string names;
  for (const std::string& line : lines) names += line.substr(0, line.find(':')) + " ";
  EXPECT_EQ(names,
            "RecipientCertificate SignerCertificate EncryptionCertificate Attributes Capabilities SignerEmail "
            "SignatureValid ChainTrusted TimeValid FromMatches NotRevoked ChainStatus CertificateStatus "
            "HasRevocationInfo Decrypted Algorithm Verified ParseFailed SigningTime VerifyStatus DecryptStatus "
            "CapabilitiesText FirstCapability SingleLayer Verdict ");
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(lines[0], "RecipientCertificate:");
  EXPECT_EQ(lines[1], "SignerCertificate: " + Serial("alice") + " from Test CA");
  // Attribute values are base64 without their line breaks.
  EXPECT_TRUE(StartsWith(lines[3], "Attributes: 1.2.840.113549.1.9.3=BgkqhkiG9w0BBwE=, 1.2.840.113549.1.9.5="));
  EXPECT_EQ(lines[6] + "|" + lines[9], "SignatureValid: yes|FromMatches: yes");
  EXPECT_EQ(lines[11], "ChainStatus: 0x00010000 partial chain");
  EXPECT_EQ(lines[12], "CertificateStatus: 0x00000000");
  EXPECT_EQ(lines[19], "VerifyStatus: 0x00000000 The operation completed successfully.");
  EXPECT_EQ(lines[20], "DecryptStatus: 0x00000002 not checked");
  // The test CA is in no "Root" store and no revocation list was read.
  EXPECT_EQ(lines[24], "Verdict: warning (certificate not trusted (partial chain); revocation not checked)");

  std::string enc = MessageFile(Stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  EXPECT_EQ(Lines(Command({"--smime", enc}).Out)[20],
            "DecryptStatus: 0x80880283 None of your certificates with a private key is a recipient of this message.");
  EXPECT_EQ(Command({"--smime"}).Status, tessel::cli::ExitUsage);
  EXPECT_EQ(Command({"--smime", MessageFile(Stores, "bad.eml", "no colon\r\n\r\n")}).Status,
            tessel::cli::ExitNotParsed);
}

TEST_F(SmimeCli, dump_shows_the_layer_fields_and_the_inner_root_as_child_one) {
  std::string file = MessageFile(Stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  std::vector<std::string> lines = Lines(Command({"--dump", file}).Out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(StartsWith(lines[0],
                         "1\tapplication/pkcs7-mime\tclass=smime kind=enveloped verify=0x00000002 "
                         "decrypt=0x80880283 decoded=no enc=base64 name=\"smime.p7m\" size="));
  Stores.PutIdentity("My", "carol");
  lines = Lines(Command({"--dump", file}).Out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(StartsWith(lines[0],
                         "1\tapplication/pkcs7-mime\tclass=smime kind=enveloped verify=0x00000002 "
                         "decrypt=0x00000000 decoded=yes "));
  // The decrypted entity below the S/MIME part, and again as the second root.
  EXPECT_EQ(lines[1], "1.1\ttext/plain\tsize=29 at=0,46,75");
  EXPECT_EQ(lines[2], "2\ttext/plain\tsize=29 at=0,46,75");
  EXPECT_TRUE(StartsWith(Command({"--check", file}).Out, "parts=3 leaves=2 "));
}

TEST_F(SmimeCli, pkcs7_rows_of_signature_and_enveloped_parts_and_errors) {
  std::string file = MessageFile(Stores, "signed.eml", MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  clitest::TRun r = Command({"--pkcs7", file, "1.2"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(StartsWith(r.Out, "Certificates:  (1) \n  Certificate: " + Serial("alice") + " from Test CA\n"));
  EXPECT_NE(r.Out.find("\nASN.1\n  SEQUENCE\n    OID: signedData ( 1.2.840.113549.1.7.2 ) \n"), std::string::npos);

  std::string enc = MessageFile(Stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  EXPECT_TRUE(StartsWith(Command({"--pkcs7", enc, "1"}).Out, "SmimeType: Enveloped Data\nRecipients:  (2) \n"));

  clitest::TRun text = Command({"--pkcs7", file, "1.1"});
  EXPECT_EQ(text.Status, 0);
  EXPECT_EQ(text.Out, "");
  EXPECT_NE(text.Err.find("no PKCS #7 content"), std::string::npos);
  EXPECT_EQ(Command({"--pkcs7", file, "1.3"}).Status, tessel::cli::ExitNoSuchPart);
  EXPECT_EQ(Command({"--pkcs7", file, "1.x"}).Status, tessel::cli::ExitUsage);
}

namespace {

// Every file under the store root with its mode and bytes.
std::string StoreSnapshot(const fs::path& root) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string line = fs::relative(entry.path(), root).string() + " " +
                       std::to_string(static_cast<int>(entry.status().permissions()));
    if (entry.is_regular_file()) line += " " + ReadFileBytes(entry.path());
    entries.push_back(line);
  }
  std::sort(entries.begin(), entries.end());
  std::string all;
  for (const std::string& e : entries) all += e + "\n";
  return all;
}

}  // namespace

TEST_F(SmimeCli, reading_leaves_the_stores_unchanged_unless_signers_are_to_be_remembered) {
  Stores.Put("AddressBook", "bob.pem", "bob.pem");
  Stores.PutIdentity("My", "carol");
  Stores.Put("Root", "ca.pem", "ca.pem");
  std::string clearSigned = MessageFile(Stores, "m1.eml", MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  std::string opaque = MessageFile(Stores, "m2.eml", Pkcs7Mime(PkiFile("opaque.p7m"), "signed-data"));
  const std::string before = StoreSnapshot(Stores.Root());
  for (const char* command : {"--dump", "--smime", "--check"})
    for (const std::string& file : {clearSigned, opaque}) EXPECT_EQ(Command({command, file}).Status, 0) << command;
  EXPECT_EQ(Command({"--pkcs7", clearSigned, "1.2"}).Status, 0);
  EXPECT_EQ(StoreSnapshot(Stores.Root()), before);

  clitest::TRun remembered = Command({"--smime", "--remember-signers", opaque});
  EXPECT_EQ(remembered.Status, 0) << remembered.Err;
  EXPECT_EQ(remembered.Out, Command({"--smime", opaque}).Out);
  auto book = tessel::TCertStore::Open("AddressBook");
  ASSERT_TRUE(book);
  EXPECT_EQ(book->Certificates(), (std::vector<tessel::crypto::TCertHandle>{Cert("alice"), Cert("bob")}));
  EXPECT_NE(Command({"--help"}).Out.find("--remember-signers"), std::string::npos);
}

TEST_F(SmimeCli, smime_lists_other_signers_and_why_keys_were_refused) {
  std::string der = PkiFile("twosigners.p7m");
  der.back() ^= 0x01;  // bob's signature
  std::vector<std::string> lines = Lines(Command({"--smime", MessageFile(Stores, "two.eml", Pkcs7Mime(der, ""))}).Out);
  ASSERT_EQ(lines.size(), 26u);
  EXPECT_EQ(lines[6], "SignatureValid: no");
  EXPECT_EQ(lines[25], "Verdict: bad (signature not valid: Invalid Signature. (0x80090006))");
  EXPECT_EQ(lines[24], "OtherSigner: " + Serial("bob") + " from Test CA, 0x80090006 Invalid Signature.");

  Stores.PutIdentity("My", "bob", 0644);
  std::string enc = MessageFile(Stores, "enc.eml", Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  lines = Lines(Command({"--smime", enc}).Out);
  ASSERT_EQ(lines.size(), 26u);
  EXPECT_TRUE(StartsWith(lines[25], "Verdict: warning (cannot decrypt: no key for Test CA, serial ")) << lines[25];
  std::string key = (Stores.Root() / "My" / "bob.key").string();
  EXPECT_EQ(lines[24], "DecryptProblems: The key file \"" + key +
                           "\" may be read by other users (mode 0644); it is not used. Make it private with: "
                           "chmod 600 \"" +
                           key + "\"");
}

// The demonstration pair in docs/samples: the key that ships beside the
// encrypted sample opens it, and nothing else does.
TEST_F(SmimeCli, bundled_demo_key_opens_the_bundled_encrypted_sample) {
  const std::string docs = std::string(TESSEL_SAMPLES) + "/../docs/samples/";
  const std::string message = docs + "encrypted-for-demo.eml";
  EXPECT_NE(Lines(Command({"--smime", message}).Out)[20],
            "DecryptStatus: 0x00000000 The operation completed successfully.");
  ASSERT_EQ(Command({"--import-p12", docs + "demo-reader.p12"}).Status, tessel::cli::ExitDone);
  std::vector<std::string> smime = Lines(Command({"--smime", message}).Out);
  ASSERT_EQ(smime.size(), 25u);
  EXPECT_EQ(smime[15], "Algorithm: AES256");
  EXPECT_EQ(smime[20], "DecryptStatus: 0x00000000 The operation completed successfully.");
  std::vector<std::string> dump = Lines(Command({"--dump", message}).Out);
  ASSERT_EQ(dump.size(), 7u);
  EXPECT_TRUE(StartsWith(dump[3], "1.1.2\ttext/csv\tdisp=attachment name=\"figures.csv\" filename=\"figures.csv\""));
}

// A signer whose certificate names hold line breaks and an escape sequence:
// every field stays one line, nothing forges another, nothing reaches the
// terminal raw.
TEST_F(SmimeCli, hostile_certificate_names_forge_no_line) {
  std::string file =
      MessageFile(Stores, "evil.eml", Pkcs7Mime(PkiFile("evil.p7m"), "signed-data", "From: evil@example.com\r\n"));
  clitest::TRun r = Command({"--smime", file});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> lines = Lines(r.Out);
  ASSERT_EQ(lines.size(), 25u) << r.Out;
  EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\r') + std::count(r.Out.begin(), r.Out.end(), '\x1b'), 0);
  EXPECT_EQ(lines[5], "SignerEmail: evil@example.com\\x0D\\x0ASignatureValid: yes");
  EXPECT_EQ(lines[6], "SignatureValid: yes");
  EXPECT_EQ(lines[7], "ChainTrusted: no");
  EXPECT_NE(lines[1].find(" from Evil CA\\x0D\\x0AChainTrusted: yes\\x1B[2J"), std::string::npos) << lines[1];

  clitest::TRun p = Command({"--pkcs7", file, "1"});
  EXPECT_EQ(p.Status, 0) << p.Err;
  EXPECT_EQ(std::count(p.Out.begin(), p.Out.end(), '\r') + std::count(p.Out.begin(), p.Out.end(), '\x1b'), 0);
  EXPECT_NE(p.Out.find("CN: Evil CA\\x0D\\x0AChainTrusted: yes\\x1B[2J\n"), std::string::npos) << p.Out;
  EXPECT_NE(p.Out.find("E: evil@example.com\\x0D\\x0ASignatureValid: yes\n"), std::string::npos) << p.Out;
}
