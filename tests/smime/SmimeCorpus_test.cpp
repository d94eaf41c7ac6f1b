// The S/MIME messages of the shared corpus against what `openssl cms` says
// of them (expected-openssl/smime-messages.tsv): for each message, the
// verdict on the first signature met (outer layers first, then nested
// parts) and the outcome of the first decryption. The keys the file names
// are converted from the corpus with the openssl command into a private
// store directory.
#include <cstdio>
#include <map>

#include "CorpusPresence.h"
#include "SmimeTestSupport.h"
#include "mime/MessageFile.h"

using namespace tessel;
using namespace smimetest;

namespace {

const fs::path kCorpus = TESSEL_CORPUS;

// Messages whose outcome here differs from openssl's: the verdicts and
// layers here, and why. A disagreement not listed, or other than listed,
// fails the test; so does a listed one that agrees now.
struct TExplained {
  std::string Here, Reason;
};
const std::map<std::string, TExplained> kExplained = {
    {"kde-mimetreeparser/autotests/testdata/smime-cert.mbox",
     {"signature=- decrypt=FAIL [kind=unknown verify=0xFFFFFFFD decrypt=0xFFFFFFFE decoded=no]",
      "a certs-only body whose structure does not parse: here it is neither signed nor enveloped data, so "
      "decryption is tried and reports \"not encrypted\"; openssl's findings record no decryption attempt"}},
    {"mimekit/UnitTests/TestData/smime/octet-stream-with-mixed-line-endings.dat",
     {"signature=OK decrypt=- [kind=signed verify=0x00000000 decrypt=0x00000002 decoded=yes]",
      "openssl's MIME reader rejects the message (decode error); the signature is over the signed part's raw "
      "bytes with mixed line ends, which is what is hashed here, and it verifies"}},
    {"openssl/test/smime-eml/pkcs7-empty-digest-set.eml",
     {"signature=- decrypt=- [load failed: Invalid header:This is the content to be signed.]",
      "the signed part starts without a header block; its first line is read as a header line without a colon, "
      "so the message does not parse (\"Invalid header:\") and no signature is checked; openssl fails it too"}}};

struct TOutcome {
  std::string Signature;  // "OK", "FAIL" or "" (no signature)
  std::string Decrypt;    // "OK", "FAIL" or ""
  std::string Detail;     // the listing fields of the layers met
};

// The first verdicts in the findings text, in the order written (outer
// layers first). Verification attempts on data that is not signed data
// are no signature.
TOutcome ParseFindings(std::string text) {
  const std::string noise = "not verifiable as signed-data (signature FAIL";
  for (size_t at; (at = text.find(noise)) != std::string::npos;) text.erase(at, noise.size());
  auto first = [&](const char* ok, const char* fail) -> std::string {
    size_t o = text.find(ok), f = text.find(fail);
    return o == f ? "" : o < f ? "OK" : "FAIL";  // equal only when neither is there
  };
  return {first("signature OK", "signature FAIL"), first("decrypt OK", "decrypt FAILED"), ""};
}

class SmimeCorpus : public ::testing::Test {
protected:
  void SetUp() override {
    TESSEL_REQUIRE_CORPUS(kCorpus / "expected-openssl/smime-messages.tsv");
    fs::path my = Stores.Store("My");
    fs::path book = Stores.Store("AddressBook");
    const fs::path cc = kCorpus / "comm-central/mailnews/test/data";
    for (const auto& [p12, name] : {std::pair{"smime/Bob.p12", "cc-Bob"},
                                    {"smime-interop/Fran.p12", "cc-Fran"},
                                    {"smime-interop/Fran-ec.p12", "cc-Fran-ec"}}) {
      std::string octets = ReadFileBytes(cc / p12), read = "pkcs12 -legacy -passin pass:nss ";
      WriteFile(my / (name + std::string(".pem")), Openssl(read + "-nokeys -clcerts", octets));
      WriteFile(my / (name + std::string(".key")), Openssl(read + "-nocerts -nodes", octets), 0600);
    }
    // Certificate and key files as they are.
    const std::tuple<std::string, std::string, std::string> pairs[] = {
        {"bc-java/mail/src/test/resources/org/bouncycastle/mail/smime/test/cert.pem", "key.pem", "bc-tiani"},
        {"kde-mimetreeparser/derived/unittest-cert.pem", "unittest-key.pem", "kde-unittest"}};
    for (const auto& [certificate, key, name] : pairs) {
      fs::copy_file(kCorpus / certificate, my / (name + ".pem"));
      WriteFile(my / (name + ".key"), ReadFileBytes((kCorpus / certificate).parent_path() / key), 0600);
    }
    // The KDE messages do not carry their signer's certificate.
    fs::copy_file(kCorpus / "kde-mimetreeparser/derived/pubring-kbx-certs.pem", book / "kde-pubring.pem");
    const fs::path rfc = kCorpus / "bc-test-data/rfc4134";
    WriteFile(my / "rfc4134-Bob.pem", Openssl("x509 -inform DER", ReadFileBytes(rfc / "BobRSASignByCarl.cer")));
    WriteFile(my / "rfc4134-Bob.key", Openssl("pkey -inform DER", ReadFileBytes(rfc / "BobPrivRSAEncrypt.pri")), 0600);
  }

  TStoreSandbox Stores;
};

// Walks the message as the findings do (every S/MIME layer opened, nested
// S/MIME parts visited, clear-signed content not entered), and notes the
// first signature and the first decryption met.
void Walk(TBodyPart* part, TOutcome& out, int depth) {
  auto note = [&](std::string& verdict, bool checked, uint32_t status) {
    if (checked && verdict.empty()) verdict = status == 0 ? "OK" : "FAIL";
  };
  if (!part || depth > 50) return;
  if (auto smime = dynamic_cast<TSmimeBodyPart*>(part)) {
    TBodyPart* inner = smime->DecodedPart();
    out.Detail += " [" + smime->ListingDetails() + "]";
    // Any attempt counts, also one that found no enveloped data.
    note(out.Decrypt, smime->Info->DecryptStatus != kStatusNotChecked, smime->Info->DecryptStatus);
    note(out.Signature, smime->Info->Verified, smime->Info->VerifyStatus);
    Walk(inner, out, depth + 1);
  } else if (auto multipart = dynamic_cast<TMultipartSigned*>(part)) {
    // openssl's findings stop at a clear-signed layer: they name its
    // content type only.
    out.Detail += " [" + multipart->ListingDetails() + "]";
    note(out.Signature, multipart->Verified, multipart->Info->VerifyStatus);
  } else {
    for (int32_t i = 0; i < part->ChildCount(); ++i) Walk(part->Children(i), out, depth + 1);
  }
}

}  // namespace

TEST_F(SmimeCorpus, signature_and_decryption_agree_with_openssl) {
  std::ifstream tsv(kCorpus / "expected-openssl/smime-messages.tsv");
  std::string line;
  int messages = 0, signatures = 0, signatureAgree = 0, decryptions = 0, decryptAgree = 0;
  std::ostringstream report;
  while (std::getline(tsv, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    std::string path = line.substr(0, tab);
    TOutcome expected = ParseFindings(line.substr(tab + 1));
    ++messages;
    TOutcome got;
    try {
      std::unique_ptr<TMessage> message = OpenMessageFile((kCorpus / path).string(), SmimeParseOptions());
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
    auto reason = kExplained.find(path);
    if (agree) {
      EXPECT_EQ(reason, kExplained.end()) << path << " is listed but agrees now";
      continue;
    }
    auto verdicts = [](const TOutcome& o) {
      auto dash = [](const std::string& v) { return v.empty() ? "-" : v; };
      return "signature=" + dash(o.Signature) + " decrypt=" + dash(o.Decrypt);
    };
    report << (reason == kExplained.end() ? "UNEXPLAINED " : "explained ") << path << ": openssl " << verdicts(expected)
           << "; here " << verdicts(got) << got.Detail;
    report << "\n";
    if (reason == kExplained.end()) {
      ADD_FAILURE() << path << " disagrees without an explanation";
    } else {
      report << "    reason: " << reason->second.Reason << "\n";
      EXPECT_EQ(verdicts(got) + got.Detail, reason->second.Here) << path << " disagrees otherwise than listed";
    }
  }
  std::printf("S/MIME corpus: %d messages; signatures %d of %d agree; decryptions %d of %d agree\n%s", messages,
              signatureAgree, signatures, decryptAgree, decryptions, report.str().c_str());
  EXPECT_EQ(messages, 145);
}
