// The certificate dialog's fields read with OpenSSL; see CertificateDetails.h.
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "smime/cms/CertificateDetails.h"
#include "smime/openssl/openssl_types.h"
#include "util/text/HexText.h"

namespace tessel {

namespace {

using crypto::TOsslFree;

struct TExtFree {
  void operator()(ASN1_BIT_STRING* p) const noexcept { ASN1_BIT_STRING_free(p); }
  void operator()(EXTENDED_KEY_USAGE* p) const noexcept { EXTENDED_KEY_USAGE_free(p); }
  void operator()(GENERAL_NAMES* p) const noexcept { GENERAL_NAMES_free(p); }
  void operator()(BASIC_CONSTRAINTS* p) const noexcept { BASIC_CONSTRAINTS_free(p); }
};

int64_t ToSeconds(const ASN1_TIME* t) {
  std::tm tm{};
  if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return 0;
  return static_cast<int64_t>(timegm(&tm));
}

std::string ObjectName(const ASN1_OBJECT* obj) {
  char buffer[128];
  const int n = OBJ_obj2txt(buffer, sizeof buffer, obj, 0);
  if (n <= 0) return "?";
  return std::string(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

std::string Fingerprint(X509* cert, const EVP_MD* md) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (X509_digest(cert, md, digest, &n) != 1) return {};
  return BytesToHex(std::string_view(reinterpret_cast<const char*>(digest), n), ':');
}

std::string AsnString(const ASN1_STRING* s) {
  if (!s) return {};
  return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                     static_cast<size_t>(ASN1_STRING_length(s)));
}

std::string IpText(const ASN1_OCTET_STRING* ip) {
  const std::string octets = AsnString(ip);
  char buffer[8];
  std::string s;
  if (octets.size() == 4) {
    for (size_t i = 0; i < 4; ++i) {
      if (i) s += '.';
      s += std::to_string(static_cast<unsigned char>(octets[i]));
    }
  } else if (octets.size() == 16) {
    for (size_t i = 0; i < 16; i += 2) {
      if (i) s += ':';
      std::snprintf(buffer, sizeof buffer, "%X",
                    (static_cast<unsigned char>(octets[i]) << 8) | static_cast<unsigned char>(octets[i + 1]));
      s += buffer;
    }
  } else {
    s = "<invalid>";
  }
  return s;
}

std::string NameOneLine(const X509_NAME* name) {
  crypto::TBioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_COMPAT) < 0) return {};
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

std::string GeneralNameText(const GENERAL_NAME* gn) {
  switch (gn->type) {
    case GEN_EMAIL: return "email:" + AsnString(gn->d.rfc822Name);
    case GEN_DNS: return "DNS:" + AsnString(gn->d.dNSName);
    case GEN_URI: return "URI:" + AsnString(gn->d.uniformResourceIdentifier);
    case GEN_IPADD: return "IP Address:" + IpText(gn->d.iPAddress);
    case GEN_DIRNAME: return "DirName:" + NameOneLine(gn->d.directoryName);
    case GEN_RID: return "Registered ID:" + ObjectName(gn->d.registeredID);
    case GEN_OTHERNAME: return "othername:<unsupported>";
    case GEN_X400: return "X400Name:<unsupported>";
    case GEN_EDIPARTY: return "EdiPartyName:<unsupported>";
    default: return "<unsupported>";
  }
}

}  // namespace

TCertificateDetails GetCertificateDetails(const crypto::TCertHandle& certificate) {
  TCertificateDetails d;
  if (certificate.Empty() || !certificate.Impl() || !certificate.Impl()->Cert) return d;
  X509* cert = certificate.Impl()->Cert.get();
  d.Valid = true;
  d.Version = static_cast<int32_t>(X509_get_version(cert)) + 1;
  d.NotBefore = ToSeconds(X509_get0_notBefore(cert));
  d.NotAfter = ToSeconds(X509_get0_notAfter(cert));
  d.SignatureAlgorithm = ObjectName(OBJ_nid2obj(X509_get_signature_nid(cert)));

  const X509_PUBKEY* pub = X509_get_X509_PUBKEY(cert);
  ASN1_OBJECT* keyAlg = nullptr;
  const void* params = nullptr;
  int paramType = 0;
  X509_ALGOR* algor = nullptr;
  if (pub && X509_PUBKEY_get0_param(&keyAlg, nullptr, nullptr, &algor, pub) == 1 && keyAlg) {
    d.KeyAlgorithm = ObjectName(keyAlg);
    if (algor) {
      const ASN1_OBJECT* dummy = nullptr;
      X509_ALGOR_get0(&dummy, &paramType, &params, algor);
      if (paramType == V_ASN1_OBJECT && params) d.KeyCurve = ObjectName(static_cast<const ASN1_OBJECT*>(params));
    }
  }
  if (EVP_PKEY* key = X509_get0_pubkey(cert)) d.KeyBits = EVP_PKEY_get_bits(key);

  static const std::array<std::pair<int, const char*>, 9> kUsages = {{
      {KU_DIGITAL_SIGNATURE, "Digital Signature"},
      {KU_NON_REPUDIATION, "Non Repudiation"},
      {KU_KEY_ENCIPHERMENT, "Key Encipherment"},
      {KU_DATA_ENCIPHERMENT, "Data Encipherment"},
      {KU_KEY_AGREEMENT, "Key Agreement"},
      {KU_KEY_CERT_SIGN, "Certificate Sign"},
      {KU_CRL_SIGN, "CRL Sign"},
      {KU_ENCIPHER_ONLY, "Encipher Only"},
      {KU_DECIPHER_ONLY, "Decipher Only"},
  }};
  // Decoding the extensions directly: the cached flags of X509_get_key_usage
  // hide a present but malformed extension.
  std::unique_ptr<ASN1_BIT_STRING, TExtFree> usage(
      static_cast<ASN1_BIT_STRING*>(X509_get_ext_d2i(cert, NID_key_usage, nullptr, nullptr)));
  if (usage) {
    long bits = 0;
    for (int i = 0; i < 9; ++i)
      if (ASN1_BIT_STRING_get_bit(usage.get(), i)) bits |= (i < 8 ? (0x80 >> i) : 0x8000);
    for (const auto& [bit, name] : kUsages)
      if (bits & bit) d.KeyUsage.emplace_back(name);
  }
  std::unique_ptr<EXTENDED_KEY_USAGE, TExtFree> eku(
      static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(cert, NID_ext_key_usage, nullptr, nullptr)));
  if (eku)
    for (int i = 0; i < sk_ASN1_OBJECT_num(eku.get()); ++i)
      d.ExtendedKeyUsage.push_back(ObjectName(sk_ASN1_OBJECT_value(eku.get(), i)));
  std::unique_ptr<GENERAL_NAMES, TExtFree> names(
      static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr)));
  if (names)
    for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i)
      d.SubjectAltNames.push_back(GeneralNameText(sk_GENERAL_NAME_value(names.get(), i)));
  std::unique_ptr<BASIC_CONSTRAINTS, TExtFree> basic(
      static_cast<BASIC_CONSTRAINTS*>(X509_get_ext_d2i(cert, NID_basic_constraints, nullptr, nullptr)));
  d.IsCa = basic && basic->ca;

  d.Sha1Fingerprint = Fingerprint(cert, EVP_sha1());
  d.Sha256Fingerprint = Fingerprint(cert, EVP_sha256());
  return d;
}

}  // namespace tessel
