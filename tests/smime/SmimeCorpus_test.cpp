// The S/MIME messages of the shared corpus against what `openssl cms` says
// of them (expected-openssl/smime-messages.tsv): for each message, the
// verdict on the first signature met (outer layers first, then nested
// parts) and the outcome of the first decryption. The keys the file names
// are converted from the corpus with the openssl command into a private
// store directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "SmimeTestSupport.h"
#include "mime/MessageFile.h"

using namespace tessel;
using namespace smimetest;

namespace {

const fs::path kCorpus = TESSEL_CORPUS;

// Messages whose outcome here differs from openssl's, and why. A
// disagreement not listed fails the test; a listed one that agrees is
// reported so the list stays true.
const std::map<std::string, std::string> kExplained = {
    {"comm-central/mailnews/test/data/smime-interop/fran-ec_ossl-aes128-sha256.env",
     "the only recipient is an ECDH key-agreement recipient; decryption here handles key-transport (RSA) "
     "recipients only, so no key of \"My\" matches"},
    {"comm-central/mailnews/test/data/smime-interop/fran-ec_ossl-aes256-sha512.env",
     "the only recipient is an ECDH key-agreement recipient; decryption here handles key-transport (RSA) "
     "recipients only, so no key of \"My\" matches"},
    {"kde-mimetreeparser/autotests/testdata/smime-cert.mbox",
     "a certs-only body whose structure does not parse: here it is neither signed nor enveloped data, so "
     "decryption is tried and reports \"not encrypted\"; openssl's findings record no decryption attempt"},
    {"mimekit/UnitTests/TestData/smime/octet-stream-with-mixed-line-endings.dat",
     "openssl's MIME reader rejects the message (decode error); the signature is over the signed part's raw "
     "bytes with mixed line ends, which is what is hashed here, and it verifies"},
    {"openssl/test/smime-eml/pkcs7-empty-digest-set.eml",
     "the signed part starts without a header block; its first line is read as a header line without a colon, "
     "so the message does not parse (\"Invalid header:\") and no signature is checked; openssl fails it too"},
};

struct TExpectation {
  std::string Signature;  // "OK", "FAIL" or "" (no signature)
  std::string Decrypt;    // "OK", "FAIL" or ""
};

// The first verdicts in the findings text, in the order written (outer
// layers first). Verification attempts on data that is not signed data
// are no signature.
TExpectation ParseFindings(const std::string& findings) {
  TExpectation e;
  std::string text = findings;
  for (const std::string& noise : {std::string("not verifiable as signed-data (signature FAIL")}) {
    size_t at;
    while ((at = text.find(noise)) != std::string::npos) text.erase(at, noise.size());
  }
  size_t ok = text.find("signature OK"), fail = text.find("signature FAIL");
  if (ok != std::string::npos || fail != std::string::npos) e.Signature = ok < fail ? "OK" : "FAIL";
  size_t dok = text.find("decrypt OK"), dfail = text.find("decrypt FAILED");
  if (dok != std::string::npos || dfail != std::string::npos) e.Decrypt = dok < dfail ? "OK" : "FAIL";
  return e;
}

bool RunQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Certificate and key of a PKCS #12 file (password "nss") as NAME.pem and
// NAME.key in the store.
bool PutPkcs12(const fs::path& store, const fs::path& p12, const std::string& name) {
  for (const char* legacy : {"", "-legacy "}) {
    std::string base = std::string("openssl pkcs12 ") + legacy + "-in '" + p12.string() + "' -passin pass:nss ";
    if (RunQuiet(base + "-nokeys -clcerts -out '" + (store / (name + ".pem")).string() + "'") &&
        RunQuiet(base + "-nocerts -nodes -out '" + (store / (name + ".key")).string() + "'")) {
      ::chmod((store / (name + ".key")).c_str(), 0600);
      return true;
    }
  }
  return false;
}

class SmimeCorpus : public ::testing::Test {
protected:
  void SetUp() override {
    if (!fs::exists(kCorpus / "expected-openssl/smime-messages.tsv")) GTEST_SKIP() << "corpus not found";
    fs::path my = Stores.Store("My");
    fs::path book = Stores.Store("AddressBook");
    const fs::path cc = kCorpus / "comm-central/mailnews/test/data";
    ASSERT_TRUE(PutPkcs12(my, cc / "smime/Bob.p12", "cc-Bob"));
    ASSERT_TRUE(PutPkcs12(my, cc / "smime-interop/Fran.p12", "cc-Fran"));
    ASSERT_TRUE(PutPkcs12(my, cc / "smime-interop/Fran-ec.p12", "cc-Fran-ec"));
    const fs::path bc = kCorpus / "bc-java/mail/src/test/resources/org/bouncycastle/mail/smime/test";
    fs::copy_file(bc / "cert.pem", my / "bc-tiani.pem");
    fs::copy_file(bc / "key.pem", my / "bc-tiani.key");
    ::chmod((my / "bc-tiani.key").c_str(), 0600);
    const fs::path kde = kCorpus / "kde-mimetreeparser/derived";
    fs::copy_file(kde / "unittest-cert.pem", my / "kde-unittest.pem");
    fs::copy_file(kde / "unittest-key.pem", my / "kde-unittest.key");
    ::chmod((my / "kde-unittest.key").c_str(), 0600);
    // The KDE messages do not carry their signer's certificate.
    fs::copy_file(kde / "pubring-kbx-certs.pem", book / "kde-pubring.pem");
    const fs::path rfc = kCorpus / "bc-test-data/rfc4134";
    ASSERT_TRUE(RunQuiet("openssl x509 -inform DER -in '" + (rfc / "BobRSASignByCarl.cer").string() + "' -out '" +
                    (my / "rfc4134-Bob.pem").string() + "'"));
    ASSERT_TRUE(RunQuiet("openssl pkey -inform DER -in '" + (rfc / "BobPrivRSAEncrypt.pri").string() + "' -out '" +
                    (my / "rfc4134-Bob.key").string() + "'"));
    ::chmod((my / "rfc4134-Bob.key").c_str(), 0600);
  }

  TStoreSandbox Stores;
};

struct TOutcome {
  std::string Signature;
  std::string Decrypt;
  std::string Detail;
};

// Walks the message as the findings do (every S/MIME layer opened, nested
// S/MIME parts visited, clear-signed content not entered), and notes the
// first signature and the first decryption met.
void Walk(TBodyPart* part, TOutcome& out, int depth) {
  if (!part || depth > 50) return;
  if (auto smime = dynamic_cast<TSmimeBodyPart*>(part)) {
    TBodyPart* inner = smime->DecodedPart();
    out.Detail += " [" + smime->ListingDetails() + "]";
    // Any attempt counts, also one that found no enveloped data.
    if (smime->Info->DecryptStatus != kStatusNotChecked && out.Decrypt.empty())
      out.Decrypt = smime->Info->DecryptStatus == 0 ? "OK" : "FAIL";
    if (smime->Info->Verified && out.Signature.empty())
      out.Signature = smime->Info->VerifyStatus == 0 ? "OK" : "FAIL";
    Walk(inner, out, depth + 1);
    return;
  }
  if (auto multipart = dynamic_cast<TMultipartSigned*>(part)) {
    out.Detail += " [" + multipart->ListingDetails() + "]";
    if (multipart->Verified && out.Signature.empty())
      out.Signature = multipart->Info->VerifyStatus == 0 ? "OK" : "FAIL";
    // openssl's findings stop at a clear-signed layer: they name its
    // content type only.
    return;
  }
  for (int32_t i = 0; i < part->ChildCount(); ++i) Walk(part->Children(i), out, depth + 1);
}

}  // namespace

TEST_F(SmimeCorpus, signature_and_decryption_agree_with_openssl) {
  RegisterSmimeParts();
  std::ifstream tsv(kCorpus / "expected-openssl/smime-messages.tsv");
  std::string line;
  int messages = 0, signatures = 0, signatureAgree = 0, decryptions = 0, decryptAgree = 0;
  std::ostringstream report;
  while (std::getline(tsv, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    std::string path = line.substr(0, tab);
    TExpectation expected = ParseFindings(line.substr(tab + 1));
    ++messages;
    TOutcome got;
    try {
      std::unique_ptr<TMessage> message = LoadMessageFile((kCorpus / path).string());
      Walk(message->Roots(0), got, 0);
    } catch (const std::exception& e) {
      got.Detail = std::string(" [load failed: ") + e.what() + "]";
    }
    auto count = [&](const std::string& want, const std::string& have, int& total, int& same) {
      if (want.empty() && have.empty()) return true;
      ++total;
      same += want == have;
      return want == have;
    };
    bool agree = count(expected.Signature, got.Signature, signatures, signatureAgree);
    agree = count(expected.Decrypt, got.Decrypt, decryptions, decryptAgree) && agree;
    if (agree) {
      if (kExplained.count(path)) report << "listed but agrees now: " << path << "\n";
      continue;
    }
    auto reason = kExplained.find(path);
    report << (reason == kExplained.end() ? "UNEXPLAINED " : "explained ") << path << ": openssl signature="
           << (expected.Signature.empty() ? "-" : expected.Signature)
           << " decrypt=" << (expected.Decrypt.empty() ? "-" : expected.Decrypt)
           << "; here signature=" << (got.Signature.empty() ? "-" : got.Signature)
           << " decrypt=" << (got.Decrypt.empty() ? "-" : got.Decrypt) << got.Detail;
    if (reason != kExplained.end()) report << "\n    reason: " << reason->second;
    report << "\n";
    EXPECT_NE(reason, kExplained.end()) << path << " disagrees without an explanation";
  }
  std::printf("S/MIME corpus: %d messages; signatures %d of %d agree; decryptions %d of %d agree\n%s", messages,
              signatureAgree, signatures, decryptAgree, decryptions, report.str().c_str());
  EXPECT_EQ(messages, 145);
}
