// The user's certificate stores: one directory per store name ("My",
// "AddressBook", "Root", any other name) under $TESSEL_CERT_DIR, else
// $XDG_DATA_HOME/tessel/certs, else ~/.local/share/tessel/certs.
//
// A store holds certificates as PEM or DER files (any extension but ".key"),
// revocation lists (PEM blocks or DER ".crl" files) and, for keys, either a
// PEM file of a certificate's base name with the extension ".key" or a
// PKCS #12 file (".p12", ".pfx") without a password. The store's order is
// file-name order, then the order inside a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "smime/openssl/CryptoPlatform.h"

namespace tessel {

struct TStoreEntry {
  crypto::TCertHandle Certificate;
  std::string FileName;  // full path of the file the certificate came from
  std::string KeyFile;   // full path of the file holding its key, or empty
  bool KeyInPkcs12 = false;
  bool HasKey() const { return !KeyFile.empty(); }
};

class TCertStore {
public:
  // The directory that holds the stores, without a trailing "/".
  static std::string StoresDirectory();
  // The directory of one store; empty for names that are no plain file
  // name ("", ".", "..", names with "/" or NUL).
  static std::string StoreDirectory(const std::string& name);

  // Reads the store. A store that does not exist yet is empty. nullptr when
  // the name is not usable or the directory cannot be read, with the errno
  // that says why in *error when error is given.
  static std::unique_ptr<TCertStore> Open(const std::string& name, int* error = nullptr);

  const std::string& Name() const { return Name_; }
  const std::string& Directory() const { return Directory_; }
  const std::vector<TStoreEntry>& Entries() const { return Entries_; }
  const std::vector<crypto::TCrlHandle>& Crls() const { return Crls_; }
  std::vector<crypto::TCertHandle> Certificates() const;

  // The first entry whose certificate the id names, or nullptr.
  const TStoreEntry* Find(const crypto::TSignerId& id) const;

  // The entry's private key. Refuses (empty key, problem set to a sentence
  // for the user) keys whose file others may read (mode must be 0600 or
  // stricter), that cannot be read, hold no unencrypted key, or do not
  // belong to the certificate.
  crypto::TPrivateKey LoadKey(const TStoreEntry& entry, std::string& problem) const;

  enum class TAddResult { Added, AlreadyThere, Failed };
  // Writes the certificate as PEM into the store, in a file named by its
  // SHA-256 fingerprint, created exclusively (the store directory is made,
  // mode 0700, when missing). A certificate the store holds already, or a
  // file of that name, is "already there". Failed sets error.
  static TAddResult AddCertificate(const std::string& storeName, const crypto::TCertHandle& certificate,
                                   std::string& error);
  // The same with the key beside it ("<fingerprint>.key", mode 0600, also
  // created exclusively). A certificate that is there already without a key
  // gets the key.
  static TAddResult AddCertificateWithKey(const std::string& storeName, const crypto::TCertHandle& certificate,
                                          const crypto::TPrivateKey& key, std::string& error);

private:
  TCertStore() = default;
  std::string Name_;
  std::string Directory_;
  std::vector<TStoreEntry> Entries_;
  std::vector<crypto::TCrlHandle> Crls_;
};

}  // namespace tessel
