// The status codes that verification, decryption and certificate chains
// report, with their English texts (registered with RegisterErrorText, so
// ErrorText and GetWinErrorText give them). The numbers and texts are those
// users already look up for these outcomes; each keeps its customary name
// beside it.
#pragma once

#include <cstdint>

namespace tessel {

enum : uint32_t {
  kStatusBadData = 0x80090005,                  // NTE_BAD_DATA: the data cannot be decrypted
  kStatusBadSignature = 0x80090006,             // NTE_BAD_SIGNATURE: the signature does not verify
  kStatusKeysetNotFound = 0x80090016,           // NTE_BAD_KEYSET: a private key cannot be used
  kStatusMessageError = 0x80091001,             // CRYPT_E_MSG_ERROR: a message operation failed
  kStatusUnknownAlgorithm = 0x80091002,         // CRYPT_E_UNKNOWN_ALGO
  kStatusInvalidMessageType = 0x80091004,       // CRYPT_E_INVALID_MSG_TYPE
  kStatusAuthAttributeMissing = 0x80091006,     // CRYPT_E_AUTH_ATTR_MISSING: a signed attribute is missing
  kStatusHashValue = 0x80091007,                // CRYPT_E_HASH_VALUE: the content's hash differs from the signed one
  kStatusRecipientNotFound = 0x8009100B,        // CRYPT_E_RECIPIENT_NOT_FOUND
  kStatusSignerNotFoundInMessage = 0x8009100E,  // CRYPT_E_SIGNER_NOT_FOUND
  kStatusBadEncode = 0x80092002,                // CRYPT_E_BAD_ENCODE: the data does not decode
  kStatusNotFound = 0x80092004,                 // CRYPT_E_NOT_FOUND
  kStatusNoDecryptCert = 0x8009200C,            // CRYPT_E_NO_DECRYPT_CERT
  kStatusCertRevoked = 0x80092010,              // CRYPT_E_REVOKED
  kStatusNoRevocationCheck = 0x80092012,        // CRYPT_E_NO_REVOCATION_CHECK
  kStatusSignerNotFound = 0x80096002,           // TRUST_E_NO_SIGNER_CERT: the signer's certificate was not found
  kStatusCannotVerify = 0x80096004,             // TRUST_E_CERT_SIGNATURE: the signer information cannot be read
  kStatusNoSignature = 0x800B0100,              // TRUST_E_NOSIGNATURE: no signature is present
  kStatusCertExpired = 0x800B0101,              // CERT_E_EXPIRED
  kStatusUntrustedRoot = 0x800B0109,            // CERT_E_UNTRUSTEDROOT
  kStatusChaining = 0x800B010A,                 // CERT_E_CHAINING
  kStatusRevoked = 0x800B010C,                  // CERT_E_REVOKED
  kStatusNoRecipientMatches = 0x80880283,       // the viewer's own: no certificate with a usable key fits a recipient
  kStatusUnsupportedRecipient = 0x80880284,     // the viewer's own: only recipients of kinds it cannot decrypt
};

// The value status codes hold before any check or decryption ran.
inline constexpr uint32_t kStatusNotChecked = 2;

// Registers the texts of the codes above; called by the crypto layer's
// initialization, harmless to call again.
void RegisterStatusTexts();

}  // namespace tessel
