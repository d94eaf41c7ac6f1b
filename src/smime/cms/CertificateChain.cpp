#include "smime/cms/CertificateChain.h"

#include <memory>

#include "smime/stores/CertificateStore.h"

namespace tessel {

bool GetCertificateChain(const TCertificate& certificate, TCertificateChain& chain, TSmimeStores& stores, TChainUse use,
                         int64_t time) {
  if (certificate.IsEmpty()) return false;
  crypto::TChainRequest request;
  request.Certificate = certificate.Handle();
  request.Time = time;
  request.ForMailSigning = use == TChainUse::MailSigning;
  request.Untrusted = certificate.Companions();
  // Stores that cannot be read add nothing; the chain is then judged on
  // what is left, as with an empty store.
  if (const TCertStore* root = stores.Store("Root")) {
    request.Trusted = root->Certificates();
    request.Crls = root->Crls();
  }
  if (const TCertStore* book = stores.Store("AddressBook")) {
    for (const TStoreEntry& e : book->Entries()) request.Untrusted.push_back(e.Certificate);
    for (const crypto::TCrlHandle& crl : book->Crls()) request.Crls.push_back(crl);
  }
  crypto::TChainResult result = crypto::BuildChain(request);
  if (!result.Built || result.Elements.empty()) return false;
  chain.ChainStatus = result.Status;
  chain.CertificateStatus = result.Elements.front().Status;
  chain.HasRevocationInfo = result.Elements.front().HasRevocationInfo;
  chain.Length = static_cast<int32_t>(result.Elements.size());
  return true;
}

bool GetCertificateChain(const TCertificate& certificate, TCertificateChain& chain, int64_t time, TChainUse use) {
  TSmimeStores stores;
  return GetCertificateChain(certificate, chain, stores, use, time);
}

}  // namespace tessel
