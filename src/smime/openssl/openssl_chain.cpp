// Certificate chains on X509_verify_cert, reported as trust-status bits.
#include <map>
#include <vector>

#include "smime/openssl/openssl_types.h"

namespace tessel::crypto {

namespace {

struct TChainErrors {
  // Error bits per chain depth, and bits that belong to the chain as a whole.
  std::map<int, uint32_t> Element;
  std::map<int, bool> NoCrl;
  uint32_t Chain = 0;
};

// The trust-status bits for one OpenSSL verification error. Bits that
// describe the chain rather than one certificate go to chainBits.
uint32_t StatusBits(int error, uint32_t& chainBits, bool& noCrl) {
  switch (error) {
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD: return kTrustIsNotTimeValid;
    case X509_V_ERR_CERT_REVOKED: return kTrustIsRevoked;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_EE_KEY_TOO_SMALL:
    case X509_V_ERR_CA_KEY_TOO_SMALL:
    case X509_V_ERR_CA_MD_TOO_WEAK: return kTrustIsNotSignatureValid;
    case X509_V_ERR_INVALID_PURPOSE:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
    case X509_V_ERR_KEYUSAGE_NO_DIGITAL_SIGNATURE: return kTrustIsNotValidForUsage;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED: return kTrustIsUntrustedRoot;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_CHAIN_TOO_LONG: chainBits |= kTrustIsPartialChain; return 0;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_INVALID_NON_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
    case X509_V_ERR_PROXY_PATH_LENGTH_EXCEEDED: return kTrustInvalidBasicConstraints;
    case X509_V_ERR_INVALID_POLICY_EXTENSION:
    case X509_V_ERR_NO_EXPLICIT_POLICY: return kTrustInvalidPolicyConstraints;
    case X509_V_ERR_PERMITTED_VIOLATION:
    case X509_V_ERR_EXCLUDED_VIOLATION:
    case X509_V_ERR_SUBTREE_MINMAX:
    case X509_V_ERR_UNSUPPORTED_CONSTRAINT_TYPE:
    case X509_V_ERR_UNSUPPORTED_CONSTRAINT_SYNTAX:
    case X509_V_ERR_UNSUPPORTED_NAME_SYNTAX: return kTrustInvalidNameConstraints;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
      // No list of this issuer: the certificate has no revocation
      // information, which is no error.
      noCrl = true;
      return 0;
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
    case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
    case X509_V_ERR_DIFFERENT_CRL_SCOPE:
    case X509_V_ERR_UNHANDLED_CRITICAL_CRL_EXTENSION:
    case X509_V_ERR_CRL_PATH_VALIDATION_ERROR: return kTrustRevocationStatusUnknown | kTrustIsOfflineRevocation;
    default:
      // Anything else (unknown critical extensions, malformed fields) is a
      // fault of the certificate's extensions.
      return kTrustInvalidExtension;
  }
}

int CollectError(int ok, X509_STORE_CTX* ctx) {
  if (ok) return 1;
  auto* errors = static_cast<TChainErrors*>(X509_STORE_CTX_get_app_data(ctx));
  int depth = X509_STORE_CTX_get_error_depth(ctx);
  bool noCrl = false;
  uint32_t bits = StatusBits(X509_STORE_CTX_get_error(ctx), errors->Chain, noCrl);
  errors->Element[depth] |= bits;
  if (noCrl) errors->NoCrl[depth] = true;
  // Go on: every fault of the chain is collected, as a chain engine reports
  // them all, instead of stopping at the first.
  return 1;
}

// The certificates of the system's trust bundle, read once. Reading the
// bundle (a hundred-odd PEM certificates) costs far more than building a
// chain, and a message can carry many signatures, each with its chains.
class TSystemRoots {
public:
  TSystemRoots() {
    TX509StorePtr store(X509_STORE_new());
    X509_LOOKUP* file = store ? X509_STORE_add_lookup(store.get(), X509_LOOKUP_file()) : nullptr;
    if (file && X509_LOOKUP_load_file(file, nullptr, X509_FILETYPE_DEFAULT) == 1) {
      STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store.get());
      for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i) {
        X509* cert = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i));
        if (cert && X509_up_ref(cert) == 1) Certificates_.push_back(cert);
      }
    }
    ERR_clear_error();
  }
  ~TSystemRoots() {
    for (X509* cert : Certificates_) X509_free(cert);
  }
  TSystemRoots(const TSystemRoots&) = delete;
  TSystemRoots& operator=(const TSystemRoots&) = delete;

  // What X509_STORE_set_default_paths gives, without reading the bundle
  // again: its certificates, then the hashed folder and the default store,
  // which are searched only for an issuer not found otherwise.
  void AddTo(X509_STORE* store) const {
    for (X509* cert : Certificates_) X509_STORE_add_cert(store, cert);
    if (X509_LOOKUP* dir = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir()))
      X509_LOOKUP_add_dir(dir, nullptr, X509_FILETYPE_DEFAULT);
    if (X509_LOOKUP* uri = X509_STORE_add_lookup(store, X509_LOOKUP_store())) X509_LOOKUP_add_store(uri, nullptr);
    ERR_clear_error();
  }

private:
  std::vector<X509*> Certificates_;
};

const TSystemRoots& SystemRoots() {
  static const TSystemRoots roots;
  return roots;
}

}  // namespace

TChainResult BuildChain(const TChainRequest& request) {
  InitializeCrypto();
  TChainResult result;
  if (request.Certificate.Empty()) return result;
  TX509StorePtr store(X509_STORE_new());
  TX509StoreCtxPtr ctx(X509_STORE_CTX_new());
  TX509StackPtr untrusted(sk_X509_new_null());
  if (!store || !ctx || !untrusted) return result;
  if (request.SystemRoots) SystemRoots().AddTo(store.get());
  for (const TCertHandle& c : request.Trusted)
    if (!c.Empty()) X509_STORE_add_cert(store.get(), c.Impl()->Cert.get());
  for (const TCrlHandle& crl : request.Crls)
    if (!crl.Empty()) X509_STORE_add_crl(store.get(), crl.Impl()->Crl.get());
  for (const TCertHandle& c : request.Untrusted) {
    if (c.Empty() || X509_up_ref(c.Impl()->Cert.get()) != 1) continue;
    if (!sk_X509_push(untrusted.get(), c.Impl()->Cert.get())) X509_free(c.Impl()->Cert.get());
  }
  ERR_clear_error();
  if (X509_STORE_CTX_init(ctx.get(), store.get(), request.Certificate.Impl()->Cert.get(), untrusted.get()) != 1) {
    ERR_clear_error();
    return result;
  }
  TChainErrors errors;
  X509_STORE_CTX_set_app_data(ctx.get(), &errors);
  X509_STORE_CTX_set_verify_cb(ctx.get(), CollectError);
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
  bool checkCrls = !request.Crls.empty();
  if (checkCrls) X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
  if (request.Time != 0) X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(request.Time));
  // The purpose openssl's own S/MIME verification uses: it checks key usage
  // and extended key usage of the signer (and of its issuers as CAs).
  if (request.ForMailSigning) X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_SMIME_SIGN);
  int verified = X509_verify_cert(ctx.get());
  ERR_clear_error();
  STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(ctx.get());
  if (verified < 0 || !chain || sk_X509_num(chain) == 0) return result;

  result.Built = true;
  int n = sk_X509_num(chain);
  for (int i = 0; i < n; ++i) {
    TChainElement element;
    element.Certificate = ShareCertHandle(sk_X509_value(chain, i));
    element.Status = errors.Element.count(i) ? errors.Element[i] : 0;
    // A self-signed top is not checked against a list (nothing above it
    // issues one for it); others were when lists were given and one was found.
    bool top = i == n - 1 && X509_check_issued(sk_X509_value(chain, i), sk_X509_value(chain, i)) == X509_V_OK;
    element.HasRevocationInfo = checkCrls && !top && !errors.NoCrl.count(i);
    result.Status |= element.Status;
    result.Elements.push_back(std::move(element));
  }
  // Errors at a depth past the built chain (an issuer that was not found)
  // still belong to the chain.
  for (const auto& [depth, bits] : errors.Element)
    if (depth >= n) result.Status |= bits;
  result.Status |= errors.Chain;
  return result;
}

}  // namespace tessel::crypto
