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

// The elements on the way from ContentInfo { type, [0] EnvelopedData {
// version, [0] originatorInfo OPTIONAL, recipientInfos,
// encryptedContentInfo { contentType, contentEncryptionAlgorithm,
// [0] encryptedContent OPTIONAL } } } to the algorithm and the content. Only
// the headers on the way are read: the encrypted content, which is nearly
// all of the block, is skipped.
struct TEnvelopePath {
  TSpan Levels[4];  // ContentInfo, [0], EnvelopedData, EncryptedContentInfo
  TSpan Algorithm;
  TSpan Content;
  bool HasContent = false;
};

bool WalkEnvelope(std::string_view der, TEnvelopePath& path) {
  const auto* begin = reinterpret_cast<const uint8_t*>(der.data());
  TSpan& root = path.Levels[0];
  TSpan& wrapper = path.Levels[1];
  TSpan& enveloped = path.Levels[2];
  TSpan& info = path.Levels[3];
  TSpan child;
  if (!ReadSpan(begin, begin + der.size(), root) || !root.Header.Constructed) return false;
  TChildren rootItems(root);
  if (!rootItems.Next(child) || !rootItems.Next(wrapper) || !wrapper.Header.Constructed) return false;
  TChildren wrapperItems(wrapper);
  if (!wrapperItems.Next(enveloped) || !enveloped.Header.Constructed) return false;
  TChildren items(enveloped);
  if (!items.Next(child)) return false;  // version
  bool found = false;
  while (!found && items.Next(info)) found = IsUniversal(info, 16);
  if (!found || !info.Header.Constructed) return false;
  TChildren infoItems(info);
  if (!infoItems.Next(child) || !infoItems.Next(path.Algorithm) || !path.Algorithm.Header.Constructed) return false;
  path.HasContent =
      infoItems.Next(path.Content) && path.Content.Header.Class == acContext && path.Content.Header.Tag == 0;
  return true;
}

// The content-encryption algorithm's dotted OID and the whole encoding of
// its parameters (empty when there are none); false when there is none.
bool ContentEncryptionAlgorithm(const TEnvelopePath& path, std::string& oid, std::string& parameters) {
  oid.clear();
  parameters.clear();
  TSpan id, params;
  TChildren algorithmItems(path.Algorithm);
  if (!algorithmItems.Next(id) || !IsUniversal(id, 6) || id.Header.Constructed) return false;
  oid = OidToDotted(std::string_view(reinterpret_cast<const char*>(id.Content), id.End - id.Content));
  if (algorithmItems.Next(params))
    parameters.assign(reinterpret_cast<const char*>(params.Begin), params.End - params.Begin);
  return true;
}

void AppendLength(std::string& out, int32_t length) {
  if (length < 0x80) {
    out += static_cast<char>(length);
    return;
  }
  int32_t octets = asn1::LengthOctetCount(length) - 1;
  out += static_cast<char>(0x80 | octets);
  for (int32_t i = octets - 1; i >= 0; --i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
}

// Number of identifier octets of the element at p (already read once).
int32_t IdentifierSize(const uint8_t* p) {
  int32_t n = 1;
  if ((p[0] & 0x1F) == 0x1F)
    while (p[n++] & 0x80) {
    }
  return n;
}

}  // namespace

bool SplitEncryptedContent(std::string_view der, std::string& shell, std::string_view& encrypted) {
  shell.clear();
  encrypted = std::string_view();
  TEnvelopePath path;
  // Content sent in pieces (constructed, as BER allows) would have to be
  // joined: the whole block then goes to the parser as it is.
  if (!WalkEnvelope(der, path) || !path.HasContent || path.Content.Header.Constructed) return false;
  const TSpan& content = path.Content;
  // New headers, innermost first: a shorter length may take fewer length
  // octets, which shortens every level around it once more.
  std::string headers[4];
  int32_t removed = static_cast<int32_t>(content.End - content.Begin);
  for (size_t i = 4; i-- > 0;) {
    const TSpan& level = path.Levels[i];
    const auto* begin = reinterpret_cast<const char*>(level.Begin);
    // An indefinite length needs no change: its end-of-contents octets
    // follow the content like any other octets.
    if (level.Header.Indefinite) {
      headers[i].assign(begin, static_cast<size_t>(level.Header.HeaderSize));
      continue;
    }
    headers[i].assign(begin, static_cast<size_t>(IdentifierSize(level.Begin)));
    AppendLength(headers[i], level.Header.Length - removed);
    removed += level.Header.HeaderSize - static_cast<int32_t>(headers[i].size());
  }
  auto append = [&](const uint8_t* from, const uint8_t* to) {
    shell.append(reinterpret_cast<const char*>(from), static_cast<size_t>(to - from));
  };
  for (size_t i = 0; i < 4; ++i) {
    shell += headers[i];
    append(path.Levels[i].Content, i < 3 ? path.Levels[i + 1].Begin : content.Begin);
  }
  append(content.End, path.Levels[0].End);
  encrypted = std::string_view(reinterpret_cast<const char*>(content.Content),
                               static_cast<size_t>(content.End - content.Content));
  return true;
}

TDecryption DecryptEnveloped(std::string_view data, const std::string& encoding, TSmimeStores& stores) {
  crypto::InitializeCrypto();
  std::string decoded = TransferDecode(data.data(), static_cast<int32_t>(data.size()), encoding);
  TDecryption result;
  std::string oid, parameters;
  TEnvelopePath path;
  if (!WalkEnvelope(decoded, path) || !ContentEncryptionAlgorithm(path, oid, parameters)) RaiseNotEncrypted();
  result.Algorithm = AlgorithmName(oid, parameters);

  // The encrypted content, nearly all of the block, is not parsed (which
  // would copy it): the parser gets the rest, and the content is decrypted
  // in place in the decoded block. Whatever the parser refuses that way it
  // is given whole.
  std::string shell;
  std::string_view encrypted;
  size_t offset = 0, size = 0;
  std::unique_ptr<crypto::TCmsMessage> message;
  if (SplitEncryptedContent(decoded, shell, encrypted)) {
    offset = static_cast<size_t>(encrypted.data() - decoded.data());
    size = encrypted.size();
    message = crypto::TCmsMessage::Decode(shell);
    if (message && !message->TakeEncryptedContent(decoded, offset, size)) message.reset();
  }
  if (!message) message = crypto::TCmsMessage::Decode(decoded);
  if (!message || message->ContentType() != crypto::TCmsMessage::ctEnveloped) RaiseNotEncrypted();

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
        // A key that opened a wrong content key has written over the
        // content: the next one gets it afresh.
        if (message->EncryptedContentSpent()) {
          std::string again = TransferDecode(data.data(), static_cast<int32_t>(data.size()), encoding);
          message->TakeEncryptedContent(again, offset, size);
        }
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
