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
  static const fs::path dir = tessel::test::ScriptOutput(
      TESSEL_CERT_DETAILS_SCRIPT, std::string(TESSEL_BINARY_DIR) + "/cert-details-", "notyet.der");
  return dir;
}

inline tessel::crypto::TCertHandle Load(const std::string& name) {
  return tessel::crypto::TCertHandle::FromDer(ReadFileBytes(Certs() / (name + ".der")));
}

}  // namespace cert_details_test
