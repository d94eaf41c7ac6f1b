// Certificate fields against the reference tool's text form of the same
// certificates (make-cert-details.sh writes both).
#include "smime/cms/CertificateDetails.h"

#include <gtest/gtest.h>

#include "CertDetailsSupport.h"

#include <ctime>
#include <string>

namespace tessel {
namespace {

using namespace cert_details_test;

// The value after "key" on the line of the reference text, or the whole
// next line when the key ends its line.
std::string Field(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  if (at == std::string::npos) return "<missing " + key + ">";
  size_t start = at + key.size();
  size_t end = text.find('\n', start);
  std::string rest = text.substr(start, end - start);
  if (rest.find_first_not_of(" ") == std::string::npos || rest == " critical") {
    start = end + 1;
    end = text.find('\n', start);
    rest = text.substr(start, end - start);
  }
  rest.erase(0, rest.find_first_not_of(' '));
  while (!rest.empty() && rest.back() == ' ') rest.pop_back();
  return rest;
}

std::string Join(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& item : items) s += (s.empty() ? "" : ", ") + item;
  return s;
}

std::string IsoDate(int64_t t) {  // as the reference tool's ISO 8601 form
  std::string s = FormatUtcTime(t);
  return s.substr(0, s.size() - 4) + "Z";
}

TEST(CertificateDetails, fields_match_reference_text) {
  for (const std::string name : {"rsa", "ec", "ca", "expired", "notyet"}) {
    SCOPED_TRACE(name);
    const TCertificateDetails d = GetCertificateDetails(Load(name));
    ASSERT_TRUE(d.Valid);
    const std::string text = ReadFileBytes(Certs() / (name + ".txt"));
    EXPECT_EQ(Field(text, "Public Key Algorithm:"), d.KeyAlgorithm);
    EXPECT_EQ(Field(text, "Public-Key:"), "(" + std::to_string(d.KeyBits) + " bit)");
    EXPECT_EQ(Field(text, "Signature Algorithm:"), d.SignatureAlgorithm);
    EXPECT_NE(text.find("Version: " + std::to_string(d.Version) + " "), std::string::npos);
    // A field the reference does not show is empty here.
    const std::pair<const char*, std::string> optional[] = {
        {"ASN1 OID:", d.KeyCurve},
        {"X509v3 Key Usage:", Join(d.KeyUsage)},
        {"X509v3 Extended Key Usage:", Join(d.ExtendedKeyUsage)},
        {"X509v3 Subject Alternative Name:", Join(d.SubjectAltNames)}};
    for (const auto& [key, value] : optional)
      EXPECT_EQ(text.find(key) == std::string::npos ? "" : Field(text, key), value) << key;
    EXPECT_EQ(d.IsCa, text.find("CA:TRUE") != std::string::npos);
    EXPECT_EQ(Field(ReadFileBytes(Certs() / (name + ".sha1")), "Fingerprint="), d.Sha1Fingerprint);
    EXPECT_EQ(Field(ReadFileBytes(Certs() / (name + ".sha256")), "Fingerprint="), d.Sha256Fingerprint);
    const std::string dates = ReadFileBytes(Certs() / (name + ".dates"));
    EXPECT_EQ(Field(dates, "notBefore="), IsoDate(d.NotBefore));
    EXPECT_EQ(Field(dates, "notAfter="), IsoDate(d.NotAfter));
  }
}

TEST(CertificateDetails, validity_marks) {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  const TCertificateDetails expired = GetCertificateDetails(Load("expired"));
  EXPECT_EQ(ValidityAt(GetCertificateDetails(Load("rsa")), now), TValidity::Valid);
  EXPECT_EQ(ValidityAt(expired, now), TValidity::Expired);
  EXPECT_EQ(ValidityAt(GetCertificateDetails(Load("notyet")), now), TValidity::NotYetValid);
  EXPECT_EQ(ValidityAt(expired, expired.NotBefore), TValidity::Valid);
  EXPECT_EQ(ValidityAt(expired, expired.NotAfter + 1), TValidity::Expired);
  EXPECT_EQ(FormatUtcTime(0), "1970-01-01 00:00:00 UTC");
}

TEST(CertificateDetails, empty_handle_gives_nothing) {
  EXPECT_FALSE(GetCertificateDetails(crypto::TCertHandle()).Valid);
  EXPECT_TRUE(GetChainElements(TCertificate()).empty());
}

TEST(CertificateDetails, chain_elements_with_their_status) {
  TCertificate expired(Load("expired"));
  expired.SetCompanions({Load("ca")});
  const std::vector<TChainElementInfo> chain = GetChainElements(expired);
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain[0].Certificate.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName), "expired");
  EXPECT_NE(chain[0].StatusText.find("expired"), std::string::npos) << chain[0].StatusText;
  EXPECT_EQ(chain[1].Certificate.NameAttribute(TNameOf::Subject, TNameAttribute::CommonName), "Details CA");
  EXPECT_NE(chain[1].StatusText.find("untrusted root"), std::string::npos) << chain[1].StatusText;

  TCertificate notyet(Load("notyet"));
  notyet.SetCompanions({Load("ca")});
  const std::vector<TChainElementInfo> later = GetChainElements(notyet);
  ASSERT_FALSE(later.empty());
  EXPECT_NE(later[0].StatusText.find("not yet valid"), std::string::npos) << later[0].StatusText;
}

TEST(CertificateDetails, status_wording) {
  const TCertificateDetails none;
  struct Case {
    uint32_t Status;
    bool Last;
    const char* Text;
  } cases[] = {{0, true, "trusted root"},
               {0, false, "valid"},
               {crypto::kTrustIsRevoked, false, "revoked"},
               {crypto::kTrustIsUntrustedRoot, true, "untrusted root"},
               {crypto::kTrustIsPartialChain, true, "issuer not found"},
               {crypto::kTrustIsRevoked | crypto::kTrustIsNotTimeValid, false, "revoked, expired"},
               {crypto::kTrustIsNotSignatureValid, false, "bad signature"}};
  for (const auto& c : cases) EXPECT_EQ(ChainElementStatusText(c.Status, c.Last, none, 0), c.Text) << c.Status;
}

}  // namespace
}  // namespace tessel
