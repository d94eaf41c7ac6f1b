#include "smime/parts/Pkcs7Info.h"

#include "smime/cms/AsnQuery.h"

namespace tessel {

namespace {

template <class T>
const T* ItemAt(const std::vector<T>& list, int32_t i) {
  return i >= 0 && i < static_cast<int32_t>(list.size()) ? &list[static_cast<size_t>(i)] : nullptr;
}

}  // namespace

const TCertificate* TPKCS7SignedContents::Certificate(int32_t i) const { return ItemAt(Certificates_, i); }

const TSignerInfo* TPKCS7SignedContents::SignerInfo(int32_t i) const {
  auto item = ItemAt(Signers_, i);
  return item ? item->get() : nullptr;
}

void TPKCS7SignedContents::Parse(const void* data, int32_t size) {
  Tree_ = data && size > 0 ? ParseAsn(data, size) : nullptr;
}

bool TPKCS7SignedContents::ReadSigned() {
  std::vector<TAsnElem*> fourth = AsnQuery(Tree_.get(), kSignedCertificatesPath);
  if (fourth.empty()) return false;
  // The fourth field is the [0] certificates when there are any; without
  // them it is already the CRLs or the signer infos.
  const TAsnElem* certificates = fourth.front();
  if (certificates->Tag == 0) {
    for (int32_t i = 0; i < certificates->Count(); ++i)
      if (const TAsnElem* item = certificates->Items(i))
        Certificates_.push_back(TCertificate::CreateFromElement(*item));
  }
  for (TAsnElem* signer : AsnQuery(Tree_.get(), kSignerInfosPath))
    Signers_.push_back(std::make_unique<TSignerInfo>(*signer));
  return true;
}

TPKCS7SignatureInfo::TPKCS7SignatureInfo(const void* data, int32_t size) {
  Parse(data, size);
  IsSigned = ReadSigned();
}

TPKCS7MimeInfo::TPKCS7MimeInfo(const void* data, int32_t size) {
  Parse(data, size);
  std::vector<TAsnElem*> recipients = AsnQuery(Tree_.get(), kRecipientInfosPath);
  if (!recipients.empty()) {
    Kind = pkEnveloped;
    const TAsnElem* set = recipients.front();
    if (set->Class == acUniversal && set->Tag == 17) {
      for (int32_t i = 0; i < set->Count(); ++i)
        if (const TAsnElem* item = set->Items(i)) Recipients_.push_back(std::make_unique<TSignerInfo>(*item));
    }
    return;
  }
  Kind = ReadSigned() ? pkSigned : pkNeither;
}

const TSignerInfo* TPKCS7MimeInfo::Recipient(int32_t i) const {
  auto item = ItemAt(Recipients_, i);
  return item ? item->get() : nullptr;
}

}  // namespace tessel
