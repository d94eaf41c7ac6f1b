#include "smime/cms/Certificate.h"

#include <mutex>
#include <new>

#include "asn1/AsnText.h"
#include "asn1/asn1.h"
#include "smime/cms/Base64Blob.h"
#include "smime/stores/CertificateStore.h"
#include "smime/parts/NameValueList.h"
#include "smime/cms/OidNames.h"
#include "util/encodings/Base64.h"
#include "util/system/Exception.h"
#include "util/streams/MemoryStream.h"
#include "util/system/TempFiles.h"
#include "util/system/WinError.h"
#include "util/text/HexText.h"

namespace tessel {

namespace {

struct TDisplayHook {
  std::mutex Lock;
  TCertificateDisplayHook Hook;
};

TDisplayHook& DisplayHook() {
  static TDisplayHook hook;
  return hook;
}

// The OIDs of TNameAttribute's values, in its order.
const char* const kNameAttributeOids[] = {"2.5.4.3", "2.5.4.11", "2.5.4.10", "1.2.840.113549.1.9.1"};

crypto::TCertHandle CertificateFromOctets(const std::string& octets) {
  crypto::TCertHandle cert = crypto::TCertHandle::FromDer(octets);
  if (cert) return cert;
  // Base64 text of a certificate (with or without PEM armour lines: the
  // decoder skips every byte outside its alphabet, and the armour's
  // letters are removed first so they do not become octets).
  std::string text = octets;
  size_t begin = text.find("-----BEGIN");
  if (begin != std::string::npos) {
    size_t lineEnd = text.find('\n', begin);
    size_t end = text.find("-----END", begin);
    if (lineEnd != std::string::npos && end != std::string::npos && end > lineEnd)
      text = text.substr(lineEnd + 1, end - lineEnd - 1);
  }
  TStringStream decoded;
  try {
    Base64DecodeString(text, decoded);
  } catch (const Exception&) {
    return crypto::TCertHandle();
  }
  return crypto::TCertHandle::FromDer(decoded.DataString());
}

}  // namespace

TStringListX NameParts(const TAsnElem& name) {
  TStringListX list;
  for (int32_t i = 0; i < name.Count(); ++i) {
    const TAsnElem* set = name.Items(i);
    // Multi-valued sets are left out: one line per name can hold one value.
    if (!set || set->Count() != 1) continue;
    const TAsnElem* pair = set->Items(0);
    if (!pair || pair->Count() != 2) continue;
    const auto* oid = dynamic_cast<const TOID*>(pair->Items(0));
    if (!oid) continue;
    // As UTF-8 whatever the string type (a BMPString is UTF-16); values that
    // are no strings show in hex.
    SetListValue(list, OidInfoName(oid->Dotted()), AsnValueUtf8(*pair->Items(1), 0));
  }
  return list;
}

TStringListX NameParts(std::string_view nameDer) {
  std::unique_ptr<TAsnElem> name = ParseAsn(nameDer.data(), static_cast<int32_t>(nameDer.size()));
  return name ? NameParts(*name) : TStringListX();
}

// --- construction -------------------------------------------------------------

TCertificate::TCertificate(crypto::TCertHandle certificate) : Handle_(std::move(certificate)) {}

TCertificate::TCertificate(const TCertificate& other) : Handle_(other.Handle_), Companions_(other.Companions_) {}

TCertificate& TCertificate::operator=(const TCertificate& other) {
  if (this != &other) {
    Reset(other.Handle_);
    Companions_ = other.Companions_;
  }
  return *this;
}

void TCertificate::Reset(crypto::TCertHandle handle) {
  Handle_ = std::move(handle);
  Companions_.reset();
  SubjectParts_.reset();
  IssuerParts_.reset();
}

void TCertificate::LoadFromStream(TStream& stream) {
  std::string octets;
  try {
    int32_t size = stream.GetSize() - stream.GetPosition();
    octets.resize(static_cast<size_t>(size > 0 ? size : 0));
  } catch (const std::bad_alloc&) {
    throw Exception("Out of memory");
  }
  int32_t got = octets.empty() ? 0 : stream.Read(octets.data(), static_cast<int32_t>(octets.size()));
  octets.resize(static_cast<size_t>(got > 0 ? got : 0));
  Reset(CertificateFromOctets(octets));
}

void TCertificate::LoadFromElement(const TAsnElem& element) {
  // The encoding goes through memory only: a certificate from a stranger's
  // message is never written to a file.
  TStringStream stream;
  element.WriteTo(stream);
  stream.SetPosition(0);
  LoadFromStream(stream);
}

TCertificate TCertificate::CreateFromStream(TStream& stream) {
  TCertificate c;
  c.LoadFromStream(stream);
  return c;
}

TCertificate TCertificate::CreateFromElement(const TAsnElem& element) {
  TCertificate c;
  c.LoadFromElement(element);
  return c;
}

void TCertificate::Assign(const TCertificate* other) {
  if (!other) {
    Clear();
    return;
  }
  *this = *other;
}

void TCertificate::Clear() { Reset(crypto::TCertHandle()); }

void TCertificate::FindInStore(const std::string& storeName, const std::string& issuerBase64, bool requirePrivateKey,
                               const std::string& serialHex) {
  TBlobPtr issuer;
  Base64ToBlob(issuerBase64, issuer);
  std::string issuerDer(reinterpret_cast<const char*>(issuer->Data), static_cast<size_t>(issuer->Size));
  FreeBlob(issuer);

  int error = 0;
  std::unique_ptr<TCertStore> store = TCertStore::Open(storeName, &error);
  if (!store) throw EWinException("Could not open the MY system store.", static_cast<uint32_t>(error));
  const TStoreEntry* winner = nullptr;
  for (const TStoreEntry& e : store->Entries()) {
    if (e.Certificate.IssuerDer() != issuerDer) continue;
    if (!serialHex.empty() && TCertificate(e.Certificate).SerialNumber() != serialHex) continue;
    winner = &e;
    break;
  }
  if (!winner || (requirePrivateKey && !winner->HasKey())) {
    Clear();
    return;
  }
  Reset(winner->Certificate);
}

// --- queries ----------------------------------------------------------------

std::string TCertificate::Encoded() const { return Handle_.Der(); }

const TStringListX& TCertificate::SubjectParts() const {
  if (!SubjectParts_) SubjectParts_ = std::make_unique<TStringListX>(NameParts(Handle_.SubjectDer()));
  return *SubjectParts_;
}

const TStringListX& TCertificate::IssuerParts() const {
  if (!IssuerParts_) IssuerParts_ = std::make_unique<TStringListX>(NameParts(Handle_.IssuerDer()));
  return *IssuerParts_;
}

std::string TCertificate::IssuerName() const {
  const TStringListX& parts = IssuerParts();
  if (IndexOfName(parts, "CN") >= 0) return ListValue(parts, "CN");
  return parts.empty() ? std::string() : LineValue(parts.front());
}

std::string TCertificate::NameAttribute(TNameOf whose, TNameAttribute which) const {
  if (IsEmpty()) return std::string();
  bool ofIssuer = whose == TNameOf::Issuer;
  std::string value = Handle_.NameAttribute(ofIssuer, kNameAttributeOids[static_cast<size_t>(which)]);
  // Certificates of the last twenty years carry the address among the
  // alternative names and often not in the name at all.
  if (value.empty() && which == TNameAttribute::EmailAddress) value = Handle_.AltNameEmail(ofIssuer);
  return value;
}

std::string TCertificate::SerialNumber() const { return BytesToHex(Handle_.SerialOctets()); }

const std::vector<crypto::TCertHandle>& TCertificate::Companions() const {
  static const std::vector<crypto::TCertHandle> kNone;
  return Companions_ ? *Companions_ : kNone;
}

void TCertificate::SetCompanions(std::vector<crypto::TCertHandle> companions) {
  if (companions.empty())
    Companions_.reset();
  else
    Companions_ = std::make_shared<const std::vector<crypto::TCertHandle>>(std::move(companions));
}

// --- actions ------------------------------------------------------------------

void SetCertificateDisplayHook(TCertificateDisplayHook hook) {
  TDisplayHook& h = DisplayHook();
  std::lock_guard<std::mutex> guard(h.Lock);
  h.Hook = std::move(hook);
}

void TCertificate::Show() const {
  if (IsEmpty()) return;
  TCertificateDisplayHook hook;
  {
    TDisplayHook& h = DisplayHook();
    std::lock_guard<std::mutex> guard(h.Lock);
    hook = h.Hook;
  }
  if (!hook) throw Exception("Cannot display certificate");
  int result;
  {
    TTempFiles files(true);
    std::string path;
    {
      std::unique_ptr<TTempFileStream> file = files.NewTempFile("KelMsg", "cer");
      path = file->FileName();
      std::string der = Handle_.Der();
      file->WriteBuffer(der.data(), static_cast<int32_t>(der.size()));
    }
    result = hook(*this, path);
  }
  if (result != 0) throw Exception("Cannot display certificate");
}

void TCertificate::AddToStore(const std::string& storeName) const {
  if (IsEmpty()) return;
  std::string error;
  TCertStore::AddCertificate(storeName, Handle_, error);
}

}  // namespace tessel
