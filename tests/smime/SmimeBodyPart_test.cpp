// S/MIME body parts in messages: kind detection, decryption and unwrapping
// with their status codes, and the check of signed multiparts.
#include <gtest/gtest.h>

#include "SmimeTestSupport.h"
#include "smime/StatusCodes.h"

using namespace tessel;
using namespace smimetest;

namespace {

constexpr uint32_t kNotEncrypted = 0xFFFFFFFE, kNotSigned = 0xFFFFFFFD;

template <class T = TSmimeBodyPart>
T& Root(TMessage& message) {
  auto part = dynamic_cast<T*>(message.Roots(0));
  if (!part) throw std::runtime_error("root of another class");
  return *part;
}

std::string InMixed(const std::string& entity) {
  return "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + entity + "\r\n--b--\r\n";
}

}  // namespace

class SmimePart : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

TEST_F(SmimePart, kind_comes_from_the_first_octets_and_nested_parts_wait_to_be_decoded) {
  const std::tuple<std::string, std::string, int32_t> cases[] = {
      {PkiFile("opaque.p7m"), "", TSmimeBodyPart::skSigned},
      {PkiFile("opaque.p7m"), "enveloped-data", TSmimeBodyPart::skSigned},  // the octets win
      {PkiFile("enc-two.p7m"), "signed-data", TSmimeBodyPart::skEnveloped},
      {"garbage that is no ASN.1", "enveloped-data", TSmimeBodyPart::skUnknown},
      {Seq(Oid("1.2.840.113549.1.7.1")), "", TSmimeBodyPart::skUnknown},
  };
  for (const auto& [der, type, kind] : cases) {
    auto message = Load(InMixed(Pkcs7Mime(der, type)));
    auto part = dynamic_cast<TSmimeBodyPart*>(message->Roots(0)->Children(0));
    ASSERT_NE(part, nullptr);
    EXPECT_FALSE(part->Decoded);  // only top-level layers are peeled
    EXPECT_EQ(part->Kind, kind) << type;
    EXPECT_EQ(message->RootCount(), 1);
  }
}

TEST_F(SmimePart, signed_data_without_smime_type_is_unwrapped_without_decrypting) {
  auto message = Load(Pkcs7Mime(PkiFile("opaque.p7m"), ""));
  TSmimeBodyPart& part = Root(*message);
  EXPECT_EQ(part.Kind, TSmimeBodyPart::skSigned);
  EXPECT_TRUE(part.DecodeOk);
  EXPECT_EQ(part.Info->DecryptStatus, kStatusNotChecked);
  EXPECT_EQ(part.Info->VerifyStatus, 0u);
  EXPECT_EQ(part.Info->SignerCertificate.SerialNumber(), Serial("alice"));
  ASSERT_EQ(message->RootCount(), 2);
  TBodyPart* inner = message->Roots(1);
  EXPECT_EQ(inner, part.CurrentDecodedPart());
  EXPECT_EQ(inner->GetRawText(), "Hello, world.\r\nSecond line.\r\n");
  EXPECT_EQ(inner->Depth, 1);
  EXPECT_EQ(message->TextPart, inner);
}

TEST_F(SmimePart, unreadable_body_without_type_tries_decryption_then_unwrapping) {
  for (const char* type : {"", "certs-only"}) {
    auto message = Load(Pkcs7Mime("neither signed nor enveloped", type));
    TSmimeBodyPart& part = Root(*message);
    EXPECT_EQ(part.Kind, *type ? TSmimeBodyPart::skUnknown : TSmimeBodyPart::skNoType);
    EXPECT_FALSE(part.DecodeOk);
    EXPECT_EQ(part.Info->DecryptStatus, kNotEncrypted);
    EXPECT_EQ(part.Info->VerifyStatus, kNotSigned);
    EXPECT_FALSE(part.Info->Decrypted || part.Info->Verified);
  }
}

TEST_F(SmimePart, enveloped_data_is_decrypted_once_a_key_is_there) {
  auto message = Load(Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  TSmimeBodyPart& part = Root(*message);
  EXPECT_FALSE(part.DecodeOk);
  EXPECT_EQ(part.CurrentDecodedPart(), nullptr);
  EXPECT_TRUE(part.Info->Decrypted);
  EXPECT_EQ(part.Info->DecryptStatus, kStatusNoRecipientMatches);
  EXPECT_EQ(part.Info->VerifyStatus, kStatusNotChecked);
  Stores.PutIdentity("My", "carol");
  EXPECT_EQ(part.DecodedPart(), nullptr);  // decoded once already
  part.ResetDecoded();
  TBodyPart* inner = part.DecodedPart();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(part.Info->DecryptStatus, 0u);
  // For bob, then carol: carol's key is the one there.
  EXPECT_EQ(part.Info->RecipientCertificate.SerialNumber(), Serial("carol"));
  // Another reset keeps the part handed out before alive.
  part.ResetDecoded();
  ASSERT_NE(part.DecodedPart(), inner);
  EXPECT_EQ(inner->GetRawText(), part.CurrentDecodedPart()->GetRawText());
}

TEST_F(SmimePart, signed_data_without_signers_is_no_valid_signature_but_keeps_its_content) {
  std::string data = Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets(PkiContent())));
  std::string der = Seq(Oid("1.2.840.113549.1.7.2") + Explicit0(Seq(Integer("\x01") + Set("") + data + Set(""))));
  auto message = Load(Pkcs7Mime(der, "signed-data"));
  TSmimeBodyPart& part = Root(*message);
  ASSERT_NE(part.CurrentDecodedPart(), nullptr);
  EXPECT_EQ(part.CurrentDecodedPart()->ContentTypeKey(), "text/plain");
  EXPECT_EQ(part.Info->VerifyStatus, kStatusNoSignature);
  EXPECT_FALSE(Summary(*message).SignatureValid);
}

TEST_F(SmimePart, decoded_content_is_read_with_the_message_file_line_end_rule) {
  auto broken = Load(Pkcs7Mime(SignOpaque("a first line without a colon\r\n\r\nbody\r\n"), "signed-data"));
  EXPECT_TRUE(Root(*broken).Info->ParseFailed);
  EXPECT_EQ(Root(*broken).CurrentDecodedPart(), nullptr);
  EXPECT_EQ(broken->RootCount(), 1);

  auto lf = Load(Pkcs7Mime(SignOpaque("Content-Type: text/plain\nSubject: lf\n\nfirst\nsecond\n"), ""));
  ASSERT_EQ(lf->RootCount(), 2);
  EXPECT_EQ(lf->Roots(1)->HeaderCount(), 2);
  EXPECT_EQ(lf->Roots(1)->GetRawText(), "first\r\nsecond\r\n");
}

TEST_F(SmimePart, detached_signature_verifies_in_either_order_over_the_content_up_to_the_next_delimiter) {
  // The signer hashed a multipart's epilogue too, or, without one, stopped
  // before the CR LF that begins the next delimiter.
  const std::string inner = "Content-Type: multipart/mixed; boundary=in\r\n\r\n--in\r\n"
                            "Content-Type: text/plain\r\n\r\nsigned text\r\n--in--";
  for (const std::string& content : {PkiContent(), inner + "\r\n\r\nepilogue\r\n", inner}) {
    for (bool signatureFirst : {false, true}) {
      auto message = Load(MultipartSignedEntity(content, SignDetached(content), signatureFirst));
      auto& part = Root<TMultipartSigned>(*message);
      const TBodyPart& c = *part.ContentPart;
      EXPECT_TRUE(part.Verified);
      EXPECT_EQ(part.Info->VerifyStatus, 0u) << content.size() << signatureFirst;
      EXPECT_EQ(c.Text->GetString(c.HeaderStart, part.SignedContentEnd(c)), content);
      EXPECT_EQ(part.SignaturePart, part.Children(signatureFirst ? 0 : 1));
      EXPECT_EQ(part.Info->SignerCertificate.SerialNumber(), Serial("alice"));
      EXPECT_EQ(part.Info->FirstCapability, "");  // openssl lists AES first, which has no short name
      // The signature part enters no index, whatever its disposition.
      EXPECT_TRUE(message->Attachments.empty());
      if (c.ChildCount() == 0) {
        EXPECT_EQ(message->TextPart, &c);
      }
    }
  }
}

TEST_F(SmimePart, failed_and_unchecked_detached_signatures) {
  std::string changed = PkiContent();
  changed.replace(changed.find("world"), 5, "World");
  auto tampered = Load(MultipartSignedEntity(changed, PkiFile("detached.p7s")));
  EXPECT_EQ(Root<TMultipartSigned>(*tampered).Info->VerifyStatus, kStatusHashValue);
  EXPECT_EQ(Root<TMultipartSigned>(*tampered).Info->SignerCertificate.SerialNumber(), Serial("alice"));
  std::string three = "Content-Type: multipart/signed; boundary=b\r\n\r\n--b\r\n" + PkiContent() +
                      "\r\n--b\r\n\r\nextra\r\n--b\r\nContent-Type: application/pkcs7-signature\r\n\r\n" +
                      PkiFile("detached.p7s") + "\r\n--b--\r\n";
  auto& unchecked = Root<TMultipartSigned>(*Load(three));
  EXPECT_FALSE(unchecked.Verified);
  EXPECT_EQ(unchecked.Info->VerifyStatus, kStatusNotChecked);
}
