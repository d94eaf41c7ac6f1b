#include "EnvelopedData.h"

#include <cstring>
#include <new>

#include "asn1/asn1.h"
#include "smime/CertificateStore.h"
#include "smime/CryptoPlatform.h"
#include "smime/OidNames.h"
#include "smime/SignedData.h"
#include "smime/StatusCodes.h"

namespace tessel {

namespace {

constexpr uint32_t kCodeNotEncrypted = static_cast<uint32_t>(-2);

[[noreturn]] void RaiseNotEncrypted() {
  SetLastError(kCodeNotEncrypted);
  throw EWinException("not encrypted", kCodeNotEncrypted);
}

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

ENoRecipientMatches::ENoRecipientMatches(std::vector<std::string> keyProblems)
    : EWinException("No recipient matches", kStatusNoRecipientMatches), KeyProblems(std::move(keyProblems)) {}

std::string Rc2VersionBits(int64_t version) {
  switch (version) {
    case 160: return "40";
    case 52: return "56";
    case 120: return "64";
    case 58: return "128";
    default: return std::string();
  }
}

void DecryptEnveloped(const char* data, int32_t size, TMemoryStream& output, const std::string& encoding,
                      std::string& algorithmName, TCertificate* recipientCertificate) {
  crypto::InitializeCrypto();
  std::string decoded = TransferDecode(data, size, encoding);
  // A "My" store that cannot be read fits no recipient.
  std::unique_ptr<TCertStore> my = TCertStore::Open("My");
  std::unique_ptr<crypto::TCmsMessage> message = crypto::TCmsMessage::Decode(decoded);
  if (!message || message->ContentType() != crypto::TCmsMessage::ctEnveloped) RaiseNotEncrypted();

  std::string oid, parameters;
  if (!message->ContentEncryptionAlgorithm(oid, parameters)) RaiseNotEncrypted();
  algorithmName = AlgorithmName(oid, parameters);

  int32_t count = message->RecipientCount();
  if (count <= 0) RaiseNotEncrypted();

  std::vector<std::string> problems;
  std::string content;
  const TStoreEntry* used = nullptr;
  for (int32_t i = 0; i < count && !used && my; ++i) {
    crypto::TSignerId id;
    if (!message->RecipientId(i, id)) continue;
    // The same certificate may stand in the store more than once (a PEM
    // file and a PKCS #12 file); every copy with a usable key is tried.
    for (const TStoreEntry& entry : my->Entries()) {
      if (!id.Matches(entry.Certificate)) continue;
      std::string problem;
      crypto::TPrivateKey key = my->LoadKey(entry, problem);
      if (!key) {
        problems.push_back(problem);
        continue;
      }
      if (message->DecryptForRecipient(i, key, entry.Certificate, content) == 0) {
        used = &entry;
        break;
      }
      problems.push_back("The key in \"" + entry.KeyFile + "\" did not decrypt the message.");
    }
  }
  if (!used) throw ENoRecipientMatches(std::move(problems));

  try {
    output.SetSize(static_cast<int32_t>(content.size()));
  } catch (const std::bad_alloc&) {
    SetLastError(8);  // ERROR_NOT_ENOUGH_MEMORY
    throw EWinException("Not enough memory resources are available to process this command.", 8);
  }
  if (!content.empty()) std::memcpy(output.Memory(), content.data(), content.size());
  if (recipientCertificate) *recipientCertificate = TCertificate(used->Certificate);
}

}  // namespace tessel
