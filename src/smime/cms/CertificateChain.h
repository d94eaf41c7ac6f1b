// The certificate chain of a certificate, as TSmimeInfo::Complete reads it.
//
// The chain is built with the system's trusted roots and the "Root" store
// as trust anchors, and the certificate's companions (the rest of the
// message it came in) and the "AddressBook" store as intermediates.
// Revocation is checked where a revocation list of the issuer is found in
// "Root" or "AddressBook"; without one the certificate carries no
// revocation information and no revocation bit.
#pragma once

#include <cstdint>

#include "smime/cms/Certificate.h"
#include "smime/openssl/CryptoPlatform.h"
#include "smime/stores/SmimeStores.h"

namespace tessel {

// Trust-status bits (CryptoPlatform.h): kTrustIsNotTimeValid (1),
// kTrustIsRevoked (4), kTrustIsNotSignatureValid (8),
// kTrustIsNotValidForUsage (0x10), kTrustIsUntrustedRoot (0x20),
// kTrustIsPartialChain (0x10000), ...
using crypto::kTrustIsNotSignatureValid;
using crypto::kTrustIsNotTimeValid;
using crypto::kTrustIsNotValidForUsage;
using crypto::kTrustIsPartialChain;
using crypto::kTrustIsRevoked;
using crypto::kTrustIsUntrustedRoot;

struct TCertificateChain {
  // Every error bit of the chain (0: trusted).
  uint32_t ChainStatus = 0;
  // The error bits of the certificate itself (the chain's first element).
  uint32_t CertificateStatus = 0;
  // The first element carries revocation information.
  bool HasRevocationInfo = false;
  // Number of certificates in the chain, the certificate first.
  int32_t Length = 0;
};

// What the chain is built for. MailSigning: the certificate's key usage and
// extended key usage must allow signing mail (a server-only certificate is
// refused), else the chain and the certificate carry
// kTrustIsNotValidForUsage.
enum class TChainUse { Any, MailSigning };

// Builds the chain with the stores as given; false (chain untouched) for an
// empty certificate or when no chain can be built at all. time: seconds
// since 1970, 0 for now.
bool GetCertificateChain(const TCertificate& certificate, TCertificateChain& chain, TSmimeStores& stores, TChainUse use,
                         int64_t time = 0);
// The same with the stores read for this chain alone.
bool GetCertificateChain(const TCertificate& certificate, TCertificateChain& chain, int64_t time = 0,
                         TChainUse use = TChainUse::Any);

}  // namespace tessel
