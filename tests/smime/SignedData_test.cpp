// Verification of detached and attached signatures: status codes, signers,
// attributes, capabilities and the preferred encryption certificate.
#include <algorithm>

#include "SmimeTestSupport.h"
#include "asn1/asn1.h"
#include "smime/parts/NameValueList.h"
#include "smime/cms/SignedData.h"
#include "smime/cms/StatusCodes.h"
#include "util/system/WinError.h"

using namespace smimetest;
using namespace tessel;

namespace {

struct TVerifyResult {
  uint32_t Status = kStatusNotChecked;
  TCertificate Signer, Encryption;
  std::vector<TSignedAttribute> Attributes;
  TStringListX Capabilities;
  std::vector<TSignerCheck> Signers;
  std::string Content;
  std::string Raised;  // the message and code of an exception
};

// Runs one verification: detached when content is given.
TVerifyResult Verify(const std::string& data, const std::string* content = nullptr, const std::string& encoding = "") {
  TVerifyResult r;
  TSmimeStores stores;
  try {
    TVerification v = content ? VerifyDetached(*content, data, encoding, stores) : VerifySigned(data, encoding, stores);
    r.Status = v.Status;
    r.Signer = v.SignerCertificate();
    r.Encryption = v.EncryptionCertificate;
    r.Attributes = v.Attributes;
    r.Capabilities = v.Capabilities;
    r.Signers = v.Signers;
    r.Content = v.Content;
  } catch (const EWinException& e) {
    r.Raised = e.what() + (" " + std::to_string(static_cast<int32_t>(e.ErrorCode)));
  }
  return r;
}
std::string AttributeBase64(const TVerifyResult& r, const char* oid) {
  const std::string* value = FindAttribute(r.Attributes, oid);
  return value ? Base64(*value) : "-";
}
TVerifyResult Attached(const std::string& data) { return Verify(data); }

std::string Attribute(const std::string& oid, const std::string& value) { return Seq(Oid(oid) + Set(value)); }
std::string IssuerAndSerial(const std::string& p) { return Cert(p).IssuerDer() + Integer(Cert(p).SerialOctets()); }

// A signed-data written here: alice signs content with the given signed
// attributes (contentType and messageDigest are added), RSA with SHA-256.
std::string CraftSigned(const std::string& content, std::vector<std::string> attributes,
                        const std::vector<std::string>& certificates, bool withSigner = true) {
  std::string sha256 = Seq(Oid("2.16.840.1.101.3.4.2.1") + std::string("\x05\x00", 2));
  std::string signerInfos;
  if (withSigner) {
    attributes.push_back(Attribute("1.2.840.113549.1.9.3", Oid("1.2.840.113549.1.7.1")));
    attributes.push_back(Attribute("1.2.840.113549.1.9.4", Octets(Openssl("dgst -sha256 -binary", content))));
    std::sort(attributes.begin(), attributes.end());  // DER order of a SET OF
    std::string attrs;
    for (const std::string& a : attributes) attrs += a;
    signerInfos = Seq(Integer("\x01") + Seq(IssuerAndSerial("alice")) + sha256 + Tlv(0xA0, attrs) +
                      Seq(Oid("1.2.840.113549.1.1.1") + std::string("\x05\x00", 2)) +
                      Octets(Openssl("dgst -sha256 -sign alice.key", Set(attrs))));
  }
  std::string certs;
  for (const std::string& c : certificates) certs += c;
  std::string signedData = Integer("\x01") + Set(withSigner ? sha256 : "") +
                           Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets(content))) +
                           (certs.empty() ? "" : Tlv(0xA0, certs)) + Set(signerInfos);
  return Seq(Oid("1.2.840.113549.1.7.2") + Explicit0(Seq(signedData)));
}

using SignedDataTest = TSandboxTest;

TEST_F(SignedDataTest, status_signer_and_content_of_each_signature) {
  const std::string content = PkiContent(), der = PkiFile("detached.p7s"), opaque = PkiFile("opaque.p7m");
  std::string tampered = content, lfOnly = content, badValue = opaque;
  tampered[tampered.find("Hello")] = 'J';
  lfOnly.erase(std::remove(lfOnly.begin(), lfOnly.end(), '\r'), lfOnly.end());  // hashed as it stands
  badValue.back() ^= 0x01;  // the signature value is the message's last field
  const std::string noSigner = CraftSigned("", {}, {CertDer("alice")}, false), notSigned = "not signed -3";
  const struct {
    const char* What;
    TVerifyResult Result;
    uint32_t Status;
    bool Signed;  // the signer certificate is alice's, not empty
    std::string Content, Raised;
  } cases[] = {{"detached", Verify(der, &content), 0, true, "", ""},
               {"tampered content", Verify(der, &tampered), kStatusHashValue, true, "", ""},
               {"LF line ends", Verify(der, &lfOnly), kStatusHashValue, true, "", ""},
               {"BASE64", Verify(Base64(der), &content, "BASE64"), 0, true, "", ""},
               // Unknown encodings take the octets as they are.
               {"x-uuencode", Verify(der, &content, "x-uuencode"), 0, true, "", ""},
               {"binary", Verify(der, &content, "binary"), 0, true, "", ""},
               {"base64 as x-uuencode", Verify(Base64(der), &content, "x-uuencode"), kStatusNotChecked, false, "",
                "Fatal Error " + std::to_string(static_cast<int32_t>(kStatusBadEncode))},
               {"detached without signer", Verify(noSigner, &content), kStatusNotChecked, false, "", notSigned},
               {"opaque", Attached(opaque), 0, true, content, ""},
               {"opaque in base64", Verify(Base64(opaque), nullptr, "Base64"), 0, true, content, ""},
               {"bad signature value", Attached(badValue), kStatusBadSignature, true, content, ""},
               {"signer by key identifier", Attached(PkiFile("keyid.p7m")), 0, true, content, ""},
               {"signer unknown", Attached(PkiFile("nocerts.p7m")), kStatusSignerNotFound, false, content, ""},
               {"no signer infos", Attached(CraftSigned("inner text", {}, {}, false)), kStatusNoSignature, false,
                "inner text", ""},
               {"enveloped data", Attached(PkiFile("enc-two.p7m")), kStatusNotChecked, false, "", notSigned},
               {"no PKCS #7", Attached("no PKCS #7 at all"), kStatusNotChecked, false, "", notSigned}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.Result.Status, c.Status) << c.What;
    EXPECT_EQ(c.Result.Signer.Encoded(), c.Signed ? CertDer("alice") : "") << c.What;
    EXPECT_EQ(c.Result.Content, c.Content) << c.What;
    EXPECT_EQ(c.Result.Raised, c.Raised) << c.What;
  }
  for (const auto& [status, text] : {std::pair{kStatusHashValue, "The hash value is not correct.\r\n"},
                                     {kStatusBadSignature, "Invalid Signature.\r\n"},
                                     {kStatusNoSignature, "No signature was present in the subject.\r\n"}})
    EXPECT_EQ(GetWinErrorText(status), text);

  Stores.Put("AddressBook", "alice.pem", "alice.pem");
  TVerifyResult inBook = Attached(PkiFile("nocerts.p7m"));
  EXPECT_EQ(inBook.Status, 0u);
  EXPECT_EQ(inBook.Signer.Encoded(), CertDer("alice"));
}

TEST_F(SignedDataTest, damaged_messages_never_pass_with_other_content_and_never_crash) {
  const std::string original = PkiFile("opaque.p7m");
  int valid = 0;
  for (size_t i = 0; i < original.size(); ++i) {
    for (const std::string& data :
         {original.substr(0, i), std::string(original).replace(i, 1, 1, original[i] ^ 0x5A)}) {
      TVerifyResult r = Attached(data);
      if (r.Status == 0) {
        // Only octets outside what the signature covers (the copy of a
        // certificate's own signature, say) may change a valid message.
        EXPECT_EQ(r.Content, PkiContent()) << "octet " << i;
        ++valid;
      }
    }
  }
  EXPECT_LT(valid, static_cast<int>(original.size()));
}

TEST_F(SignedDataTest, signed_attributes_are_kept_as_their_encodings) {
  const std::string content = PkiContent();
  TVerifyResult r = Verify(PkiFile("detached.p7s"), &content);
  // contentType: the whole encoding of its first value, the OID.
  EXPECT_EQ(AttributeBase64(r, "1.2.840.113549.1.9.3"), "BgkqhkiG9w0BBwE=\r\n");
  for (const char* oid : {"1.2.840.113549.1.9.5", "1.2.840.113549.1.9.4", "1.2.840.113549.1.9.15"})
    EXPECT_NE(FindAttribute(r.Attributes, oid), nullptr) << oid;
  EXPECT_FALSE(r.Capabilities.empty());  // their names: the capability test below
}

TEST_F(SignedDataTest, every_signer_counts) {
  const std::string good = PkiFile("twosigners.p7m");
  std::string secondBad = good;
  secondBad.back() ^= 0x01;  // the last signer's signature value ends the message
  const struct {
    const char* What;
    std::string Data;
    uint32_t Status, First, Second;
  } cases[] = {{"both good", good, 0, 0, 0}, {"second bad", secondBad, kStatusBadSignature, 0, kStatusBadSignature}};
  for (const auto& c : cases) {
    TVerifyResult r = Attached(c.Data);
    EXPECT_EQ(r.Status, c.Status) << c.What;
    ASSERT_EQ(r.Signers.size(), 2u) << c.What;
    EXPECT_EQ(r.Signers[0].Status, c.First) << c.What;
    EXPECT_EQ(r.Signers[1].Status, c.Second) << c.What;
    // The first signer is the message's: its certificate is the signer's.
    EXPECT_EQ(r.Signer.Encoded(), CertDer("alice")) << c.What;
    EXPECT_EQ(r.Signers[1].Certificate.Encoded(), CertDer("bob")) << c.What;
  }
}

TEST_F(SignedDataTest, a_forged_certificate_with_the_signers_name_and_serial_does_not_hide_the_real_one) {
  // shadow carries alice's issuer name and serial number with another key.
  ASSERT_EQ(Cert("shadow").IssuerDer(), Cert("alice").IssuerDer());
  ASSERT_EQ(Serial("shadow"), Serial("alice"));
  Stores.Put("AddressBook", "shadow.pem", "0-shadow.pem");  // first in the store's order
  TVerifyResult onlyShadow = Attached(PkiFile("nocerts.p7m"));
  EXPECT_EQ(onlyShadow.Status, kStatusBadSignature);
  EXPECT_EQ(onlyShadow.Signer.Encoded(), CertDer("shadow"));
  Stores.Put("AddressBook", "alice.pem", "z-alice.pem");
  TVerifyResult both = Attached(PkiFile("nocerts.p7m"));
  EXPECT_EQ(both.Status, 0u);
  EXPECT_EQ(both.Signer.Encoded(), CertDer("alice"));
  // A forged copy in the message itself does not hide the address book's.
  std::string withShadow = CraftSigned("c", {}, {CertDer("shadow")});
  EXPECT_EQ(Attached(withShadow).Status, 0u);
  EXPECT_EQ(Attached(withShadow).Signer.Encoded(), CertDer("alice"));
}

TEST_F(SignedDataTest, capability_names_in_order_with_an_unknown_one_empty) {
  std::string rc2 = Oid("1.2.840.113549.3.2");
  std::string caps =
      Seq(Seq(Oid("1.2.840.113549.3.7")) + Seq(rc2 + Integer(std::string("\x00\x80", 2))) + Seq(rc2 + Integer("\x40")) +
          Seq(Oid("1.3.14.3.2.7")) + Seq(rc2 + Integer("\x28")) + Seq(Oid("1.2.3.4")));
  TVerifyResult r = Attached(CraftSigned("body", {Attribute("1.2.840.113549.1.9.15", caps)}, {CertDer("alice")}));
  EXPECT_EQ(r.Status, 0u);  // the structure written here is a sound signature
  EXPECT_EQ(r.Capabilities, (TStringListX{"3des", "rc2 128", "rc2 64", "des", "rc2 40", ""}));
  EXPECT_EQ(AttributeBase64(r, "1.2.840.113549.1.9.15"), Base64(caps));

  auto name = [](const std::string& der) {
    std::unique_ptr<TAsnElem> e = ParseAsn(der.data(), static_cast<int32_t>(der.size()));
    return CapabilityName(e.get());
  };
  EXPECT_EQ(CapabilityName(nullptr), "");
  const std::pair<std::string, const char*> edges[] = {
      {Seq(""), ""},
      {Seq(Integer("\x01")), ""},
      {Seq(rc2), "rc2"},
      {Seq(rc2 + Octets("\x01")), "rc2"},
      {Seq(rc2 + Integer("\xFF")), "rc2 -1"},
      // 2^64: no fixed-size integer holds it.
      {Seq(rc2 + Integer(std::string("\x01\x00\x00\x00\x00\x00\x00\x00\x00", 9))), "rc2 18446744073709551616"}};
  for (const auto& [der, expected] : edges) EXPECT_EQ(name(der), expected) << expected;
}

TEST_F(SignedDataTest, encryption_key_preference_from_the_message_and_from_the_address_book) {
  std::string carol = CertDer("carol");
  std::string smimePref = Attribute("1.2.840.113549.1.9.16.2.11", Tlv(0xA0, IssuerAndSerial("carol")));
  std::string msPref = Attribute("1.3.6.1.4.1.311.16.4", Seq(IssuerAndSerial("carol")));

  TVerifyResult inMessage = Attached(CraftSigned("a", {smimePref}, {CertDer("alice"), carol}));
  EXPECT_EQ(inMessage.Status, 0u);
  EXPECT_EQ(inMessage.Encryption.Encoded(), carol);
  EXPECT_TRUE(Attached(CraftSigned("b", {msPref}, {CertDer("alice")})).Encryption.IsEmpty());

  Stores.Put("AddressBook", "dave.pem", "a.pem");
  Stores.Put("AddressBook", "carol.pem", "b.pem");
  TVerifyResult inBook = Attached(CraftSigned("b", {msPref}, {CertDer("alice")}));
  EXPECT_EQ(inBook.Status, 0u);
  EXPECT_EQ(inBook.Encryption.Encoded(), carol);

  // Issuer and serial are compared as octets: the same name in another
  // encoding, or the serial with a leading zero, is another certificate.
  std::string issuer = Cert("carol").IssuerDer(), serial = Cert("carol").SerialOctets();
  std::string otherSerial =
      Attribute("1.2.840.113549.1.9.16.2.11", Tlv(0xA0, issuer + Integer(std::string(1, '\0') + serial)));
  EXPECT_TRUE(Attached(CraftSigned("d", {otherSerial}, {CertDer("alice"), carol})).Encryption.IsEmpty());
}

TEST_F(SignedDataTest, stores_are_read_once_for_any_number_of_key_preferences) {
  // Many preferences for certificates nobody has, against a full address
  // book: each used to read the whole store again.
  for (int i = 0; i < 200; ++i) Stores.Put("AddressBook", i % 2 ? "bob.pem" : "dave.pem", std::to_string(i) + ".pem");
  std::vector<std::string> prefs;
  for (int i = 0; i < 300; ++i)
    prefs.push_back(Attribute("1.3.6.1.4.1.311.16.4", Seq(Cert("carol").IssuerDer() +
                                                          Integer(std::string("\x7F\x01", 2) + std::to_string(i)))));
  std::string data = CraftSigned("e", prefs, {CertDer("alice")});
  TSmimeStores stores;
  TVerification v = VerifySigned(data, "", stores);
  EXPECT_EQ(v.Status, 0u);
  EXPECT_TRUE(v.EncryptionCertificate.IsEmpty());
  EXPECT_EQ(stores.Reads(), 1);  // "AddressBook" alone
}

}  // namespace
