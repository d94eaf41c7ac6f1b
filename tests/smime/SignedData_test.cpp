// Verification of detached and attached signatures: status codes, signer
// certificates, attributes, capabilities and the preferred encryption
// certificate, on messages made by the openssl command and on structures
// written here where the command cannot make them.
#include <algorithm>

#include "SmimeTestSupport.h"
#include "asn1/asn1.h"
#include "smime/CertificateStore.h"
#include "smime/NameValueList.h"
#include "smime/SignedData.h"
#include "smime/StatusCodes.h"
#include "util/Base64.h"
#include "util/MemoryStream.h"
#include "util/WinError.h"

using namespace smimetest;
using namespace tessel;

namespace {

constexpr uint32_t kNotChecked = 2;

struct TVerifyResult {
  uint32_t Status = kNotChecked;
  TCertificate Signer;
  TCertificate Encryption;
  TStringListX Attributes;
  TStringListX Capabilities;
  std::string Content;
};

TVerifyResult Detached(const std::string& content, const std::string& signature, const std::string& encoding = "") {
  TVerifyResult r;
  VerifyDetached(content.data(), static_cast<int32_t>(content.size()), signature.data(), encoding, &r.Attributes,
                 &r.Capabilities, r.Status, &r.Encryption, &r.Signer, static_cast<int32_t>(signature.size()));
  return r;
}

TVerifyResult Attached(const std::string& data, const std::string& encoding = "") {
  TVerifyResult r;
  TMemoryStream out;
  VerifySigned(data.data(), static_cast<int32_t>(data.size()), out, encoding, &r.Attributes, &r.Capabilities,
               r.Status, &r.Encryption, &r.Signer);
  r.Content.assign(out.Memory() ? out.Memory() : "", static_cast<size_t>(out.Size()));
  return r;
}

std::string Base64(const std::string& octets) {
  TStringStream s;
  Base64EncodeBuffer(octets.data(), static_cast<int32_t>(octets.size()), s);
  return s.DataString();
}

// Runs the openssl command on a temporary input file and returns what it wrote.
std::string OpensslOutput(const std::string& input, const std::string& arguments) {
  char pattern[] = "/tmp/tessel-smime-sign-XXXXXX";
  fs::path dir = ::mkdtemp(pattern);
  WriteFile(dir / "in", input);
  std::string command = "openssl " + arguments + " -out '" + (dir / "out").string() + "' '" + (dir / "in").string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::string out = ReadFile(dir / "out");
  fs::remove_all(dir);
  return out;
}

std::string Attribute(const std::string& oid, const std::string& value) { return Seq(Oid(oid) + Set(value)); }
std::string IssuerAndSerial(const std::string& certDer) {
  std::vector<TDerItem> tbs = TbsFields(certDer);
  return tbs[3].Whole + tbs[1].Whole;
}

// A signed-data written here: alice signs content with the given signed
// attributes (contentType and messageDigest are added), RSA with SHA-256.
std::string CraftSigned(const std::string& content, std::vector<std::string> attributes,
                        const std::vector<std::string>& certificates, bool withSigner = true) {
  std::string sha256 = Seq(Oid("2.16.840.1.101.3.4.2.1") + std::string("\x05\x00", 2));
  std::string signerInfos;
  if (withSigner) {
    attributes.push_back(Attribute("1.2.840.113549.1.9.3", Oid("1.2.840.113549.1.7.1")));
    attributes.push_back(Attribute("1.2.840.113549.1.9.4", Octets(OpensslOutput(content, "dgst -sha256 -binary"))));
    std::sort(attributes.begin(), attributes.end());  // DER order of a SET OF
    std::string attrs;
    for (const std::string& a : attributes) attrs += a;
    std::string signature =
        OpensslOutput(Set(attrs), "dgst -sha256 -sign '" + (Pki() / "alice.key").string() + "'");
    signerInfos = Seq(Integer("\x01") + Seq(IssuerAndSerial(CertDer("alice"))) + sha256 + Tlv(0xA0, attrs) +
                      Seq(Oid("1.2.840.113549.1.1.1") + std::string("\x05\x00", 2)) + Octets(signature));
  }
  std::string certs;
  for (const std::string& c : certificates) certs += c;
  std::string signedData = Integer("\x01") + Set(withSigner ? sha256 : "") +
                           Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets(content))) +
                           (certs.empty() ? "" : Tlv(0xA0, certs)) + Set(signerInfos);
  return Seq(Oid("1.2.840.113549.1.7.2") + Explicit0(Seq(signedData)));
}

template <class F>
uint32_t RaisedCode(F f, std::string* message = nullptr) {
  try {
    f();
  } catch (const EWinException& e) {
    if (message) *message = e.what();
    return e.ErrorCode;
  }
  ADD_FAILURE() << "nothing raised";
  return 0;
}

class SignedDataTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

// --- detached ---------------------------------------------------------------

TEST_F(SignedDataTest, detached_valid_signature_reports_signer_attributes_and_capabilities) {
  TVerifyResult r = Detached(PkiFile("content.txt"), PkiFile("detached.p7s"));
  EXPECT_EQ(r.Status, 0u);
  EXPECT_EQ(r.Signer.Encoded(), CertDer("alice"));
  // contentType, as its encoding's base64 exactly as the encoder writes it.
  EXPECT_EQ(ListValue(r.Attributes, "1.2.840.113549.1.9.3"), "BgkqhkiG9w0BBwE=\r\n");
  EXPECT_GE(IndexOfName(r.Attributes, "1.2.840.113549.1.9.5"), 0);
  EXPECT_GE(IndexOfName(r.Attributes, "1.2.840.113549.1.9.4"), 0);
  EXPECT_GE(IndexOfName(r.Attributes, "1.2.840.113549.1.9.15"), 0);
  // openssl lists AES (no short name here) before the older ciphers.
  std::vector<std::string> tail = {"3des", "rc2 128", "rc2 64", "des", "rc2 40"};
  ASSERT_GE(r.Capabilities.size(), tail.size());
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), r.Capabilities.end() - static_cast<long>(tail.size())));
  EXPECT_EQ(r.Capabilities.front(), "");
}

TEST_F(SignedDataTest, detached_tampered_content_is_a_hash_fault_and_keeps_the_signer) {
  std::string content = PkiFile("content.txt");
  content[content.find("Hello")] = 'J';
  TVerifyResult r = Detached(content, PkiFile("detached.p7s"));
  EXPECT_EQ(r.Status, kStatusHashValue);
  EXPECT_EQ(r.Signer.Encoded(), CertDer("alice"));
  EXPECT_EQ(GetWinErrorText(r.Status), "The hash value is not correct.\r\n");
}

TEST_F(SignedDataTest, detached_content_is_hashed_as_it_stands_without_line_end_changes) {
  std::string content = PkiFile("content.txt");
  content.erase(std::remove(content.begin(), content.end(), '\r'), content.end());
  EXPECT_EQ(Detached(content, PkiFile("detached.p7s")).Status, kStatusHashValue);
}

TEST_F(SignedDataTest, transfer_encodings_of_the_signature) {
  std::string content = PkiFile("content.txt");
  std::string der = PkiFile("detached.p7s");
  EXPECT_EQ(Detached(content, Base64(der), "BASE64").Status, 0u);
  EXPECT_EQ(Detached(content, Base64(der), "base64").Status, 0u);
  // Unknown encodings take the octets as they are.
  EXPECT_EQ(Detached(content, der, "x-uuencode").Status, 0u);
  EXPECT_EQ(Detached(content, der, "binary").Status, 0u);
  std::string message;
  EXPECT_EQ(RaisedCode([&] { Detached(content, Base64(der), "x-uuencode"); }, &message), kStatusBadEncode);
  EXPECT_EQ(message, "Fatal Error");
}

TEST_F(SignedDataTest, detached_without_signer_raises_not_signed_and_says_no_signature) {
  std::string noSigner = CraftSigned("", {}, {CertDer("alice")}, false);
  TVerifyResult r;
  std::string content = "x";
  std::string message;
  uint32_t code = RaisedCode(
      [&] {
        VerifyDetached(content.data(), 1, noSigner.data(), "", &r.Attributes, &r.Capabilities, r.Status,
                       &r.Encryption, &r.Signer, static_cast<int32_t>(noSigner.size()));
      },
      &message);
  EXPECT_EQ(message, "not signed");
  EXPECT_EQ(code, static_cast<uint32_t>(-3));
  EXPECT_EQ(r.Status, kStatusNoSignature);
}

// --- attached ---------------------------------------------------------------

TEST_F(SignedDataTest, attached_valid_returns_content) {
  TVerifyResult r = Attached(PkiFile("opaque.p7m"));
  EXPECT_EQ(r.Status, 0u);
  EXPECT_EQ(r.Content, PkiFile("content.txt"));
  EXPECT_EQ(r.Signer.NameAttribute(false, 3), "alice@example.com");
  EXPECT_EQ(Attached(Base64(PkiFile("opaque.p7m")), "Base64").Content, PkiFile("content.txt"));
}

TEST_F(SignedDataTest, attached_bad_signature_value_is_a_signature_fault) {
  std::string data = PkiFile("opaque.p7m");
  data.back() ^= 0x01;  // the signature value is the message's last field
  TVerifyResult r = Attached(data);
  EXPECT_EQ(r.Status, kStatusBadSignature);
  EXPECT_EQ(GetWinErrorText(r.Status), "Invalid Signature.\r\n");
  EXPECT_EQ(r.Content, PkiFile("content.txt"));
  EXPECT_EQ(r.Signer.Encoded(), CertDer("alice"));
}

TEST_F(SignedDataTest, signer_named_by_key_identifier) {
  TVerifyResult r = Attached(PkiFile("keyid.p7m"));
  EXPECT_EQ(r.Status, 0u);
  EXPECT_EQ(r.Signer.Encoded(), CertDer("alice"));
}

TEST_F(SignedDataTest, signer_unknown_gives_not_found_and_still_the_content) {
  TVerifyResult r = Attached(PkiFile("nocerts.p7m"));
  EXPECT_EQ(r.Status, kStatusSignerNotFound);
  EXPECT_EQ(r.Content, PkiFile("content.txt"));
  EXPECT_TRUE(r.Signer.IsEmpty());
}

TEST_F(SignedDataTest, signer_found_only_in_the_address_book) {
  Stores.Put("AddressBook", "alice.pem", "alice.pem");
  TVerifyResult r = Attached(PkiFile("nocerts.p7m"));
  EXPECT_EQ(r.Status, 0u);
  EXPECT_EQ(r.Signer.Encoded(), CertDer("alice"));
}

TEST_F(SignedDataTest, no_signer_infos_say_no_signature_and_give_the_content) {
  TVerifyResult r = Attached(CraftSigned("inner text", {}, {}, false));
  EXPECT_EQ(r.Status, kStatusNoSignature);
  EXPECT_EQ(GetWinErrorText(r.Status), "No signature was present in the subject.\r\n");
  EXPECT_EQ(r.Content, "inner text");
  EXPECT_TRUE(r.Signer.IsEmpty());
}

TEST_F(SignedDataTest, other_data_is_not_signed_and_leaves_status_alone) {
  for (const std::string& data : {PkiFile("enc-two.p7m"), std::string("no PKCS #7 at all")}) {
    TVerifyResult r;
    TMemoryStream out;
    std::string message;
    uint32_t code = RaisedCode(
        [&] {
          VerifySigned(data.data(), static_cast<int32_t>(data.size()), out, "", nullptr, nullptr, r.Status, nullptr,
                       nullptr);
        },
        &message);
    EXPECT_EQ(message, "not signed");
    EXPECT_EQ(code, static_cast<uint32_t>(-3));
    EXPECT_EQ(r.Status, kNotChecked);
  }
}

TEST_F(SignedDataTest, attributes_are_read_only_with_an_encryption_certificate) {
  std::string data = PkiFile("opaque.p7m");
  uint32_t status = kNotChecked;
  TStringListX attributes, capabilities;
  TMemoryStream out;
  VerifySigned(data.data(), static_cast<int32_t>(data.size()), out, "", &attributes, &capabilities, status, nullptr,
               nullptr);
  EXPECT_EQ(status, 0u);
  EXPECT_TRUE(attributes.empty());
  EXPECT_TRUE(capabilities.empty());
}

TEST_F(SignedDataTest, damaged_messages_never_pass_with_other_content_and_never_crash) {
  const std::string original = PkiFile("opaque.p7m");
  const std::string content = PkiFile("content.txt");
  int valid = 0;
  for (size_t i = 0; i < original.size(); ++i) {
    for (const std::string& data : {original.substr(0, i), std::string(original).replace(i, 1, 1, original[i] ^ 0x5A)}) {
      try {
        TVerifyResult r = Attached(data);
        if (r.Status == 0) {
          // Only octets outside what the signature covers (the copy of a
          // certificate's own signature, say) may change a valid message.
          EXPECT_EQ(r.Content, content) << "octet " << i;
          ++valid;
        }
      } catch (const EWinException&) {
      }
    }
  }
  EXPECT_LT(valid, static_cast<int>(original.size()));
}

// --- attributes written here -----------------------------------------------------

TEST_F(SignedDataTest, capability_names_in_order_with_an_unknown_one_empty) {
  std::string caps = Seq(Seq(Oid("1.2.840.113549.3.7")) + Seq(Oid("1.2.840.113549.3.2") + Integer(std::string("\x00\x80", 2))) +
                         Seq(Oid("1.2.840.113549.3.2") + Integer("\x40")) + Seq(Oid("1.3.14.3.2.7")) +
                         Seq(Oid("1.2.840.113549.3.2") + Integer("\x28")) + Seq(Oid("1.2.3.4")));
  TVerifyResult r = Attached(CraftSigned("body", {Attribute("1.2.840.113549.1.9.15", caps)}, {CertDer("alice")}));
  EXPECT_EQ(r.Status, 0u);  // the structure written here is a sound signature
  EXPECT_EQ(r.Capabilities, (TStringListX{"3des", "rc2 128", "rc2 64", "des", "rc2 40", ""}));
  EXPECT_EQ(ListValue(r.Attributes, "1.2.840.113549.1.9.15"), Base64(caps));
}

TEST_F(SignedDataTest, encryption_key_preference_from_the_message_and_from_the_address_book) {
  std::string carol = CertDer("carol");
  std::string smimePref = Attribute("1.2.840.113549.1.9.16.2.11", Tlv(0xA0, IssuerAndSerial(carol)));
  std::string msPref = Attribute("1.3.6.1.4.1.311.16.4", Seq(IssuerAndSerial(carol)));

  TVerifyResult inMessage = Attached(CraftSigned("a", {smimePref}, {CertDer("alice"), carol}));
  EXPECT_EQ(inMessage.Status, 0u);
  EXPECT_EQ(inMessage.Encryption.Encoded(), carol);

  TVerifyResult nowhere = Attached(CraftSigned("b", {msPref}, {CertDer("alice")}));
  EXPECT_TRUE(nowhere.Encryption.IsEmpty());

  Stores.Put("AddressBook", "dave.pem", "a.pem");
  Stores.Put("AddressBook", "carol.pem", "b.pem");
  TVerifyResult inBook = Attached(CraftSigned("b", {msPref}, {CertDer("alice")}));
  EXPECT_EQ(inBook.Status, 0u);
  EXPECT_EQ(inBook.Encryption.Encoded(), carol);
}

TEST(SignedDataParts, capability_name_edge_cases) {
  EXPECT_EQ(CapabilityName(nullptr), "");
  auto name = [](const std::string& der) {
    std::unique_ptr<TAsnElem> e = ParseAsn(der.data(), static_cast<int32_t>(der.size()));
    return CapabilityName(e.get());
  };
  EXPECT_EQ(name(Seq("")), "");
  EXPECT_EQ(name(Seq(Integer("\x01"))), "");
  EXPECT_EQ(name(Seq(Oid("1.2.840.113549.3.2"))), "rc2");
  EXPECT_EQ(name(Seq(Oid("1.2.840.113549.3.2") + Octets("\x01"))), "rc2");
  EXPECT_EQ(name(Seq(Oid("1.2.840.113549.3.2") + Integer(std::string("\x01\x00\x00\x00\x00\x00\x00\x00\x00", 9)))),
            "rc2 18446744073709551616");  // 2^64: no fixed-size integer holds it
  EXPECT_EQ(name(Seq(Oid("1.2.840.113549.3.2") + Integer("\xFF"))), "rc2 -1");
}

TEST(SignedDataParts, transfer_decoding_table) {
  const std::string b64 = "aGVsbG8=";
  const std::string qp = "a=3Db";
  EXPECT_EQ(TransferDecode(b64.data(), 8, "Base64"), "hello");
  EXPECT_EQ(TransferDecode(qp.data(), 5, "Quoted-Printable"), "a=b");
  for (const char* raw : {"", "7bit", "8bit", "binary", "x-uuencode", " base64"})
    EXPECT_EQ(TransferDecode(b64.data(), 8, raw), b64) << raw;
}

}  // namespace
