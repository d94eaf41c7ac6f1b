// tessel --import-cert FILE [--store NAME]: adds the certificates of a PEM,
// DER or base64 file to a certificate store ("AddressBook" by default;
// "Root" makes them trusted roots).
#include <ostream>
#include <string>

#include "ui/cli/Command.h"
#include "smime/cms/Certificate.h"
#include "smime/stores/CertificateStore.h"
#include "smime/openssl/CryptoPlatform.h"
#include "util/streams/MemoryStream.h"

namespace tessel::cli {

namespace {

int RunImportCert(TCommandContext& ctx) {
  bool bad = false;
  std::string store = TakeOption(ctx.Args, "--store", bad);
  if (store.empty() && !bad) store = "AddressBook";
  if (int status = FileArgument(ctx, bad, "--import-cert FILE [--store NAME]")) return status;
  if (TCertStore::StoreDirectory(store).empty()) {
    ctx.Err << "tessel: \"" << store << "\" is not a store name\n";
    return ExitUsage;
  }
  const std::string& fileName = ctx.Args[0];
  std::string bytes;
  if (int status = ReadCommandFile(ctx, fileName, bytes)) return status;
  std::vector<crypto::TCertHandle> certs = crypto::ReadCertificateFile(bytes).Certificates;
  if (certs.empty()) {
    // Bare base64 text of one certificate.
    TStringStream stream(bytes);
    TCertificate c = TCertificate::CreateFromStream(stream);
    if (!c.IsEmpty()) certs.push_back(c.Handle());
  }
  if (certs.empty()) {
    ctx.Err << "tessel: \"" << fileName << "\" holds no certificate\n";
    return ExitNotParsed;
  }
  int status = ExitDone;
  for (const crypto::TCertHandle& cert : certs) {
    std::string error;
    TCertificate c(cert);
    std::string name = c.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName);
    if (name.empty()) name = c.SerialNumber();
    switch (TCertStore::AddCertificate(store, cert, error)) {
      case TCertStore::TAddResult::Added: ctx.Out << "Added to \"" << store << "\": \"" << name << "\"\n"; break;
      case TCertStore::TAddResult::AlreadyThere:
        ctx.Out << "Already in \"" << store << "\": \"" << name << "\"\n";
        break;
      case TCertStore::TAddResult::Failed:
        ctx.Err << "tessel: " << error << "\n";
        status = ExitUnreadable;
        break;
    }
  }
  return status;
}

const TCommandRegistrar kImportCertCommand("--import-cert", "FILE [--store NAME]",
                                           "add the certificates of a PEM, DER or base64 file to a store "
                                           "(default \"AddressBook\")",
                                           RunImportCert);

}  // namespace

}  // namespace tessel::cli
