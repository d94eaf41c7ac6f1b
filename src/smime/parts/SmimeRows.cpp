#include "smime/parts/SmimeRows.h"

#include "smime/parts/MultipartSigned.h"
#include "asn1/AsnRows.h"
#include "asn1/oid.h"
#include "util/system/Exception.h"
#include "util/streams/MemoryStream.h"

namespace tessel {

namespace {

std::string Counted(size_t count) { return " (" + std::to_string(count) + ") "; }

bool IsMimeType(const std::string& contentType) {
  std::string type = LowerCase(contentType);
  return type == "application/pkcs7-mime" || type == "application/x-pkcs7-mime";
}

}  // namespace

void TSmimeInfoRows::Clear() {
  Rows.clear();
  SignatureInfo.reset();
  MimeInfo.reset();
}

void TSmimeInfoRows::Build(const TBodyPart& part) {
  Clear();
  std::string type = part.ContentTypeKey();
  bool signature = IsSignatureType(type);
  if (!signature && !IsMimeType(type)) return;
  TStringStream decoded;
  try {
    part.GetDecodedContent(decoded);
  } catch (const Exception&) {
    // A fault in the transfer encoding: what decoded before it is shown
    // (it rarely parses, and then only "ASN.1" stays empty).
  }
  if (signature)
    BuildSignature(decoded.DataString());
  else
    BuildMime(decoded.DataString());
}

void TSmimeInfoRows::BuildSignature(const std::string& octets) {
  Clear();
  SignatureInfo = std::make_unique<TPKCS7SignatureInfo>(octets.data(), static_cast<int32_t>(octets.size()));
  AddSigned(*SignatureInfo);
  Add(0, "ASN.1");
  AddAsn(1, SignatureInfo->Tree());
}

void TSmimeInfoRows::BuildMime(const std::string& octets) {
  Clear();
  MimeInfo = std::make_unique<TPKCS7MimeInfo>(octets.data(), static_cast<int32_t>(octets.size()));
  const TPKCS7MimeInfo& info = *MimeInfo;
  switch (info.Kind) {
    case TPKCS7MimeInfo::pkEnveloped:
      Add(0, "SmimeType", "Enveloped Data");
      Add(0, "Recipients", Counted(static_cast<size_t>(info.RecipientCount())));
      for (int32_t i = 0; i < info.RecipientCount(); ++i) AddSigner(1, "Recipient", *info.Recipient(i));
      break;
    case TPKCS7MimeInfo::pkSigned:
      Add(0, "SmimeType", "Signed Data");
      AddSigned(info);
      break;
    default: Add(0, "SmimeType", "unknown"); break;
  }
  Add(0, "ASN.1");
  AddAsn(1, info.Tree());
}

void TSmimeInfoRows::Add(int32_t depth, std::string name) {
  TSmimeRow row;
  row.Depth = depth;
  row.Name = std::move(name);
  Rows.push_back(std::move(row));
}

void TSmimeInfoRows::Add(int32_t depth, std::string name, std::string value) {
  Add(depth, std::move(name));
  Rows.back().HasValue = true;
  Rows.back().Value = std::move(value);
}

void TSmimeInfoRows::AddSigned(const TPKCS7SignedContents& info) {
  Add(0, "Certificates", Counted(static_cast<size_t>(info.CertificateCount())));
  for (int32_t i = 0; i < info.CertificateCount(); ++i) AddCertificate(1, *info.Certificate(i));
  Add(0, "SignerInfos", Counted(static_cast<size_t>(info.SignerCount())));
  for (int32_t i = 0; i < info.SignerCount(); ++i) AddSigner(1, "SignerInfo", *info.SignerInfo(i));
}

void TSmimeInfoRows::AddCertificate(int32_t depth, const TCertificate& certificate) {
  Add(depth, "Certificate", certificate.SerialNumber() + " from " + certificate.IssuerName());
  Rows.back().Certificate = &certificate;
  Rows.back().Action = kDisplayCertificateAction;
  Add(depth + 1, "SerialNumber", certificate.SerialNumber());
  AddName(depth + 1, "Subject", certificate.SubjectParts());
  AddName(depth + 1, "Issuer", certificate.IssuerParts());
}

void TSmimeInfoRows::AddSigner(int32_t depth, const char* name, const TSignerInfo& signer) {
  Add(depth, name, signer.SerialNumber + " from " + signer.IssuerName());
  Add(depth + 1, "SerialNumber", signer.SerialNumber);
  AddName(depth + 1, "IssuerName", signer.IssuerParts);
  if (signer.Attributes.empty()) return;
  Add(depth + 1, "Signed Attributes");
  for (const TSignerInfo::TAttribute& attribute : signer.Attributes) {
    Add(depth + 2, OidCaption(attribute.Oid));
    AddAsn(depth + 3, attribute.Values);
  }
}

void TSmimeInfoRows::AddName(int32_t depth, const char* name, const TStringListX& parts) {
  Add(depth, name, JoinNameValues(parts, ",", "="));
  for (const std::string& line : parts) {
    size_t equals = line.find('=');
    if (equals == std::string::npos)
      Add(depth + 1, line, std::string());
    else
      Add(depth + 1, line.substr(0, equals), line.substr(equals + 1));
  }
}

void TSmimeInfoRows::AddAsn(int32_t depth, const TAsnElem* root) {
  if (!root) return;
  VisitAsnRows(*root, [&](const TAsnRow& asn) {
    if (asn.HasValue)
      Add(depth + asn.Depth, asn.Name, asn.Value);
    else
      Add(depth + asn.Depth, asn.Name);
  });
}

std::string FormatSmimeRows(const std::vector<TSmimeRow>& rows) {
  std::string text;
  for (const TSmimeRow& row : rows) {
    text.append(static_cast<size_t>(row.Depth) * 2, ' ');
    text += row.Text();
    text += '\n';
  }
  return text;
}

}  // namespace tessel
