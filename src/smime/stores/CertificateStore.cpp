#include "smime/stores/CertificateStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "util/text/StringUtils.h"
#include "util/system/WinError.h"

namespace tessel {

namespace {

// A store file larger than this is no certificate file; the cap keeps a
// stray archive dropped into a store from being read whole at every lookup.
constexpr off_t kMaxStoreFileSize = 16 * 1024 * 1024;

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string HomeDirectory() {
  std::string home = Getenv("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

bool EndsWithNoCase(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && SameText(std::string_view(s).substr(s.size() - suffix.size()), suffix);
}

std::string BaseName(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  size_t slash = fileName.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return fileName;
  return fileName.substr(0, dot);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Reads a regular file of at most kMaxStoreFileSize octets; false with errno set.
bool ReadSmallFile(int fd, std::string& bytes) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || st.st_size > kMaxStoreFileSize) {
    errno = EINVAL;
    return false;
  }
  bytes.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    bytes.append(buf, static_cast<size_t>(n));
    if (bytes.size() > static_cast<size_t>(kMaxStoreFileSize)) {
      errno = EINVAL;
      return false;
    }
  }
}

bool ReadStoreFile(const std::string& path, std::string& bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  bool ok = ReadSmallFile(fd, bytes);
  int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

// Makes the directory and any missing parents, new ones private (0700).
bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Writes a new file; false with error set when it exists (exists = true) or
// cannot be written. A half-written file is removed.
bool WriteNewFile(const std::string& path, const std::string& bytes, mode_t mode, bool& exists, std::string& error) {
  exists = false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    exists = errno == EEXIST;
    error = "Cannot create file \"" + path + "\". " + std::strerror(errno) + ".";
    return false;
  }
  // The creation mode is narrowed by the umask; a key must end up exactly private.
  fchmod(fd, mode);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "Cannot write file \"" + path + "\". " + std::strerror(errno) + ".";
      close(fd);
      unlink(path.c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    error = "Cannot write file \"" + path + "\". " + std::strerror(errno) + ".";
    unlink(path.c_str());
    return false;
  }
  return true;
}

std::string ModeText(mode_t mode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode & 07777));
  return buf;
}

}  // namespace

std::string TCertStore::StoresDirectory() {
  std::string dir = Getenv("TESSEL_CERT_DIR");
  if (dir.empty()) {
    std::string data = Getenv("XDG_DATA_HOME");
    // Relative values are invalid by the base-directory rules and ignored.
    if (data.empty() || data[0] != '/') data = HomeDirectory() + "/.local/share";
    dir = data + "/tessel/certs";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string TCertStore::StoreDirectory(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    return std::string();
  return StoresDirectory() + "/" + name;
}

std::unique_ptr<TCertStore> TCertStore::Open(const std::string& name, int* error) {
  std::string dir = StoreDirectory(name);
  if (dir.empty()) {
    if (error) *error = EINVAL;
    return nullptr;
  }
  std::unique_ptr<TCertStore> store(new TCertStore);
  store->Name_ = name;
  store->Directory_ = dir;

  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      names.emplace_back(e->d_name);
    }
    closedir(d);
  } else if (errno == ENOENT) {
    return store;  // a store nobody wrote to yet
  } else {
    if (error) *error = errno;
    return nullptr;
  }
  std::sort(names.begin(), names.end());

  for (const std::string& fileName : names) {
    if (EndsWithNoCase(fileName, ".key")) continue;
    std::string path = dir + "/" + fileName;
    std::string bytes;
    if (!ReadStoreFile(path, bytes)) continue;  // unreadable or not a file: not a certificate
    if (EndsWithNoCase(fileName, ".p12") || EndsWithNoCase(fileName, ".pfx")) {
      crypto::TCertHandle cert;
      crypto::TPrivateKey key;
      std::vector<crypto::TCertHandle> others;
      // Only files without a password: there is nobody to ask for one here.
      if (crypto::ReadPkcs12(bytes, nullptr, cert, key, others) != crypto::TPkcs12Result::Ok) continue;
      TStoreEntry entry;
      entry.Certificate = cert;
      entry.FileName = path;
      if (key) {
        entry.KeyFile = path;
        entry.KeyInPkcs12 = true;
      }
      store->Entries_.push_back(std::move(entry));
      for (crypto::TCertHandle& other : others) {
        TStoreEntry extra;
        extra.Certificate = std::move(other);
        extra.FileName = path;
        store->Entries_.push_back(std::move(extra));
      }
      continue;
    }
    crypto::TCertificateFile file = crypto::ReadCertificateFile(bytes);
    std::string keyFile = BaseName(path) + ".key";
    bool hasKeyFile = !file.Certificates.empty() && IsRegularFile(keyFile);
    for (crypto::TCertHandle& cert : file.Certificates) {
      TStoreEntry entry;
      entry.Certificate = std::move(cert);
      entry.FileName = path;
      if (hasKeyFile) entry.KeyFile = keyFile;
      store->Entries_.push_back(std::move(entry));
    }
    for (crypto::TCrlHandle& crl : file.Crls) store->Crls_.push_back(std::move(crl));
  }
  return store;
}

std::vector<crypto::TCertHandle> TCertStore::Certificates() const {
  std::vector<crypto::TCertHandle> list;
  list.reserve(Entries_.size());
  for (const TStoreEntry& e : Entries_) list.push_back(e.Certificate);
  return list;
}

const TStoreEntry* TCertStore::Find(const crypto::TSignerId& id) const {
  for (const TStoreEntry& e : Entries_)
    if (id.Matches(e.Certificate)) return &e;
  return nullptr;
}

crypto::TPrivateKey TCertStore::LoadKey(const TStoreEntry& entry, std::string& problem) const {
  problem.clear();
  if (!entry.HasKey()) {
    problem = "The certificate in \"" + entry.FileName + "\" has no private key.";
    return crypto::TPrivateKey();
  }
  const std::string& path = entry.KeyFile;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    problem = "The key file \"" + path + "\" cannot be read: " + std::strerror(errno) + ".";
    return crypto::TPrivateKey();
  }
  // The checks are made on the open file, so the file that is read is the
  // file that was checked.
  struct stat st;
  std::string bytes;
  bool statOk = fstat(fd, &st) == 0;
  if (statOk && S_ISREG(st.st_mode) && (st.st_mode & 077) == 0 && st.st_uid == geteuid()) {
    if (!ReadSmallFile(fd, bytes))
      problem = "The key file \"" + path + "\" cannot be read: " + std::strerror(errno) + ".";
  } else if (!statOk || !S_ISREG(st.st_mode)) {
    problem = "The key file \"" + path + "\" is not a regular file.";
  } else if (st.st_uid != geteuid()) {
    problem = "The key file \"" + path + "\" belongs to another user; it is not used.";
  } else {
    problem = "The key file \"" + path + "\" may be read by other users (mode " + ModeText(st.st_mode) +
              "); it is not used. Make it private with: chmod 600 \"" + path + "\"";
  }
  close(fd);
  if (!problem.empty()) return crypto::TPrivateKey();

  crypto::TPrivateKey key;
  if (entry.KeyInPkcs12) {
    crypto::TCertHandle cert;
    std::vector<crypto::TCertHandle> others;
    if (crypto::ReadPkcs12(bytes, nullptr, cert, key, others) != crypto::TPkcs12Result::Ok || !key) {
      problem = "The file \"" + path + "\" holds no private key that can be read without a password.";
      return crypto::TPrivateKey();
    }
  } else {
    std::string why;
    key = crypto::ReadPrivateKey(bytes, why);
    if (!key) {
      problem = "The key file \"" + path + "\" cannot be used: " + why + ".";
      return crypto::TPrivateKey();
    }
  }
  if (!key.Matches(entry.Certificate)) {
    problem = "The key in \"" + path + "\" does not belong to the certificate in \"" + entry.FileName + "\".";
    return crypto::TPrivateKey();
  }
  return key;
}

TCertStore::TAddResult TCertStore::AddCertificate(const std::string& storeName, const crypto::TCertHandle& certificate,
                                                  std::string& error) {
  error.clear();
  if (certificate.Empty()) {
    error = "There is no certificate to add.";
    return TAddResult::Failed;
  }
  std::string dir = StoreDirectory(storeName);
  if (dir.empty()) {
    error = "\"" + storeName + "\" is not a store name.";
    return TAddResult::Failed;
  }
  if (!MakeDirectories(dir)) {
    error = "Cannot create the store directory \"" + dir + "\". " + std::strerror(errno) + ".";
    return TAddResult::Failed;
  }
  if (std::unique_ptr<TCertStore> store = Open(storeName)) {
    for (const TStoreEntry& e : store->Entries())
      if (e.Certificate == certificate) return TAddResult::AlreadyThere;
  }
  std::string path = dir + "/" + certificate.Sha256Hex() + ".pem";
  bool exists = false;
  if (WriteNewFile(path, certificate.Pem(), 0644, exists, error)) return TAddResult::Added;
  if (exists) {
    error.clear();
    return TAddResult::AlreadyThere;
  }
  return TAddResult::Failed;
}

TCertStore::TAddResult TCertStore::AddCertificateWithKey(const std::string& storeName,
                                                         const crypto::TCertHandle& certificate,
                                                         const crypto::TPrivateKey& key, std::string& error) {
  if (key.Empty() || !key.Matches(certificate)) {
    error = "The private key does not belong to the certificate.";
    return TAddResult::Failed;
  }
  TAddResult certResult = AddCertificate(storeName, certificate, error);
  if (certResult == TAddResult::Failed) return certResult;
  std::unique_ptr<TCertStore> store = Open(storeName);
  const TStoreEntry* entry = nullptr;
  if (store) {
    for (const TStoreEntry& e : store->Entries())
      if (e.Certificate == certificate) {
        if (e.HasKey()) {
          // The certificate came with its key, or got one earlier.
          std::string problem;
          if (store->LoadKey(e, problem)) return TAddResult::AlreadyThere;
          error = "The certificate is in the store already, with a key that cannot be used. " + problem;
          return TAddResult::Failed;
        }
        if (!entry) entry = &e;
      }
  }
  if (!entry) {
    error = "The certificate was written but cannot be read back from \"" + StoreDirectory(storeName) + "\".";
    return TAddResult::Failed;
  }
  std::string keyPath = BaseName(entry->FileName) + ".key";
  bool exists = false;
  if (!WriteNewFile(keyPath, key.Pem(), 0600, exists, error)) {
    if (exists) error = "The key file \"" + keyPath + "\" appeared while it was written; it was left as it is.";
    return TAddResult::Failed;
  }
  return TAddResult::Added;
}

}  // namespace tessel
