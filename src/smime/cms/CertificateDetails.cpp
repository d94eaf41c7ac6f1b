// Validity, chain elements and their wording; see CertificateDetails.h.
#include "smime/cms/CertificateDetails.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include "smime/stores/CertificateStore.h"

namespace tessel {

TValidity ValidityAt(const TCertificateDetails& details, int64_t time) {
  if (time < details.NotBefore) return TValidity::NotYetValid;
  if (time > details.NotAfter) return TValidity::Expired;
  return TValidity::Valid;
}

std::string FormatUtcTime(int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "?";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d UTC", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

std::string ChainElementStatusText(uint32_t status, bool last, const TCertificateDetails& details, int64_t time) {
  std::string text;
  auto add = [&text](const char* s) {
    if (!text.empty()) text += ", ";
    text += s;
  };
  if (status & crypto::kTrustIsRevoked) add("revoked");
  if (status & crypto::kTrustIsNotTimeValid)
    add(details.Valid && ValidityAt(details, time) == TValidity::NotYetValid ? "not yet valid" : "expired");
  if (status & crypto::kTrustIsNotSignatureValid) add("bad signature");
  if (status & crypto::kTrustIsNotValidForUsage) add("not valid for this use");
  if (status & (crypto::kTrustInvalidExtension | crypto::kTrustInvalidPolicyConstraints |
                crypto::kTrustInvalidBasicConstraints | crypto::kTrustInvalidNameConstraints))
    add("invalid constraints");
  if (status & crypto::kTrustIsCyclic) add("cyclic chain");
  if (status & crypto::kTrustIsUntrustedRoot) add("untrusted root");
  if (status & crypto::kTrustIsPartialChain) add("issuer not found");
  if (status & crypto::kTrustRevocationStatusUnknown) add("revocation unknown");
  if (!text.empty()) return text;
  return last ? "trusted root" : "valid";
}

std::vector<TChainElementInfo> GetChainElements(const TCertificate& certificate, int64_t time) {
  std::vector<TChainElementInfo> out;
  if (certificate.IsEmpty()) return out;
  crypto::TChainRequest request;
  request.Certificate = certificate.Handle();
  request.Time = time;
  request.Untrusted = certificate.Companions();
  if (std::unique_ptr<TCertStore> root = TCertStore::Open("Root")) {
    request.Trusted = root->Certificates();
    request.Crls = root->Crls();
  }
  if (std::unique_ptr<TCertStore> book = TCertStore::Open("AddressBook")) {
    for (const crypto::TCertHandle& c : book->Certificates()) request.Untrusted.push_back(c);
    for (const crypto::TCrlHandle& crl : book->Crls()) request.Crls.push_back(crl);
  }
  const crypto::TChainResult result = crypto::BuildChain(request);
  if (!result.Built) return out;
  const int64_t now = time != 0 ? time : static_cast<int64_t>(std::time(nullptr));
  for (size_t i = 0; i < result.Elements.size(); ++i) {
    const crypto::TChainElement& e = result.Elements[i];
    TChainElementInfo info;
    info.Certificate = TCertificate(e.Certificate);
    info.Status = e.Status;
    info.StatusText =
        ChainElementStatusText(e.Status, i + 1 == result.Elements.size(), GetCertificateDetails(e.Certificate), now);
    out.push_back(std::move(info));
  }
  return out;
}

}  // namespace tessel
