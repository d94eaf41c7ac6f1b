// Verification of S/MIME signatures: detached (multipart/signed) and
// attached (application/pkcs7-mime signed-data).
//
// Results go into objects the caller owns; each pointer may be nullptr.
// status receives 0 for a valid signature, kStatusSignerNotFound when the
// signer's certificate is neither in the message nor in "AddressBook",
// kStatusNoSignature for signed data without signers, or the code of the
// verification fault (kStatusHashValue, kStatusBadSignature, ...). It is
// written only when the check reaches a verdict, so a raised error leaves
// the caller's value (for example "not checked yet") as it was.
//
// The signer certificate receives the certificate that was checked, valid or
// not, with the message's other certificates as its companions. When
// encryptionCertificate is given the signer's attributes are read: each
// signed attribute's dotted OID with the base64 of its first value's whole
// encoding into attributes, exactly as Base64EncodeBuffer writes it (CR LF
// after 76 characters and at the end; a later attribute replaces an
// earlier one), the short names of its
// S/MIME capabilities into capabilities, and its preferred encryption
// certificate (from the message, else "AddressBook").
//
// Raised errors are EWinException: "not signed" (code -3), "Cannot verify the
// signature" (kStatusCannotVerify), "Fatal Error", "Cannot open message
// store", "Cannot alloc memory" (the last error). Only signer 0 is checked.
#pragma once

#include <cstdint>
#include <string>

#include "smime/Certificate.h"
#include "util/MemoryStream.h"
#include "util/StringUtils.h"

namespace tessel {

class TAsnElem;

// content: the signed body part's octets exactly as they stand (header and
// body); they are hashed as they are. signature: the signature part's body,
// with its Content-Transfer-Encoding value.
void VerifyDetached(const char* content, int32_t contentSize, const char* signature,
                    const std::string& signatureEncoding, TStringListX* attributes, TStringListX* capabilities,
                    uint32_t& status, TCertificate* encryptionCertificate, TCertificate* signerCertificate,
                    int32_t signatureSize);

// data: the application/pkcs7-mime body with its transfer encoding. output
// receives the signed content (its size set to the content's), also when
// the signature does not verify or has no signer.
void VerifySigned(const char* data, int32_t size, TMemoryStream& output, const std::string& encoding,
                  TStringListX* attributes, TStringListX* capabilities, uint32_t& status,
                  TCertificate* encryptionCertificate, TCertificate* signerCertificate);

// The short name of one S/MIME capability (SEQUENCE { OID, parameters }):
// "3des", "rc2" or "rc2 <bits>", "des", or "" for any other.
std::string CapabilityName(const TAsnElem* element);

// The transfer decoding the S/MIME operations share: "base64" and
// "quoted-printable" (any case) are decoded, anything else is taken as it is.
std::string TransferDecode(const char* data, int32_t size, const std::string& encoding);

}  // namespace tessel
