// Test messages with S/MIME layers, made from the test PKI (SmimeTestSupport.h)
// with the openssl command at test time.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "SmimeTestSupport.h"
#include "mime/Message.h"
#include "smime/MultipartSigned.h"
#include "smime/SecuritySummary.h"
#include "smime/SmimeBodyPart.h"
#include "smime/SmimeRegistration.h"
#include "util/Base64.h"
#include "util/MemoryStream.h"

namespace smimetest {

inline std::string Base64Lines(const std::string& octets) {
  tessel::TStringStream out;
  tessel::Base64EncodeBuffer(octets.data(), static_cast<int32_t>(octets.size()), out);
  return out.DataString();
}

// An entity with the given header lines (each ending in CR LF) and body.
inline std::string Entity(const std::string& headers, const std::string& body) { return headers + "\r\n" + body; }

// application/pkcs7-mime with the DER object in base64; smimeType "" leaves
// the parameter out.
inline std::string Pkcs7Mime(const std::string& der, const std::string& smimeType,
                             const std::string& extraHeaders = "") {
  std::string type = "Content-Type: application/pkcs7-mime; name=smime.p7m";
  if (!smimeType.empty()) type += "; smime-type=" + smimeType;
  return Entity(extraHeaders + type + "\r\nContent-Transfer-Encoding: base64\r\n", Base64Lines(der));
}

// multipart/signed over content (an entity with CR LF line ends) with the
// detached signature in base64.
inline std::string MultipartSignedEntity(const std::string& content, const std::string& signatureDer,
                                         const std::string& extraHeaders = "", bool signatureFirst = false) {
  std::string signature =
      "Content-Type: application/pkcs7-signature; name=smime.p7s\r\nContent-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=smime.p7s\r\n\r\n" +
      Base64Lines(signatureDer);
  std::string first = signatureFirst ? signature : content;
  std::string second = signatureFirst ? content : signature;
  return extraHeaders +
         "MIME-Version: 1.0\r\nContent-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; "
         "micalg=sha-256; boundary=\"sig-boundary\"\r\n\r\nThis is a signed message.\r\n--sig-boundary\r\n" +
         first + "\r\n--sig-boundary\r\n" + second + "\r\n--sig-boundary--\r\n";
}

// Runs "openssl ARGS -in <input> -out <output> TAIL" in the PKI directory
// and returns the output.
inline std::string Openssl(const std::string& args, const std::string& input, const std::string& tail = "") {
  char dirPattern[] = "/tmp/tessel-smime-openssl-XXXXXX";
  std::string dir = ::mkdtemp(dirPattern);
  WriteFile(dir + "/in", input);
  std::string command = "cd '" + Pki().string() + "' && openssl " + args + " -in '" + dir + "/in' -out '" + dir +
                        "/out' " + tail + " >/dev/null 2>&1";
  int status = std::system(command.c_str());
  std::string output = ReadFile(dir + "/out");
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  EXPECT_EQ(status, 0) << command;
  return output;
}

// DER signed-data holding entity (opaque signing), or a detached signature.
inline std::string SignOpaque(const std::string& entity, const std::string& signer = "alice") {
  return Openssl("cms -sign -binary -nodetach -outform DER -signer " + signer + ".pem -inkey " + signer + ".key",
                 entity);
}
inline std::string SignDetached(const std::string& entity, const std::string& signer = "alice") {
  return Openssl("cms -sign -binary -outform DER -signer " + signer + ".pem -inkey " + signer + ".key", entity);
}
inline std::string Encrypt(const std::string& entity, const std::string& recipients = "carol.pem",
                           const std::string& cipher = "-aes128") {
  return Openssl("cms -encrypt -binary " + cipher + " -outform DER", entity, recipients);
}

// The text entity the PKI's signatures and encryptions hold.
inline std::string PkiContent() { return PkiFile("content.txt"); }

inline std::unique_ptr<tessel::TMessage> Load(const std::string& bytes) {
  tessel::RegisterSmimeParts();
  return std::make_unique<tessel::TMessage>(std::string(bytes));
}

inline tessel::TSmimeInfo& Summary(const tessel::TMessage& message) {
  tessel::TSmimeInfo* info = tessel::SecurityInfoOf(message);
  if (!info) throw std::runtime_error("message without a security summary");
  return *info;
}

}  // namespace smimetest
