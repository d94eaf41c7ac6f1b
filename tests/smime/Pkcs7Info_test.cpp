// PKCS #7 information objects read from structures the openssl command made.
#include <gtest/gtest.h>

#include "SmimeTestSupport.h"
#include "smime/Pkcs7Info.h"

using namespace tessel;
using namespace smimetest;

namespace {

std::string SerialOf(const std::string& pkiName) { return TCertificate(Cert(pkiName)).SerialNumber(); }

template <class T>
T Read(const std::string& der) { return T(der.data(), static_cast<int32_t>(der.size())); }

}  // namespace

TEST(Pkcs7Info, detached_signature_lists_its_certificate_and_signer) {
  auto info = Read<TPKCS7SignatureInfo>(PkiFile("detached.p7s"));
  EXPECT_TRUE(info.IsSigned);
  ASSERT_EQ(info.CertificateCount(), 1);
  EXPECT_EQ(info.Certificate(0)->SerialNumber(), SerialOf("alice"));
  ASSERT_EQ(info.SignerCount(), 1);
  const TSignerInfo& signer = *info.SignerInfo(0);
  EXPECT_EQ(signer.SerialNumber, SerialOf("alice"));
  EXPECT_EQ(signer.IssuerParts, (TStringListX{"C=PL", "O=Example", "CN=Test CA"}));
  EXPECT_EQ(signer.IssuerName(), "Test CA");
  // contentType, signingTime, messageDigest come first, in the order written.
  ASSERT_GE(signer.Attributes.size(), 3u);
  const char* oids[] = {"1.2.840.113549.1.9.3", "1.2.840.113549.1.9.5", "1.2.840.113549.1.9.4"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(signer.Attributes[i].Oid, oids[i]);
    EXPECT_EQ(signer.Attributes[i].Values->Tag, 17u);  // the SET of values
  }
  EXPECT_EQ(info.SignerInfo(1), nullptr);
  EXPECT_EQ(info.Certificate(-1), nullptr);
}

TEST(Pkcs7Info, mime_info_tells_signed_from_enveloped) {
  auto opaque = Read<TPKCS7MimeInfo>(PkiFile("opaque.p7m"));
  EXPECT_EQ(opaque.Kind, TPKCS7MimeInfo::pkSigned);
  EXPECT_EQ(opaque.CertificateCount() * 10 + opaque.SignerCount(), 11);
  auto enveloped = Read<TPKCS7MimeInfo>(PkiFile("enc-two.p7m"));
  EXPECT_EQ(enveloped.Kind, TPKCS7MimeInfo::pkEnveloped);
  ASSERT_EQ(enveloped.RecipientCount(), 2);
  EXPECT_EQ(enveloped.Recipient(0)->SerialNumber, SerialOf("bob"));
  EXPECT_EQ(enveloped.Recipient(1)->SerialNumber, SerialOf("carol"));
  EXPECT_EQ(enveloped.Recipient(1)->IssuerName(), "Test CA");
  EXPECT_TRUE(enveloped.Recipient(0)->Attributes.empty());
  EXPECT_EQ(enveloped.SignerCount(), 0);
}

TEST(Pkcs7Info, signed_data_without_certificates_still_lists_its_signers) {
  auto info = Read<TPKCS7SignatureInfo>(PkiFile("nocerts.p7m"));
  EXPECT_TRUE(info.IsSigned);  // its fourth field is the signer infos
  EXPECT_EQ(info.CertificateCount(), 0);
  ASSERT_EQ(info.SignerCount(), 1);
  EXPECT_EQ(info.SignerInfo(0)->SerialNumber, SerialOf("alice"));
}

TEST(Pkcs7Info, data_that_is_no_pkcs7_gives_empty_objects) {
  const std::string inputs[] = {"", "not ASN.1 at all", PkiFile("detached.p7s").substr(0, 200),
                                Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets("x"))),
                                Seq(Oid("1.2.840.113549.1.7.2"))};
  for (const std::string& der : inputs) {
    auto signature = Read<TPKCS7SignatureInfo>(der);
    EXPECT_FALSE(signature.IsSigned);
    EXPECT_EQ(signature.CertificateCount() + signature.SignerCount(), 0);
    auto mime = Read<TPKCS7MimeInfo>(der);
    EXPECT_EQ(mime.Kind, TPKCS7MimeInfo::pkNeither);
  }
}
