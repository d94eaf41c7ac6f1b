// The rows of the S/MIME information page for signatures, signed and
// enveloped bodies, and parts that hold no PKCS #7 data.
#include <gtest/gtest.h>

#include "SmimeMessages.h"
#include "asn1/AsnRows.h"
#include "smime/SmimeRows.h"

using namespace tessel;
using namespace smimetest;

namespace {

std::string Serial(const std::string& pkiName) { return TCertificate(Cert(pkiName)).SerialNumber(); }

// The rows up to (not including) the "ASN.1" item.
std::string RowsBeforeAsn(const TSmimeInfoRows& rows) {
  std::vector<TSmimeRow> head;
  for (const TSmimeRow& row : rows.Rows) {
    if (row.Depth == 0 && row.Name == "ASN.1") break;
    head.push_back(row);
  }
  return FormatSmimeRows(head);
}

// The "ASN.1" item's rows must be the element tree's rows one level down.
void ExpectAsnItem(const TSmimeInfoRows& rows, const TAsnElem* tree) {
  size_t at = 0;
  while (at < rows.Rows.size() && !(rows.Rows[at].Depth == 0 && rows.Rows[at].Name == "ASN.1")) ++at;
  ASSERT_LT(at, rows.Rows.size());
  EXPECT_FALSE(rows.Rows[at].HasValue);
  std::vector<TAsnRow> expected = tree ? AsnTreeRows(*tree) : std::vector<TAsnRow>();
  ASSERT_EQ(rows.Rows.size() - at - 1, expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TSmimeRow& row = rows.Rows[at + 1 + i];
    EXPECT_EQ(row.Depth, expected[i].Depth + 1);
    EXPECT_EQ(row.Text(), expected[i].Text());
  }
}

}  // namespace

TEST(SmimeRows, enveloped_body_lists_its_recipients) {
  TSmimeInfoRows rows;
  rows.BuildMime(PkiFile("enc-two.p7m"));
  std::string recipientRows;
  for (const char* name : {"bob", "carol"})
    recipientRows += "  Recipient: " + Serial(name) + " from Test CA\n    SerialNumber: " + Serial(name) +
                     "\n    IssuerName: C=PL,O=Example,CN=Test CA\n      C: PL\n      O: Example\n"
                     "      CN: Test CA\n";
  EXPECT_EQ(RowsBeforeAsn(rows), "SmimeType: Enveloped Data\nRecipients:  (2) \n" + recipientRows);
  ASSERT_NE(rows.MimeInfo, nullptr);
  ExpectAsnItem(rows, rows.MimeInfo->Tree());
  // The tree names the content type by its OID name.
  std::string all = FormatSmimeRows(rows.Rows);
  EXPECT_NE(all.find("\nASN.1\n  SEQUENCE\n    OID: envelopedData ( 1.2.840.113549.1.7.3 ) \n    [0]\n"),
            std::string::npos);
}

TEST(SmimeRows, detached_signature_lists_certificates_signers_and_signed_attributes) {
  auto message = Load(MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  auto signedPart = dynamic_cast<TMultipartSigned*>(message->Roots(0));
  ASSERT_NE(signedPart, nullptr);
  TSmimeInfoRows rows;
  rows.Build(*signedPart->SignaturePart);
  ASSERT_NE(rows.SignatureInfo, nullptr);
  EXPECT_EQ(rows.MimeInfo, nullptr);
  std::string text = RowsBeforeAsn(rows);
  std::string alice = Serial("alice");
  std::string expectedStart = "Certificates:  (1) \n"
                              "  Certificate: " + alice + " from Test CA\n"
                              "    SerialNumber: " + alice + "\n"
                              "    Subject: C=PL,O=Example,CN=Alice Signer,E=alice@example.com\n"
                              "      C: PL\n      O: Example\n      CN: Alice Signer\n      E: alice@example.com\n"
                              "    Issuer: C=PL,O=Example,CN=Test CA\n"
                              "      C: PL\n      O: Example\n      CN: Test CA\n"
                              "SignerInfos:  (1) \n"
                              "  SignerInfo: " + alice + " from Test CA\n"
                              "    SerialNumber: " + alice + "\n"
                              "    IssuerName: C=PL,O=Example,CN=Test CA\n"
                              "      C: PL\n      O: Example\n      CN: Test CA\n"
                              "    Signed Attributes\n"
                              "      contentType ( 1.2.840.113549.1.9.3 ) \n"
                              "        SET\n"
                              "          OID: data ( 1.2.840.113549.1.7.1 ) \n"
                              "      signingTime ( 1.2.840.113549.1.9.5 ) \n"
                              "        SET\n"
                              "          UTCTime: ";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_NE(text.find("      messageDigest ( 1.2.840.113549.1.9.4 ) \n        SET\n          OCTET STRING: "),
            std::string::npos);
  // Only the certificate row offers the dialog, for the certificate shown.
  int actions = 0;
  for (const TSmimeRow& row : rows.Rows) {
    if (row.Action.empty()) {
      EXPECT_EQ(row.Certificate, nullptr);
      continue;
    }
    ++actions;
    EXPECT_EQ(row.Name, "Certificate");
    EXPECT_EQ(row.Action, "Display certificate...");
    EXPECT_EQ(row.Certificate, rows.SignatureInfo->Certificate(0));
  }
  EXPECT_EQ(actions, 1);
  ExpectAsnItem(rows, rows.SignatureInfo->Tree());
}

TEST(SmimeRows, signed_body_shows_its_type_then_the_signed_items) {
  auto message = Load(Pkcs7Mime(PkiFile("nocerts.p7m"), "signed-data"));
  TSmimeInfoRows rows;
  rows.Build(*message->Roots(0));
  ASSERT_GE(rows.Rows.size(), 4u);
  EXPECT_EQ(rows.Rows[0].Text(), "SmimeType: Signed Data");
  EXPECT_EQ(rows.Rows[1].Text(), "Certificates:  (0) ");
  EXPECT_EQ(rows.Rows[2].Text(), "SignerInfos:  (1) ");
  EXPECT_EQ(rows.Rows[3].Text(), "SignerInfo: " + Serial("alice") + " from Test CA");
}

TEST(SmimeRows, parts_without_pkcs7_data) {
  auto message = Load("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                      "Content-Type: text/plain\r\n\r\ntext\r\n--b\r\n"
                      "Content-Type: application/pkcs7-mime\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                      "bm90IEFTTi4x\r\n--b\r\n"
                      "Content-Type: application/x-pkcs7-signature\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                      "#broken==base64\r\n--b--\r\n");
  TBodyPart* root = message->Roots(0);
  TSmimeInfoRows rows;
  rows.Build(*root);
  EXPECT_TRUE(rows.Rows.empty());
  rows.Build(*root->Children(0));
  EXPECT_TRUE(rows.Rows.empty());
  // An S/MIME body that is no PKCS #7 object: its type is unknown and the
  // tree is empty.
  rows.Build(*root->Children(1));
  EXPECT_EQ(FormatSmimeRows(rows.Rows), "SmimeType: unknown\nASN.1\n");
  // A signature whose encoding is broken shows empty lists.
  rows.Build(*root->Children(2));
  EXPECT_EQ(FormatSmimeRows(rows.Rows), "Certificates:  (0) \nSignerInfos:  (0) \nASN.1\n");
}

TEST(SmimeRows, depths_form_a_tree) {
  for (const char* file : {"detached.p7s", "opaque.p7m", "enc-two.p7m"}) {
    TSmimeInfoRows rows;
    rows.BuildMime(PkiFile(file));
    ASSERT_FALSE(rows.Rows.empty());
    EXPECT_EQ(rows.Rows[0].Depth, 0);
    for (size_t i = 1; i < rows.Rows.size(); ++i)
      EXPECT_LE(rows.Rows[i].Depth, rows.Rows[i - 1].Depth + 1) << file << " row " << i;
  }
}
