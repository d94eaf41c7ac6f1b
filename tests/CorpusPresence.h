// The shared corpus of public test data lives beside the tree and may be
// missing. A test that needs it skips then with kCorpusMissing at the start of
// its message; the test command names every test skipped so at the end of
// its run, and fails when run under CI.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tesseltest {

inline constexpr const char* kCorpusMissing = "corpus missing: ";

}  // namespace tesseltest

// Skips the running test (from its body or SetUp) when path, a file or
// folder of the corpus, is absent.
#define TESSEL_REQUIRE_CORPUS(path)                                                                       \
  do {                                                                                                    \
    const std::string corpusPath_ = (path);                                                               \
    if (!std::filesystem::exists(corpusPath_)) GTEST_SKIP() << tesseltest::kCorpusMissing << corpusPath_; \
  } while (0)
