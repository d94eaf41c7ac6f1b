// Shared by the main-window tests: a private directory per test, one
// instance socket name per test (so ctest may run them side by side), and
// small file helpers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tessel::test {

class TPrivateDir {
public:
  TPrivateDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tessel-mw-") + std::to_string(getpid()) + "-" +
                       (info ? std::string(info->test_suite_name()) + "." + info->name() : std::string("x"));
    Path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(Path_);
    std::filesystem::create_directories(Path_);
  }
  ~TPrivateDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path_, ignored);
  }
  TPrivateDir(const TPrivateDir&) = delete;
  TPrivateDir& operator=(const TPrivateDir&) = delete;
  std::string operator/(const std::string& name) const { return (Path_ / name).string(); }
  std::string Str() const { return Path_.string(); }

private:
  std::filesystem::path Path_;
};

inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary);
  out << bytes;
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A socket name no other test (or test program) uses: the process id and
// the test's name. Short, since a socket path has at most 107 bytes.
inline std::string UniqueInstanceName() {
  static int counter = 0;
  return "tt-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace tessel::test
