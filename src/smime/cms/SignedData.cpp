#include "smime/cms/SignedData.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "asn1/asn1.h"
#include "smime/stores/CertificateStore.h"
#include "smime/openssl/CryptoPlatform.h"
#include "smime/parts/NameValueList.h"
#include "smime/cms/StatusCodes.h"
#include "util/encodings/Base64.h"
#include "util/encodings/QuotedPrintable.h"
#include "util/system/WinError.h"
#include "util/streams/MemoryStream.h"
#include "smime/cms/Base64Blob.h"

namespace tessel {

namespace {

// The codes of the raised errors that are no status code of a check.
constexpr uint32_t kCodeNotSigned = static_cast<uint32_t>(-3);

// The preferred encryption certificate is looked for among at most this many
// certificates of the message: a real message carries a handful, and the
// walk compares names and serial numbers of each.
constexpr int32_t kMaxCertificatesExamined = 1000;
// Each signer check hashes the whole content again, and each certificate
// tried for a signer costs a public-key operation: real mail has one or two
// signers and one certificate per signer, so these caps only stop a message
// made to keep the viewer busy. A signer past the cap stays "not checked",
// so the message never shows as valid; a certificate past the cap is not
// tried (the message's own copies come first, so only a message that
// brings many copies of a name loses by it).
constexpr int32_t kMaxSignersChecked = 32;
constexpr size_t kMaxCandidatesTried = 16;

[[noreturn]] void RaiseCode(const std::string& message, uint32_t code) { throw EWinException(message, code); }

// Decimal text of a two's-complement INTEGER content, any length.
std::string IntegerDecimal(std::string_view content) {
  if (content.empty()) return "0";
  std::vector<uint8_t> magnitude(content.begin(), content.end());
  bool negative = magnitude[0] & 0x80;
  if (negative) {
    // Two's complement: invert and add one.
    for (uint8_t& b : magnitude) b = static_cast<uint8_t>(~b);
    for (size_t i = magnitude.size(); i-- > 0;)
      if (++magnitude[i] != 0) break;
  }
  std::string digits;
  bool nonZero = true;
  while (nonZero) {
    nonZero = false;
    unsigned remainder = 0;
    for (uint8_t& b : magnitude) {
      unsigned v = remainder * 256 + b;
      b = static_cast<uint8_t>(v / 10);
      remainder = v % 10;
      if (b) nonZero = true;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
  }
  return negative ? "-" + digits : digits;
}

std::string Key(std::string_view issuer, std::string_view serial) {
  std::string key = std::to_string(issuer.size()) + ":";
  key.append(issuer);
  key.append(serial);
  return key;
}

// The message's certificates by issuer and serial number, as the bytes of
// their encodings: built once, however many attributes ask.
class TCertificateIndex {
public:
  explicit TCertificateIndex(const std::vector<crypto::TCertHandle>& certs) {
    size_t n = std::min(certs.size(), static_cast<size_t>(kMaxCertificatesExamined));
    for (size_t i = 0; i < n; ++i) ByIssuerSerial_.emplace(Key(certs[i].IssuerDer(), certs[i].SerialOctets()), i);
  }
  // The first certificate with this issuer (whole DER) and serial (content
  // octets), or nullptr.
  const crypto::TCertHandle* Find(const std::vector<crypto::TCertHandle>& certs, std::string_view issuer,
                                  std::string_view serial) const {
    auto it = ByIssuerSerial_.find(Key(issuer, serial));
    return it == ByIssuerSerial_.end() ? nullptr : &certs[it->second];
  }

private:
  std::unordered_map<std::string, size_t> ByIssuerSerial_;
};

void ReadSignerAttributes(const crypto::TCmsMessage& message, const std::vector<crypto::TCertHandle>& certs,
                          TSmimeStores& stores, TVerification& result) {
  std::vector<crypto::TAttribute> list;
  if (!message.SignedAttributes(0, list)) return;
  std::unique_ptr<TCertificateIndex> index;
  for (const crypto::TAttribute& a : list) {
    std::string first = a.Values.empty() ? std::string() : a.Values.front();
    auto same = std::find_if(result.Attributes.begin(), result.Attributes.end(),
                             [&](const TSignedAttribute& x) { return x.Oid == a.Oid; });
    if (same != result.Attributes.end())
      same->Value = first;
    else
      result.Attributes.push_back(TSignedAttribute{a.Oid, first});

    if (a.Oid == "1.2.840.113549.1.9.15") {
      std::vector<TBlobPtr> children;
      SplitAsnChildren(first.data(), children, static_cast<int32_t>(first.size()), true);
      for (const TBlobPtr& child : children) {
        std::unique_ptr<TAsnElem> element = ParseAsnBlob(*child);
        result.Capabilities.push_back(CapabilityName(element.get()));
      }
    } else if (a.Oid == "1.3.6.1.4.1.311.16.4" || a.Oid == "1.2.840.113549.1.9.16.2.11") {
      // The first preference found wins; later ones cost nothing more.
      if (!result.EncryptionCertificate.IsEmpty()) continue;
      std::vector<TBlobPtr> children;
      SplitAsnChildren(first.data(), children, static_cast<int32_t>(first.size()), true);
      if (children.size() != 2) continue;
      std::string_view issuer(reinterpret_cast<const char*>(children[0]->Data), static_cast<size_t>(children[0]->Size));
      std::string_view serial(reinterpret_cast<const char*>(children[1]->Data), static_cast<size_t>(children[1]->Size));
      if (!index) index = std::make_unique<TCertificateIndex>(certs);
      if (const crypto::TCertHandle* c = index->Find(certs, issuer, serial)) {
        result.EncryptionCertificate = TCertificate(*c);
        continue;
      }
      crypto::TSignerId id;
      id.Issuer.assign(issuer);
      id.Serial.assign(serial);
      std::vector<const TStoreEntry*> inBook = stores.FindAll("AddressBook", id);
      // Only the very same encodings count, as in the message.
      for (const TStoreEntry* e : inBook)
        if (e->Certificate.IssuerDer() == issuer && e->Certificate.SerialOctets() == serial) {
          result.EncryptionCertificate = TCertificate(e->Certificate);
          break;
        }
    }
  }
}

// Checks signer index: the candidates are the message's certificates that
// the signer's id names, then the address book's. The first whose key
// verifies wins; when none does, the first candidate's fault is reported.
TSignerCheck CheckSigner(const crypto::TCmsMessage& message, int32_t index,
                         const std::vector<crypto::TCertHandle>& certs, const std::string* detachedContent,
                         TSmimeStores& stores) {
  TSignerCheck check;
  crypto::TSignerId id;
  if (!message.SignerId(index, id)) {
    // The first signer is the message's; a later one that cannot be read
    // is a fault of the message's signatures.
    if (index == 0) RaiseCode("Cannot verify the signature", kStatusCannotVerify);
    check.Status = kStatusCannotVerify;
    return check;
  }
  std::vector<crypto::TCertHandle> candidates;
  for (const crypto::TCertHandle& c : certs)
    if (candidates.size() < kMaxCandidatesTried && id.Matches(c)) candidates.push_back(c);
  for (const TStoreEntry* e : stores.FindAll("AddressBook", id))
    if (candidates.size() < kMaxCandidatesTried &&
        std::find(candidates.begin(), candidates.end(), e->Certificate) == candidates.end())
      candidates.push_back(e->Certificate);
  if (candidates.empty()) {
    check.Status = kStatusSignerNotFound;
    return check;
  }
  crypto::TCertHandle chosen;
  for (const crypto::TCertHandle& c : candidates) {
    uint32_t status = message.VerifySignature(index, c, detachedContent);
    if (chosen.Empty() || status == 0) {
      chosen = c;
      check.Status = status;
    }
    if (status == 0) break;
  }
  check.Certificate = TCertificate(chosen);
  std::vector<crypto::TCertHandle> companions;
  for (const crypto::TCertHandle& c : certs)
    if (!(c == chosen)) companions.push_back(c);
  check.Certificate.SetCompanions(std::move(companions));
  return check;
}

// Every signer in order; the result's status is the first fault.
void CheckSigners(const crypto::TCmsMessage& message, const std::vector<crypto::TCertHandle>& certs,
                  const std::string* detachedContent, TSmimeStores& stores, TVerification& result) {
  int32_t count = message.SignerCount();
  result.Status = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (i < kMaxSignersChecked)
      result.Signers.push_back(CheckSigner(message, i, certs, detachedContent, stores));
    else
      result.Signers.emplace_back();  // not checked
    if (result.Status == 0) result.Status = result.Signers.back().Status;
  }
}

}  // namespace

std::string TransferDecode(const char* data, int32_t size, const std::string& encoding) {
  std::string name = LowerCase(encoding);
  if (size <= 0) return std::string();
  // Base64 bodies are the big ones (whole enveloped messages): they are
  // decoded into one buffer sized from the text.
  if (name == "base64") return Base64DecodeToString(std::string_view(data, static_cast<size_t>(size)));
  if (name == "quoted-printable") {
    TStringStream out;
    QPDecodeBuffer(data, size, out);
    return out.TakeDataString();
  }
  return std::string(data, static_cast<size_t>(size));
}

std::string CapabilityName(const TAsnElem* element) {
  if (!element || element->Count() == 0) return std::string();
  const auto* oid = dynamic_cast<const TOID*>(element->Items(0));
  if (!oid) return std::string();
  std::string dotted = oid->Dotted();
  if (dotted == "1.2.840.113549.3.7") return "3des";
  if (dotted == "1.3.14.3.2.7") return "des";
  if (dotted == "1.2.840.113549.3.2") {
    const TAsnElem* bits = element->Items(1);
    if (bits && bits->Class == acUniversal && !bits->Constructed && bits->Tag == 2)
      return "rc2 " + IntegerDecimal(bits->Content());
    return "rc2";
  }
  return std::string();
}

const TCertificate& TVerification::SignerCertificate() const {
  static const TCertificate kNone;
  return Signers.empty() ? kNone : Signers.front().Certificate;
}

const std::string* FindAttribute(const std::vector<TSignedAttribute>& attributes, std::string_view oid) {
  for (const TSignedAttribute& a : attributes)
    if (a.Oid == oid) return &a.Value;
  return nullptr;
}

TVerification VerifyDetached(std::string_view content, std::string_view signature, const std::string& signatureEncoding,
                             TSmimeStores& stores) {
  crypto::InitializeCrypto();
  std::string decoded = TransferDecode(signature.data(), static_cast<int32_t>(signature.size()), signatureEncoding);
  std::unique_ptr<crypto::TCmsMessage> message = crypto::TCmsMessage::Decode(decoded);
  if (!message) RaiseCode("Fatal Error", kStatusBadEncode);
  if (message->ContentType() != crypto::TCmsMessage::ctSigned || message->SignerCount() == 0)
    RaiseCode("not signed", kCodeNotSigned);
  TVerification result;
  std::vector<crypto::TCertHandle> certs = message->Certificates();
  ReadSignerAttributes(*message, certs, stores, result);
  std::string signedContent(content);
  CheckSigners(*message, certs, &signedContent, stores, result);
  return result;
}

TVerification VerifySigned(std::string_view data, const std::string& encoding, TSmimeStores& stores) {
  crypto::InitializeCrypto();
  std::string decoded = TransferDecode(data.data(), static_cast<int32_t>(data.size()), encoding);
  std::unique_ptr<crypto::TCmsMessage> message = crypto::TCmsMessage::Decode(decoded);
  if (!message || message->ContentType() != crypto::TCmsMessage::ctSigned) RaiseCode("not signed", kCodeNotSigned);
  TVerification result;
  result.Content = message->Content();
  if (message->SignerCount() == 0) {
    // The content still comes back, but nothing vouches for it.
    result.Status = kStatusNoSignature;
    return result;
  }
  std::vector<crypto::TCertHandle> certs = message->Certificates();
  ReadSignerAttributes(*message, certs, stores, result);
  CheckSigners(*message, certs, nullptr, stores, result);
  return result;
}

}  // namespace tessel
