// What the certificate dialog shows beyond names and serial number: the
// validity period, the public key, key usages, alternative names and
// fingerprints of one certificate, and the chain it was judged on with each
// element's status. The fields are read by the OpenSSL layer
// (openssl_certdetails.cpp); the rest is plain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smime/cms/Certificate.h"
#include "smime/openssl/CryptoPlatform.h"

namespace tessel {

struct TCertificateDetails {
  bool Valid = false;     // false for an empty or unreadable certificate
  int64_t NotBefore = 0;  // seconds since 1970, UTC
  int64_t NotAfter = 0;
  int32_t Version = 0;             // 1, 2 or 3
  std::string SignatureAlgorithm;  // "sha256WithRSAEncryption"
  std::string KeyAlgorithm;        // "rsaEncryption", "id-ecPublicKey", "ED25519"
  int32_t KeyBits = 0;             // 0 when unknown
  std::string KeyCurve;            // "prime256v1" for EC keys, else ""
  // Names as the usual tools print them: "Digital Signature",
  // "Key Encipherment"...; "E-mail Protection", "TLS Web Client
  // Authentication", or the dotted OID of a usage without a name.
  std::vector<std::string> KeyUsage;
  std::vector<std::string> ExtendedKeyUsage;
  // "email:a@example.com", "DNS:host", "IP Address:192.0.2.1", "URI:...",
  // "DirName:/C=PL/CN=x", "othername:<unsupported>"...
  std::vector<std::string> SubjectAltNames;
  bool IsCa = false;
  // Upper-case hex octets separated by ':'.
  std::string Sha1Fingerprint;
  std::string Sha256Fingerprint;
};

// Reads the fields of a certificate; Valid false for an empty handle.
TCertificateDetails GetCertificateDetails(const crypto::TCertHandle& certificate);

enum class TValidity { Valid, Expired, NotYetValid };
// time: seconds since 1970.
TValidity ValidityAt(const TCertificateDetails& details, int64_t time);
// "2026-12-06 22:15:00 UTC".
std::string FormatUtcTime(int64_t time);

struct TChainElementInfo {
  TCertificate Certificate;
  uint32_t Status = 0;  // trust-status bits of this element
  std::string StatusText;
};

// The chain as GetCertificateChain builds it (same anchors, intermediates
// and revocation lists), one entry per certificate, the certificate first;
// empty when no chain can be built. time: seconds since 1970, 0 for now.
std::vector<TChainElementInfo> GetChainElements(const TCertificate& certificate, int64_t time = 0);

// One element's status in words: "revoked", "expired", "not yet valid",
// "bad signature", "untrusted root", "issuer not found", "trusted root"
// (the last element without errors), "valid" (any other element without
// errors); several faults are joined with ", ". time as above.
std::string ChainElementStatusText(uint32_t status, bool last, const TCertificateDetails& details, int64_t time);

}  // namespace tessel
