// S/MIME body parts in messages: kind detection, decryption and unwrapping
// with their status codes, and the check of signed multiparts.
#include <gtest/gtest.h>

#include "SmimeMessages.h"
#include "mime/StructureListing.h"
#include "smime/StatusCodes.h"
#include "util/StringUtils.h"

#include <algorithm>

using namespace tessel;
using namespace smimetest;

namespace {

constexpr uint32_t kNotEncrypted = 0xFFFFFFFE;
constexpr uint32_t kNotSigned = 0xFFFFFFFD;

TSmimeBodyPart& SmimeRoot(TMessage& message) {
  auto part = dynamic_cast<TSmimeBodyPart*>(message.Roots(0));
  if (!part) throw std::runtime_error("root is no S/MIME part");
  return *part;
}

TMultipartSigned& SignedRoot(TMessage& message) {
  auto part = dynamic_cast<TMultipartSigned*>(message.Roots(0));
  if (!part) throw std::runtime_error("root is no signed multipart");
  return *part;
}

std::string Serial(const std::string& pkiName) { return TCertificate(Cert(pkiName)).SerialNumber(); }

// signed-data holding content with no signer infos at all.
std::string SignedDataWithoutSigners(const std::string& content) {
  std::string data = Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets(content)));
  return Seq(Oid("1.2.840.113549.1.7.2") + Explicit0(Seq(Integer("\x01") + Set("") + data + Set(""))));
}

}  // namespace

class SmimePart : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

// --- application/pkcs7-mime ----------------------------------------------------

TEST_F(SmimePart, kind_comes_from_the_first_octets_before_any_decoding) {
  struct {
    std::string Der;
    std::string Type;
    int32_t Kind;
  } cases[] = {
      {PkiFile("opaque.p7m"), "", TSmimeBodyPart::skSigned},
      {PkiFile("opaque.p7m"), "enveloped-data", TSmimeBodyPart::skSigned},  // the octets win
      {PkiFile("enc-two.p7m"), "signed-data", TSmimeBodyPart::skEnveloped},
      {"garbage that is no ASN.1", "enveloped-data", TSmimeBodyPart::skUnknown},
      {Seq(Oid("1.2.840.113549.1.7.1")), "", TSmimeBodyPart::skUnknown},  // data, not signed or enveloped
      {std::string(), "", TSmimeBodyPart::skUnknown},
  };
  for (const auto& c : cases) {
    auto message = Load(Pkcs7Mime(c.Der, c.Type));
    TSmimeBodyPart& part = SmimeRoot(*message);
    // The message peels top-level layers, so look at a second, unpeeled copy.
    auto plain = Load("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + Pkcs7Mime(c.Der, c.Type) +
                      "\r\n--b--\r\n");
    auto inner = dynamic_cast<TSmimeBodyPart*>(plain->Roots(0)->Children(0));
    ASSERT_NE(inner, nullptr);
    EXPECT_FALSE(inner->Decoded);
    EXPECT_EQ(inner->Kind, c.Kind) << c.Type;
    EXPECT_TRUE(part.Decoded);
  }
}

TEST_F(SmimePart, signed_data_without_smime_type_is_unwrapped_without_decrypting) {
  auto message = Load(Pkcs7Mime(PkiFile("opaque.p7m"), ""));
  TSmimeBodyPart& part = SmimeRoot(*message);
  ASSERT_NE(part.CurrentDecodedPart(), nullptr);
  EXPECT_EQ(part.Kind, TSmimeBodyPart::skSigned);
  EXPECT_TRUE(part.DecodeOk);
  EXPECT_EQ(part.Info->DecryptStatus, kStatusNotChecked);
  EXPECT_FALSE(part.Info->Decrypted);
  EXPECT_TRUE(part.Info->Verified);
  EXPECT_EQ(part.Info->VerifyStatus, 0u);
  EXPECT_TRUE(part.Info->SignatureValid);
  EXPECT_EQ(part.Info->SignerCertificate.SerialNumber(), Serial("alice"));
  EXPECT_EQ(part.Info->SignerEmail, "alice@example.com");
  // The inner root is the signed entity, parsed from the decoded octets.
  ASSERT_EQ(message->RootCount(), 2);
  TBodyPart* inner = message->Roots(1);
  EXPECT_EQ(inner, part.CurrentDecodedPart());
  EXPECT_EQ(inner->ContentTypeKey(), "text/plain");
  EXPECT_EQ(inner->GetRawText(), "Hello, world.\r\nSecond line.\r\n");
  EXPECT_EQ(inner->Depth, 1);
  EXPECT_EQ(message->TextPart, inner);
}

TEST_F(SmimePart, unreadable_body_without_type_tries_decryption_then_unwrapping) {
  auto message = Load(Pkcs7Mime("neither signed nor enveloped", ""));
  TSmimeBodyPart& part = SmimeRoot(*message);
  EXPECT_TRUE(part.Decoded);
  EXPECT_FALSE(part.DecodeOk);
  EXPECT_EQ(part.Kind, TSmimeBodyPart::skNoType);
  EXPECT_EQ(part.Info->DecryptStatus, kNotEncrypted);
  EXPECT_EQ(part.Info->VerifyStatus, kNotSigned);
  EXPECT_FALSE(part.Info->Decrypted);
  EXPECT_FALSE(part.Info->Verified);
  EXPECT_FALSE(part.Info->SignatureValid);
  EXPECT_EQ(message->RootCount(), 1);

  // An unknown smime-type is no reason to skip either attempt.
  auto odd = Load(Pkcs7Mime("still nothing", "certs-only"));
  EXPECT_EQ(SmimeRoot(*odd).Kind, TSmimeBodyPart::skUnknown);
  EXPECT_EQ(SmimeRoot(*odd).Info->DecryptStatus, kNotEncrypted);
  EXPECT_EQ(SmimeRoot(*odd).Info->VerifyStatus, kNotSigned);
}

TEST_F(SmimePart, enveloped_data_without_a_key_stays_undecoded_until_a_key_is_there) {
  auto message = Load(Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  TSmimeBodyPart& part = SmimeRoot(*message);
  EXPECT_EQ(part.Kind, TSmimeBodyPart::skEnveloped);
  EXPECT_FALSE(part.DecodeOk);
  EXPECT_EQ(part.CurrentDecodedPart(), nullptr);
  EXPECT_TRUE(part.Info->Decrypted);
  EXPECT_EQ(part.Info->DecryptStatus, kStatusNoRecipientMatches);
  EXPECT_EQ(part.Info->VerifyStatus, kStatusNotChecked);  // no unwrapping of enveloped data
  EXPECT_EQ(message->RootCount(), 1);
  EXPECT_TRUE(StartsWith(FormatPartLine("1", part),
                         "1\tapplication/pkcs7-mime\tclass=smime kind=enveloped verify=0x00000002 "
                         "decrypt=0x80880283 decoded=no enc=base64 "));

  // Decoding is done once; ResetDecoded makes the next request try again.
  Stores.PutIdentity("My", "carol");
  EXPECT_EQ(part.DecodedPart(), nullptr);
  part.ResetDecoded();
  TBodyPart* inner = part.DecodedPart();
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(part.DecodeOk);
  EXPECT_EQ(part.Info->DecryptStatus, 0u);
  // enc-two is for bob, then carol: carol's is the key there.
  EXPECT_EQ(part.Info->RecipientCertificate.SerialNumber(), Serial("carol"));
  EXPECT_EQ(inner->ContentTypeKey(), "text/plain");

  // A second reset keeps the part handed out before alive.
  part.ResetDecoded();
  TBodyPart* again = part.DecodedPart();
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, inner);
  EXPECT_EQ(inner->GetRawText(), again->GetRawText());
}

TEST_F(SmimePart, algorithm_name_follows_the_content_encryption) {
  Stores.PutIdentity("My", "carol");
  struct {
    const char* File;
    const char* Algorithm;
  } cases[] = {{"enc-3des.p7m", "3DES"}, {"enc-rc2-128.p7m", "RC2 128"}, {"enc-rc2-40.p7m", "RC2 40"}};
  for (const auto& c : cases) {
    auto message = Load(Pkcs7Mime(PkiFile(c.File), "enveloped-data"));
    TSmimeBodyPart& part = SmimeRoot(*message);
    EXPECT_TRUE(part.DecodeOk) << c.File;
    EXPECT_EQ(part.Info->Algorithm, c.Algorithm);
    EXPECT_EQ(Summary(*message).Algorithm, c.Algorithm);
  }
}

TEST_F(SmimePart, signed_data_without_signers_is_no_valid_signature_but_keeps_its_content) {
  auto message = Load(Pkcs7Mime(SignedDataWithoutSigners(PkiContent()), "signed-data"));
  TSmimeBodyPart& part = SmimeRoot(*message);
  ASSERT_NE(part.CurrentDecodedPart(), nullptr);
  EXPECT_EQ(part.CurrentDecodedPart()->ContentTypeKey(), "text/plain");
  EXPECT_TRUE(part.DecodeOk);
  EXPECT_EQ(part.Info->VerifyStatus, kStatusNoSignature);
  EXPECT_FALSE(part.Info->SignatureValid);
  EXPECT_TRUE(part.Info->SignerCertificate.IsEmpty());
  EXPECT_FALSE(Summary(*message).SignatureValid);
  EXPECT_EQ(Summary(*message).VerifyStatus, kStatusNoSignature);
}

TEST_F(SmimePart, decoded_content_that_is_no_entity_sets_parse_failed) {
  auto message = Load(Pkcs7Mime(SignOpaque("a first line without a colon\r\n\r\nbody\r\n"), "signed-data"));
  TSmimeBodyPart& part = SmimeRoot(*message);
  EXPECT_TRUE(part.Info->ParseFailed);
  EXPECT_EQ(part.CurrentDecodedPart(), nullptr);
  EXPECT_EQ(part.DecodedText(), nullptr);
  EXPECT_EQ(part.Info->VerifyStatus, 0u);
  EXPECT_EQ(message->RootCount(), 1);
  EXPECT_TRUE(Summary(*message).ParseFailed);
}

TEST_F(SmimePart, decoded_content_with_lf_line_ends_reads_as_cr_lf) {
  Stores.PutIdentity("My", "carol");
  auto message = Load(Pkcs7Mime(Encrypt("Content-Type: text/plain\nSubject: lf\n\nfirst\nsecond\n"), ""));
  ASSERT_EQ(message->RootCount(), 2);
  TBodyPart* inner = message->Roots(1);
  EXPECT_EQ(inner->HeaderCount(), 2);
  EXPECT_EQ(inner->GetRawText(), "first\r\nsecond\r\n");
}

TEST_F(SmimePart, x_pkcs7_mime_in_any_case_is_an_smime_part) {
  std::string der = PkiFile("opaque.p7m");
  std::string entity = "Content-Type: Application/X-PKCS7-MIME; smime-type=signed-data\r\n"
                       "Content-Transfer-Encoding: BASE64\r\n\r\n" +
                       Base64Lines(der);
  auto message = Load(entity);
  EXPECT_EQ(SmimeRoot(*message).Kind, TSmimeBodyPart::skSigned);
  EXPECT_EQ(message->RootCount(), 2);
  // The same octets without a transfer encoding (binary) are read as they
  // stand.
  auto binary = Load("Content-Type: application/pkcs7-mime\r\n\r\n" + der);
  EXPECT_EQ(SmimeRoot(*binary).Kind, TSmimeBodyPart::skSigned);
  EXPECT_EQ(binary->RootCount(), 2);
}

TEST_F(SmimePart, only_top_level_layers_are_peeled) {
  std::string nested = "Content-Type: multipart/mixed; boundary=outer\r\n\r\n--outer\r\n"
                       "Content-Type: text/plain\r\n\r\nintro\r\n--outer\r\n" +
                       Pkcs7Mime(PkiFile("opaque.p7m"), "signed-data") + "\r\n--outer--\r\n";
  auto message = Load(nested);
  EXPECT_EQ(message->RootCount(), 1);
  auto part = dynamic_cast<TSmimeBodyPart*>(message->Roots(0)->Children(1));
  ASSERT_NE(part, nullptr);
  EXPECT_FALSE(part->Decoded);  // decoded only when asked for
  EXPECT_EQ(Summary(*message).VerifyStatus, kStatusNotChecked);
  ASSERT_NE(part->InnerRoot(), nullptr);
  EXPECT_EQ(part->InnerRoot()->Depth, 2);
  EXPECT_EQ(part->Info->VerifyStatus, 0u);
}

// --- multipart/signed ----------------------------------------------------------

TEST_F(SmimePart, detached_signature_over_the_content_part_verifies) {
  auto message = Load(MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s")));
  TMultipartSigned& part = SignedRoot(*message);
  EXPECT_TRUE(part.Verified);
  EXPECT_EQ(part.ContentPart, part.Children(0));
  EXPECT_EQ(part.SignaturePart, part.Children(1));
  EXPECT_TRUE(part.Info->Verified);
  EXPECT_EQ(part.Info->VerifyStatus, 0u);
  EXPECT_EQ(part.Info->SignerCertificate.SerialNumber(), Serial("alice"));
  EXPECT_FALSE(part.Info->SigningTime.empty());
  // openssl lists AES first, which has no short name: the first
  // capability is an empty one.
  ASSERT_FALSE(part.Info->Capabilities.empty());
  EXPECT_EQ(part.Info->FirstCapability, part.Info->Capabilities.front());
  EXPECT_NE(std::find(part.Info->Capabilities.begin(), part.Info->Capabilities.end(), "3des"),
            part.Info->Capabilities.end());
  // The signature part is no attachment of the message, whatever its
  // disposition; the signed text is the message's text part.
  EXPECT_TRUE(message->Attachments.empty());
  EXPECT_EQ(message->TextPart, part.ContentPart);
  EXPECT_TRUE(StartsWith(FormatPartLine("1", part), "1\tmultipart/signed\tclass=signed kind=signed "
                                                     "verify=0x00000000 decrypt=0x00000002 decoded=yes size="));

  auto reversed = Load(MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s"), "", true));
  TMultipartSigned& second = SignedRoot(*reversed);
  EXPECT_EQ(second.SignaturePart, second.Children(0));
  EXPECT_EQ(second.ContentPart, second.Children(1));
  EXPECT_EQ(second.Info->VerifyStatus, 0u);
}

TEST_F(SmimePart, signed_multipart_content_is_hashed_up_to_the_next_delimiter) {
  // A multipart as the signed part: the signer hashed its epilogue too, or,
  // without one, stopped before the CR LF that begins the next delimiter.
  const std::string inner = "Content-Type: multipart/mixed; boundary=in\r\n\r\n--in\r\n"
                            "Content-Type: text/plain\r\n\r\nsigned text\r\n--in--";
  for (const std::string& content : {inner + "\r\n\r\nepilogue\r\n", inner + "\r\n\r\n", inner}) {
    for (bool signatureFirst : {false, true}) {
      auto message = Load(MultipartSignedEntity(content, SignDetached(content), "", signatureFirst));
      TMultipartSigned& part = SignedRoot(*message);
      ASSERT_TRUE(part.ContentPart && part.ContentPart->IsMultipart);
      EXPECT_EQ(part.Info->VerifyStatus, 0u) << content.size() << (signatureFirst ? " signature first" : "");
      const TBodyPart& c = *part.ContentPart;
      EXPECT_EQ(c.Text->GetString(c.HeaderStart, part.SignedContentEnd(c)), content);
    }
  }
}

TEST_F(SmimePart, detached_signature_over_changed_content_fails_but_names_the_signer) {
  std::string changed = PkiContent();
  changed.replace(changed.find("world"), 5, "World");
  auto message = Load(MultipartSignedEntity(changed, PkiFile("detached.p7s")));
  TMultipartSigned& part = SignedRoot(*message);
  EXPECT_TRUE(part.Verified);
  EXPECT_NE(part.Info->VerifyStatus, 0u);
  EXPECT_NE(part.Info->VerifyStatus, kStatusNotChecked);
  EXPECT_FALSE(part.Info->SignatureValid);
  EXPECT_EQ(part.Info->SignerCertificate.SerialNumber(), Serial("alice"));
}

TEST_F(SmimePart, signer_certificate_found_only_in_the_address_book) {
  std::string signature = Openssl("cms -sign -binary -nocerts -outform DER -signer alice.pem -inkey alice.key",
                                  PkiContent());
  auto without = Load(MultipartSignedEntity(PkiContent(), signature));
  EXPECT_EQ(SignedRoot(*without).Info->VerifyStatus, kStatusSignerNotFound);
  EXPECT_TRUE(SignedRoot(*without).Info->SignerCertificate.IsEmpty());
  Stores.Put("AddressBook", "alice.pem", "alice.pem");
  auto with = Load(MultipartSignedEntity(PkiContent(), signature));
  EXPECT_EQ(SignedRoot(*with).Info->VerifyStatus, 0u);
}

TEST_F(SmimePart, signed_multipart_without_two_children_is_not_checked) {
  std::string three = "Content-Type: multipart/signed; boundary=b\r\n\r\n--b\r\n" + PkiContent() +
                      "\r\n--b\r\nContent-Type: text/plain\r\n\r\nextra\r\n--b\r\n"
                      "Content-Type: application/pkcs7-signature\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                      Base64Lines(PkiFile("detached.p7s")) + "\r\n--b--\r\n";
  auto message = Load(three);
  TMultipartSigned& part = SignedRoot(*message);
  EXPECT_EQ(part.ChildCount(), 3);
  EXPECT_FALSE(part.Verified);
  EXPECT_FALSE(part.Info->Verified);
  EXPECT_EQ(part.Info->VerifyStatus, kStatusNotChecked);
  EXPECT_EQ(part.SignaturePart, nullptr);
}

TEST_F(SmimePart, signature_that_cannot_be_decoded_leaves_a_plain_multipart) {
  auto message = Load(MultipartSignedEntity(PkiContent(), "this is no PKCS #7 structure"));
  TBodyPart* root = message->Roots(0);
  EXPECT_EQ(dynamic_cast<TMultipartSigned*>(root), nullptr);
  EXPECT_EQ(root->ChildCount(), 2);
  EXPECT_FALSE(Summary(*message).Verified);
  EXPECT_EQ(Summary(*message).VerifyStatus, kStatusNotChecked);
}
