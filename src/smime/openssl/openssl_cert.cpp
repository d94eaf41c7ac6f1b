// Certificates, private keys, revocation lists and PKCS #12 files on OpenSSL.
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <mutex>

#include "smime/cms/StatusCodes.h"
#include "smime/openssl/openssl_types.h"
#include "util/text/HexText.h"

namespace tessel::crypto {

namespace {

std::string Hex(const unsigned char* data, size_t n) {
  return BytesToHex(std::string_view(reinterpret_cast<const char*>(data), n));
}

// Reads one DER identifier and length at p; false for high tag numbers,
// indefinite or oversized lengths (none of which a certificate's outer
// structure may use).
bool ReadHeader(const unsigned char*& p, const unsigned char* end, unsigned char& tag, size_t& length) {
  if (end - p < 2) return false;
  tag = *p++;
  if ((tag & 0x1F) == 0x1F) return false;
  unsigned char first = *p++;
  if (first < 0x80) {
    length = first;
  } else {
    int n = first & 0x7F;
    if (n == 0 || n > 4 || end - p < n) return false;
    length = 0;
    for (int i = 0; i < n; ++i) length = (length << 8) | *p++;
  }
  return length <= static_cast<size_t>(end - p);
}

// The serial number's content octets as the certificate stores them:
// Certificate SEQUENCE, tbsCertificate SEQUENCE, optional [0] version, INTEGER.
std::string RawSerial(const std::string& der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  const unsigned char* end = p + der.size();
  unsigned char tag;
  size_t length;
  if (!ReadHeader(p, end, tag, length) || tag != 0x30) return std::string();
  if (!ReadHeader(p, end, tag, length) || tag != 0x30) return std::string();
  if (!ReadHeader(p, end, tag, length)) return std::string();
  if (tag == 0xA0) {
    p += length;
    if (!ReadHeader(p, end, tag, length)) return std::string();
  }
  if (tag != 0x02) return std::string();
  return std::string(reinterpret_cast<const char*>(p), length);
}

// Serial numbers compared as numbers: one encoder's 00 padding is not a
// different certificate.
std::string_view StripZeros(std::string_view s) {
  while (s.size() > 1 && s[0] == '\0') s.remove_prefix(1);
  return s;
}

X509_NAME* NameOf(X509* cert, bool ofIssuer) {
  return ofIssuer ? X509_get_issuer_name(cert) : X509_get_subject_name(cert);
}

// The empty password and no password at all are both tried when none is given.
int NoPassword(char*, int, int, void*) { return 0; }

}  // namespace

namespace {

// The providers stay loaded for the program's life. They are given back at
// exit, before OpenSSL's own clean-up (registered while they were loaded,
// so it runs after this object's destructor).
struct TProviders {
  TProviders() {
    // The default provider serves everything modern; the legacy one adds
    // RC2, DES and the old PKCS #12 encryptions. Without the legacy module
    // those messages report an unknown algorithm instead of decrypting.
    Default = OSSL_PROVIDER_load(nullptr, "default");
    Legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    ERR_clear_error();
  }
  ~TProviders() {
    if (Legacy) OSSL_PROVIDER_unload(Legacy);
    if (Default) OSSL_PROVIDER_unload(Default);
  }
  OSSL_PROVIDER* Default = nullptr;
  OSSL_PROVIDER* Legacy = nullptr;
};

}  // namespace

void InitializeCrypto() {
  static std::once_flag once;
  std::call_once(once, [] {
    static TProviders providers;
    RegisterStatusTexts();
  });
}

// --- helpers ---------------------------------------------------------------

TBioPtr MemoryBio(std::string_view octets) {
  return TBioPtr(BIO_new_mem_buf(octets.data(), static_cast<int>(octets.size())));
}

std::string NameDer(const X509_NAME* name) {
  if (!name) return std::string();
  const unsigned char* der = nullptr;
  size_t length = 0;
  if (X509_NAME_get0_der(const_cast<X509_NAME*>(name), &der, &length) != 1 || !der) return std::string();
  return std::string(reinterpret_cast<const char*>(der), length);
}

std::string IntegerOctets(const ASN1_INTEGER* value) {
  if (!value) return std::string();
  unsigned char* der = nullptr;
  int n = i2d_ASN1_INTEGER(value, &der);
  if (n <= 0) return std::string();
  TOsslBytesPtr owner(der);
  const unsigned char* p = der;
  const unsigned char* end = der + n;
  unsigned char tag;
  size_t length;
  if (!ReadHeader(p, end, tag, length)) return std::string();
  return std::string(reinterpret_cast<const char*>(p), length);
}

std::string DottedOid(const ASN1_OBJECT* oid) {
  if (!oid) return std::string();
  char buf[256];
  int n = OBJ_obj2txt(buf, sizeof buf, oid, 1);
  if (n <= 0) return std::string();
  if (n < static_cast<int>(sizeof buf)) return std::string(buf, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  OBJ_obj2txt(big.data(), n + 1, oid, 1);
  big.resize(static_cast<size_t>(n));
  return big;
}

bool ReadAll(BIO* bio, std::string& out) {
  char buf[16384];
  for (;;) {
    int n = BIO_read(bio, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
      continue;
    }
    // Memory chains end with 0; -1 is a failure of a filter on the way
    // (a retry cannot mean "later" over memory).
    return n == 0;
  }
}

TCertHandle MakeCertHandle(TX509Ptr cert) {
  if (!cert) return TCertHandle();
  unsigned char* der = nullptr;
  int n = i2d_X509(cert.get(), &der);
  if (n <= 0) return TCertHandle();
  TOsslBytesPtr owner(der);
  auto impl = std::make_shared<TCertHandle::TImpl>();
  impl->Der.assign(reinterpret_cast<const char*>(der), static_cast<size_t>(n));
  impl->Cert = std::move(cert);
  return TCertHandle(std::move(impl));
}

TCertHandle ShareCertHandle(X509* cert) {
  if (!cert || X509_up_ref(cert) != 1) return TCertHandle();
  return MakeCertHandle(TX509Ptr(cert));
}

TPrivateKey MakeKeyHandle(TEvpPkeyPtr key) {
  if (!key) return TPrivateKey();
  auto impl = std::make_shared<TPrivateKey::TImpl>();
  impl->Key = std::move(key);
  return TPrivateKey(std::move(impl));
}

// --- TCertHandle -----------------------------------------------------------

TCertHandle TCertHandle::FromDer(std::string_view der) {
  InitializeCrypto();
  if (der.empty() || der.size() > 0x7FFFFFFF) return TCertHandle();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  TX509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  ERR_clear_error();
  if (!cert || p != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) return TCertHandle();
  auto impl = std::make_shared<TImpl>();
  impl->Der.assign(der);
  impl->Cert = std::move(cert);
  return TCertHandle(std::move(impl));
}

std::string TCertHandle::Der() const { return Impl_ ? Impl_->Der : std::string(); }

std::string TCertHandle::Pem() const {
  if (!Impl_) return std::string();
  TBioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), Impl_->Cert.get()) != 1) return std::string();
  char* data = nullptr;
  long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

std::string TCertHandle::IssuerDer() const {
  return Impl_ ? NameDer(X509_get_issuer_name(Impl_->Cert.get())) : std::string();
}

std::string TCertHandle::SubjectDer() const {
  return Impl_ ? NameDer(X509_get_subject_name(Impl_->Cert.get())) : std::string();
}

std::string TCertHandle::SerialOctets() const {
  if (!Impl_) return std::string();
  std::string raw = RawSerial(Impl_->Der);
  return raw.empty() ? IntegerOctets(X509_get0_serialNumber(Impl_->Cert.get())) : raw;
}

std::string TCertHandle::SubjectKeyId() const {
  if (!Impl_) return std::string();
  const ASN1_OCTET_STRING* id = X509_get0_subject_key_id(Impl_->Cert.get());
  if (!id) return std::string();
  return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(id)),
                     static_cast<size_t>(ASN1_STRING_length(id)));
}

std::string TCertHandle::Sha256Hex() const {
  if (!Impl_) return std::string();
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (EVP_Digest(Impl_->Der.data(), Impl_->Der.size(), md, &n, EVP_sha256(), nullptr) != 1) return std::string();
  return Hex(md, n);
}

std::string TCertHandle::NameAttribute(bool ofIssuer, std::string_view dottedOid) const {
  if (!Impl_) return std::string();
  std::string oidText(dottedOid);
  ASN1_OBJECT* oid = OBJ_txt2obj(oidText.c_str(), 1);
  if (!oid) {
    ERR_clear_error();
    return std::string();
  }
  X509_NAME* name = NameOf(Impl_->Cert.get(), ofIssuer);
  int index = X509_NAME_get_index_by_OBJ(name, oid, -1);
  ASN1_OBJECT_free(oid);
  if (index < 0) return std::string();
  ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
  unsigned char* utf8 = nullptr;
  int n = ASN1_STRING_to_UTF8(&utf8, value);
  if (n < 0) {
    ERR_clear_error();
    // A value that is no string type: its octets as they stand.
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                       static_cast<size_t>(ASN1_STRING_length(value)));
  }
  TOsslBytesPtr owner(utf8);
  return std::string(reinterpret_cast<const char*>(utf8), static_cast<size_t>(n));
}

std::string TCertHandle::AltNameEmail(bool ofIssuer) const {
  if (!Impl_) return std::string();
  std::unique_ptr<GENERAL_NAMES, TOsslFree> names(static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(Impl_->Cert.get(), ofIssuer ? NID_issuer_alt_name : NID_subject_alt_name, nullptr, nullptr)));
  ERR_clear_error();
  if (!names) return std::string();
  for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
    if (name->type != GEN_EMAIL) continue;
    const ASN1_IA5STRING* s = name->d.rfc822Name;
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                       static_cast<size_t>(ASN1_STRING_length(s)));
  }
  return std::string();
}

bool TCertHandle::operator==(const TCertHandle& other) const {
  if (!Impl_ || !other.Impl_) return !Impl_ && !other.Impl_;
  return Impl_->Der == other.Impl_->Der;
}

// --- TPrivateKey ------------------------------------------------------------

bool TPrivateKey::Matches(const TCertHandle& certificate) const {
  if (!Impl_ || certificate.Empty()) return false;
  EVP_PKEY* pub = X509_get0_pubkey(certificate.Impl()->Cert.get());
  bool same = pub && EVP_PKEY_eq(pub, Impl_->Key.get()) == 1;
  ERR_clear_error();
  return same;
}

std::string TPrivateKey::Pem() const {
  if (!Impl_) return std::string();
  TBioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), Impl_->Key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return std::string();
  char* data = nullptr;
  long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

// --- files -----------------------------------------------------------------

TCertificateFile ReadCertificateFile(std::string_view octets) {
  InitializeCrypto();
  TCertificateFile file;
  if (octets.empty() || octets.size() > 0x7FFFFFFF) return file;
  if (octets.find("-----BEGIN ") != std::string_view::npos) {
    TBioPtr bio = MemoryBio(octets);
    for (;;) {
      char* name = nullptr;
      char* header = nullptr;
      unsigned char* data = nullptr;
      long length = 0;
      if (PEM_read_bio(bio.get(), &name, &header, &data, &length) != 1) break;
      std::string kind = name;
      OPENSSL_free(name);
      OPENSSL_free(header);
      TOsslBytesPtr owner(data);
      const unsigned char* p = data;
      if (kind == "CERTIFICATE" || kind == "X509 CERTIFICATE") {
        TCertHandle cert =
            TCertHandle::FromDer(std::string_view(reinterpret_cast<const char*>(data), static_cast<size_t>(length)));
        if (cert) file.Certificates.push_back(std::move(cert));
      } else if (kind == "TRUSTED CERTIFICATE") {
        TCertHandle cert = MakeCertHandle(TX509Ptr(d2i_X509_AUX(nullptr, &p, length)));
        if (cert) file.Certificates.push_back(std::move(cert));
      } else if (kind == "X509 CRL") {
        TX509CrlPtr crl(d2i_X509_CRL(nullptr, &p, length));
        if (crl) {
          auto impl = std::make_shared<TCrlHandle::TImpl>();
          impl->Crl = std::move(crl);
          file.Crls.push_back(TCrlHandle(std::move(impl)));
        }
      }
    }
    ERR_clear_error();
    return file;
  }
  TCertHandle cert = TCertHandle::FromDer(octets);
  if (cert) {
    file.Certificates.push_back(std::move(cert));
    return file;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(octets.data());
  TX509CrlPtr crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(octets.size())));
  ERR_clear_error();
  if (crl) {
    auto impl = std::make_shared<TCrlHandle::TImpl>();
    impl->Crl = std::move(crl);
    file.Crls.push_back(TCrlHandle(std::move(impl)));
  }
  return file;
}

TPrivateKey ReadPrivateKey(std::string_view octets, std::string& problem) {
  InitializeCrypto();
  problem.clear();
  if (octets.empty() || octets.size() > 0x7FFFFFFF) {
    problem = "it holds no private key";
    return TPrivateKey();
  }
  TEvpPkeyPtr key;
  if (octets.find("-----BEGIN ") != std::string_view::npos) {
    TBioPtr bio = MemoryBio(octets);
    key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassword, nullptr));
    if (!key && (octets.find("ENCRYPTED") != std::string_view::npos)) {
      ERR_clear_error();
      problem = "the key is protected by a password; store it without one (mode 0600) or import it with --import-p12";
      return TPrivateKey();
    }
  } else {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(octets.data());
    key.reset(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(octets.size())));
  }
  ERR_clear_error();
  if (!key) {
    problem = "it holds no private key";
    return TPrivateKey();
  }
  return MakeKeyHandle(std::move(key));
}

TPkcs12Result ReadPkcs12(std::string_view octets, const std::string* password, TCertHandle& certificate,
                         TPrivateKey& key, std::vector<TCertHandle>& others) {
  InitializeCrypto();
  certificate = TCertHandle();
  key = TPrivateKey();
  others.clear();
  if (octets.empty() || octets.size() > 0x7FFFFFFF) return TPkcs12Result::NotPkcs12;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(octets.data());
  TPkcs12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(octets.size())));
  if (!p12) {
    ERR_clear_error();
    return TPkcs12Result::NotPkcs12;
  }
  const char* pass = nullptr;
  if (password && !password->empty()) {
    pass = password->c_str();
    if (PKCS12_mac_present(p12.get()) && PKCS12_verify_mac(p12.get(), pass, -1) != 1) {
      ERR_clear_error();
      return TPkcs12Result::WrongPassword;
    }
  } else if (PKCS12_mac_present(p12.get()) && PKCS12_verify_mac(p12.get(), nullptr, 0) != 1 &&
             PKCS12_verify_mac(p12.get(), "", 0) != 1) {
    ERR_clear_error();
    return TPkcs12Result::WrongPassword;
  }
  EVP_PKEY* pkey = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  int ok = PKCS12_parse(p12.get(), pass ? pass : "", &pkey, &cert, &ca);
  TEvpPkeyPtr keyOwner(pkey);
  TX509Ptr certOwner(cert);
  TX509StackPtr caOwner(ca);
  ERR_clear_error();
  if (ok != 1) return TPkcs12Result::WrongPassword;
  std::vector<TCertHandle> rest;
  if (ca) {
    for (int i = 0; i < sk_X509_num(ca); ++i) {
      TCertHandle h = ShareCertHandle(sk_X509_value(ca, i));
      if (h) rest.push_back(std::move(h));
    }
  }
  if (certOwner) {
    certificate = MakeCertHandle(std::move(certOwner));
  } else if (!rest.empty()) {
    certificate = rest.front();
    rest.erase(rest.begin());
  }
  if (!certificate) return TPkcs12Result::NoCertificate;
  key = MakeKeyHandle(std::move(keyOwner));
  others = std::move(rest);
  return TPkcs12Result::Ok;
}

// --- TSignerId ---------------------------------------------------------------

bool TSignerId::Matches(const TCertHandle& certificate) const {
  if (certificate.Empty()) return false;
  if (ByKeyId) return !KeyId.empty() && certificate.SubjectKeyId() == KeyId;
  if (StripZeros(Serial) != StripZeros(certificate.SerialOctets())) return false;
  std::string issuer = certificate.IssuerDer();
  if (issuer == Issuer) return true;
  // Same name in another encoding (string types, spacing): compared the
  // way OpenSSL compares names, on their canonical form.
  const unsigned char* p = reinterpret_cast<const unsigned char*>(Issuer.data());
  TX509NamePtr name(d2i_X509_NAME(nullptr, &p, static_cast<long>(Issuer.size())));
  ERR_clear_error();
  return name && X509_NAME_cmp(name.get(), X509_get_issuer_name(certificate.Impl()->Cert.get())) == 0;
}

}  // namespace tessel::crypto
