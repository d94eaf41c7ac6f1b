// Rows of the certificate dialog; see CertificateRows.h.
#include "ui/CertificateRows.h"

#include <cctype>

namespace tessel {

namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& item : items) {
    if (!s.empty()) s += ", ";
    s += item;
  }
  return s;
}

void AddNameRows(std::vector<TCertificateRow>& rows, const char* title, const TStringListX& parts) {
  rows.push_back({title, parts.empty() ? std::string() : parts.front(), 0});
  for (const std::string& part : parts) {
    const size_t eq = part.find('=');
    if (eq == std::string::npos)
      rows.push_back({"", part, 1});
    else
      rows.push_back({part.substr(0, eq), part.substr(eq + 1), 1});
  }
}

}  // namespace

const char kCertificateSaveFilter[] = "PEM certificate (*.pem *.crt);;DER certificate (*.der *.cer);;All files (*)";

std::string ValidityMark(const TCertificateDetails& details, int64_t now) {
  switch (ValidityAt(details, now)) {
    case TValidity::Expired: return "expired";
    case TValidity::NotYetValid: return "not yet valid";
    case TValidity::Valid: break;
  }
  return {};
}

std::vector<TCertificateRow> CertificateRows(const TCertificate& certificate, const TCertificateDetails& details,
                                             int64_t now) {
  std::vector<TCertificateRow> rows;
  if (certificate.IsEmpty() || !details.Valid) return rows;
  AddNameRows(rows, "Subject", certificate.SubjectParts());
  AddNameRows(rows, "Issuer", certificate.IssuerParts());
  rows.push_back({"Serial number", certificate.SerialNumber(), 0});
  rows.push_back({"Version", std::to_string(details.Version), 0});
  const std::string mark = ValidityMark(details, now);
  rows.push_back({"Validity", mark.empty() ? std::string("valid") : mark, 0});
  rows.push_back({"Valid from", FormatUtcTime(details.NotBefore), 1});
  rows.push_back({"Valid to", FormatUtcTime(details.NotAfter), 1});
  std::string key = details.KeyAlgorithm;
  if (details.KeyBits > 0 || !details.KeyCurve.empty()) {
    key += " (";
    if (details.KeyBits > 0) key += std::to_string(details.KeyBits) + " bit";
    if (!details.KeyCurve.empty()) key += (details.KeyBits > 0 ? ", " : "") + details.KeyCurve;
    key += ")";
  }
  rows.push_back({"Public key", key, 0});
  rows.push_back({"Signature algorithm", details.SignatureAlgorithm, 0});
  rows.push_back({"Key usage", details.KeyUsage.empty() ? "(not restricted)" : Join(details.KeyUsage), 0});
  rows.push_back({"Extended key usage",
                  details.ExtendedKeyUsage.empty() ? "(not restricted)" : Join(details.ExtendedKeyUsage), 0});
  rows.push_back({"Subject alternative names", std::to_string(details.SubjectAltNames.size()), 0});
  for (const std::string& name : details.SubjectAltNames) rows.push_back({"", name, 1});
  rows.push_back({"Certificate authority", details.IsCa ? "yes" : "no", 0});
  rows.push_back({"SHA-1 fingerprint", details.Sha1Fingerprint, 0});
  rows.push_back({"SHA-256 fingerprint", details.Sha256Fingerprint, 0});
  return rows;
}

std::vector<TCertificateRow> ChainRows(const std::vector<TChainElementInfo>& chain) {
  std::vector<TCertificateRow> rows;
  for (const TChainElementInfo& e : chain) {
    std::string name = e.Certificate.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName);
    if (name.empty() && !e.Certificate.SubjectParts().empty()) name = e.Certificate.SubjectParts().front();
    rows.push_back({name, e.StatusText, 0});
  }
  return rows;
}

bool SaveAsDer(const std::string& fileName, const std::string& selectedFilter) {
  if (selectedFilter.rfind("DER", 0) == 0) return true;
  if (selectedFilter.rfind("PEM", 0) == 0) return false;
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || fileName.find('/', dot) != std::string::npos) return false;
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".der" || ext == ".cer";
}

}  // namespace tessel
