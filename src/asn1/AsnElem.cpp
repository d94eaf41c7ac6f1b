#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "asn1/AsnHeader.h"
#include "asn1/asn1.h"
#include "asn1/oid.h"
#include "util/encodings/Base64.h"
#include "util/system/Exception.h"
#include "util/streams/MemoryStream.h"
#include "util/text/HexText.h"

namespace tessel {

namespace {

void WriteLength(TStream& stream, int32_t length) {
  uint8_t octets[5];
  int32_t n = asn1::LengthOctetCount(length);
  if (n == 1) {
    octets[0] = static_cast<uint8_t>(length);
  } else {
    octets[0] = static_cast<uint8_t>(0x80 | (n - 1));
    uint32_t v = static_cast<uint32_t>(length);
    for (int32_t i = n - 1; i >= 1; --i, v >>= 8) octets[i] = static_cast<uint8_t>(v & 0xFF);
  }
  stream.WriteBuffer(octets, n);
}

// Identifier octets WriteTag produces for a tag number.
int32_t TagOctetCount(uint32_t tag) {
  if (tag < 31) return 1;
  int32_t n = 1;
  for (; tag; tag >>= 7) ++n;
  return n;
}

// Octets WriteTo produces for an element.
int64_t EncodedSize(const TAsnElem& e) {
  int32_t length = e.ContentLength();
  return TagOctetCount(e.Tag) + asn1::LengthOctetCount(length) + int64_t(length);
}

}  // namespace

// --- Blob ---------------------------------------------------------------

void TBlobDeleter::operator()(Blob* blob) const noexcept {
  if (!blob) return;
  delete[] blob->Data;
  delete blob;
}

TBlobPtr NewBlob(const void* data, int32_t size) {
  TBlobPtr blob(new Blob);
  if (size > 0) {
    blob->Data = new uint8_t[static_cast<size_t>(size)];
    std::memcpy(blob->Data, data, static_cast<size_t>(size));
    blob->Size = size;
  }
  return blob;
}

// --- TAsnElem -------------------------------------------------------------

void TAsnElem::WriteTag(TStream& stream) const {
  uint8_t octets[6];
  int32_t n = TagOctetCount(Tag);
  octets[0] = static_cast<uint8_t>((Class << 5) | (Constructed ? 0x20 : 0) | (Tag < 31 ? Tag : 31));
  // Tag numbers from 31 on follow in base 128; a parsed high tag keeps only
  // 31, which still writes as a well-formed identifier that reads back alike.
  uint32_t v = Tag;
  for (int32_t i = n - 1; i >= 1; --i, v >>= 7) octets[i] = static_cast<uint8_t>((v & 0x7F) | (i == n - 1 ? 0 : 0x80));
  stream.WriteBuffer(octets, n);
}

TAsnElem* TAsnElem::Items(int32_t) const { return nullptr; }

void TAsnElem::WriteTo(TStream& stream) const {
  WriteTag(stream);
  WriteLength(stream, ContentLength());
  WriteContent(stream, 0);
}

TBlobPtr TAsnElem::GetEncoded() const {
  TStringStream stream;
  WriteTo(stream);
  const std::string& octets = stream.DataString();
  return NewBlob(octets.data(), static_cast<int32_t>(octets.size()));
}

std::string TAsnElem::EncodedBase64() const {
  TStringStream stream;
  WriteTo(stream);
  stream.SetPosition(0);
  return Base64EncodeStream(stream);
}

int32_t TAsnElem::Count() const { return 0; }

std::string TAsnElem::Describe() const {
  std::string value;
  switch (Tag) {
    case 2:
    case 3:
    case 4: value = ValueHex(256, ' '); break;
    case 5: break;
    case 19:
    case 22: value = ValueText(256); break;
    default: value = "[not interpreted]"; break;
  }
  return TagName() + ", Length: " + std::to_string(ContentLength()) + " Value: " + value;
}

std::string TAsnElem::ValueHex(int32_t maxOctets, char separator) const {
  std::string_view content = Content();
  size_t n = content.size();
  size_t shown = (maxOctets <= 0 || n <= static_cast<size_t>(maxOctets)) ? n : static_cast<size_t>(maxOctets);
  std::string result = BytesToHex(content.substr(0, shown), separator);
  if (shown < n) result += "... --Skipped " + std::to_string(n - shown) + " octets--";
  return result;
}

std::string TAsnElem::ValueText(int32_t maxOctets) const {
  if (Tag == 0 || Tag == 3 || Tag == 4) return ValueHex(maxOctets, ' ');
  std::string_view content = Content();
  if (maxOctets > 0 && content.size() > static_cast<size_t>(maxOctets))
    content = content.substr(0, static_cast<size_t>(maxOctets));
  return std::string(content);
}

std::string TAsnElem::TagName() const {
  std::string name;
  AppendAsnTagName(name, Tag);
  return name;
}

void AppendAsnTagName(std::string& out, uint32_t tag) {
  switch (tag) {
    case 2: out += "INTEGER"; return;
    case 3: out += "BIT STRING"; return;
    case 4: out += "OCTET STRING"; return;
    case 5: out += "NULL"; return;
    case 6: out += "OID"; return;
    case 16: out += "SEQUENCE"; return;
    case 17: out += "SET"; return;
    case 19: out += "PrintableString"; return;
    case 20: out += "T61String"; return;
    case 22: out += "IA5String"; return;
    case 23: out += "UTCTime"; return;
    default: {
      char digits[16];
      auto [end, ec] = std::to_chars(digits, digits + sizeof digits, tag);
      out += '[';
      out.append(digits, end);
      out += ']';
    }
  }
}

// --- TUnknown -------------------------------------------------------------

TUnknown::TUnknown(uint32_t tag, uint8_t cls) {
  Tag = tag;
  Class = cls;
}

TUnknown::TUnknown(uint32_t tag, uint8_t cls, std::string content) : TUnknown(tag, cls) {
  Content_ = std::move(content);
}

int32_t TUnknown::ContentLength() const { return static_cast<int32_t>(Content_.size()); }

void TUnknown::WriteContent(TStream& stream, int32_t maxOctets) const {
  int32_t n = ContentLength();
  if (maxOctets > 0 && maxOctets < n) n = maxOctets;
  stream.WriteBuffer(Content_.data(), n);
}

// --- TSeq -----------------------------------------------------------------

TSeq::TSeq(std::vector<std::unique_ptr<TAsnElem>> children) : Children_(std::move(children)) {
  Constructed = true;
  Tag = 16;
}

const TSeq::TFixed& TSeq::FixEncoding() const {
  if (Fixed_) return *Fixed_;
  int64_t total = 0;
  for (const auto& child : Children_) total += EncodedSize(*child);
  if (total > std::numeric_limits<int32_t>::max()) throw Exception("ASN.1 element too large to encode");
  auto fixed = std::make_unique<TFixed>();
  fixed->Count = Children_.size();
  fixed->Length = static_cast<int32_t>(total);
  Fixed_ = std::move(fixed);
  return *Fixed_;
}

int32_t TSeq::ContentLength() const { return FixEncoding().Length; }

TAsnElem* TSeq::Items(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= Children_.size()) return nullptr;
  return Children_[static_cast<size_t>(index)].get();
}

void TSeq::WriteContent(TStream& stream, int32_t) const {
  const TFixed& fixed = FixEncoding();
  if (fixed.HaveOctets) {
    stream.WriteBuffer(fixed.Octets.data(), static_cast<int32_t>(fixed.Octets.size()));
    return;
  }
  for (size_t i = 0; i < fixed.Count; ++i) Children_[i]->WriteTo(stream);
}

std::string_view TSeq::Content() const {
  FixEncoding();
  if (!Fixed_->HaveOctets) {
    TStringStream stream;
    for (size_t i = 0; i < Fixed_->Count; ++i) Children_[i]->WriteTo(stream);
    Fixed_->Octets = stream.TakeDataString();
    Fixed_->HaveOctets = true;
  }
  return Fixed_->Octets;
}

int32_t TSeq::Count() const { return static_cast<int32_t>(Children_.size()); }

std::string TSeq::Describe() const {
  return (Tag == 16 ? "SEQUENCE, Length: " : "SET, Length: ") + std::to_string(ContentLength());
}

// --- TAsnBuffered, TOID, TInt -------------------------------------------------

TAsnBuffered::TAsnBuffered(uint32_t tag, const void* data, int32_t size) {
  Tag = tag;
  if (size > 0) Content_.assign(static_cast<const char*>(data), static_cast<size_t>(size));
}

int32_t TAsnBuffered::ContentLength() const { return static_cast<int32_t>(Content_.size()); }

void TAsnBuffered::WriteContent(TStream& stream, int32_t) const {
  stream.WriteBuffer(Content_.data(), static_cast<int32_t>(Content_.size()));
}

TOID::TOID(const void* data, int32_t size) : TAsnBuffered(6, data, size) {}

TOID::TOID(TStream& stream, int32_t size) : TAsnBuffered(6, nullptr, 0) {
  if (size > 0) Content_ = asn1::ReadContent(stream, size);
}

std::string TOID::Dotted() const { return OidToDotted(Content_); }

std::string TOID::Describe() const {
  return "OBJECT IDENTIFIER, Length: " + std::to_string(ContentLength()) + ", Value: " + Dotted();
}

std::string TOID::ValueText(int32_t) const { return Dotted(); }

TInt::TInt(const void* data, int32_t size) : TAsnBuffered(2, data, size) {}

std::string TInt::Describe() const {
  return "INTEGER, Length: " + std::to_string(ContentLength()) + ", Value: " + ValueText(0);
}

std::string TInt::ValueText(int32_t maxOctets) const { return ValueHex(maxOctets, '\0'); }

std::string asn1::ReadContent(TStream& stream, int32_t size) {
  // Grows as data arrives, so a length field claiming gigabytes costs nothing
  // before the stream runs dry.
  constexpr int32_t kChunk = 64 * 1024;
  std::string content;
  while (static_cast<int32_t>(content.size()) < size) {
    int32_t n = std::min<int32_t>(kChunk, size - static_cast<int32_t>(content.size()));
    size_t old = content.size();
    content.resize(old + static_cast<size_t>(n));
    stream.ReadBuffer(content.data() + old, n);
  }
  return content;
}

}  // namespace tessel
