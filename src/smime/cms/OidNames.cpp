#include "smime/cms/OidNames.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tessel {

namespace {

struct TOidInfo {
  std::string_view Oid;
  std::string_view Name;
};

// The short names mail programs show for name attributes and algorithms
// (fixed here, so texts and the algorithm names built from them read the
// same whatever crypto library is installed).
constexpr std::array kOidInfo = {
    // Name attributes.
    TOidInfo{"2.5.4.3", "CN"},
    TOidInfo{"2.5.4.4", "SN"},
    TOidInfo{"2.5.4.5", "SERIALNUMBER"},
    TOidInfo{"2.5.4.6", "C"},
    TOidInfo{"2.5.4.7", "L"},
    TOidInfo{"2.5.4.8", "S"},
    TOidInfo{"2.5.4.9", "STREET"},
    TOidInfo{"2.5.4.10", "O"},
    TOidInfo{"2.5.4.11", "OU"},
    TOidInfo{"2.5.4.12", "T"},
    TOidInfo{"2.5.4.13", "Description"},
    TOidInfo{"2.5.4.15", "BusinessCategory"},
    TOidInfo{"2.5.4.16", "PostalAddress"},
    TOidInfo{"2.5.4.17", "PostalCode"},
    TOidInfo{"2.5.4.18", "POBox"},
    TOidInfo{"2.5.4.20", "Phone"},
    TOidInfo{"2.5.4.24", "X21Address"},
    TOidInfo{"2.5.4.41", "Name"},
    TOidInfo{"2.5.4.42", "G"},
    TOidInfo{"2.5.4.43", "I"},
    TOidInfo{"2.5.4.44", "GenerationQualifier"},
    TOidInfo{"2.5.4.46", "dnQualifier"},
    TOidInfo{"2.5.4.65", "Pseudonym"},
    TOidInfo{"1.2.840.113549.1.9.1", "E"},
    TOidInfo{"1.2.840.113549.1.9.2", "UnstructuredName"},
    TOidInfo{"1.2.840.113549.1.9.8", "UnstructuredAddress"},
    TOidInfo{"0.9.2342.19200300.100.1.1", "UID"},
    TOidInfo{"0.9.2342.19200300.100.1.25", "DC"},
    // Content-encryption algorithms.
    TOidInfo{"1.2.840.113549.3.2", "rc2"},
    TOidInfo{"1.2.840.113549.3.4", "rc4"},
    TOidInfo{"1.2.840.113549.3.7", "3des"},
    TOidInfo{"1.3.14.3.2.7", "des"},
    TOidInfo{"2.16.840.1.101.3.4.1.2", "aes128"},
    TOidInfo{"2.16.840.1.101.3.4.1.22", "aes192"},
    TOidInfo{"2.16.840.1.101.3.4.1.42", "aes256"},
    TOidInfo{"2.16.840.1.101.3.4.1.6", "aes128gcm"},
    TOidInfo{"2.16.840.1.101.3.4.1.26", "aes192gcm"},
    TOidInfo{"2.16.840.1.101.3.4.1.46", "aes256gcm"},
    // Hash and signature algorithms.
    TOidInfo{"1.2.840.113549.2.5", "md5"},
    TOidInfo{"1.3.14.3.2.26", "sha1"},
    TOidInfo{"2.16.840.1.101.3.4.2.1", "sha256"},
    TOidInfo{"2.16.840.1.101.3.4.2.2", "sha384"},
    TOidInfo{"2.16.840.1.101.3.4.2.3", "sha512"},
    TOidInfo{"1.2.840.113549.1.1.1", "RSA"},
    TOidInfo{"1.2.840.113549.1.1.4", "md5RSA"},
    TOidInfo{"1.2.840.113549.1.1.5", "sha1RSA"},
    TOidInfo{"1.2.840.113549.1.1.10", "RSASSA-PSS"},
    TOidInfo{"1.2.840.113549.1.1.11", "sha256RSA"},
    TOidInfo{"1.2.840.113549.1.1.12", "sha384RSA"},
    TOidInfo{"1.2.840.113549.1.1.13", "sha512RSA"},
    TOidInfo{"1.2.840.10040.4.1", "DSA"},
    TOidInfo{"1.2.840.10040.4.3", "sha1DSA"},
    TOidInfo{"1.2.840.10045.2.1", "ECC"},
    TOidInfo{"1.2.840.10045.4.1", "sha1ECDSA"},
    TOidInfo{"1.2.840.10045.4.3.2", "sha256ECDSA"},
    TOidInfo{"1.2.840.10045.4.3.3", "sha384ECDSA"},
    TOidInfo{"1.2.840.10045.4.3.4", "sha512ECDSA"},
};

}  // namespace

bool FindOidInfoName(std::string_view dottedOid, std::string& name) {
  auto it = std::find_if(kOidInfo.begin(), kOidInfo.end(), [&](const TOidInfo& i) { return i.Oid == dottedOid; });
  if (it == kOidInfo.end()) return false;
  name.assign(it->Name);
  return true;
}

std::string OidInfoName(std::string_view dottedOid) {
  std::string name;
  FindOidInfoName(dottedOid, name);
  return name;
}

}  // namespace tessel
