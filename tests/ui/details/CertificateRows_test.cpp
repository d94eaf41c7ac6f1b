#include "ui/CertificateRows.h"

#include <gtest/gtest.h>

#include <ctime>

#include "smime/CertDetailsSupport.h"

namespace tessel {
namespace {

using namespace cert_details_test;

std::string ValueOf(const std::vector<TCertificateRow>& rows, const std::string& name) {
  for (const auto& row : rows)
    if (row.Name == name) return row.Value;
  return "<no row " + name + ">";
}

TEST(CertificateRows, fields_of_rsa_and_ec) {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  TCertificate rsa(Load("rsa"));
  const auto rows = CertificateRows(rsa, GetCertificateDetails(rsa.Handle()), now);
  EXPECT_EQ(ValueOf(rows, "Subject"), "C=PL");
  EXPECT_EQ(ValueOf(rows, "CN"), "Many Names");
  EXPECT_EQ(ValueOf(rows, "OU"), "Lab");
  EXPECT_EQ(ValueOf(rows, "Public key"), "rsaEncryption (2048 bit)");
  EXPECT_EQ(ValueOf(rows, "Validity"), "valid");
  EXPECT_EQ(ValueOf(rows, "Key usage"), "Digital Signature, Non Repudiation, Key Encipherment");
  EXPECT_EQ(ValueOf(rows, "Subject alternative names"), "6");
  int altRows = 0;
  bool inAlt = false;
  for (const auto& row : rows) {
    if (row.Level == 0)
      inAlt = row.Name == "Subject alternative names";
    else if (inAlt)
      ++altRows;
  }
  EXPECT_EQ(altRows, 6);
  EXPECT_EQ(ValueOf(rows, "SHA-1 fingerprint").size(), 59u);

  TCertificate ec(Load("ec"));
  const auto ecRows = CertificateRows(ec, GetCertificateDetails(ec.Handle()), now);
  EXPECT_EQ(ValueOf(ecRows, "Public key"), "id-ecPublicKey (256 bit, prime256v1)");
  EXPECT_EQ(ValueOf(ecRows, "Extended key usage"), "(not restricted)");
}

TEST(CertificateRows, validity_mark) {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  struct Case {
    const char* Name;
    const char* Mark;
  } cases[] = {{"rsa", ""}, {"expired", "expired"}, {"notyet", "not yet valid"}};
  for (const auto& c : cases) {
    TCertificate cert(Load(c.Name));
    const TCertificateDetails d = GetCertificateDetails(cert.Handle());
    EXPECT_EQ(ValidityMark(d, now), c.Mark) << c.Name;
    EXPECT_EQ(ValueOf(CertificateRows(cert, d, now), "Validity"), *c.Mark ? c.Mark : "valid") << c.Name;
  }
  EXPECT_TRUE(CertificateRows(TCertificate(), TCertificateDetails(), now).empty());
}

TEST(CertificateRows, save_format) {
  struct Case {
    const char* File;
    const char* Filter;
    bool Der;
  } cases[] = {
      {"/x/a.pem", "PEM certificate (*.pem *.crt)", false},
      {"/x/a.der", "PEM certificate (*.pem *.crt)", false},
      {"/x/a.pem", "DER certificate (*.der *.cer)", true},
      {"/x/a.DER", "All files (*)", true},
      {"/x/a.cer", "", true},
      {"/x/a.crt", "", false},
      {"/x.der/a", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SaveAsDer(c.File, c.Filter), c.Der) << c.File << " " << c.Filter;
}

}  // namespace
}  // namespace tessel
