#include "smime/cms/EnvelopedData.h"

#include "asn1/AsnHeader.h"
#include "asn1/asn1.h"
#include "asn1/oid.h"
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

// One element of a DER or BER block: its header and the extent of its
// encoding, without building a tree.
struct TSpan {
  asn1::THeader Header;
  const uint8_t* Begin = nullptr;
  const uint8_t* Content = nullptr;
  const uint8_t* End = nullptr;  // one past the element (past 00 00 when indefinite)
};

constexpr int kMaxSkipDepth = 64;

// Reads the element at p; false when it does not fit before end.
bool ReadSpan(const uint8_t* p, const uint8_t* end, TSpan& span, int depth = 0) {
  if (depth > kMaxSkipDepth || asn1::ReadHeader(p, end, span.Header) != asn1::THeaderStatus::Ok) return false;
  span.Begin = p;
  span.Content = p + span.Header.HeaderSize;
  if (!span.Header.Indefinite) {
    if (span.Header.Length > end - span.Content) return false;
    span.End = span.Content + span.Header.Length;
    return true;
  }
  if (!span.Header.Constructed) return false;
  const uint8_t* q = span.Content;
  while (true) {
    if (end - q >= 2 && q[0] == 0 && q[1] == 0) {
      span.End = q + 2;
      return true;
    }
    TSpan child;
    if (!ReadSpan(q, end, child, depth + 1)) return false;
    q = child.End;
  }
}

// The children of a constructed span, in order.
class TChildren {
public:
  explicit TChildren(const TSpan& parent)
      : Next_(parent.Content), End_(parent.Header.Indefinite ? parent.End - 2 : parent.End) {}
  bool Next(TSpan& child) {
    if (Next_ >= End_ || !ReadSpan(Next_, End_, child)) return false;
    Next_ = child.End;
    return true;
  }

private:
  const uint8_t* Next_;
  const uint8_t* End_;
};

bool IsUniversal(const TSpan& span, uint32_t tag) { return span.Header.Class == acUniversal && span.Header.Tag == tag; }

// The content-encryption algorithm's dotted OID and the whole encoding of
// its parameters (empty when there are none), read from ContentInfo { type,
// [0] EnvelopedData { version, [0] originatorInfo OPTIONAL, recipientInfos,
// encryptedContentInfo { contentType, contentEncryptionAlgorithm, ... } } };
// false when der holds no such path. Only the headers on the way are read:
// the encrypted content, which is nearly all of the block, is skipped.
bool ContentEncryptionAlgorithm(std::string_view der, std::string& oid, std::string& parameters) {
  oid.clear();
  parameters.clear();
  const auto* begin = reinterpret_cast<const uint8_t*>(der.data());
  TSpan root, wrapper, enveloped, child, algorithm, id, params;
  if (!ReadSpan(begin, begin + der.size(), root) || !root.Header.Constructed) return false;
  TChildren rootItems(root);
  if (!rootItems.Next(child) || !rootItems.Next(wrapper) || !wrapper.Header.Constructed) return false;
  TChildren wrapperItems(wrapper);
  if (!wrapperItems.Next(enveloped) || !enveloped.Header.Constructed) return false;
  TChildren items(enveloped);
  if (!items.Next(child)) return false;  // version
  bool found = false;
  while (!found && items.Next(child)) found = IsUniversal(child, 16);
  if (!found || !child.Header.Constructed) return false;
  TChildren encrypted(child);
  if (!encrypted.Next(id) || !encrypted.Next(algorithm) || !algorithm.Header.Constructed) return false;
  TChildren algorithmItems(algorithm);
  if (!algorithmItems.Next(id) || !IsUniversal(id, 6) || id.Header.Constructed) return false;
  oid = OidToDotted(std::string_view(reinterpret_cast<const char*>(id.Content), id.End - id.Content));
  if (algorithmItems.Next(params))
    parameters.assign(reinterpret_cast<const char*>(params.Begin), params.End - params.Begin);
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
