// PKCS #7 information objects read from structures the openssl command made
// (their full listing is checked through the rows in SmimeRows_test).
#include "SmimeTestSupport.h"
#include "smime/Pkcs7Info.h"

using namespace tessel;
using namespace smimetest;

namespace {

template <class T>
T Read(const std::string& der) { return T(der.data(), static_cast<int32_t>(der.size())); }

TEST(Pkcs7Info, signers_and_certificates_with_out_of_range_indexes) {
  auto info = Read<TPKCS7SignatureInfo>(PkiFile("detached.p7s"));
  EXPECT_TRUE(info.IsSigned);
  ASSERT_EQ(info.CertificateCount() * 10 + info.SignerCount(), 11);
  // contentType, signingTime, messageDigest come first, in the order written.
  const auto& attributes = info.SignerInfo(0)->Attributes;
  ASSERT_GE(attributes.size(), 3u);
  EXPECT_EQ(attributes[2].Oid, "1.2.840.113549.1.9.4");
  EXPECT_EQ(info.SignerInfo(1), nullptr);
  EXPECT_EQ(info.Certificate(-1), nullptr);

  auto noCerts = Read<TPKCS7SignatureInfo>(PkiFile("nocerts.p7m"));
  EXPECT_TRUE(noCerts.IsSigned);  // its fourth field is the signer infos
  EXPECT_EQ(noCerts.CertificateCount(), 0);
  ASSERT_EQ(noCerts.SignerCount(), 1);
  EXPECT_EQ(noCerts.SignerInfo(0)->SerialNumber, Serial("alice"));

  EXPECT_EQ(Read<TPKCS7MimeInfo>(PkiFile("opaque.p7m")).Kind, TPKCS7MimeInfo::pkSigned);
  auto enveloped = Read<TPKCS7MimeInfo>(PkiFile("enc-two.p7m"));
  EXPECT_EQ(enveloped.Kind, TPKCS7MimeInfo::pkEnveloped);
  EXPECT_EQ(enveloped.RecipientCount() * 10 + enveloped.SignerCount(), 20);
  EXPECT_EQ(enveloped.Recipient(2), nullptr);
}

TEST(Pkcs7Info, data_that_is_no_pkcs7_gives_empty_objects) {
  const std::string inputs[] = {"", "not ASN.1 at all", PkiFile("detached.p7s").substr(0, 200),
                                Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets("x"))),
                                Seq(Oid("1.2.840.113549.1.7.2"))};
  for (const std::string& der : inputs) {
    auto signature = Read<TPKCS7SignatureInfo>(der);
    EXPECT_FALSE(signature.IsSigned);
    EXPECT_EQ(signature.CertificateCount() + signature.SignerCount(), 0);
    EXPECT_EQ(Read<TPKCS7MimeInfo>(der).Kind, TPKCS7MimeInfo::pkNeither);
  }
}

}  // namespace
