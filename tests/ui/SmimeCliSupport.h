// What the command-line tests of the S/MIME commands share: the S/MIME
// test PKI and messages (tests/smime) and running a command in-process.
#pragma once

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

// The PKI helpers find their script beside themselves.
#undef TESSEL_TEST_DATA
#define TESSEL_TEST_DATA (std::filesystem::path(__FILE__).parent_path() / "data").string()
#include "smime/SmimeTestSupport.h"
#include "cli/Command.h"

namespace smimetest {

struct TCliResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

inline TCliResult RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  TCliResult r;
  r.Status = tessel::cli::RunCommandLine(args, out, err);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

// Writes bytes as a message file in the sandbox and returns its path.
inline std::string MessageFile(const TStoreSandbox& sandbox, const std::string& name, const std::string& bytes) {
  std::filesystem::path path = sandbox.Root() / name;
  WriteFile(path, bytes);
  return path.string();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace smimetest
