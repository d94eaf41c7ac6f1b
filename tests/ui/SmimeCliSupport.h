// What the command-line tests of the S/MIME commands share: the S/MIME test
// PKI and messages (tests/smime) and message files in a store sandbox.
#pragma once

#include "CliSupport.h"

// The PKI helpers find their script beside themselves. A compiler cache may
// name sources relative to the build folder, while tests run elsewhere.
#undef TESSEL_TEST_DATA
#define TESSEL_TEST_DATA                                                                                \
  ((std::filesystem::path(__FILE__).is_relative() ? std::filesystem::path(TESSEL_BINARY_DIR) / __FILE__ \
                                                  : std::filesystem::path(__FILE__))                    \
       .parent_path() /                                                                                 \
   "data")                                                                                              \
      .string()
#include "smime/SmimeTestSupport.h"

namespace smimetest {

using clitest::Command;

// Writes bytes as a message file in the sandbox and returns its path.
inline std::string MessageFile(const TStoreSandbox& sandbox, const std::string& name, const std::string& bytes) {
  WriteFile(sandbox.Root() / name, bytes);
  return (sandbox.Root() / name).string();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace smimetest
