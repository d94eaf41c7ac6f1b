// PKCS #7 information objects read from signatures and messages the
// openssl command made, and from structures written by hand.
#include <gtest/gtest.h>

#include "SmimeTestSupport.h"
#include "smime/Pkcs7Info.h"

using namespace tessel;
using namespace smimetest;

namespace {

std::string SerialOf(const std::string& pkiName) { return TCertificate(Cert(pkiName)).SerialNumber(); }

std::vector<std::string> AttributeOids(const TSignerInfo& signer) {
  std::vector<std::string> oids;
  for (const auto& a : signer.Attributes) oids.push_back(a.Oid);
  return oids;
}

const std::string kSignedData = "1.2.840.113549.1.7.2";
const std::string kEnvelopedData = "1.2.840.113549.1.7.3";

std::string IssuerAndSerial(const std::string& issuerName, const std::string& serial) {
  return Seq(issuerName + Integer(serial));
}
std::string Name(const std::string& cn) { return Seq(Set(Seq(Oid("2.5.4.3") + Tlv(0x0C, cn)))); }
std::string Algorithm(const std::string& oid) { return Seq(Oid(oid) + Tlv(0x05, "")); }

}  // namespace

TEST(Pkcs7Info, detached_signature_lists_its_certificate_and_signer) {
  std::string der = PkiFile("detached.p7s");
  TPKCS7SignatureInfo info(der.data(), static_cast<int32_t>(der.size()));
  EXPECT_TRUE(info.IsSigned);
  ASSERT_EQ(info.CertificateCount(), 1);
  EXPECT_EQ(info.Certificate(0)->SerialNumber(), SerialOf("alice"));
  EXPECT_EQ(info.Certificate(0)->IssuerName(), "Test CA");
  ASSERT_EQ(info.SignerCount(), 1);
  const TSignerInfo& signer = *info.SignerInfo(0);
  EXPECT_EQ(signer.SerialNumber, SerialOf("alice"));
  EXPECT_EQ(signer.IssuerParts, (TStringListX{"C=PL", "O=Example", "CN=Test CA"}));
  EXPECT_EQ(signer.IssuerName(), "Test CA");
  // openssl writes contentType, signingTime, messageDigest, then the
  // capabilities; the order of the structure is kept.
  std::vector<std::string> oids = AttributeOids(signer);
  ASSERT_GE(oids.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(oids.begin(), oids.begin() + 3),
            (std::vector<std::string>{"1.2.840.113549.1.9.3", "1.2.840.113549.1.9.5", "1.2.840.113549.1.9.4"}));
  for (const auto& a : signer.Attributes) {
    ASSERT_NE(a.Values, nullptr);
    EXPECT_EQ(a.Values->Tag, 17u) << a.Oid;  // the SET of values
  }
  EXPECT_EQ(info.SignerInfo(1), nullptr);
  EXPECT_EQ(info.SignerInfo(-1), nullptr);
  EXPECT_EQ(info.Certificate(1), nullptr);
}

TEST(Pkcs7Info, mime_info_tells_signed_from_enveloped) {
  std::string opaque = PkiFile("opaque.p7m");
  TPKCS7MimeInfo signedInfo(opaque.data(), static_cast<int32_t>(opaque.size()));
  EXPECT_EQ(signedInfo.Kind, TPKCS7MimeInfo::pkSigned);
  EXPECT_EQ(signedInfo.CertificateCount(), 1);
  EXPECT_EQ(signedInfo.SignerCount(), 1);
  EXPECT_EQ(signedInfo.RecipientCount(), 0);

  std::string enveloped = PkiFile("enc-two.p7m");
  TPKCS7MimeInfo envelopedInfo(enveloped.data(), static_cast<int32_t>(enveloped.size()));
  EXPECT_EQ(envelopedInfo.Kind, TPKCS7MimeInfo::pkEnveloped);
  ASSERT_EQ(envelopedInfo.RecipientCount(), 2);
  EXPECT_EQ(envelopedInfo.Recipient(0)->SerialNumber, SerialOf("bob"));
  EXPECT_EQ(envelopedInfo.Recipient(1)->SerialNumber, SerialOf("carol"));
  EXPECT_EQ(envelopedInfo.Recipient(1)->IssuerName(), "Test CA");
  EXPECT_TRUE(envelopedInfo.Recipient(0)->Attributes.empty());
  EXPECT_EQ(envelopedInfo.CertificateCount(), 0);
  EXPECT_EQ(envelopedInfo.SignerCount(), 0);
}

TEST(Pkcs7Info, signed_data_without_certificates_still_lists_its_signers) {
  std::string nocerts = PkiFile("nocerts.p7m");
  TPKCS7SignatureInfo signature(nocerts.data(), static_cast<int32_t>(nocerts.size()));
  EXPECT_TRUE(signature.IsSigned);
  EXPECT_EQ(signature.CertificateCount(), 0);
  ASSERT_EQ(signature.SignerCount(), 1);
  EXPECT_EQ(signature.SignerInfo(0)->SerialNumber, SerialOf("alice"));
  TPKCS7MimeInfo mime(nocerts.data(), static_cast<int32_t>(nocerts.size()));
  EXPECT_EQ(mime.Kind, TPKCS7MimeInfo::pkSigned);
  EXPECT_EQ(mime.CertificateCount(), 0);
  EXPECT_EQ(mime.SignerCount(), 1);
}

TEST(Pkcs7Info, hand_written_signer_and_recipient_infos) {
  // A SignerInfo with attributes but fewer than six fields has none read; a
  // SignerInfo naming its certificate by key identifier has no issuer.
  std::string issuer = Name("Hand CA");
  std::string attrs = Tlv(0xA0, Seq(Oid("1.2.840.113549.1.9.3") + Set(Oid("1.2.840.113549.1.7.1"))) +
                                    Seq(Oid("1.2.840.113549.1.9.99")) /* one child: skipped */ +
                                    Seq(Integer("\x01") + Set("")) /* no OID: skipped */);
  std::string full = Seq(Integer("\x01") + IssuerAndSerial(issuer, std::string("\x01\x0A\xFF", 3)) +
                         Algorithm("2.16.840.1.101.3.4.2.1") + attrs + Algorithm("1.2.840.113549.1.1.1") +
                         Octets("sig"));
  std::string short5 = Seq(Integer("\x01") + IssuerAndSerial(issuer, "\x07") + Algorithm("2.16.840.1.101.3.4.2.1") +
                           attrs + Octets("sig"));
  std::string byKeyId = Seq(Integer("\x03") + Tlv(0x80, "keyid") + Algorithm("2.16.840.1.101.3.4.2.1") +
                            Algorithm("1.2.840.113549.1.1.1") + Octets("sig"));
  std::string signedData = Seq(Oid(kSignedData) + Explicit0(Seq(Integer("\x01") + Set("") + Seq(Oid("1.2.840.113549.1.7.1")) +
                                                                Set(full + short5 + byKeyId))));
  TPKCS7SignatureInfo info(signedData.data(), static_cast<int32_t>(signedData.size()));
  EXPECT_TRUE(info.IsSigned);  // the fourth field is the signer infos
  EXPECT_EQ(info.CertificateCount(), 0);
  ASSERT_EQ(info.SignerCount(), 3);
  EXPECT_EQ(info.SignerInfo(0)->SerialNumber, "010AFF");
  EXPECT_EQ(info.SignerInfo(0)->IssuerName(), "Hand CA");
  EXPECT_EQ(AttributeOids(*info.SignerInfo(0)), std::vector<std::string>{"1.2.840.113549.1.9.3"});
  EXPECT_EQ(info.SignerInfo(1)->SerialNumber, "07");
  EXPECT_TRUE(info.SignerInfo(1)->Attributes.empty());
  EXPECT_EQ(info.SignerInfo(2)->SerialNumber, "");
  EXPECT_EQ(info.SignerInfo(2)->IssuerName(), "");

  // Recipients: a SET of RecipientInfos; any other element there gives
  // enveloped data without recipients.
  std::string recipient = Seq(Integer("\x00") + IssuerAndSerial(Name("R CA"), "\x2A") +
                              Algorithm("1.2.840.113549.1.1.1") + Octets("key"));
  std::string body = Seq(Oid("1.2.840.113549.1.7.1") + Algorithm("2.16.840.1.101.3.4.1.2"));
  std::string enveloped = Seq(Oid(kEnvelopedData) + Explicit0(Seq(Integer("\x00") + Set(recipient) + body)));
  TPKCS7MimeInfo mime(enveloped.data(), static_cast<int32_t>(enveloped.size()));
  EXPECT_EQ(mime.Kind, TPKCS7MimeInfo::pkEnveloped);
  ASSERT_EQ(mime.RecipientCount(), 1);
  EXPECT_EQ(mime.Recipient(0)->SerialNumber, "2A");
  EXPECT_EQ(mime.Recipient(0)->IssuerName(), "R CA");
  std::string notSet = Seq(Oid(kEnvelopedData) + Explicit0(Seq(Integer("\x00") + Seq(recipient) + body)));
  TPKCS7MimeInfo odd(notSet.data(), static_cast<int32_t>(notSet.size()));
  EXPECT_EQ(odd.Kind, TPKCS7MimeInfo::pkEnveloped);
  EXPECT_EQ(odd.RecipientCount(), 0);
}

TEST(Pkcs7Info, data_that_is_no_pkcs7_gives_empty_objects) {
  const std::string inputs[] = {
      std::string(),
      "not ASN.1 at all",
      PkiFile("detached.p7s").substr(0, 200),                  // truncated
      Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets("x"))),  // data content
      Seq(Oid(kSignedData)),                                    // no content
  };
  for (const std::string& der : inputs) {
    TPKCS7SignatureInfo signature(der.data(), static_cast<int32_t>(der.size()));
    EXPECT_FALSE(signature.IsSigned);
    EXPECT_EQ(signature.CertificateCount() + signature.SignerCount(), 0);
    TPKCS7MimeInfo mime(der.data(), static_cast<int32_t>(der.size()));
    EXPECT_EQ(mime.Kind, TPKCS7MimeInfo::pkNeither);
    EXPECT_EQ(mime.RecipientCount() + mime.CertificateCount() + mime.SignerCount(), 0);
  }
}
