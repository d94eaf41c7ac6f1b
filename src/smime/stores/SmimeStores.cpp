#include "smime/stores/SmimeStores.h"

namespace tessel {

namespace {

std::string WithoutLeadingZeros(std::string octets) {
  size_t zeros = 0;
  while (zeros + 1 < octets.size() && octets[zeros] == '\0') ++zeros;
  octets.erase(0, zeros);
  return octets;
}

}  // namespace

TSmimeStores::TIndexed* TSmimeStores::Indexed(const std::string& name) {
  auto found = Stores_.find(name);
  if (found != Stores_.end()) return &found->second;
  TIndexed& indexed = Stores_[name];
  ++Reads_;
  indexed.Store = TCertStore::Open(name);
  if (indexed.Store) {
    const std::vector<TStoreEntry>& entries = indexed.Store->Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
      const crypto::TCertHandle& c = entries[i].Certificate;
      indexed.BySerial.emplace(WithoutLeadingZeros(c.SerialOctets()), i);
      std::string keyId = c.SubjectKeyId();
      if (!keyId.empty()) indexed.ByKeyId.emplace(std::move(keyId), i);
    }
  }
  return &indexed;
}

const TCertStore* TSmimeStores::Store(const std::string& name) { return Indexed(name)->Store.get(); }

std::vector<const TStoreEntry*> TSmimeStores::FindAll(const std::string& storeName, const crypto::TSignerId& id) {
  std::vector<const TStoreEntry*> found;
  TIndexed* indexed = Indexed(storeName);
  if (!indexed->Store) return found;
  const auto& index = id.ByKeyId ? indexed->ByKeyId : indexed->BySerial;
  auto [first, last] = index.equal_range(id.ByKeyId ? id.KeyId : WithoutLeadingZeros(id.Serial));
  std::vector<size_t> positions;
  for (auto it = first; it != last; ++it) positions.push_back(it->second);
  std::sort(positions.begin(), positions.end());
  const std::vector<TStoreEntry>& entries = indexed->Store->Entries();
  for (size_t i : positions)
    if (id.Matches(entries[i].Certificate)) found.push_back(&entries[i]);
  return found;
}

void TSmimeStores::Forget(const std::string& name) { Stores_.erase(name); }

std::shared_ptr<TSmimeStores> TSmimeStores::Of(const TParseOptions& options) {
  std::shared_ptr<TSmimeStores> stores = std::dynamic_pointer_cast<TSmimeStores>(options.Context);
  return stores ? stores : std::make_shared<TSmimeStores>();
}

}  // namespace tessel
