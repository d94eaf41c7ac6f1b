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
#include "mime/MimeParser.h"
#include "smime/AsnQuery.h"
#include "smime/Pkcs7Info.h"
#include "smime/SmimeBodyPart.h"
#include "smime/SmimeRegistration.h"
#include "smime/SmimeRows.h"

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
    message = std::make_unique<TMessage>(std::move(bytes));
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
  for (const char* path : {kSignedCertificatesPath, kSignerInfosPath, kRecipientInfosPath, "[*]/[*]/[-1]",
                           "[1]/[0]/[*]/[*]", ""}) {
    for (TAsnElem* e : AsnQuery(root, path)) {
      FUZZ_CHECK(e != nullptr, "null element selected");
      (void)AsnOidText(e);
    }
  }
}

void CheckPkcs7(const std::string& octets) {
  TPointerStream stream(octets.data(), static_cast<int32_t>(octets.size()));
  int32_t kind = SniffPkcs7Kind(stream);
  FUZZ_CHECK(kind == TSmimeBodyPart::skSigned || kind == TSmimeBodyPart::skEnveloped ||
                 kind == TSmimeBodyPart::skUnknown,
             "sniffed kind out of range");
  (void)SmimeKindName(kind);

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

}  // namespace

// Signer certificates go into the address book: keep them out of the
// user's own data, in a folder of this process that goes with it.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::string folder = "/tmp/tessel-fuzz-XXXXXX";
  if (!mkdtemp(folder.data())) std::abort();
  setenv("TESSEL_CERT_DIR", folder.c_str(), 1);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (RegisterSmimeParts(), true);
  (void)registered;
  if (size < 1) return 0;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0)
    CheckMessage(std::move(rest));
  else
    CheckPkcs7(rest);
  return 0;
}
