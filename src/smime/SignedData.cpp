#include "SignedData.h"

#include <cstring>
#include <new>

#include "asn1/asn1.h"
#include "smime/CertificateStore.h"
#include "smime/CryptoPlatform.h"
#include "smime/NameValueList.h"
#include "smime/StatusCodes.h"
#include "util/Base64.h"
#include "util/QuotedPrintable.h"
#include "util/WinError.h"

namespace tessel {

namespace {

// The codes of the raised errors that are no platform error.
constexpr uint32_t kCodeNotSigned = static_cast<uint32_t>(-3);

// The preferred encryption certificate is looked for among at most this many
// certificates of the message: a real message carries a handful, and the
// walk compares names and serial numbers of each.
constexpr int32_t kMaxCertificatesExamined = 1000;

[[noreturn]] void RaiseCode(const std::string& message, uint32_t code) {
  SetLastError(code);
  throw EWinException(message, code);
}

std::string Base64Text(std::string_view octets) {
  TStringStream text;
  Base64EncodeBuffer(octets.data(), static_cast<int32_t>(octets.size()), text);
  return text.DataString();
}

std::string UpperHex(std::string_view octets) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : octets) {
    hex += kHex[c >> 4];
    hex += kHex[c & 15];
  }
  return hex;
}

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

void ReadSignerAttributes(const crypto::TCmsMessage& message, TCertificate& encryptionCertificate,
                          TStringListX* capabilities, TStringListX* attributes) {
  std::vector<crypto::TAttribute> list;
  if (!message.SignedAttributes(0, list)) return;
  for (const crypto::TAttribute& a : list) {
    std::string first = a.Values.empty() ? std::string() : a.Values.front();
    if (attributes) SetListValue(*attributes, a.Oid, Base64Text(first));

    if (a.Oid == "1.2.840.113549.1.9.15") {
      std::vector<TBlobPtr> children;
      SplitAsnChildren(first.data(), children, static_cast<int32_t>(first.size()), true);
      for (const TBlobPtr& child : children) {
        std::unique_ptr<TAsnElem> element = ParseAsnBlob(*child);
        if (capabilities) capabilities->push_back(CapabilityName(element.get()));
      }
    } else if (a.Oid == "1.3.6.1.4.1.311.16.4" || a.Oid == "1.2.840.113549.1.9.16.2.11") {
      std::vector<TBlobPtr> children;
      SplitAsnChildren(first.data(), children, static_cast<int32_t>(first.size()), true);
      if (children.size() != 2) continue;
      std::string_view issuer(reinterpret_cast<const char*>(children[0]->Data), static_cast<size_t>(children[0]->Size));
      std::string_view serial(reinterpret_cast<const char*>(children[1]->Data), static_cast<size_t>(children[1]->Size));
      std::string serialHex = UpperHex(serial);
      std::string issuerB64 = Base64Text(issuer);
      std::vector<crypto::TCertHandle> certs = message.Certificates();
      for (size_t i = 0; i < certs.size() && i < static_cast<size_t>(kMaxCertificatesExamined); ++i) {
        TCertificate candidate(certs[i]);
        if (candidate.SerialNumber() == serialHex &&
            Base64Compare(Base64Text(certs[i].IssuerDer()), issuerB64) == 0) {
          encryptionCertificate = candidate;
          break;
        }
      }
      if (encryptionCertificate.IsEmpty()) {
        try {
          encryptionCertificate.FindInStore("AddressBook", issuerB64, false, serialHex);
        } catch (const EWinException&) {
          // An address book that cannot be read holds no preference; the
          // signature is still checked.
        }
      }
    }
  }
}

// Looks the signer up in the message, then in "AddressBook", and checks its
// signature. detachedContent nullptr checks the encapsulated content.
void CheckSigner(const crypto::TCmsMessage& message, const crypto::TSignerId& id,
                 const std::string* detachedContent, uint32_t& status, TCertificate* signerCertificate) {
  std::vector<crypto::TCertHandle> certs = message.Certificates();
  crypto::TCertHandle signer;
  for (const crypto::TCertHandle& c : certs)
    if (id.Matches(c)) {
      signer = c;
      break;
    }
  if (signer.Empty()) {
    if (std::unique_ptr<TCertStore> book = TCertStore::Open("AddressBook"))
      if (const TStoreEntry* e = book->Find(id)) signer = e->Certificate;
  }
  if (signer.Empty()) {
    status = kStatusSignerNotFound;
    return;
  }
  status = message.VerifySignature(0, signer, detachedContent);
  if (signerCertificate) {
    *signerCertificate = TCertificate(signer);
    std::vector<crypto::TCertHandle> companions;
    for (const crypto::TCertHandle& c : certs)
      if (!(c == signer)) companions.push_back(c);
    signerCertificate->SetCompanions(std::move(companions));
  }
}

}  // namespace

std::string TransferDecode(const char* data, int32_t size, const std::string& encoding) {
  std::string name = LowerCase(encoding);
  if (size <= 0) return std::string();
  if (name == "base64") {
    TStringStream out;
    Base64DecodeBuffer(data, size, out);
    return out.TakeDataString();
  }
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

void VerifyDetached(const char* content, int32_t contentSize, const char* signature,
                    const std::string& signatureEncoding, TStringListX* attributes, TStringListX* capabilities,
                    uint32_t& status, TCertificate* encryptionCertificate, TCertificate* signerCertificate,
                    int32_t signatureSize) {
  crypto::InitializeCrypto();
  std::string decoded = TransferDecode(signature, signatureSize, signatureEncoding);
  std::unique_ptr<crypto::TCmsMessage> message = crypto::TCmsMessage::Decode(decoded);
  if (!message) RaiseCode("Fatal Error", kStatusBadEncode);
  std::string signedContent;
  try {
    signedContent.assign(content ? content : "", content && contentSize > 0 ? static_cast<size_t>(contentSize) : 0);
  } catch (const std::bad_alloc&) {
    RaiseCode("Cannot alloc memory", 8);  // ERROR_NOT_ENOUGH_MEMORY
  }
  if (message->ContentType() != crypto::TCmsMessage::ctSigned) RaiseCode("not signed", kCodeNotSigned);
  if (message->SignerCount() == 0) {
    // A signature without a signer is no valid signature: say so before
    // giving up, so that nobody reads a status of 0 as "valid".
    status = kStatusNoSignature;
    RaiseCode("not signed", kCodeNotSigned);
  }
  if (encryptionCertificate) ReadSignerAttributes(*message, *encryptionCertificate, capabilities, attributes);
  crypto::TSignerId id;
  if (!message->SignerId(0, id)) RaiseCode("Cannot verify the signature", kStatusCannotVerify);
  CheckSigner(*message, id, &signedContent, status, signerCertificate);
}

void VerifySigned(const char* data, int32_t size, TMemoryStream& output, const std::string& encoding,
                  TStringListX* attributes, TStringListX* capabilities, uint32_t& status,
                  TCertificate* encryptionCertificate, TCertificate* signerCertificate) {
  crypto::InitializeCrypto();
  std::string decoded = TransferDecode(data, size, encoding);
  std::unique_ptr<crypto::TCmsMessage> message = crypto::TCmsMessage::Decode(decoded);
  if (!message || message->ContentType() != crypto::TCmsMessage::ctSigned) RaiseCode("not signed", kCodeNotSigned);

  std::string content = message->Content();
  try {
    output.SetSize(static_cast<int32_t>(content.size()));
  } catch (const std::bad_alloc&) {
    RaiseCode("Fatal Error", 8);  // ERROR_NOT_ENOUGH_MEMORY
  }
  if (!content.empty()) std::memcpy(output.Memory(), content.data(), content.size());

  if (message->SignerCount() == 0) {
    // The content still comes back, but nothing vouches for it.
    status = kStatusNoSignature;
    return;
  }
  if (encryptionCertificate) ReadSignerAttributes(*message, *encryptionCertificate, capabilities, attributes);
  crypto::TSignerId id;
  if (!message->SignerId(0, id)) RaiseCode("Cannot verify the signature", kStatusCannotVerify);
  CheckSigner(*message, id, nullptr, status, signerCertificate);
}

}  // namespace tessel
