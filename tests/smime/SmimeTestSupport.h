// Shared pieces of the S/MIME tests: the test PKI (built once per build tree
// by make-pki.sh with the openssl command), a private certificate-store
// directory per test, and a small DER writer for structures the openssl
// command does not make.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "smime/CryptoPlatform.h"

namespace smimetest {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const fs::path& path, const std::string& bytes, mode_t mode = 0644) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  ::chmod(path.c_str(), mode);
}

// The PKI directory. Built on first use into the build tree, keyed by the
// script's text, and shared by every test process: each builds into its own
// directory and the first rename wins.
inline const fs::path& Pki() {
  static const fs::path dir = [] {
    fs::path script = fs::path(TESSEL_TEST_DATA).parent_path() / "make-pki.sh";
    std::string text = ReadFile(script);
    fs::path final = fs::path(TESSEL_BINARY_DIR) / ("smime-test-pki-" + std::to_string(std::hash<std::string>{}(text)));
    if (fs::exists(final / "content.txt")) return final;
    fs::path temp = final;
    temp += "." + std::to_string(::getpid());
    fs::remove_all(temp);
    std::string command = "sh '" + script.string() + "' '" + temp.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
      ADD_FAILURE() << "make-pki.sh failed: " << command;
      return final;
    }
    std::error_code ec;
    fs::rename(temp, final, ec);
    if (ec) fs::remove_all(temp);  // another process was first
    return final;
  }();
  return dir;
}

inline std::string PkiFile(const std::string& name) { return ReadFile(Pki() / name); }

// DER of the first certificate in a PKI PEM file.
inline std::string CertDer(const std::string& name) {
  tessel::crypto::TCertificateFile f = tessel::crypto::ReadCertificateFile(PkiFile(name + ".pem"));
  return f.Certificates.empty() ? std::string() : f.Certificates.front().Der();
}
inline tessel::crypto::TCertHandle Cert(const std::string& name) {
  return tessel::crypto::TCertHandle::FromDer(CertDer(name));
}

// A private store directory for one test: $TESSEL_CERT_DIR points at it
// while the object lives.
class TStoreSandbox {
public:
  TStoreSandbox() {
    char pattern[] = "/tmp/tessel-smime-test-XXXXXX";
    Root_ = ::mkdtemp(pattern);
    const char* old = std::getenv("TESSEL_CERT_DIR");
    HadOld_ = old != nullptr;
    if (old) Old_ = old;
    ::setenv("TESSEL_CERT_DIR", Root_.c_str(), 1);
  }
  ~TStoreSandbox() {
    if (HadOld_)
      ::setenv("TESSEL_CERT_DIR", Old_.c_str(), 1);
    else
      ::unsetenv("TESSEL_CERT_DIR");
    std::error_code ec;
    fs::remove_all(Root_, ec);
  }
  TStoreSandbox(const TStoreSandbox&) = delete;
  TStoreSandbox& operator=(const TStoreSandbox&) = delete;

  const fs::path& Root() const { return Root_; }
  fs::path Store(const std::string& name) const {
    fs::create_directories(Root_ / name);
    return Root_ / name;
  }
  // Copies a PKI file into a store under a name of the test's choice.
  fs::path Put(const std::string& store, const std::string& pkiName, const std::string& asName,
               mode_t mode = 0644) const {
    fs::path path = Store(store) / asName;
    WriteFile(path, PkiFile(pkiName), mode);
    return path;
  }
  // Certificate and key of a PKI identity in a store: NAME.pem and NAME.key.
  void PutIdentity(const std::string& store, const std::string& name, mode_t keyMode = 0600) const {
    Put(store, name + ".pem", name + ".pem");
    Put(store, name + ".key", name + ".key", keyMode);
  }

private:
  fs::path Root_;
  std::string Old_;
  bool HadOld_ = false;
};

// --- DER writer -------------------------------------------------------------

inline std::string Tlv(unsigned char tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  size_t n = content.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else {
    std::string len;
    for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<char>(v & 0xFF));
    out += static_cast<char>(0x80 | len.size());
    out += len;
  }
  return out + content;
}
inline std::string Seq(const std::string& content) { return Tlv(0x30, content); }
inline std::string Set(const std::string& content) { return Tlv(0x31, content); }
inline std::string Octets(const std::string& content) { return Tlv(0x04, content); }
inline std::string Integer(const std::string& content) { return Tlv(0x02, content); }
inline std::string Explicit0(const std::string& content) { return Tlv(0xA0, content); }
inline std::string Oid(const std::string& dotted) {
  std::vector<unsigned long> arcs;
  std::stringstream s(dotted);
  std::string part;
  while (std::getline(s, part, '.')) arcs.push_back(std::stoul(part));
  std::string body;
  auto put = [&](unsigned long v) {
    std::string groups(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) groups.insert(groups.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    body += groups;
  };
  put(arcs[0] * 40 + arcs[1]);
  for (size_t i = 2; i < arcs.size(); ++i) put(arcs[i]);
  return Tlv(0x06, body);
}

// The serial number octets and the whole issuer name of a DER certificate,
// read with the DER walker below.
struct TDerItem {
  unsigned char Tag = 0;
  std::string Whole;
  std::string Content;
};
// The items of a constructed element's content, in order.
inline std::vector<TDerItem> Children(const std::string& content) {
  std::vector<TDerItem> items;
  size_t p = 0;
  while (p + 2 <= content.size()) {
    TDerItem item;
    size_t start = p;
    item.Tag = static_cast<unsigned char>(content[p++]);
    size_t len = static_cast<unsigned char>(content[p++]);
    if (len & 0x80) {
      size_t n = len & 0x7F;
      len = 0;
      for (size_t i = 0; i < n; ++i) len = (len << 8) | static_cast<unsigned char>(content[p++]);
    }
    item.Content = content.substr(p, len);
    p += len;
    item.Whole = content.substr(start, p - start);
    items.push_back(item);
  }
  return items;
}
// tbsCertificate fields of a DER certificate: [0] version, serial, sigalg, issuer, ...
inline std::vector<TDerItem> TbsFields(const std::string& certDer) {
  return Children(Children(Children(certDer)[0].Content)[0].Content);
}

}  // namespace smimetest
