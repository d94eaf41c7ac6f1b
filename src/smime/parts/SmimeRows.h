// The rows of the "S/MIME Info" page: what a PKCS #7 part holds, as a tree
// of name/value rows listed parents first with their depth. The document
// window puts them into its property explorer; `tessel --pkcs7` prints them.
//
// A signature part gives "Certificates", "SignerInfos" and "ASN.1"; an
// application/pkcs7-mime part gives "SmimeType" and then "Recipients" for
// enveloped data or "Certificates" and "SignerInfos" for signed data, and
// "ASN.1". Other parts give no rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "smime/parts/Pkcs7Info.h"
#include "mime/bodypart.h"

namespace tessel {

// The action a certificate row offers.
inline constexpr const char* kDisplayCertificateAction = "Display certificate...";

struct TSmimeRow {
  int32_t Depth = 0;  // 0 for the top items
  std::string Name;
  bool HasValue = false;
  std::string Value;
  // For a "Certificate" row: the certificate its action shows (owned by
  // the information object the rows were made from).
  const TCertificate* Certificate = nullptr;
  // The row's action caption, or "".
  std::string Action;

  // "Name" without a value, else "Name: Value".
  std::string Text() const { return HasValue ? Name + ": " + Value : Name; }
};

class TSmimeInfoRows {
public:
  // Replaces the rows (and the information objects) with those of part.
  void Build(const TBodyPart& part);
  // The same for decoded octets of a detached signature or of an
  // application/pkcs7-mime body.
  void BuildSignature(const std::string& octets);
  void BuildMime(const std::string& octets);
  void Clear();

  std::vector<TSmimeRow> Rows;
  // The objects the rows were made from; they live until the next Build.
  std::unique_ptr<TPKCS7SignatureInfo> SignatureInfo;
  std::unique_ptr<TPKCS7MimeInfo> MimeInfo;

private:
  void Add(int32_t depth, std::string name);
  void Add(int32_t depth, std::string name, std::string value);
  void AddSigned(const TPKCS7SignedContents& info);
  void AddCertificate(int32_t depth, const TCertificate& certificate);
  void AddSigner(int32_t depth, const char* name, const TSignerInfo& signer);
  void AddName(int32_t depth, const char* name, const TStringListX& parts);
  void AddAsn(int32_t depth, const TAsnElem* root);
};

// One line per row: two blanks per depth level, then TSmimeRow::Text.
std::string FormatSmimeRows(const std::vector<TSmimeRow>& rows);

}  // namespace tessel
