// What the certificate dialog lists, as plain rows: names, serial number,
// validity with its mark, key, usages, alternative names, fingerprints, and
// the chain with each element's status. The dialog only places these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smime/cms/Certificate.h"
#include "smime/cms/CertificateDetails.h"

namespace tessel {

struct TCertificateRow {
  std::string Name;
  std::string Value;
  int32_t Level = 0;  // 0: top row, 1: child of the last top row
};

// now: seconds since 1970.
std::vector<TCertificateRow> CertificateRows(const TCertificate& certificate, const TCertificateDetails& details,
                                             int64_t now);
// "expired" / "not yet valid" for a certificate outside its period, else "".
std::string ValidityMark(const TCertificateDetails& details, int64_t now);
// One row per chain element, the certificate first: its subject's common
// name (else its first name line) and the element's status.
std::vector<TCertificateRow> ChainRows(const std::vector<TChainElementInfo>& chain);

// The dialog's save formats: PEM unless the chosen filter or the file's
// extension (".der", ".cer", ".crt" with the DER filter) asks for DER.
extern const char kCertificateSaveFilter[];
bool SaveAsDer(const std::string& fileName, const std::string& selectedFilter);

}  // namespace tessel
