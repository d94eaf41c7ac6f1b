// S/MIME from a stranger. Inputs whose first byte is even are message files:
// parsed with the S/MIME part classes registered, so that signed and
// enveloped layers are detected, unwrapped or decrypted and peeled, with
// the information rows of every part built. Odd first bytes give the rest
// as a PKCS #7 body: sniffed, read as signature and as pkcs7-mime
// information objects, its rows built and queried by path.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "mime/MessageFile.h"
#include "mime/MimeParser.h"
#include "smime/openssl/CryptoPlatform.h"
#include "smime/cms/AsnQuery.h"
#include "smime/cms/EnvelopedData.h"
#include "smime/parts/Pkcs7Info.h"
#include "smime/parts/SmimeBodyPart.h"
#include "smime/parts/SmimeParseOptions.h"
#include "smime/parts/SmimeRows.h"

using namespace tessel;

namespace {

void CheckRows(const std::vector<TSmimeRow>& rows) {
  int32_t depth = -1;
  for (const TSmimeRow& row : rows) {
    FUZZ_CHECK(row.Depth >= 0 && row.Depth <= depth + 1, "row deeper than its parent allows");
    depth = row.Depth;
  }
  (void)FormatSmimeRows(rows);
}

void RowsOfParts(TBodyPart& part) {
  TSmimeInfoRows rows;
  rows.Build(part);
  CheckRows(rows.Rows);
  if (TBodyPart* inner = part.InnerRoot()) {
    RowsOfParts(*inner);
    return;
  }
  for (int32_t i = 0; i < part.ChildCount(); ++i) RowsOfParts(*part.Children(i));
}

void CheckMessage(std::string bytes) {
  std::unique_ptr<TMessage> message;
  try {
    message = OpenMessageBytes(std::move(bytes), SmimeParseOptions());
  } catch (const EMimeParseError&) {
    return;
  }
  (void)fuzz::WalkMessage(*message);
  for (int32_t i = 0; i < message->RootCount(); ++i) {
    try {
      RowsOfParts(*message->Roots(i));
    } catch (const EMimeParseError&) {
      // an embedded message that does not parse (the walk saw it already)
    }
  }
}

void CheckQueries(TAsnElem* root) {
  for (const char* path :
       {kSignedCertificatesPath, kSignerInfosPath, kRecipientInfosPath, "[*]/[*]/[-1]", "[1]/[0]/[*]/[*]", ""}) {
    for (TAsnElem* e : AsnQuery(root, path)) {
      FUZZ_CHECK(e != nullptr, "null element selected");
      (void)AsnOidText(e);
    }
  }
}

void CheckPkcs7(const std::string& octets) {
  TPointerStream stream(octets.data(), static_cast<int32_t>(octets.size()));
  int32_t kind = SniffPkcs7Kind(stream);
  FUZZ_CHECK(
      kind == TSmimeBodyPart::skSigned || kind == TSmimeBodyPart::skEnveloped || kind == TSmimeBodyPart::skUnknown,
      "sniffed kind out of range");
  (void)SmimeKindName(kind);

  // The block handed to OpenSSL without its encrypted content: the content
  // must lie inside the input, and the rest can only shrink.
  std::string shell;
  std::string_view encrypted;
  if (SplitEncryptedContent(octets, shell, encrypted)) {
    FUZZ_CHECK(
        encrypted.data() >= octets.data() && encrypted.data() + encrypted.size() <= octets.data() + octets.size(),
        "encrypted content outside the input");
    FUZZ_CHECK(shell.size() + encrypted.size() <= octets.size(), "shell larger than the input");
  }

  TSmimeInfoRows signature;
  signature.BuildSignature(octets);
  CheckRows(signature.Rows);
  if (signature.SignatureInfo) CheckQueries(const_cast<TAsnElem*>(signature.SignatureInfo->Tree()));
  TSmimeInfoRows mime;
  mime.BuildMime(octets);
  CheckRows(mime.Rows);
  if (mime.MimeInfo) {
    const TPKCS7MimeInfo& info = *mime.MimeInfo;
    for (int32_t i = 0; i < info.CertificateCount(); ++i) FUZZ_CHECK(info.Certificate(i), "missing certificate");
    for (int32_t i = 0; i < info.SignerCount(); ++i) FUZZ_CHECK(info.SignerInfo(i), "missing signer");
    for (int32_t i = 0; i < info.RecipientCount(); ++i) FUZZ_CHECK(info.Recipient(i), "missing recipient");
    FUZZ_CHECK(!info.Certificate(info.CertificateCount()), "certificate past the end");
  }
}

// A self-signed certificate (P-256, "CN=fuzz") to build one chain with
// before fuzzing: the first chain reads the system's trust bundle, a cost
// of the process and not of the input that happens to come first.
const char kWarmUpCertificateHex[] =
    "3082017430820119a003020102021476b10aaf1133b8cafb0366773fa0a1c20610cef2300a06082a8648ce3d04030230"
    "0f310d300b06035504030c0466757a7a301e170d3236313230363039343930335a170d3236313230373039343930335a"
    "300f310d300b06035504030c0466757a7a3059301306072a8648ce3d020106082a8648ce3d03010703420004f0123aa6"
    "63e906698f6b8b40599222d3741f81f6769cab0d88c7bb7f040299b6ce8975b62019350c905c7998177cb68506a71368"
    "d85ebb5ff3987ed2f30a863ca3533051301d0603551d0e0416041452e7c7c6eebf6da0b0d50ab79d5afad4275d4a2330"
    "1f0603551d2304183016801452e7c7c6eebf6da0b0d50ab79d5afad4275d4a23300f0603551d130101ff040530030101"
    "ff300a06082a8648ce3d04030203490030460221008639c04375a8684ee0cabac310e92bceed47dac478092f98ea4eb7"
    "6c6bf2e962022100ac89ba5ec0119e58c5d01ddd2340c91eb5414dcd67d91cb30f8a34021c4248c9";

void WarmUp() {
  std::string der;
  for (size_t i = 0; i + 1 < sizeof kWarmUpCertificateHex; i += 2)
    der += static_cast<char>(std::stoi(std::string(kWarmUpCertificateHex + i, 2), nullptr, 16));
  crypto::TChainRequest request;
  request.Certificate = crypto::TCertHandle::FromDer(der);
  (void)crypto::BuildChain(request);
}

}  // namespace

// The stores read while opening messages are this process's own, empty
// ones: the user's keys and address book play no part in fuzzing.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::string folder = "/tmp/tessel-fuzz-XXXXXX";
  if (!mkdtemp(folder.data())) std::abort();
  setenv("TESSEL_CERT_DIR", folder.c_str(), 1);
  WarmUp();
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0)
    CheckMessage(std::move(rest));
  else
    CheckPkcs7(rest);
  return 0;
}
