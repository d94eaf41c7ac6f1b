// Decryption of S/MIME enveloped data with a key of the user's "My" store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smime/Certificate.h"
#include "util/MemoryStream.h"
#include "util/WinError.h"

namespace tessel {

// Raised when no recipient could be decrypted. The message and code are
// those of every other "No recipient matches"; KeyProblems tells the user
// why keys that were found could not be used (file readable by others,
// not a key, not the certificate's key), one sentence each.
class ENoRecipientMatches : public EWinException {
public:
  explicit ENoRecipientMatches(std::vector<std::string> keyProblems);
  std::vector<std::string> KeyProblems;
};

// data: the application/pkcs7-mime body as it stands, with its
// Content-Transfer-Encoding value. output receives the content (its size
// set to the content's) only when decryption succeeded. algorithmName: the
// content-encryption algorithm's upper-cased platform name ("3DES", "DES",
// "AES128", "RC2 128", "RC2 40"; "RC2 " for an unlisted RC2 version), "" for
// algorithms the platform does not name. recipientCertificate (may be
// nullptr) receives the certificate whose key decrypted the content.
//
// Recipients are tried in order; for each, the "My" certificate with its
// issuer and serial number and a usable key decrypts, else the next one is
// tried. Raises EWinException "not encrypted" (code -2) for data that is no
// enveloped data or has no algorithm or no recipients, and
// ENoRecipientMatches ("No recipient matches", kStatusNoRecipientMatches)
// when nothing decrypted.
void DecryptEnveloped(const char* data, int32_t size, TMemoryStream& output, const std::string& encoding,
                      std::string& algorithmName, TCertificate* recipientCertificate);

// The RC2 key size text for an RC2 parameter version: 160 "40", 52 "56",
// 120 "64", 58 "128", any other "".
std::string Rc2VersionBits(int64_t version);

}  // namespace tessel
