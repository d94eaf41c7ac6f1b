// The cryptographic platform: certificates, private keys, revocation lists,
// PKCS #7 / CMS messages and certificate chains.
//
// Everything above this header is plain C++; the implementation lives in the
// openssl_*.cpp files and is the only code that calls OpenSSL. Handles are
// small value objects; certificates, keys and lists are immutable once made,
// so copies share them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::crypto {

// Loads the "default" and "legacy" providers (the legacy one holds RC2 and
// DES, still common in old mail). Safe to call any number of times; every
// entry point of this layer calls it.
void InitializeCrypto();

class TCertHandle {
public:
  struct TImpl;

  TCertHandle() = default;
  explicit TCertHandle(std::shared_ptr<TImpl> impl) : Impl_(std::move(impl)) {}

  // One DER certificate; an empty handle when the octets are not exactly
  // that (trailing octets included).
  static TCertHandle FromDer(std::string_view der);

  bool Empty() const noexcept { return !Impl_; }
  explicit operator bool() const noexcept { return !Empty(); }

  // All of these give the empty string for an empty handle.
  std::string Der() const;
  std::string Pem() const;
  // Whole DER encodings of the issuer and subject names.
  std::string IssuerDer() const;
  std::string SubjectDer() const;
  // Content octets of the serial number INTEGER, most significant first
  // (with the leading 00 of positive numbers whose top bit is set).
  std::string SerialOctets() const;
  // Key identifier octets of the subject key identifier extension.
  std::string SubjectKeyId() const;
  // Upper-case hex of the SHA-256 of the encoding.
  std::string Sha256Hex() const;
  // UTF-8 text of the first attribute with this OID in the issuer's or the
  // subject's name; "" when there is none.
  std::string NameAttribute(bool ofIssuer, std::string_view dottedOid) const;
  // The first e-mail address (rfc822Name) among the subject's or issuer's
  // alternative names; "" when there is none.
  std::string AltNameEmail(bool ofIssuer) const;

  // Same encoding.
  bool operator==(const TCertHandle& other) const;

  TImpl* Impl() const noexcept { return Impl_.get(); }

private:
  std::shared_ptr<TImpl> Impl_;
};

class TPrivateKey {
public:
  struct TImpl;

  TPrivateKey() = default;
  explicit TPrivateKey(std::shared_ptr<TImpl> impl) : Impl_(std::move(impl)) {}

  bool Empty() const noexcept { return !Impl_; }
  explicit operator bool() const noexcept { return !Empty(); }
  // The key belongs to the certificate's public key.
  bool Matches(const TCertHandle& certificate) const;
  // Unencrypted PKCS #8 PEM.
  std::string Pem() const;

  TImpl* Impl() const noexcept { return Impl_.get(); }

private:
  std::shared_ptr<TImpl> Impl_;
};

class TCrlHandle {
public:
  struct TImpl;

  TCrlHandle() = default;
  explicit TCrlHandle(std::shared_ptr<TImpl> impl) : Impl_(std::move(impl)) {}

  bool Empty() const noexcept { return !Impl_; }
  TImpl* Impl() const noexcept { return Impl_.get(); }

private:
  std::shared_ptr<TImpl> Impl_;
};

// What a certificate file holds: every certificate and revocation list of a
// PEM file in order, or the one DER certificate or list of a binary file.
struct TCertificateFile {
  std::vector<TCertHandle> Certificates;
  std::vector<TCrlHandle> Crls;
};
TCertificateFile ReadCertificateFile(std::string_view octets);

// An unencrypted private key, PEM (PKCS #8, PKCS #1 or SEC1) or DER PKCS #8.
// An empty key with problem set when the octets hold none, or only an
// encrypted one.
TPrivateKey ReadPrivateKey(std::string_view octets, std::string& problem);

enum class TPkcs12Result { Ok, NotPkcs12, WrongPassword, NoCertificate };
// Reads a PKCS #12 file. password nullptr tries the empty password (and no
// password at all). certificate is the one that belongs to the key when there
// is a key, else the first; others receives the rest.
TPkcs12Result ReadPkcs12(std::string_view octets, const std::string* password, TCertHandle& certificate,
                         TPrivateKey& key, std::vector<TCertHandle>& others);

// The signer or recipient a message names: issuer and serial number, or a
// subject key identifier.
struct TSignerId {
  bool ByKeyId = false;
  std::string Issuer;  // whole DER encoding of the issuer name
  std::string Serial;  // content octets of the serial number
  std::string KeyId;

  bool Matches(const TCertHandle& certificate) const;
};

struct TAttribute {
  std::string Oid;                  // dotted form
  std::vector<std::string> Values;  // whole DER encoding of each value, in order
};

// A decoded PKCS #7 / CMS message.
class TCmsMessage {
public:
  struct TImpl;

  enum : int32_t { ctOther = 0, ctSigned = 2, ctEnveloped = 3 };

  ~TCmsMessage();
  TCmsMessage(const TCmsMessage&) = delete;
  TCmsMessage& operator=(const TCmsMessage&) = delete;

  // BER or DER ContentInfo; nullptr when the octets are none.
  static std::unique_ptr<TCmsMessage> Decode(std::string_view octets);

  // For enveloped data whose encoding left the encrypted content out: the
  // content is buffer[offset, offset + size), and is decrypted in place,
  // the decrypted octets written from the buffer's start, which then is
  // the content. Takes the buffer (leaving it empty) and returns true, or
  // returns false and leaves it alone (not enveloped data, content already
  // in the encoding, or an offset below 16). A decryption that fails once
  // it has begun writing spends the buffer: EncryptedContentSpent says so,
  // and the next decryption needs a fresh one.
  bool TakeEncryptedContent(std::string& buffer, size_t offset, size_t size);
  bool EncryptedContentSpent() const;

  int32_t ContentType() const;

  // Signed data.
  // The encapsulated content; the empty string for a detached signature.
  std::string Content() const;
  int32_t SignerCount() const;
  bool SignerId(int32_t index, TSignerId& id) const;
  // false when the signer has no signed attributes.
  bool SignedAttributes(int32_t index, std::vector<TAttribute>& attributes) const;
  std::vector<TCertHandle> Certificates() const;
  // 0 when the signer's signature over the content is good, else the status
  // code of the fault (StatusCodes.h): the content's hash differs from the
  // signed one, or the signature does not verify. detachedContent nullptr
  // verifies the encapsulated content. The octets are hashed exactly as
  // given.
  uint32_t VerifySignature(int32_t index, const TCertHandle& signer, const std::string* detachedContent) const;

  // Enveloped data (its content-encryption algorithm is read from the DER
  // beside the enveloped-data code, not here).
  int32_t RecipientCount() const;
  enum TRecipientKind : int32_t { rkKeyTransport, rkKeyAgreement, rkOther };
  // Key transport (RSA), key agreement (EC Diffie-Hellman), or a kind that
  // names no certificate (password, key-encryption key).
  TRecipientKind RecipientKind(int32_t index) const;
  // The certificates a recipient names: one for key transport, one per
  // encrypted key for key agreement, none for other kinds.
  std::vector<TSignerId> RecipientIds(int32_t index) const;
  // Decrypts with this recipient's key alone (for key agreement, the
  // encrypted key that names certificate). 0 with content set, or a
  // status code; a wrong key is an error, never random content.
  uint32_t DecryptForRecipient(int32_t index, const TPrivateKey& key, const TCertHandle& certificate,
                               std::string& content);

private:
  explicit TCmsMessage(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> Impl_;
};

// Certificate chains.
struct TChainRequest {
  TCertHandle Certificate;
  std::vector<TCertHandle> Trusted;    // trust anchors besides the system's
  std::vector<TCertHandle> Untrusted;  // candidate intermediates
  std::vector<TCrlHandle> Crls;
  bool SystemRoots = true;  // also trust the system's root certificates
  // Build for signing mail: key usage and extended key usage of the
  // certificate must allow it (as for S/MIME verification), else the
  // certificate is not valid for usage.
  bool ForMailSigning = false;
  int64_t Time = 0;  // seconds since 1970; 0 is now
};

// Trust-status bits as the chain reports them (the values mail programs
// and their users know from the Windows certificate chain engine).
enum : uint32_t {
  kTrustIsNotTimeValid = 0x1,
  kTrustIsRevoked = 0x4,
  kTrustIsNotSignatureValid = 0x8,
  kTrustIsNotValidForUsage = 0x10,
  kTrustIsUntrustedRoot = 0x20,
  kTrustRevocationStatusUnknown = 0x40,
  kTrustIsCyclic = 0x80,
  kTrustInvalidExtension = 0x100,
  kTrustInvalidPolicyConstraints = 0x200,
  kTrustInvalidBasicConstraints = 0x400,
  kTrustInvalidNameConstraints = 0x800,
  kTrustIsPartialChain = 0x10000,
  kTrustIsOfflineRevocation = 0x1000000,
};

struct TChainElement {
  TCertHandle Certificate;
  uint32_t Status = 0;
  // A revocation list of the certificate's issuer was consulted.
  bool HasRevocationInfo = false;
};

struct TChainResult {
  bool Built = false;
  uint32_t Status = 0;                  // every element's status and the chain's own bits
  std::vector<TChainElement> Elements;  // the certificate first
};

TChainResult BuildChain(const TChainRequest& request);

}  // namespace tessel::crypto
