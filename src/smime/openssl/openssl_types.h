// Owning wrappers for the OpenSSL objects the platform layer uses, and the
// bodies of the platform handles. Included only by openssl_*.cpp.
#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <string>
#include <string_view>

#include "smime/openssl/CryptoPlatform.h"

namespace tessel::crypto {

struct TOsslFree {
  void operator()(X509* p) const noexcept { X509_free(p); }
  void operator()(X509_CRL* p) const noexcept { X509_CRL_free(p); }
  void operator()(X509_NAME* p) const noexcept { X509_NAME_free(p); }
  void operator()(EVP_PKEY* p) const noexcept { EVP_PKEY_free(p); }
  void operator()(BIO* p) const noexcept { BIO_free_all(p); }
  void operator()(CMS_ContentInfo* p) const noexcept { CMS_ContentInfo_free(p); }
  void operator()(PKCS12* p) const noexcept { PKCS12_free(p); }
  void operator()(X509_STORE* p) const noexcept { X509_STORE_free(p); }
  void operator()(X509_STORE_CTX* p) const noexcept { X509_STORE_CTX_free(p); }
  void operator()(STACK_OF(X509) * p) const noexcept { sk_X509_pop_free(p, X509_free); }
  void operator()(EVP_MD_CTX* p) const noexcept { EVP_MD_CTX_free(p); }
  void operator()(ASN1_TYPE* p) const noexcept { ASN1_TYPE_free(p); }
  void operator()(GENERAL_NAMES* p) const noexcept { GENERAL_NAMES_free(p); }
  void operator()(unsigned char* p) const noexcept { OPENSSL_free(p); }
};

using TX509Ptr = std::unique_ptr<X509, TOsslFree>;
using TX509CrlPtr = std::unique_ptr<X509_CRL, TOsslFree>;
using TX509NamePtr = std::unique_ptr<X509_NAME, TOsslFree>;
using TEvpPkeyPtr = std::unique_ptr<EVP_PKEY, TOsslFree>;
using TBioPtr = std::unique_ptr<BIO, TOsslFree>;
using TCmsPtr = std::unique_ptr<CMS_ContentInfo, TOsslFree>;
using TPkcs12Ptr = std::unique_ptr<PKCS12, TOsslFree>;
using TX509StorePtr = std::unique_ptr<X509_STORE, TOsslFree>;
using TX509StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, TOsslFree>;
using TX509StackPtr = std::unique_ptr<STACK_OF(X509), TOsslFree>;
using TOsslBytesPtr = std::unique_ptr<unsigned char, TOsslFree>;

struct TCertHandle::TImpl {
  TX509Ptr Cert;
  std::string Der;
};

struct TPrivateKey::TImpl {
  TEvpPkeyPtr Key;
};

struct TCrlHandle::TImpl {
  TX509CrlPtr Crl;
};

// A handle for the certificate (taken over); empty for nullptr or a
// certificate that does not encode.
TCertHandle MakeCertHandle(TX509Ptr cert);
// A handle sharing the certificate (its reference count is raised).
TCertHandle ShareCertHandle(X509* cert);
TPrivateKey MakeKeyHandle(TEvpPkeyPtr key);

// A read-only memory BIO over the octets (which must outlive it).
TBioPtr MemoryBio(std::string_view octets);
// Whole DER encoding of a name; "" for nullptr.
std::string NameDer(const X509_NAME* name);
// Content octets of an INTEGER, as its DER encoding carries them.
std::string IntegerOctets(const ASN1_INTEGER* value);
// The dotted form of an OID.
std::string DottedOid(const ASN1_OBJECT* oid);
// Reads everything the BIO gives; false when a read fails.
bool ReadAll(BIO* bio, std::string& out);

}  // namespace tessel::crypto
