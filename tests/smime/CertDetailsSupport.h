// The certificates of make-cert-details.sh, built once per build tree and
// script text, for the certificate-details and certificate-dialog tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "smime/openssl/CryptoPlatform.h"
#include "support/TestSupport.h"

#ifndef TESSEL_CERT_DETAILS_SCRIPT
#define TESSEL_CERT_DETAILS_SCRIPT TESSEL_TEST_DATA "/../make-cert-details.sh"
#endif

namespace cert_details_test {

namespace fs = std::filesystem;

using tessel::ReadFileBytes;

inline const fs::path& Certs() {
  static const fs::path dir = [] {
    const fs::path script = fs::path(TESSEL_CERT_DETAILS_SCRIPT);
    const fs::path final = fs::path(TESSEL_BINARY_DIR) /
                           ("cert-details-" + std::to_string(std::hash<std::string>{}(ReadFileBytes(script))));
    if (fs::exists(final / "notyet.der")) return final;
    fs::path temp = final;
    temp += "." + std::to_string(::getpid());
    fs::remove_all(temp);
    const std::string command = "sh '" + script.string() + "' '" + temp.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
      ADD_FAILURE() << "make-cert-details.sh failed";
      return final;
    }
    std::error_code ec;
    fs::rename(temp, final, ec);
    if (ec) fs::remove_all(temp);
    return final;
  }();
  return dir;
}

inline tessel::crypto::TCertHandle Load(const std::string& name) {
  return tessel::crypto::TCertHandle::FromDer(ReadFileBytes(Certs() / (name + ".der")));
}

}  // namespace cert_details_test
