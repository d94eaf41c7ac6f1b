#include "smime/cms/EnvelopedData.h"


#include "asn1/asn1.h"
#include "smime/stores/CertificateStore.h"
#include "smime/openssl/CryptoPlatform.h"
#include "smime/cms/OidNames.h"
#include "smime/cms/SignedData.h"
#include "smime/cms/StatusCodes.h"
#include "util/streams/MemoryStream.h"
#include "util/system/WinError.h"

namespace tessel {

namespace {

constexpr uint32_t kCodeNotEncrypted = static_cast<uint32_t>(-2);

[[noreturn]] void RaiseNotEncrypted() { throw EWinException("not encrypted", kCodeNotEncrypted); }

// The value of a small INTEGER's content; false when it does not fit.
bool SmallInteger(std::string_view content, int64_t& value) {
  if (content.empty() || content.size() > 8) return false;
  value = static_cast<int8_t>(content[0]);  // sign from the first octet
  for (size_t i = 1; i < content.size(); ++i) value = value * 256 + static_cast<uint8_t>(content[i]);
  return true;
}

std::string AlgorithmName(const std::string& oid, const std::string& parameters) {
  std::string name;
  if (!FindOidInfoName(oid, name)) return std::string();
  name = UpperCase(name);
  if (name == "RC2" && !parameters.empty()) {
    std::unique_ptr<TAsnElem> params = ParseAsn(parameters.data(), static_cast<int32_t>(parameters.size()));
    const TAsnElem* version = params ? params->Items(0) : nullptr;
    if (version && version->Class == acUniversal && !version->Constructed && version->Tag == 2) {
      int64_t v = 0;
      name += " " + (SmallInteger(version->Content(), v) ? Rc2VersionBits(v) : std::string());
    }
  }
  return name;
}

}  // namespace

std::string Rc2VersionBits(int64_t version) {
  switch (version) {
    case 160: return "40";
    case 52: return "56";
    case 120: return "64";
    case 58: return "128";
    default: return std::string();
  }
}

namespace {

// The content-encryption algorithm's dotted OID and the whole DER encoding
// of its parameters (empty when there are none), read from the DER of
// ContentInfo { type, [0] EnvelopedData { version, [0] originatorInfo
// OPTIONAL, recipientInfos, encryptedContentInfo { contentType,
// contentEncryptionAlgorithm, ... } } }; false when der holds no such path.
bool ContentEncryptionAlgorithm(std::string_view der, std::string& oid, std::string& parameters) {
  oid.clear();
  parameters.clear();
  std::unique_ptr<TAsnElem> root = ParseAsn(der.data(), static_cast<int32_t>(der.size()));
  TAsnElem* wrapper = root ? root->Items(1) : nullptr;
  TAsnElem* enveloped = wrapper ? wrapper->Items(0) : nullptr;
  if (!enveloped) return false;
  TAsnElem* encrypted = nullptr;
  for (int32_t i = 1; i < enveloped->Count(); ++i) {
    TAsnElem* child = enveloped->Items(i);
    if (child->Class == acUniversal && child->Tag == 16) {
      encrypted = child;
      break;
    }
  }
  TAsnElem* algorithm = encrypted ? encrypted->Items(1) : nullptr;
  TOID* id = algorithm ? dynamic_cast<TOID*>(algorithm->Items(0)) : nullptr;
  if (!id) return false;
  oid = id->Dotted();
  if (TAsnElem* params = algorithm->Items(1)) {
    TStringStream stream;
    params->WriteTo(stream);
    parameters = stream.DataString();
  }
  return true;
}

}  // namespace

TDecryption DecryptEnveloped(std::string_view data, const std::string& encoding, TSmimeStores& stores) {
  crypto::InitializeCrypto();
  std::string decoded = TransferDecode(data.data(), static_cast<int32_t>(data.size()), encoding);
  std::unique_ptr<crypto::TCmsMessage> message = crypto::TCmsMessage::Decode(decoded);
  if (!message || message->ContentType() != crypto::TCmsMessage::ctEnveloped) RaiseNotEncrypted();

  TDecryption result;
  std::string oid, parameters;
  if (!ContentEncryptionAlgorithm(decoded, oid, parameters)) RaiseNotEncrypted();
  result.Algorithm = AlgorithmName(oid, parameters);

  int32_t count = message->RecipientCount();
  if (count <= 0) RaiseNotEncrypted();

  // A "My" store that cannot be read fits no recipient.
  bool anySupported = false;
  std::vector<std::string> unsupported;
  const TStoreEntry* used = nullptr;
  for (int32_t i = 0; i < count && !used; ++i) {
    if (message->RecipientKind(i) == crypto::TCmsMessage::rkOther) {
      unsupported.push_back("Recipient " + std::to_string(i + 1) +
                            " is of a kind this program cannot decrypt (a password or a shared key).");
      continue;
    }
    anySupported = true;
    for (const crypto::TSignerId& id : message->RecipientIds(i)) {
      // The same certificate may stand in the store more than once (a PEM
      // file and a PKCS #12 file); every copy with a usable key is tried.
      for (const TStoreEntry* entry : stores.FindAll("My", id)) {
        std::string problem;
        crypto::TPrivateKey key = stores.Store("My")->LoadKey(*entry, problem);
        if (!key) {
          result.KeyProblems.push_back(problem);
          continue;
        }
        if (message->DecryptForRecipient(i, key, entry->Certificate, result.Content) == 0) {
          used = entry;
          break;
        }
        result.KeyProblems.push_back("The key in \"" + entry->KeyFile + "\" did not decrypt the message.");
      }
      if (used) break;
    }
  }
  if (!used) {
    result.Content.clear();
    result.Status = anySupported ? kStatusNoRecipientMatches : kStatusUnsupportedRecipient;
    result.KeyProblems.insert(result.KeyProblems.end(), unsupported.begin(), unsupported.end());
    return result;
  }
  result.Status = 0;
  result.RecipientCertificate = TCertificate(used->Certificate);
  return result;
}

}  // namespace tessel
