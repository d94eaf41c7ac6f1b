// The rows of the S/MIME information page and the PKCS #7 information
// objects they are made from.
#include "SmimeTestSupport.h"
#include "smime/parts/Pkcs7Info.h"
#include "smime/parts/SmimeRows.h"

using namespace tessel;
using namespace smimetest;

namespace {

const std::string kCa = "C=PL,O=Example,CN=Test CA";

// "  KIND: SERIAL from Test CA" and its serial number row, for a PKI identity.
std::string Issued(const std::string& kind, const std::string& name) {
  return "  " + kind + ": " + Serial(name) + " from Test CA\n    SerialNumber: " + Serial(name) + "\n";
}

// The row of a name at four blanks, then one row per part below it.
std::string NameRows(const std::string& label, const std::string& name) {
  std::string rows = "    " + label + ": " + name + "\n", part;
  for (std::istringstream parts(name); std::getline(parts, part, ',');)
    rows += "      " + part.substr(0, part.find('=')) + ": " + part.substr(part.find('=') + 1) + "\n";
  return rows;
}

}  // namespace

TEST(SmimeRows, enveloped_body_lists_its_recipients) {
  TSmimeInfoRows rows;
  rows.BuildMime(PkiFile("enc-two.p7m"));
  std::string expected = "SmimeType: Enveloped Data\nRecipients:  (2) \n";
  for (const char* name : {"bob", "carol"}) expected += Issued("Recipient", name) + NameRows("IssuerName", kCa);
  expected += "ASN.1\n  SEQUENCE\n    OID: envelopedData ( 1.2.840.113549.1.7.3 ) \n    [0]\n";
  EXPECT_EQ(FormatSmimeRows(rows.Rows).substr(0, expected.size()), expected);
}

TEST(SmimeRows, signed_body_without_certificates_lists_its_signer) {
  TSmimeInfoRows rows;
  rows.BuildMime(PkiFile("nocerts.p7m"));
  std::string expected =
      "SmimeType: Signed Data\nCertificates:  (0) \nSignerInfos:  (1) \n" + Issued("SignerInfo", "alice");
  EXPECT_EQ(FormatSmimeRows(rows.Rows).substr(0, expected.size()), expected);
  EXPECT_EQ(rows.MimeInfo->Kind, TPKCS7MimeInfo::pkSigned);
  EXPECT_EQ(rows.MimeInfo->SignerInfo(1), nullptr);
  EXPECT_EQ(rows.MimeInfo->Certificate(-1), nullptr);
  EXPECT_EQ(rows.MimeInfo->Recipient(0), nullptr);
}

TEST(SmimeRows, signature_part_lists_certificates_signers_and_signed_attributes) {
  auto message = Load(MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  TSmimeInfoRows rows;
  rows.Build(*message->Roots(0)->Children(1));
  std::string expected = "Certificates:  (1) \n" + Issued("Certificate", "alice") +
                         NameRows("Subject", "C=PL,O=Example,CN=Alice Signer,E=alice@example.com") +
                         NameRows("Issuer", kCa) + "SignerInfos:  (1) \n" + Issued("SignerInfo", "alice") +
                         NameRows("IssuerName", kCa) +
                         "    Signed Attributes\n      contentType ( 1.2.840.113549.1.9.3 ) \n        SET\n"
                         "          OID: data ( 1.2.840.113549.1.7.1 ) \n      signingTime ( 1.2.840.113549.1.9.5 ) \n"
                         "        SET\n          UTCTime: ";
  EXPECT_EQ(FormatSmimeRows(rows.Rows).substr(0, expected.size()), expected);
  // Only the certificate row offers the dialog, for the certificate shown.
  int actions = 0;
  for (const TSmimeRow& row : rows.Rows)
    if (!row.Action.empty()) {
      ++actions;
      EXPECT_EQ(row.Name + "|" + row.Action, "Certificate|Display certificate...");
      EXPECT_EQ(row.Certificate, rows.SignatureInfo->Certificate(0));
    }
  EXPECT_EQ(actions, 1);
}

TEST(SmimeRows, parts_without_pkcs7_data) {
  auto message = Load(
      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
      "text\r\n--b\r\nContent-Type: application/pkcs7-mime\r\nContent-Transfer-Encoding: base64\r\n"
      "\r\nbm90IEFTTi4x\r\n--b\r\nContent-Type: application/x-pkcs7-signature\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n#broken==base64\r\n--b--\r\n");
  TSmimeInfoRows rows;
  for (TBodyPart* part : {message->Roots(0), message->Roots(0)->Children(0)}) {
    rows.Build(*part);
    EXPECT_TRUE(rows.Rows.empty());
  }
  rows.Build(*message->Roots(0)->Children(1));
  EXPECT_EQ(FormatSmimeRows(rows.Rows), "SmimeType: unknown\nASN.1\n");
  rows.Build(*message->Roots(0)->Children(2));
  EXPECT_EQ(FormatSmimeRows(rows.Rows), "Certificates:  (0) \nSignerInfos:  (0) \nASN.1\n");
}

TEST(Pkcs7Info, data_that_is_no_pkcs7_gives_empty_objects) {
  const std::string inputs[] = {"", "not ASN.1 at all", PkiFile("detached.p7s").substr(0, 200),
                                Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets("x"))),
                                Seq(Oid("1.2.840.113549.1.7.2"))};
  for (const std::string& der : inputs) {
    TPKCS7SignatureInfo signature(der.data(), static_cast<int32_t>(der.size()));
    EXPECT_FALSE(signature.IsSigned);
    EXPECT_EQ(signature.CertificateCount() + signature.SignerCount(), 0);
    EXPECT_EQ(TPKCS7MimeInfo(der.data(), static_cast<int32_t>(der.size())).Kind, TPKCS7MimeInfo::pkNeither);
  }
}
