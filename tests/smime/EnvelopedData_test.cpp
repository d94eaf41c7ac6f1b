// Decryption with keys from the "My" store: which recipient is used, keys
// that must be refused, algorithm names and the errors.
#include "SmimeTestSupport.h"
#include "smime/cms/EnvelopedData.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/cms/StatusCodes.h"
#include "smime/openssl/CryptoPlatform.h"
#include "util/system/WinError.h"

using namespace smimetest;
using namespace tessel;

namespace {

struct TDecrypted {
  std::string Content = "old";
  std::string Algorithm;
  TCertificate Recipient;
  std::vector<std::string> KeyProblems;  // when no recipient matches
  std::string Error;
};

TDecrypted Decrypt(const std::string& data, const std::string& encoding = "") {
  TDecrypted d;
  TSmimeStores stores;
  try {
    TDecryption r = DecryptEnveloped(data, encoding, stores);
    d.Algorithm = r.Algorithm;
    d.Recipient = r.RecipientCertificate;
    d.KeyProblems = r.KeyProblems;
    if (r.Status == 0)
      d.Content = r.Content;
    else
      d.Error = StatusCodeText(r.Status);
    EXPECT_TRUE(r.Status == 0 || r.Content.empty());  // nothing comes out without a decryption
  } catch (const EWinException& e) {
    d.Error = e.what() + std::string(" ") + std::to_string(static_cast<int32_t>(e.ErrorCode));
  }
  return d;
}

// The DER element at data[at] re-encoded with indefinite lengths for its
// constructed elements down to the given depth; at moves past the element.
std::string Indefinite(const std::string& data, size_t& at, int depth) {
  const size_t begin = at;
  const auto octet = [&](size_t i) { return static_cast<uint8_t>(data.at(i)); };
  const uint8_t id = octet(at++);
  size_t length = octet(at++);
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length * 256 + octet(at++);
  }
  const size_t end = at + length;
  if (!(id & 0x20) || depth == 0) {
    at = end;
    return data.substr(begin, end - begin);
  }
  std::string out{static_cast<char>(id), static_cast<char>(0x80)};
  while (at < end) out += Indefinite(data, at, depth - 1);
  return out + std::string(2, '\0');
}

const std::string kNoRecipient = "None of your certificates with a private key is a recipient of this message.";

// Fills "My" from words: "NAME" is a PKI identity (certificate and key),
// "NAME:MODE" one whose key has that mode, "FILE=AS" a PKI file under
// another name.
void FillMy(const TStoreSandbox& stores, const std::string& words) {
  std::istringstream in(words);
  for (std::string w; in >> w;) {
    size_t eq = w.find('='), colon = w.find(':');
    if (eq != std::string::npos)
      stores.Put("My", w.substr(0, eq), w.substr(eq + 1), 0600);
    else if (colon != std::string::npos)
      stores.PutIdentity("My", w.substr(0, colon), static_cast<mode_t>(std::stoi(w.substr(colon + 1), nullptr, 8)));
    else
      stores.PutIdentity("My", w);
  }
}

TEST(EnvelopedDataKeys, which_key_of_my_decrypts_and_why_others_are_refused) {
  // enc-two.p7m is for bob, then carol; enc-keyid.p7m names carol by her
  // subject key identifier.
  const struct {
    const char* What;
    const char* My;  // as FillMy reads it
    const char* File;
    const char* Recipient;  // nullptr: no recipient matches
    std::vector<const char*> Problem;
    std::string CarolKey = "";  // when set, written over My/carol.key
  } cases[] = {
      {"second of two recipients", "carol", "enc-two.p7m", "carol", {}},
      {"key identifier", "bob carol", "enc-keyid.p7m", "carol", {}},
      {"pkcs12 without password", "carol-nopass.p12=carol.p12", "enc-des3.p7m", "carol", {}},
      {"key readable by others skipped", "bob:644 carol", "enc-two.p7m", "carol", {}},
      {"no store", "", "enc-two.p7m", nullptr, {}},
      {"key readable by others", "bob:640", "enc-two.p7m", nullptr, {"mode 0640", "chmod 600"}},
      // Refused before any decryption, so nothing made with a wrong key comes out.
      {"another certificate's key", "bob.pem=bob.pem carol.key=bob.key", "enc-two.p7m", nullptr, {"does not belong"}},
      {"certificate without key", "carol.pem=carol.pem", "enc-two.p7m", nullptr, {"no private key"}},
      {"key that is no key", "carol", "enc-two.p7m", nullptr, {"no private key"}, "x"},
      // Nobody to ask for a password while reading a message.
      {"key with a password",
       "carol",
       "enc-two.p7m",
       nullptr,
       {"password"},
       Openssl("pkey -aes128 -passout pass:x", PkiFile("carol.key"))},
      // Key agreement: an EC key decrypts through the originator's key.
      {"EC recipient", "ecbob", "enc-ec.p7m", "ecbob", {}},
      {"EC and RSA recipients, RSA key", "carol", "enc-ec-rsa.p7m", "carol", {}},
      {"EC and RSA recipients, EC key", "ecbob", "enc-ec-rsa.p7m", "ecbob", {}},
      {"EC recipient, another EC key",
       "ecbob.pem=ecbob.pem carol.key=ecbob.key",
       "enc-ec.p7m",
       nullptr,
       {"does not belong"}}};
  for (const auto& c : cases) {
    TStoreSandbox stores;
    FillMy(stores, c.My);
    if (!c.CarolKey.empty()) WriteFile(stores.Root() / "My/carol.key", c.CarolKey, 0600);
    TDecrypted d = Decrypt(PkiFile(c.File));
    if (c.Recipient) {
      EXPECT_EQ(d.Recipient.Encoded(), CertDer(c.Recipient)) << c.What;
      EXPECT_EQ(d.Content, PkiContent()) << c.What;
      continue;
    }
    EXPECT_EQ(d.Error, kNoRecipient) << c.What;
    EXPECT_EQ(d.Content, "old") << c.What;
    ASSERT_EQ(d.KeyProblems.size(), c.Problem.empty() ? 0u : 1u) << c.What;
    for (const char* part : c.Problem) EXPECT_NE(d.KeyProblems[0].find(part), std::string::npos) << d.KeyProblems[0];
  }
}

TEST(EnvelopedData, algorithm_names_contents_and_errors) {
  TStoreSandbox stores;
  stores.PutIdentity("My", "carol");
  const std::pair<const char*, const char*> cases[] = {
      {"enc-two.p7m", "AES128"},    {"enc-des3.p7m", "3DES"},     {"enc-aes256.p7m", "AES256"},  {"enc-des.p7m", "DES"},
      {"enc-rc2-40.p7m", "RC2 40"}, {"enc-rc2-64.p7m", "RC2 64"}, {"enc-rc2-128.p7m", "RC2 128"}};
  for (const auto& [file, name] : cases) {
    TDecrypted d = Decrypt(PkiFile(file));
    EXPECT_EQ(d.Algorithm, name) << file;
    EXPECT_EQ(d.Content, PkiContent()) << file;
  }
  EXPECT_EQ(Decrypt(Base64(PkiFile("enc-two.p7m")), "base64").Content, PkiContent());
  // BER with indefinite lengths around and before the algorithm names the same.
  for (const auto& [file, name] : {cases[2], cases[5]}) {
    size_t at = 0;
    TDecrypted d = Decrypt(Indefinite(PkiFile(file), at, 4));
    EXPECT_EQ(d.Algorithm, name) << file;
    EXPECT_EQ(d.Content, PkiContent()) << file;
  }

  // RC2 parameters: SEQUENCE { INTEGER 160 (version for 40 bits), OCTET STRING iv }.
  std::string data = PkiFile("enc-rc2-40.p7m");
  size_t at = data.find(std::string("\x02\x02\x00\xA0\x04\x08", 6));
  ASSERT_NE(at, std::string::npos);
  data[at + 3] = 0x63;
  EXPECT_EQ(Decrypt(data).Algorithm, "RC2 ");  // named before the cipher refuses the version
  EXPECT_EQ(Rc2VersionBits(58), "128");
  EXPECT_EQ(Rc2VersionBits(52), "56");
  EXPECT_EQ(Rc2VersionBits(0), "");

  for (const std::string& notEnveloped : {PkiFile("opaque.p7m"), std::string("\x30\x03\x02\x01\x01", 5), std::string()})
    EXPECT_EQ(Decrypt(notEnveloped).Error, "not encrypted -2");
  const std::string original = PkiFile("enc-two.p7m");
  for (size_t n = 0; n < original.size(); n += 7)
    EXPECT_NE(Decrypt(original.substr(0, n)).Error, "") << "a message cut at " << n << " decrypted";
  // The encrypted content is the message's last field. In CBC mode a bit
  // flipped in the block before the last flips the same bit of the last
  // plaintext byte, the padding length (1 to 8): 0x40 makes it impossible.
  data = PkiFile("enc-des3.p7m");
  data[data.size() - 9] ^= 0x40;
  EXPECT_EQ(Decrypt(data).Error, kNoRecipient);
}

TEST(EnvelopedData, recipients_of_kinds_that_cannot_be_decrypted_are_named) {
  TStoreSandbox stores;
  stores.PutIdentity("My", "carol");
  TDecrypted d = Decrypt(PkiFile("enc-password.p7m"));
  EXPECT_EQ(d.Error, StatusCodeText(kStatusUnsupportedRecipient));
  ASSERT_EQ(d.KeyProblems.size(), 1u);
  EXPECT_EQ(d.KeyProblems[0], "Recipient 1 is of a kind this program cannot decrypt (a password or a shared key).");
}

// The encrypted content is cut out of the encoding and decrypted where it
// stands; the lengths around it must stay consistent whatever their form,
// and content sent in pieces is left to the parser.
TEST(EnvelopedData, encrypted_content_is_decrypted_where_it_stands) {
  std::string problem;
  const crypto::TPrivateKey key = crypto::ReadPrivateKey(PkiFile("carol.key"), problem);
  ASSERT_TRUE(key) << problem;
  auto decryptSplit = [&](const std::string& data, std::string& content) {
    std::string shell;
    std::string_view encrypted;
    if (!SplitEncryptedContent(data, shell, encrypted)) return std::string("not split");
    // A view into the data, not a copy; the shell is all the rest.
    EXPECT_TRUE(encrypted.data() > data.data() && encrypted.data() + encrypted.size() <= data.data() + data.size());
    EXPECT_LT(shell.size(), data.size() - encrypted.size());
    auto message = crypto::TCmsMessage::Decode(shell);
    if (!message || message->ContentType() != crypto::TCmsMessage::ctEnveloped) return std::string("shell refused");
    std::string buffer = data;
    if (!message->TakeEncryptedContent(buffer, static_cast<size_t>(encrypted.data() - data.data()), encrypted.size()))
      return std::string("content refused");
    EXPECT_TRUE(buffer.empty());
    uint32_t status = message->DecryptForRecipient(0, key, Cert("carol"), content);
    EXPECT_TRUE(message->EncryptedContentSpent());
    return status == 0 ? std::string() : StatusCodeText(status);
  };

  std::vector<std::pair<std::string, std::string>> cases;  // data, content
  const std::string der = PkiFile("enc-aes256.p7m");
  cases.emplace_back(der, PkiContent());
  for (int depth : {1, 2, 4}) {
    size_t at = 0;
    cases.emplace_back(Indefinite(der, at, depth), PkiContent());
  }
  // Content sizes whose lengths take one, two and three octets: the levels
  // around the content shrink by different amounts.
  for (size_t size : {size_t{1}, size_t{200}, size_t{70000}}) {
    std::string content(size, 'x');
    cases.emplace_back(Openssl("cms -encrypt -binary -aes128 -outform DER carol.pem", content), content);
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    std::string content;
    EXPECT_EQ(decryptSplit(cases[i].first, content), "") << i;
    EXPECT_TRUE(content == cases[i].second) << i << ": " << content.size();
  }

  // The same content as two OCTET STRING pieces inside a constructed [0].
  size_t at = 0;
  std::string ber = Indefinite(der, at, 4);
  std::string shell;
  std::string_view encrypted;
  ASSERT_TRUE(SplitEncryptedContent(ber, shell, encrypted));
  const size_t begin = static_cast<size_t>(encrypted.data() - ber.data());
  const std::string field = Tlv(0x80, std::string(encrypted));  // [0] IMPLICIT, primitive
  const size_t headerAt = begin - (field.size() - encrypted.size());
  ASSERT_TRUE(ber.substr(headerAt) == field + std::string(8, '\0'));
  const std::string pieces = std::string("\xA0\x80", 2) + Octets(std::string(encrypted.substr(0, 32))) +
                             Octets(std::string(encrypted.substr(32))) + std::string(2, '\0');
  std::string pieced = ber.substr(0, headerAt) + pieces + std::string(8, '\0');
  std::string content;
  EXPECT_EQ(decryptSplit(pieced, content), "not split");
  TStoreSandbox stores;
  stores.PutIdentity("My", "carol");
  EXPECT_EQ(Decrypt(pieced).Content, PkiContent());
  for (const std::string& none : {PkiFile("opaque.p7m"), std::string("\x30\x03\x02\x01\x01", 5), std::string()})
    EXPECT_FALSE(SplitEncryptedContent(none, shell, encrypted));
}

// A key that opens a wrong content key decrypts the content into garbage
// and is refused; the content written over in doing so must not reach the
// next key.
TEST(EnvelopedDataKeys, a_wrong_content_key_leaves_the_content_for_the_next_key) {
  TStoreSandbox stores;
  stores.PutIdentity("My", "bob");
  stores.PutIdentity("My", "carol");
  // enc-two.p7m: bob's encrypted AES-128 key comes first; it is replaced
  // by another key of the right size, encrypted for bob.
  std::string data = PkiFile("enc-two.p7m");
  const std::string header("\x04\x81\x80", 3);
  const size_t at = data.find(header);
  ASSERT_NE(at, std::string::npos);
  const std::string wrongKey = Openssl("pkeyutl -encrypt -certin -inkey bob.pem", std::string(16, '\x11'));
  ASSERT_EQ(wrongKey.size(), 128u);
  data.replace(at + header.size(), 128, wrongKey);
  TDecrypted d = Decrypt(data);
  EXPECT_EQ(d.Error, "");
  EXPECT_EQ(d.Content, PkiContent());
  EXPECT_EQ(d.Recipient.Encoded(), CertDer("carol"));
  ASSERT_EQ(d.KeyProblems.size(), 1u);
  EXPECT_NE(d.KeyProblems[0].find("bob.key"), std::string::npos) << d.KeyProblems[0];
  EXPECT_EQ(Decrypt(Base64(data), "base64").Content, PkiContent());
}

}  // namespace
