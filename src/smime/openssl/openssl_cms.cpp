// PKCS #7 / CMS messages on OpenSSL's CMS functions.
#include <algorithm>
#include <cstring>

#include "smime/cms/StatusCodes.h"
#include "smime/openssl/openssl_types.h"

namespace tessel::crypto {

struct TCmsMessage::TImpl {
  TCmsPtr Cms;
  // Enveloped data's encrypted content given beside the encoding:
  // Buffer[Offset, Offset + Size), while not Spent.
  bool Given = false;
  bool Spent = false;
  std::string Buffer;
  size_t Offset = 0;
  size_t Size = 0;
};

namespace {

CMS_SignerInfo* Signer(CMS_ContentInfo* cms, int32_t index) {
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
  if (!signers || index < 0 || index >= sk_CMS_SignerInfo_num(signers)) return nullptr;
  return sk_CMS_SignerInfo_value(signers, index);
}

CMS_RecipientInfo* Recipient(CMS_ContentInfo* cms, int32_t index) {
  STACK_OF(CMS_RecipientInfo)* recipients = CMS_get0_RecipientInfos(cms);
  if (!recipients || index < 0 || index >= sk_CMS_RecipientInfo_num(recipients)) return nullptr;
  return sk_CMS_RecipientInfo_value(recipients, index);
}

void FillId(ASN1_OCTET_STRING* keyId, X509_NAME* issuer, ASN1_INTEGER* serial, TSignerId& id) {
  id = TSignerId();
  if (keyId) {
    id.ByKeyId = true;
    id.KeyId.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(keyId)),
                    static_cast<size_t>(ASN1_STRING_length(keyId)));
  } else {
    id.Issuer = NameDer(issuer);
    id.Serial = IntegerOctets(serial);
  }
}

// The status for the most recent OpenSSL error of a failed signature check:
// what a user can look up, not the library's internal reason.
uint32_t SignatureErrorStatus(uint32_t fallback) {
  unsigned long e = ERR_peek_last_error();
  ERR_clear_error();
  if (ERR_GET_LIB(e) == ERR_LIB_CMS) {
    switch (ERR_GET_REASON(e)) {
      case CMS_R_ERROR_READING_MESSAGEDIGEST_ATTRIBUTE: return kStatusAuthAttributeMissing;
      case CMS_R_MESSAGEDIGEST_ATTRIBUTE_WRONG_LENGTH: return kStatusHashValue;
      case CMS_R_NO_MATCHING_DIGEST:
      case CMS_R_UNKNOWN_DIGEST_ALGORITHM:
      case CMS_R_UNSUPPORTED_CONTENT_TYPE: return kStatusUnknownAlgorithm;
      default: break;
    }
  }
  if (ERR_GET_REASON(e) == ERR_R_UNSUPPORTED) return kStatusUnknownAlgorithm;
  return fallback;
}

// Reads everything the BIO gives into out, sized once for expected octets
// (it grows should more come); false when a read fails.
bool ReadAllSized(BIO* bio, std::string& out, size_t expected) {
  constexpr size_t kMinRoom = 16384;
  out.resize(expected + kMinRoom);
  size_t used = 0;
  for (;;) {
    if (out.size() - used < kMinRoom) out.resize(out.size() * 2);
    size_t room = std::min<size_t>(out.size() - used, 1u << 30);
    int n = BIO_read(bio, out.data() + used, static_cast<int>(room));
    if (n > 0) {
      used += static_cast<size_t>(n);
      continue;
    }
    out.resize(used);
    // Memory chains end with 0; -1 is a failure of a filter on the way.
    return n == 0;
  }
}

// Reads everything the BIO gives into buffer from its start, its size
// being the limit; used receives the count. false when a read fails.
bool ReadAllInPlace(BIO* bio, std::string& buffer, size_t& used) {
  used = 0;
  for (;;) {
    size_t room = std::min<size_t>(buffer.size() - used, 1u << 30);
    // Decryption never gives more than it reads: no room is a fault.
    if (room == 0) return false;
    int n = BIO_read(bio, buffer.data() + used, static_cast<int>(room));
    if (n <= 0) return n == 0;
    used += static_cast<size_t>(n);
  }
}

// Frees the BIO chain CMS_dataInit built on top of source, not source itself.
void FreeChainUpTo(BIO* chain, BIO* source) {
  while (chain && chain != source) {
    BIO* next = BIO_pop(chain);
    BIO_free(chain);
    chain = next;
  }
}

}  // namespace

TCmsMessage::TCmsMessage(std::unique_ptr<TImpl> impl) : Impl_(std::move(impl)) {}
TCmsMessage::~TCmsMessage() = default;

std::unique_ptr<TCmsMessage> TCmsMessage::Decode(std::string_view octets) {
  InitializeCrypto();
  if (octets.empty() || octets.size() > 0x7FFFFFFF) return nullptr;
  auto impl = std::make_unique<TImpl>();
  // The parse copies what it keeps: the octets are not needed afterwards.
  const unsigned char* p = reinterpret_cast<const unsigned char*>(octets.data());
  impl->Cms.reset(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(octets.size())));
  ERR_clear_error();
  if (!impl->Cms) return nullptr;
  if (OBJ_obj2nid(CMS_get0_type(impl->Cms.get())) == NID_pkcs7_enveloped) {
    // Makes decryption report a wrong key or a bad key length as the error
    // it is. Without it OpenSSL goes on with a random key (a defence for
    // servers answering strangers) and hands back garbage as content.
    CMS_decrypt(impl->Cms.get(), nullptr, nullptr, nullptr, nullptr, CMS_DEBUG_DECRYPT);
    ERR_clear_error();
  }
  return std::unique_ptr<TCmsMessage>(new TCmsMessage(std::move(impl)));
}

int32_t TCmsMessage::ContentType() const {
  switch (OBJ_obj2nid(CMS_get0_type(Impl_->Cms.get()))) {
    case NID_pkcs7_signed: return ctSigned;
    case NID_pkcs7_enveloped: return ctEnveloped;
    default: return ctOther;
  }
}

std::string TCmsMessage::Content() const {
  if (ContentType() != ctSigned) return std::string();
  ASN1_OCTET_STRING** content = CMS_get0_content(Impl_->Cms.get());
  if (!content || !*content) return std::string();
  return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(*content)),
                     static_cast<size_t>(ASN1_STRING_length(*content)));
}

int32_t TCmsMessage::SignerCount() const {
  if (ContentType() != ctSigned) return 0;
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(Impl_->Cms.get());
  return signers ? sk_CMS_SignerInfo_num(signers) : 0;
}

bool TCmsMessage::SignerId(int32_t index, TSignerId& id) const {
  if (ContentType() != ctSigned) return false;
  CMS_SignerInfo* si = Signer(Impl_->Cms.get(), index);
  if (!si) return false;
  ASN1_OCTET_STRING* keyId = nullptr;
  X509_NAME* issuer = nullptr;
  ASN1_INTEGER* serial = nullptr;
  if (CMS_SignerInfo_get0_signer_id(si, &keyId, &issuer, &serial) != 1) {
    ERR_clear_error();
    return false;
  }
  FillId(keyId, issuer, serial, id);
  return true;
}

bool TCmsMessage::SignedAttributes(int32_t index, std::vector<TAttribute>& attributes) const {
  attributes.clear();
  if (ContentType() != ctSigned) return false;
  CMS_SignerInfo* si = Signer(Impl_->Cms.get(), index);
  if (!si) return false;
  int count = CMS_signed_get_attr_count(si);
  if (count <= 0) return false;
  for (int i = 0; i < count; ++i) {
    X509_ATTRIBUTE* attribute = CMS_signed_get_attr(si, i);
    if (!attribute) continue;
    TAttribute a;
    a.Oid = DottedOid(X509_ATTRIBUTE_get0_object(attribute));
    for (int j = 0; j < X509_ATTRIBUTE_count(attribute); ++j) {
      ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, j);
      unsigned char* der = nullptr;
      int n = value ? i2d_ASN1_TYPE(value, &der) : -1;
      if (n <= 0) continue;
      TOsslBytesPtr owner(der);
      a.Values.emplace_back(reinterpret_cast<const char*>(der), static_cast<size_t>(n));
    }
    attributes.push_back(std::move(a));
  }
  ERR_clear_error();
  return true;
}

std::vector<TCertHandle> TCmsMessage::Certificates() const {
  std::vector<TCertHandle> list;
  if (ContentType() != ctSigned) return list;
  TX509StackPtr certs(CMS_get1_certs(Impl_->Cms.get()));
  ERR_clear_error();
  if (!certs) return list;
  for (int i = 0; i < sk_X509_num(certs.get()); ++i) {
    TCertHandle h = ShareCertHandle(sk_X509_value(certs.get(), i));
    if (h) list.push_back(std::move(h));
  }
  return list;
}

uint32_t TCmsMessage::VerifySignature(int32_t index, const TCertHandle& signer,
                                      const std::string* detachedContent) const {
  CMS_ContentInfo* cms = Impl_->Cms.get();
  CMS_SignerInfo* si = ContentType() == ctSigned ? Signer(cms, index) : nullptr;
  if (!si) return kStatusSignerNotFoundInMessage;
  if (signer.Empty()) return kStatusSignerNotFound;
  CMS_SignerInfo_set1_signer_cert(si, signer.Impl()->Cert.get());

  // The content runs once through the digest BIOs that CMS_dataInit stacks
  // for the message's digest algorithms; nothing re-encodes or canonicalizes
  // it, so the octets are hashed exactly as given.
  TBioPtr source;
  if (detachedContent) {
    source = MemoryBio(*detachedContent);
    if (!source) return kStatusMessageError;
  }
  BIO* chain = CMS_dataInit(cms, source.get());
  if (!chain) {
    uint32_t status = SignatureErrorStatus(kStatusMessageError);
    return status;
  }
  // Only the digests are wanted: the octets pass through and are dropped.
  char buf[16384];
  int n;
  while ((n = BIO_read(chain, buf, sizeof buf)) > 0) {
  }
  bool read = n == 0;
  uint32_t status = 0;
  if (!read) {
    status = kStatusMessageError;
  } else {
    // With signed attributes the content's hash is compared with the
    // messageDigest attribute and the signature covers the attributes; the
    // two faults get their own codes. Without them the signature covers the
    // content's hash directly.
    bool hasAttributes = CMS_signed_get_attr_count(si) >= 0;
    int r = CMS_SignerInfo_verify_content(si, chain);
    if (r != 1) {
      status = SignatureErrorStatus(hasAttributes && r == 0 ? kStatusHashValue : kStatusBadSignature);
    } else if (hasAttributes && CMS_SignerInfo_verify(si) != 1) {
      status = SignatureErrorStatus(kStatusBadSignature);
    }
  }
  FreeChainUpTo(chain, source.get());
  CMS_SignerInfo_set1_signer_cert(si, nullptr);
  ERR_clear_error();
  return status;
}

bool TCmsMessage::TakeEncryptedContent(std::string& buffer, size_t offset, size_t size) {
  if (ContentType() != ctEnveloped) return false;
  ASN1_OCTET_STRING** content = CMS_get0_content(Impl_->Cms.get());
  // A memory BIO takes an int length; the margin is one cipher block.
  if ((content && *content) || offset < 16 || size > 0x7FFFFFFF || offset > buffer.size() ||
      size > buffer.size() - offset)
    return false;
  Impl_->Buffer.swap(buffer);
  buffer.clear();
  Impl_->Given = true;
  Impl_->Spent = false;
  Impl_->Offset = offset;
  Impl_->Size = size;
  return true;
}

bool TCmsMessage::EncryptedContentSpent() const { return Impl_->Given && Impl_->Spent; }

int32_t TCmsMessage::RecipientCount() const {
  if (ContentType() != ctEnveloped) return 0;
  STACK_OF(CMS_RecipientInfo)* recipients = CMS_get0_RecipientInfos(Impl_->Cms.get());
  return recipients ? sk_CMS_RecipientInfo_num(recipients) : 0;
}

TCmsMessage::TRecipientKind TCmsMessage::RecipientKind(int32_t index) const {
  CMS_RecipientInfo* ri = ContentType() == ctEnveloped ? Recipient(Impl_->Cms.get(), index) : nullptr;
  if (!ri) return rkOther;
  switch (CMS_RecipientInfo_type(ri)) {
    case CMS_RECIPINFO_TRANS: return rkKeyTransport;
    case CMS_RECIPINFO_AGREE: return rkKeyAgreement;
    default: return rkOther;
  }
}

std::vector<TSignerId> TCmsMessage::RecipientIds(int32_t index) const {
  std::vector<TSignerId> ids;
  CMS_RecipientInfo* ri = ContentType() == ctEnveloped ? Recipient(Impl_->Cms.get(), index) : nullptr;
  if (!ri) return ids;
  ASN1_OCTET_STRING* keyId = nullptr;
  X509_NAME* issuer = nullptr;
  ASN1_INTEGER* serial = nullptr;
  if (CMS_RecipientInfo_type(ri) == CMS_RECIPINFO_TRANS) {
    if (CMS_RecipientInfo_ktri_get0_signer_id(ri, &keyId, &issuer, &serial) == 1) {
      ids.emplace_back();
      FillId(keyId, issuer, serial, ids.back());
    }
  } else if (CMS_RecipientInfo_type(ri) == CMS_RECIPINFO_AGREE) {
    STACK_OF(CMS_RecipientEncryptedKey)* keys = CMS_RecipientInfo_kari_get0_reks(ri);
    for (int i = 0; keys && i < sk_CMS_RecipientEncryptedKey_num(keys); ++i) {
      CMS_RecipientEncryptedKey* rek = sk_CMS_RecipientEncryptedKey_value(keys, i);
      keyId = nullptr;
      issuer = nullptr;
      serial = nullptr;
      if (CMS_RecipientEncryptedKey_get0_id(rek, &keyId, nullptr, nullptr, &issuer, &serial) != 1) continue;
      ids.emplace_back();
      FillId(keyId, issuer, serial, ids.back());
    }
  }
  ERR_clear_error();
  return ids;
}

namespace {

enum TUnwrap { uwDone, uwFailed, uwNotThisRecipient };

// Unwraps the content-encryption key of a key-transport recipient with key.
TUnwrap DecryptTransportKey(CMS_ContentInfo* cms, CMS_RecipientInfo* ri, EVP_PKEY* pkey, X509* cert) {
  if (cert && CMS_RecipientInfo_ktri_cert_cmp(ri, cert) != 0) return uwNotThisRecipient;
  EVP_PKEY_up_ref(pkey);
  CMS_RecipientInfo_set0_pkey(ri, pkey);  // takes the reference
  int decrypted = CMS_RecipientInfo_decrypt(cms, ri);
  CMS_RecipientInfo_set0_pkey(ri, nullptr);  // releases it
  return decrypted == 1 ? uwDone : uwFailed;
}

// Derives the key-encryption key of a key-agreement recipient from key and
// the originator's public key, and unwraps the encrypted key that names cert.
TUnwrap DecryptAgreedKey(CMS_ContentInfo* cms, CMS_RecipientInfo* ri, EVP_PKEY* pkey, X509* cert) {
  STACK_OF(CMS_RecipientEncryptedKey)* keys = CMS_RecipientInfo_kari_get0_reks(ri);
  for (int i = 0; keys && cert && i < sk_CMS_RecipientEncryptedKey_num(keys); ++i) {
    CMS_RecipientEncryptedKey* rek = sk_CMS_RecipientEncryptedKey_value(keys, i);
    if (CMS_RecipientEncryptedKey_cert_cmp(rek, cert) != 0) continue;
    // The derivation context holds its own reference to the key; the peer
    // key is the originator's, which the message carries.
    if (CMS_RecipientInfo_kari_set0_pkey(ri, pkey) != 1) return uwFailed;
    int decrypted = CMS_RecipientInfo_kari_decrypt(cms, ri, rek);
    CMS_RecipientInfo_kari_set0_pkey(ri, nullptr);
    return decrypted == 1 ? uwDone : uwFailed;
  }
  return uwNotThisRecipient;
}

}  // namespace

uint32_t TCmsMessage::DecryptForRecipient(int32_t index, const TPrivateKey& key, const TCertHandle& certificate,
                                          std::string& content) {
  content.clear();
  CMS_ContentInfo* cms = Impl_->Cms.get();
  if (ContentType() != ctEnveloped) return kStatusInvalidMessageType;
  CMS_RecipientInfo* ri = Recipient(cms, index);
  TRecipientKind kind = RecipientKind(index);
  if (!ri || kind == rkOther) return kStatusRecipientNotFound;
  if (key.Empty()) return kStatusKeysetNotFound;
  // Only this recipient is tried, with this key: the content key it yields
  // is the one the content is decrypted with, and every failure says so.
  EVP_PKEY* pkey = key.Impl()->Key.get();
  X509* cert = certificate.Empty() ? nullptr : certificate.Impl()->Cert.get();
  TUnwrap unwrapped =
      kind == rkKeyTransport ? DecryptTransportKey(cms, ri, pkey, cert) : DecryptAgreedKey(cms, ri, pkey, cert);
  ERR_clear_error();
  if (unwrapped == uwNotThisRecipient) return kStatusRecipientNotFound;
  if (unwrapped == uwFailed) return kStatusBadData;
  // Content given beside the message is decrypted where it stands. The
  // cipher reads it through a memory BIO, which copies octets out before
  // they are decrypted, and never yields more octets than it has read, so
  // writing from the buffer's start (offset octets behind) never touches
  // octets still to be read.
  TImpl& impl = *Impl_;
  if (impl.Given && impl.Spent) return kStatusBadData;
  TBioPtr source;
  if (impl.Given) {
    source = MemoryBio(std::string_view(impl.Buffer.data() + impl.Offset, impl.Size));
    if (!source) return kStatusBadData;
  }
  BIO* chain = CMS_dataInit(cms, source.get());
  if (!chain) {
    uint32_t status = SignatureErrorStatus(kStatusBadData);
    return status == kStatusUnknownAlgorithm ? status : kStatusBadData;
  }
  std::string out;
  bool ok;
  if (impl.Given) {
    impl.Spent = true;  // written over from here on
    size_t used = 0;
    ok = ReadAllInPlace(chain, impl.Buffer, used);
    if (ok) {
      impl.Buffer.resize(used);
      out.swap(impl.Buffer);
    }
  } else {
    // Block-cipher padding only shrinks the content: its encrypted size is
    // room enough, so the content is written once, without regrowing.
    ASN1_OCTET_STRING** encrypted = CMS_get0_content(cms);
    ok = ReadAllSized(chain, out, encrypted && *encrypted ? static_cast<size_t>(ASN1_STRING_length(*encrypted)) : 0);
  }
  // The cipher BIO reports a bad final block (wrong key, damaged data)
  // only through its status.
  if (ok && BIO_method_type(chain) == BIO_TYPE_CIPHER && BIO_get_cipher_status(chain) <= 0) ok = false;
  FreeChainUpTo(chain, source.get());  // the whole chain when it read the message's own content
  ERR_clear_error();
  if (!ok) return kStatusBadData;
  content = std::move(out);
  return 0;
}

}  // namespace tessel::crypto
