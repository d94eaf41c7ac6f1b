// Shared pieces of the S/MIME tests: the test PKI (make-pki.sh), private
// store directories, a DER writer and messages with S/MIME layers.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mime/Message.h"
#include "smime/cms/Certificate.h"
#include "smime/openssl/CryptoPlatform.h"
#include "smime/parts/MultipartSigned.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/parts/SmimeBodyPart.h"
#include "smime/parts/SmimeParseOptions.h"
#include "support/TestSupport.h"
#include "util/encodings/Base64.h"
#include "util/streams/FileStream.h"
#include "util/streams/MemoryStream.h"

namespace smimetest {

namespace fs = std::filesystem;

using tessel::ReadFileBytes;
using tessel::test::TTempDir;

inline void WriteFile(const fs::path& path, const std::string& bytes, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), mode);
}

// The PKI, built once per build tree and script text.
inline const fs::path& Pki() {
  static const fs::path dir =
      tessel::test::ScriptOutput(fs::path(TESSEL_TEST_DATA).parent_path() / "make-pki.sh",
                                 std::string(TESSEL_BINARY_DIR) + "/smime-test-pki-", "content.txt");
  return dir;
}

inline std::string PkiFile(const std::string& name) { return ReadFileBytes(Pki() / name); }
// The text entity the PKI's signatures and encryptions hold.
inline std::string PkiContent() { return PkiFile("content.txt"); }

// The first certificate of a PKI identity's PEM file.
inline tessel::crypto::TCertHandle Cert(const std::string& name) {
  return tessel::crypto::ReadCertificateFile(PkiFile(name + ".pem")).Certificates.at(0);
}
inline std::string CertDer(const std::string& name) { return Cert(name).Der(); }
inline std::string Serial(const std::string& name) { return tessel::TCertificate(Cert(name)).SerialNumber(); }

// Sets (value nullptr: unsets) an environment variable for one scope.
class TEnv {
public:
  TEnv(const char* name, const char* value) : Name_(name), Had_(std::getenv(name) != nullptr) {
    if (Had_) Old_ = std::getenv(name);
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~TEnv() { Had_ ? ::setenv(Name_, Old_.c_str(), 1) : ::unsetenv(Name_); }

private:
  const char* Name_;
  bool Had_;
  std::string Old_;
};

// A private store directory for one test: $TESSEL_CERT_DIR points at it
// while the object lives.
class TStoreSandbox {
public:
  TStoreSandbox() : Env_("TESSEL_CERT_DIR", Dir_.Str().c_str()) {}
  const fs::path& Root() const { return Dir_.Path(); }
  fs::path Store(const std::string& name) const {
    fs::create_directories(Root() / name);
    return Root() / name;
  }
  // Copies a PKI file into a store under a name of the test's choice.
  void Put(const std::string& store, const std::string& pkiName, const std::string& asName, mode_t mode = 0644) const {
    WriteFile(Store(store) / asName, PkiFile(pkiName), mode);
  }
  // Certificate and key of a PKI identity in a store: NAME.pem and NAME.key.
  void PutIdentity(const std::string& store, const std::string& name, mode_t keyMode = 0600) const {
    Put(store, name + ".pem", name + ".pem");
    Put(store, name + ".key", name + ".key", keyMode);
  }

private:
  TTempDir Dir_{"tessel-smime-test"};
  TEnv Env_;
};

// A fixture whose tests each get private stores.
class TSandboxTest : public ::testing::Test {
protected:
  TStoreSandbox Stores;
};

inline std::string Tlv(unsigned char tag, const std::string& content) {
  std::string len;
  for (size_t v = content.size(); v; v >>= 8) len.insert(len.begin(), static_cast<char>(v & 0xFF));
  if (content.size() < 0x80) return std::string{static_cast<char>(tag), static_cast<char>(content.size())} + content;
  return std::string{static_cast<char>(tag), static_cast<char>(0x80 | len.size())} + len + content;
}
inline std::string Seq(const std::string& content) { return Tlv(0x30, content); }
inline std::string Set(const std::string& content) { return Tlv(0x31, content); }
inline std::string Octets(const std::string& content) { return Tlv(0x04, content); }
inline std::string Integer(const std::string& content) { return Tlv(0x02, content); }
inline std::string Explicit0(const std::string& content) { return Tlv(0xA0, content); }
inline std::string Oid(const std::string& dotted) {
  std::vector<unsigned long> arcs;
  std::stringstream s(dotted);
  for (std::string part; std::getline(s, part, '.');) arcs.push_back(std::stoul(part));
  arcs[1] += arcs[0] * 40;
  std::string body;
  for (size_t i = 1; i < arcs.size(); ++i) {
    std::string groups(1, static_cast<char>(arcs[i] & 0x7F));
    for (unsigned long v = arcs[i] >> 7; v; v >>= 7) groups.insert(0, 1, static_cast<char>(0x80 | (v & 0x7F)));
    body += groups;
  }
  return Tlv(0x06, body);
}

inline std::string Base64(const std::string& octets) {
  tessel::TStringStream out;
  tessel::Base64EncodeBuffer(octets.data(), static_cast<int32_t>(octets.size()), out);
  return out.DataString();
}

// application/pkcs7-mime in base64; smimeType "" leaves the parameter out.
inline std::string Pkcs7Mime(const std::string& der, const std::string& smimeType,
                             const std::string& extraHeaders = "") {
  return extraHeaders + "Content-Type: application/pkcs7-mime; name=smime.p7m" +
         (smimeType.empty() ? "" : "; smime-type=" + smimeType) + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
         Base64(der);
}

// multipart/signed over content (an entity) and a detached signature.
inline std::string MultipartSignedEntity(const std::string& content, const std::string& signatureDer,
                                         bool signatureFirst = false) {
  std::string signature =
      "Content-Type: application/pkcs7-signature; name=smime.p7s\r\nContent-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=smime.p7s\r\n\r\n" +
      Base64(signatureDer);
  return "MIME-Version: 1.0\r\nContent-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; "
         "micalg=sha-256; boundary=\"sig-boundary\"\r\n\r\nThis is a signed message.\r\n--sig-boundary\r\n" +
         (signatureFirst ? signature : content) + "\r\n--sig-boundary\r\n" + (signatureFirst ? content : signature) +
         "\r\n--sig-boundary--\r\n";
}

// Runs "openssl ARGS <input" in the PKI directory; returns its output.
inline std::string Openssl(const std::string& args, const std::string& input) {
  TTempDir temp("tessel-openssl");
  const fs::path& dir = temp.Path();
  WriteFile(dir / "in", input);
  std::string command = "cd '" + Pki().string() + "' && openssl " + args + " <'" + (dir / "in").string() + "' >'" +
                        (dir / "out").string() + "' 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return ReadFileBytes(dir / "out");
}

// DER signed-data holding entity (opaque signing).
inline std::string SignOpaque(const std::string& entity, const std::string& signer = "alice") {
  return Openssl("cms -sign -binary -nodetach -outform DER -signer " + signer + ".pem -inkey " + signer + ".key",
                 entity);
}

inline std::unique_ptr<tessel::TMessage> Load(const std::string& bytes) {
  return std::make_unique<tessel::TMessage>(std::string(bytes), tessel::SmimeParseOptions());
}

// The summary of a message made by Load (with the S/MIME parse options).
inline tessel::TSmimeInfo& Summary(const tessel::TMessage& message) { return *tessel::SecurityInfoOf(message); }

}  // namespace smimetest
