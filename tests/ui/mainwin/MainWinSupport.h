// Shared by the main-window tests: one instance socket name per test (so
// ctest may run them side by side) and a file writer; private folders and
// file reading come from support/TestSupport.h.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TestSupport.h"

namespace tessel::test {

inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary);
  out << bytes;
}

// A socket name no other test (or test program) uses: the process id and
// the test's name. Short, since a socket path has at most 107 bytes.
inline std::string UniqueInstanceName() {
  static int counter = 0;
  return "tt-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace tessel::test
