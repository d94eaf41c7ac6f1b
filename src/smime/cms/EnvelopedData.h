// Decryption of S/MIME enveloped data with a key of the user's "My" store.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "smime/cms/Certificate.h"
#include "smime/stores/SmimeStores.h"
#include "smime/cms/StatusCodes.h"

namespace tessel {

struct TDecryption {
  // 0 decrypted; kStatusNoRecipientMatches when no certificate of "My"
  // with a usable key fits a recipient; kStatusUnsupportedRecipient when
  // none did and the message also names recipients of kinds that cannot be
  // decrypted here (password, shared key).
  uint32_t Status = kStatusNotChecked;
  // The decrypted content; empty unless Status is 0.
  std::string Content;
  // The content-encryption algorithm's upper-cased short name ("3DES",
  // "DES", "AES128", "RC2 128", "RC2 40"; "RC2 " for an unlisted RC2
  // version; OidNames.h), "" for algorithms without one.
  std::string Algorithm;
  // The certificate whose key decrypted the content.
  TCertificate RecipientCertificate;
  // Why keys that were found could not be used (file readable by others,
  // not a key, not the certificate's key, did not decrypt), one sentence
  // each, in the order they were tried.
  std::vector<std::string> KeyProblems;
};

// data: the application/pkcs7-mime body as it stands, with its
// Content-Transfer-Encoding value. Recipients are tried in order: key
// transport (RSA) and key agreement (EC) recipients whose certificate
// stands in "My" with a usable key. Raises EWinException "not encrypted"
// (code -2) for data that is no enveloped data or has no algorithm or no
// recipients.
TDecryption DecryptEnveloped(std::string_view data, const std::string& encoding, TSmimeStores& stores);

// Cuts the encrypted content out of a ContentInfo holding enveloped data:
// shell receives the encoding without the encryptedContent field (the
// lengths around it shortened), encrypted the field's octets, a view into
// der. false, with both empty, when der holds no such field or holds it in
// pieces (constructed, as BER allows).
bool SplitEncryptedContent(std::string_view der, std::string& shell, std::string_view& encrypted);

// The RC2 key size text for an RC2 parameter version: 160 "40", 52 "56",
// 120 "64", 58 "128", any other "".
std::string Rc2VersionBits(int64_t version);

}  // namespace tessel
