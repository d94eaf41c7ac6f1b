// Inputs with which fuzzing found faults, replayed through the path that
// found them: each file of data/fuzz-regressions, named after what it broke,
// is opened as a message with the S/MIME parts, every layer peeled, every
// part's content decoded and its information rows built.
#include <sys/inotify.h>

#include <algorithm>

#include "SmimeTestSupport.h"
#include "mime/MimeParser.h"
#include "smime/parts/SmimeRows.h"

namespace {

using namespace tessel;
using namespace smimetest;

std::vector<fs::path> RegressionFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(TESSEL_TEST_DATA) / "fuzz-regressions"))
    if (entry.path().extension() == ".eml") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

int32_t OpenWhole(TBodyPart& part) {
  TSmimeInfoRows rows;
  rows.Build(part);
  TMemoryStream content;
  try {
    part.GetDecodedContent(content);
  } catch (const Exception&) {
    // a broken base64 body is reported, not raised past the window
  }
  int32_t parts = 1;
  if (TBodyPart* inner = part.InnerRoot()) return parts + OpenWhole(*inner);
  for (int32_t i = 0; i < part.ChildCount(); ++i) parts += OpenWhole(*part.Children(i));
  return parts;
}

int32_t OpenMessage(const fs::path& file) {
  TMessage message(ReadFileBytes(file), SmimeParseOptions());
  int32_t parts = 0;
  for (int32_t i = 0; i < message.RootCount(); ++i) parts += OpenWhole(*message.Roots(i));
  return parts;
}

}  // namespace

TEST(SmimeFuzzRegressions, every_input_opens_whole) {
  TStoreSandbox stores;
  std::vector<fs::path> files = RegressionFiles();
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    EXPECT_GT(OpenMessage(file), 0);
  }
}

// Every chain read the system trust bundle anew, so that a message with a
// few signatures took seconds. The bundle is read once per process, so the
// count is taken in a process of its own: this test binary run again for
// this test alone, which opens the message three times.
TEST(SmimeFuzzRegressions, trust_bundle_is_read_exactly_once_for_any_number_of_chains) {
  fs::path signedMessage = fs::path(TESSEL_TEST_DATA) / "fuzz-regressions" / "trust-bundle-read-per-chain.eml";
  if (std::getenv("TESSEL_BUNDLE_CHILD")) {
    for (int i = 0; i < 3; ++i) OpenMessage(signedMessage);
    return;
  }
  TStoreSandbox stores;
  fs::path bundle = stores.Root() / "bundle.pem";
  WriteFile(bundle, "");
  TEnv child("TESSEL_BUNDLE_CHILD", "1"), file("SSL_CERT_FILE", bundle.c_str());
  int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  // Closes are watched too: identical events in a row are merged into one,
  // and each read is an open and a close.
  ASSERT_GE(inotify_add_watch(watch, bundle.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
  std::string self = fs::read_symlink("/proc/self/exe").string();
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string command =
      "'" + self + "' --gtest_filter=" + test->test_suite_name() + "." + test->name() + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  int opens = 0;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;)
    for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
      if (reinterpret_cast<inotify_event*>(p)->mask & IN_OPEN) ++opens;
  close(watch);
  EXPECT_EQ(opens, 1);
}
