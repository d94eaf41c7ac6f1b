// S/MIME layers in messages: kinds, decryption, unwrapping and signed
// multiparts, and the message's security summary over nested layers.
#include "SmimeTestSupport.h"
#include "smime/stores/CertificateStore.h"
#include "smime/cms/CertificateChain.h"
#include "smime/cms/StatusCodes.h"

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

const std::string kFromAlice = "From: Alice Signer <Alice@Example.com>\r\n";

std::unique_ptr<TMessage> SignedBy(const std::string& signer, const std::string& from = kFromAlice) {
  return Load(Pkcs7Mime(SignOpaque(PkiContent(), signer), "signed-data", from));
}

std::string InMixed(const std::string& entity) {
  return "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n" + entity + "\r\n--b--\r\n";
}

}  // namespace

using SmimePart = TSandboxTest;

TEST_F(SmimePart, kind_comes_from_the_first_octets_and_nested_parts_wait_to_be_decoded) {
  const std::tuple<std::string, std::string, int32_t> cases[] = {
      {PkiFile("opaque.p7m"), "", TSmimeBodyPart::skSigned},
      {PkiFile("opaque.p7m"), "enveloped-data", TSmimeBodyPart::skSigned},  // the octets win
      {PkiFile("enc-two.p7m"), "signed-data", TSmimeBodyPart::skEnveloped},
      {"garbage that is no ASN.1", "enveloped-data", TSmimeBodyPart::skUnknown},
      {Seq(Oid("1.2.840.113549.1.7.1")), "", TSmimeBodyPart::skUnknown}};
  for (const auto& [der, type, kind] : cases) {
    auto message = Load(InMixed(Pkcs7Mime(der, type)));
    auto part = dynamic_cast<TSmimeBodyPart*>(message->Roots(0)->Children(0));
    ASSERT_NE(part, nullptr);
    EXPECT_FALSE(part->Decoded);  // only top-level layers are peeled
    EXPECT_EQ(part->Kind, kind) << type;
    EXPECT_EQ(message->RootCount(), 1);
  }
}

TEST_F(SmimePart, opaque_layers_are_unwrapped_with_their_status) {
  const std::string text = "Hello, world.\r\nSecond line.\r\n", unreadable = "neither signed nor enveloped";
  const std::string noSigners =
      Seq(Oid("1.2.840.113549.1.7.2") +
          Explicit0(Seq(Integer("\x01") + Set("") + Seq(Oid("1.2.840.113549.1.7.1") + Explicit0(Octets(PkiContent()))) +
                        Set(""))));
  const struct {
    const char* What;
    std::string Der, Type;
    int32_t Kind;
    uint32_t Verify, Decrypt;
    const char* Inner;  // raw text of the unwrapped content; nullptr: none
  } cases[] = {
      {"signed, no type", PkiFile("opaque.p7m"), "", TSmimeBodyPart::skSigned, 0, kStatusNotChecked, text.c_str()},
      // The content is shown, but nothing vouches for it.
      {"no signers", noSigners, "signed-data", TSmimeBodyPart::skSigned, kStatusNoSignature, kStatusNotChecked,
       text.c_str()},
      // The content is read with the message file's line-end rule.
      {"LF line ends", SignOpaque("Content-Type: text/plain\nSubject: lf\n\nfirst\nsecond\n"), "",
       TSmimeBodyPart::skSigned, 0, kStatusNotChecked, "first\r\nsecond\r\n"},
      {"content does not parse", SignOpaque("a first line without a colon\r\n\r\nbody\r\n"), "signed-data",
       TSmimeBodyPart::skSigned, 0, kStatusNotChecked, nullptr},
      // Without a type, decryption is tried before unwrapping.
      {"unreadable", unreadable, "", TSmimeBodyPart::skNoType, kNotSigned, kNotEncrypted, nullptr},
      {"unreadable, certs-only", unreadable, "certs-only", TSmimeBodyPart::skUnknown, kNotSigned, kNotEncrypted,
       nullptr}};
  for (const auto& c : cases) {
    auto message = Load(Pkcs7Mime(c.Der, c.Type));
    TSmimeBodyPart& part = Root(*message);
    TBodyPart* inner = part.CurrentDecodedPart();
    EXPECT_EQ(part.Kind, c.Kind) << c.What;
    EXPECT_EQ(part.Info->VerifyStatus, c.Verify) << c.What;
    EXPECT_EQ(part.Info->DecryptStatus, c.Decrypt) << c.What;
    EXPECT_EQ(part.Info->SignerCertificate.SerialNumber(), c.Verify == 0 ? Serial("alice") : "") << c.What;
    EXPECT_EQ(Summary(*message).SignatureValid, c.Verify == 0) << c.What;
    EXPECT_EQ(part.Info->ParseFailed, !c.Inner && c.Verify == 0) << c.What;
    EXPECT_EQ(part.DecodeOk, c.Verify != kNotSigned) << c.What;
    EXPECT_EQ(part.Info->Decrypted || part.Info->Verified, c.Verify != kNotSigned) << c.What;
    EXPECT_EQ(inner ? inner->GetRawText() : "-", c.Inner ? c.Inner : "-") << c.What;
    EXPECT_EQ(message->RootCount(), c.Inner ? 2 : 1) << c.What;
    if (inner) {
      EXPECT_EQ(message->Roots(1), inner) << c.What;
      EXPECT_EQ(inner->Depth, 1) << c.What;
      EXPECT_EQ(message->TextPart, inner) << c.What;
    }
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

TEST_F(SmimePart, detached_signature_verifies_in_either_order_over_the_content_up_to_the_next_delimiter) {
  // The signer hashed a multipart's epilogue too, or, without one, stopped
  // before the CR LF that begins the next delimiter.
  const std::string inner =
      "Content-Type: multipart/mixed; boundary=in\r\n\r\n--in\r\n"
      "Content-Type: text/plain\r\n\r\nsigned text\r\n--in--";
  for (const std::string& content : {PkiContent(), inner + "\r\n\r\nepilogue\r\n", inner}) {
    for (bool signatureFirst : {false, true}) {
      std::string signature = Openssl("cms -sign -binary -outform DER -signer alice.pem -inkey alice.key", content);
      auto message = Load(MultipartSignedEntity(content, signature, signatureFirst));
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
  auto threeParts = Load(three);  // the part lives as long as its message
  auto& unchecked = Root<TMultipartSigned>(*threeParts);
  EXPECT_FALSE(unchecked.Verified);
  EXPECT_EQ(unchecked.Info->VerifyStatus, kStatusNotChecked);
}

using SecuritySummary = TSandboxTest;

TEST_F(SecuritySummary, nested_layers_are_peeled_and_the_first_of_each_kind_summarised) {
  Stores.PutIdentity("My", "carol");
  // A multipart/signed by alice, enveloped for carol, opaque-signed by deep.
  std::string clearSigned = MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s"));
  std::string enveloped = Pkcs7Mime(Openssl("cms -encrypt -binary -aes128 -outform DER carol.pem", clearSigned), "");
  auto message = Load(Pkcs7Mime(SignOpaque(enveloped, "deep"), "signed-data", kFromAlice));
  ASSERT_EQ(message->RootCount(), 3);
  auto first = dynamic_cast<TSmimeBodyPart*>(message->Roots(0));
  auto second = dynamic_cast<TSmimeBodyPart*>(message->Roots(1));
  auto third = dynamic_cast<TMultipartSigned*>(message->Roots(2));
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(first->Kind * 10 + second->Kind, TSmimeBodyPart::skSigned * 10 + TSmimeBodyPart::skEnveloped);
  EXPECT_EQ(third->Info->VerifyStatus, 0u);
  EXPECT_EQ(message->TextPart, third->ContentPart);

  TSmimeInfo& summary = Summary(*message);
  EXPECT_EQ(summary.SignerCertificate.SerialNumber(), Serial("deep"));  // the outer signature
  EXPECT_EQ(summary.RecipientCertificate.SerialNumber(), Serial("carol"));
  EXPECT_EQ(summary.DecryptStatus, 0u);
  EXPECT_EQ(summary.Algorithm, second->Info->Algorithm);
  // deep's layer and the multipart/signed root are two signed layers.
  EXPECT_FALSE(summary.SingleLayer);
  EXPECT_EQ(summary.SignerEmail, "");  // deep has no address
  EXPECT_FALSE(summary.FromMatches);
  // Three layers, each looking up keys, signers and chains: every store
  // ("My", "AddressBook", "Root") was read once for the whole message.
  ASSERT_TRUE(summary.Stores);
  EXPECT_EQ(summary.Stores->Reads(), 3);
  EXPECT_EQ(first->Stores(), summary.Stores);
  EXPECT_EQ(third->Stores(), summary.Stores);
  // A layer decoded again later (the user may have added a key) reads
  // through the same stores, long after the parse is over.
  first->ResetDecoded();
  auto again = dynamic_cast<TSmimeBodyPart*>(first->DecodedPart());
  ASSERT_TRUE(again && again != second);
  EXPECT_EQ(again->Stores(), summary.Stores);
  // Another message has stores of its own.
  auto other = SignedBy("alice");
  EXPECT_NE(Summary(*other).Stores, summary.Stores);

  EXPECT_TRUE(Summary(*SignedBy("alice")).SingleLayer);
  EXPECT_EQ(Load(Pkcs7Mime(SignOpaque(Pkcs7Mime(SignOpaque(PkiContent()), "")), ""))->RootCount(), 3);
}

TEST_F(SecuritySummary, signer_address_is_matched_against_the_from_fields_mailboxes) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"alice@example.com", "ALICE@Example.COM", true},
      {"Alice@Example.com", "\"Alice\" <alice@example.com>, bob@example.com", true},
      {"alice@example.com", "Bob <bob@example.com>, Alice <ALICE@example.COM>", true},
      {"alice@example.com", "alice@example.com (Alice)", true},
      {"alice@example.com", "Team: bob@example.com, alice@example.com;", true},
      {"alice@example.com", "Alice alice@example.com", false},
      {"alice@example.com", "<malice@example.com>", false},
      // The address only as text of a display name, quoted string, comment
      // or encoded word, while the mailbox is someone else's.
      {"alice@example.com", "\"<alice@example.com>\" <mallory@evil.example>", false},
      {"alice@example.com", "Alice <alice@example.com> <mallory@evil.example>", false},
      {"alice@example.com", "(<alice@example.com>) mallory@evil.example", false},
      {"alice@example.com", "=?utf-8?q?=3Calice=40example.com=3E?= <mallory@evil.example>", false},
      {"", "", false},  // no signer address matches nothing
      {"", "Someone <>", false}};
  for (const auto& [address, from, match] : cases) EXPECT_EQ(MatchSignerAddress(address, from), match) << from;
  EXPECT_TRUE(Summary(*SignedBy("alice")).FromMatches);
  EXPECT_FALSE(Summary(*SignedBy("alice", "From: mallory@example.com\r\n")).FromMatches);
  EXPECT_FALSE(Summary(*Load("Content-Type: text/plain\r\n\r\nplain\r\n")).FromMatches);
  // Decoded, this From field would hold "<alice@example.com>" in a display name.
  EXPECT_FALSE(
      Summary(*SignedBy("alice", "From: =?utf-8?q?=3Calice=40example.com=3E?=\r\n <m@evil.example>\r\n")).FromMatches);
  EXPECT_TRUE(Summary(*SignedBy("alice", "From: =?utf-8?q?Alice?=\r\n <alice@example.com>\r\n")).FromMatches);
}

TEST_F(SecuritySummary, every_signer_counts_and_the_others_are_listed) {
  std::string der = PkiFile("twosigners.p7m");
  der.back() ^= 0x01;  // bob's signature, the last field
  auto message = Load(Pkcs7Mime(der, "signed-data", kFromAlice));
  TSmimeInfo& s = Summary(*message);
  EXPECT_FALSE(s.SignatureValid);
  EXPECT_EQ(s.VerifyStatus, kStatusBadSignature);
  EXPECT_EQ(s.SignerCertificate.SerialNumber(), Serial("alice"));  // the fields describe the first signer
  ASSERT_EQ(s.Signers.size(), 2u);
  std::vector<std::pair<std::string, std::string>> fields = SummaryFields(s);
  ASSERT_EQ(fields.size(), 25u);
  EXPECT_EQ(fields.back().first, "OtherSigner");
  EXPECT_EQ(fields.back().second, Serial("bob") + " from Test CA, 0x80090006 Invalid Signature.");
  EXPECT_TRUE(Summary(*Load(Pkcs7Mime(PkiFile("twosigners.p7m"), "signed-data"))).SignatureValid);
}

TEST_F(SecuritySummary, certificates_not_meant_for_signing_mail_are_not_trusted) {
  Stores.Put("Root", "ca.pem", "ca.pem");
  const std::pair<const char*, uint32_t> cases[] = {
      {"opaque.p7m", 0},
      {"webonly.p7m", kTrustIsNotValidForUsage},  // server authentication only
      {"nosign.p7m", kTrustIsNotValidForUsage},   // key usage without digital signature
  };
  for (const auto& [file, bits] : cases) {
    TSmimeInfo s = Summary(*Load(Pkcs7Mime(PkiFile(file), "signed-data")));
    EXPECT_TRUE(s.SignatureValid) << file;
    EXPECT_EQ(s.CertificateStatus, bits) << file;
    EXPECT_EQ(s.ChainStatus, bits) << file;
    EXPECT_EQ(s.ChainTrusted, bits == 0) << file;
    EXPECT_TRUE(s.TimeValid && s.NotRevoked) << file;
  }
}

TEST_F(SecuritySummary, chain_time_and_revocation_follow_the_root_store) {
  TSmimeInfo untrusted = Summary(*SignedBy("alice"));
  EXPECT_TRUE(untrusted.SignatureValid);
  EXPECT_EQ(untrusted.ChainStatus, crypto::kTrustIsPartialChain);
  EXPECT_EQ(untrusted.SigningTime.size(), 13u);  // a UTCTime: YYMMDDhhmmssZ
  EXPECT_EQ(untrusted.SignerEmail, "alice@example.com");
  // Rows in order, each adding a file to "Root"; the flags are ChainTrusted,
  // TimeValid, NotRevoked and HasRevocationInfo.
  const std::tuple<const char*, const char*, const char*> cases[] = {{"alice", "", "0110"},
                                                                     {"alice", "ca.pem", "1110"},
                                                                     {"expired", "", "0010"},
                                                                     {"revoked", "ca.crl", "0101"},
                                                                     {"alice", "", "1111"}};
  for (const auto& [signer, rootFile, flags] : cases) {
    if (*rootFile) Stores.Put("Root", rootFile, rootFile);
    TSmimeInfo i = Summary(*SignedBy(signer));
    EXPECT_EQ(i.VerifyStatus, 0u) << signer;
    std::string bits;
    for (bool flag : {i.ChainTrusted, i.TimeValid, i.NotRevoked, i.HasRevocationInfo}) bits += flag ? '1' : '0';
    EXPECT_EQ(bits, flags) << signer << " " << rootFile;
    EXPECT_EQ(i.ChainTrusted, (i.ChainStatus | i.CertificateStatus) == 0) << signer;
  }
}

TEST_F(SecuritySummary, signers_are_remembered_only_when_asked_and_only_when_verified) {
  auto book = [] {
    auto store = TCertStore::Open("AddressBook");
    return store ? store->Certificates() : std::vector<crypto::TCertHandle>();
  };
  auto plain = Load("Content-Type: text/plain\r\n\r\nplain\r\n");
  auto enveloped = Load(Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data"));
  auto signedMessage = SignedBy("alice");
  EXPECT_TRUE(book().empty());  // reading writes nothing
  EXPECT_EQ(RememberSigners(*plain) + RememberSigners(*enveloped), 0);
  EXPECT_EQ(RememberSigners(*signedMessage), 1);
  EXPECT_EQ(RememberSigners(*signedMessage), 0);  // there already
  EXPECT_EQ(book(), std::vector<crypto::TCertHandle>{Cert("alice")});

  // A signature that does not verify vouches for no certificate.
  std::string tampered = SignOpaque(PkiContent(), "bob");
  tampered[tampered.find("Hello")] = 'J';
  auto bad = Load(Pkcs7Mime(tampered, "signed-data"));
  EXPECT_NE(Summary(*bad).VerifyStatus, 0u);
  EXPECT_EQ(RememberSigners(*bad), 0);
  EXPECT_EQ(book().size(), 1u);
}

TEST_F(SecuritySummary, message_without_layers_keeps_the_initial_codes_across_reparsing) {
  auto message = Load("From: a@example.com\r\nContent-Type: text/plain\r\n\r\nplain\r\n");
  for (int pass = 0; pass < 2; ++pass) {
    TSmimeInfo& s = Summary(*message);
    EXPECT_EQ(s.VerifyStatus, kStatusNotChecked);
    EXPECT_EQ(s.DecryptStatus, kStatusNotChecked);
    EXPECT_FALSE(s.SignatureValid || s.Verified || s.Decrypted);
    EXPECT_TRUE(s.SingleLayer);
    message->Reparse();
  }
}
