// The user's certificate stores as the S/MIME parts of one message see
// them: each store is read at most once, when first needed, and looked up
// by serial number (or subject key identifier) instead of a walk over every
// file. A message with many layers, signers or key-preference attributes
// thus costs one read of each store, however large the store.
//
// A message shares one object among its S/MIME parts (and the parts of the
// content they decrypt or unwrap): it is the context of the message's parse
// options. A part parsed outside a message gets one of its own. Writing to a store (RememberSigners) goes through
// TCertStore and drops the copy read here, so a later lookup sees the new file.
#pragma once

#include <cstdint>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "mime/ParseOptions.h"
#include "smime/stores/CertificateStore.h"
#include "smime/openssl/CryptoPlatform.h"

namespace tessel {

class TSmimeStores : public TParseContext {
public:
  TSmimeStores() = default;
  TSmimeStores(const TSmimeStores&) = delete;
  TSmimeStores& operator=(const TSmimeStores&) = delete;

  // The store, read on first use; nullptr when it cannot be read (not tried
  // again for this object).
  const TCertStore* Store(const std::string& name);
  // Every entry of the store that id names, in the store's order.
  std::vector<const TStoreEntry*> FindAll(const std::string& storeName, const crypto::TSignerId& id);
  // Forgets what was read of the store (after it was written to), or of
  // every store (before the user retries: a key may have been added).
  void Forget(const std::string& name);
  void ForgetAll() { Stores_.clear(); }
  // How many times a store directory was read through this object.
  int32_t Reads() const { return Reads_; }

  // The stores that options carry as their context, or new ones when they
  // carry none.
  static std::shared_ptr<TSmimeStores> Of(const TParseOptions& options);

private:
  struct TIndexed {
    std::unique_ptr<TCertStore> Store;
    // Entry positions by serial number octets without leading zeros, and by
    // subject key identifier.
    std::unordered_multimap<std::string, size_t> BySerial;
    std::unordered_multimap<std::string, size_t> ByKeyId;
  };
  TIndexed* Indexed(const std::string& name);

  std::map<std::string, TIndexed> Stores_;
  int32_t Reads_ = 0;
};

}  // namespace tessel
