// Running headless commands in tests: the one command runner of the suite.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ui/cli/Command.h"

namespace clitest {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

inline TRun Command(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = tessel::cli::RunCommandLine(args, out, err);
  return TRun{status, out.str(), err.str()};
}

inline std::string Sample(const std::string& name) { return std::string(TESSEL_SAMPLES) + "/" + name; }
inline std::string Data(const std::string& name) { return std::string(TESSEL_TEST_DATA) + "/" + name; }

using tessel::ReadFileBytes;
using tessel::test::TTempDir;

}  // namespace clitest
