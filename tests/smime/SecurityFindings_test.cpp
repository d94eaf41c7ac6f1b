// Findings of S/MIME layers: a signature that does not verify, a layer
// that cannot be decrypted, a multipart/signed that cannot be checked, and
// a From field that is not the signer's, each at its part and offset.
#include "SmimeTestSupport.h"
#include "smime/parts/SecurityFindings.h"

using namespace tessel;
using namespace smimetest;

namespace {

std::vector<std::string> Lines(TMessage& message) {
  std::vector<std::string> lines;
  for (const TMessageFinding& f : MessageFindings(message)) lines.push_back(FindingLine(f));
  return lines;
}

}  // namespace

using SecurityFindings = TSandboxTest;

TEST_F(SecurityFindings, each_failed_layer_and_a_foreign_from) {
  const std::string signedEntity = MultipartSignedEntity(PkiContent(), PkiFile("detached.p7s"));

  // A signature that verifies, under the signer's own From: nothing.
  auto message = Load("From: Alice <alice@example.com>\r\n" + signedEntity);
  EXPECT_EQ(Lines(*message), std::vector<std::string>{});

  // Under another From: at the From line.
  std::string text = "Subject: hi\r\nfrom: mallory@example.com\r\n" + signedEntity;
  message = Load(text);
  EXPECT_EQ(Lines(*message),
            (std::vector<std::string>{"1\t13\tFrom differs from the signer's address alice@example.com"}));

  // Signed content changed after signing.
  std::string tampered = "From: alice@example.com\r\n" + signedEntity;
  tampered.replace(tampered.find(PkiContent().substr(0, 20)), 1, "X");
  message = Load(tampered);
  std::vector<std::string> lines = Lines(*message);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, lines[0].find("valid: ") + 7),
            "1\t" + std::to_string(tampered.find("This is a signed message.")) + "\tS/MIME signature not valid: ");

  // Three parts: no check.
  std::string three =
      "From: alice@example.com\r\nContent-Type: multipart/signed; boundary=s\r\n\r\n--s\r\n\r\na\r\n"
      "--s\r\n\r\nb\r\n--s\r\n\r\nc\r\n--s--\r\n";
  message = Load(three);
  EXPECT_EQ(Lines(*message),
            (std::vector<std::string>{"1\t" + std::to_string(three.find("--s\r\n")) +
                                      "\tmultipart/signed not checked: it does not have exactly two parts"}));

  // Encrypted for others: at the S/MIME part's body.
  std::string enc = Pkcs7Mime(PkiFile("enc-two.p7m"), "enveloped-data");
  message = Load(enc);
  EXPECT_EQ(Lines(*message),
            (std::vector<std::string>{"1\t" + std::to_string(enc.find("\r\n\r\n") + 4) +
                                      "\tS/MIME layer not decrypted: None of your certificates with a private key is "
                                      "a recipient of this message. (0x80880283)"}));
}

TEST(SecurityFindingsHeader, header_line_offset) {
  auto message = Load("Subject: a\r\nX-From: b\r\nFROM: c\r\n\r\nbody");
  EXPECT_EQ(HeaderLineOffset(*message->RootPart, "from"), 23);
  EXPECT_EQ(HeaderLineOffset(*message->RootPart, "to"), 0);
}
