// Decryption with keys from the "My" store: which recipient is used, keys
// that must be refused, algorithm names and the errors.
#include "SmimeTestSupport.h"
#include "smime/EnvelopedData.h"
#include "smime/StatusCodes.h"
#include "util/Base64.h"
#include "util/MemoryStream.h"

using namespace smimetest;
using namespace tessel;

namespace {

struct TDecrypted {
  std::string Content;
  std::string Algorithm;
  TCertificate Recipient;
};

TDecrypted Decrypt(const std::string& data, const std::string& encoding = "") {
  TDecrypted d;
  TMemoryStream out;
  DecryptEnveloped(data.data(), static_cast<int32_t>(data.size()), out, encoding, d.Algorithm, &d.Recipient);
  d.Content.assign(out.Memory() ? out.Memory() : "", static_cast<size_t>(out.Size()));
  return d;
}

class EnvelopedDataTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;

  // Runs a decryption that must find no recipient; returns the key problems.
  std::vector<std::string> ExpectNoRecipient(const std::string& data) {
    TMemoryStream out;
    out.WriteBuffer("old", 3);
    std::string algorithm;
    try {
      DecryptEnveloped(data.data(), static_cast<int32_t>(data.size()), out, "", algorithm, nullptr);
    } catch (const ENoRecipientMatches& e) {
      EXPECT_STREQ(e.what(), "No recipient matches");
      EXPECT_EQ(e.ErrorCode, kStatusNoRecipientMatches);
      EXPECT_EQ(out.Size(), 3);  // nothing written without a decryption
      return e.KeyProblems;
    }
    ADD_FAILURE() << "decrypted without a usable key";
    return {};
  }
};

TEST_F(EnvelopedDataTest, second_of_two_recipients_decrypts_when_only_it_is_in_my) {
  Stores.PutIdentity("My", "carol");
  TDecrypted d = Decrypt(PkiFile("enc-two.p7m"));
  EXPECT_EQ(d.Content, PkiFile("content.txt"));
  EXPECT_EQ(d.Algorithm, "AES128");
  EXPECT_EQ(d.Recipient.Encoded(), CertDer("carol"));
}

TEST_F(EnvelopedDataTest, recipient_named_by_key_identifier) {
  Stores.PutIdentity("My", "bob");
  Stores.PutIdentity("My", "carol");
  TDecrypted d = Decrypt(PkiFile("enc-keyid.p7m"));
  EXPECT_EQ(d.Recipient.Encoded(), CertDer("carol"));
  EXPECT_EQ(d.Content, PkiFile("content.txt"));
}

TEST_F(EnvelopedDataTest, key_readable_by_others_is_refused_and_the_next_recipient_tried) {
  Stores.PutIdentity("My", "bob", 0644);
  Stores.PutIdentity("My", "carol");
  TDecrypted d = Decrypt(PkiFile("enc-two.p7m"));
  EXPECT_EQ(d.Recipient.Encoded(), CertDer("carol"));
  EXPECT_EQ(d.Content, PkiFile("content.txt"));
}

TEST_F(EnvelopedDataTest, refused_keys_are_explained_when_nothing_decrypts) {
  Stores.PutIdentity("My", "bob", 0640);
  std::vector<std::string> problems = ExpectNoRecipient(PkiFile("enc-two.p7m"));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("mode 0640"), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("chmod 600"), std::string::npos) << problems[0];
}

TEST_F(EnvelopedDataTest, a_key_that_is_not_the_certificates_is_skipped) {
  // bob's certificate with carol's key: refused before any decryption, so
  // no content made with a wrong key can come out.
  Stores.Put("My", "bob.pem", "bob.pem");
  Stores.Put("My", "carol.key", "bob.key", 0600);
  std::vector<std::string> problems = ExpectNoRecipient(PkiFile("enc-two.p7m"));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("does not belong"), std::string::npos) << problems[0];
}

TEST_F(EnvelopedDataTest, certificate_without_key_and_empty_or_missing_store_match_nothing) {
  ExpectNoRecipient(PkiFile("enc-two.p7m"));  // no "My" directory at all
  Stores.Put("My", "carol.pem", "carol.pem");
  std::vector<std::string> problems = ExpectNoRecipient(PkiFile("enc-two.p7m"));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("no private key"), std::string::npos) << problems[0];
}

TEST_F(EnvelopedDataTest, key_from_a_pkcs12_file_without_password) {
  Stores.Put("My", "carol-nopass.p12", "carol.p12", 0600);
  TDecrypted d = Decrypt(PkiFile("enc-3des.p7m"));
  EXPECT_EQ(d.Recipient.Encoded(), CertDer("carol"));
  EXPECT_EQ(d.Content, PkiFile("content.txt"));
}

TEST_F(EnvelopedDataTest, algorithm_names_and_contents) {
  Stores.PutIdentity("My", "carol");
  const struct {
    const char* File;
    const char* Name;
  } cases[] = {
      {"enc-3des.p7m", "3DES"},      {"enc-aes256.p7m", "AES256"},   {"enc-des.p7m", "DES"},
      {"enc-rc2-40.p7m", "RC2 40"},  {"enc-rc2-64.p7m", "RC2 64"},   {"enc-rc2-128.p7m", "RC2 128"},
  };
  for (const auto& c : cases) {
    TDecrypted d = Decrypt(PkiFile(c.File));
    EXPECT_EQ(d.Algorithm, c.Name) << c.File;
    EXPECT_EQ(d.Content, PkiFile("content.txt")) << c.File;
  }
}

TEST_F(EnvelopedDataTest, unlisted_rc2_version_gives_rc2_and_a_blank) {
  Stores.PutIdentity("My", "carol");
  std::string data = PkiFile("enc-rc2-40.p7m");
  // RC2 parameters: SEQUENCE { INTEGER 160 (version for 40 bits), OCTET STRING iv }.
  size_t at = data.find(std::string("\x02\x02\x00\xA0\x04\x08", 6));
  ASSERT_NE(at, std::string::npos);
  data[at + 3] = 0x63;
  TMemoryStream out;
  std::string algorithm;
  try {
    DecryptEnveloped(data.data(), static_cast<int32_t>(data.size()), out, "", algorithm, nullptr);
  } catch (const EWinException&) {
    // The cipher refuses the version; the name was already given.
  }
  EXPECT_EQ(algorithm, "RC2 ");
  EXPECT_EQ(Rc2VersionBits(58), "128");
  EXPECT_EQ(Rc2VersionBits(52), "56");
  EXPECT_EQ(Rc2VersionBits(0), "");
}

TEST_F(EnvelopedDataTest, base64_body_is_decoded) {
  Stores.PutIdentity("My", "carol");
  std::string der = PkiFile("enc-two.p7m");
  TStringStream text;
  Base64EncodeBuffer(der.data(), static_cast<int32_t>(der.size()), text);
  EXPECT_EQ(Decrypt(text.DataString(), "base64").Content, PkiFile("content.txt"));
}

TEST_F(EnvelopedDataTest, signed_data_and_garbage_are_not_encrypted) {
  Stores.PutIdentity("My", "carol");
  for (const std::string& data : {PkiFile("opaque.p7m"), std::string("\x30\x03\x02\x01\x01", 5), std::string()}) {
    try {
      Decrypt(data);
      ADD_FAILURE() << "decrypted";
    } catch (const EWinException& e) {
      EXPECT_STREQ(e.what(), "not encrypted");
      EXPECT_EQ(e.ErrorCode, static_cast<uint32_t>(-2));
    }
  }
}

TEST_F(EnvelopedDataTest, truncated_messages_raise_and_never_crash) {
  Stores.PutIdentity("My", "carol");
  const std::string original = PkiFile("enc-two.p7m");
  for (size_t n = 0; n < original.size(); n += 7) {
    try {
      Decrypt(original.substr(0, n));
      ADD_FAILURE() << "a message cut at " << n << " decrypted";
    } catch (const EWinException&) {
    }
  }
}

TEST_F(EnvelopedDataTest, damaged_ciphertext_is_an_error_not_garbage) {
  Stores.PutIdentity("My", "carol");
  std::string data = PkiFile("enc-3des.p7m");
  // The encrypted content is the message's last field. In CBC mode a bit
  // flipped in the block before the last flips the same bit of the last
  // plaintext byte, the padding length (1 to 8): 0x40 makes it impossible.
  data[data.size() - 9] ^= 0x40;
  ExpectNoRecipient(data);
}

}  // namespace
