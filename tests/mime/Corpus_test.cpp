// Every file of the shared corpus (the XML suites aside) through the whole
// engine: load with the line-end rule, parse, walk every part, decode every
// header and body. Nothing may crash or hang, and the indexed delimiter
// search must give the same trees as the plain scan.
#include <gtest/gtest.h>

#include <filesystem>

#include "CorpusPresence.h"
#include "MimeTestSupport.h"
#include "mime/MessageFile.h"
#include "util/charsets/Charsets.h"

using namespace tessel;
using namespace mimetest;

namespace {

void Exercise(TBodyPart& part, int& parts) {
  ++parts;
  part.GetHeaderText();
  for (int32_t i = 0; i < part.HeaderCount(); ++i) Utf8ToWide(part.HeaderValue(i));
  part.GetField("content-type");
  Decoded(part);
  part.GetWholePart();
  for (TBodyPart* child : PathChildren(part)) Exercise(*child, parts);
}

}  // namespace

TEST(Corpus, every_file_parses_or_fails_cleanly) {
  namespace fs = std::filesystem;
  TESSEL_REQUIRE_CORPUS(TESSEL_CORPUS);
  int files = 0, parsed = 0, parts = 0;
  for (const auto& entry : fs::recursive_directory_iterator(TESSEL_CORPUS)) {
    std::string path = entry.path().string();
    if (!entry.is_regular_file() || path.find("/xmlconf/") != std::string::npos ||
        path.find("/libxml2/") != std::string::npos)
      continue;
    ++files;
    std::string bytes = ReadMessageFile(path);
    std::unique_ptr<TMessage> message;
    try {
      message = std::make_unique<TMessage>(std::string(bytes));
    } catch (const EMimeParseError&) {
      continue;
    }
    ++parsed;
    Exercise(*message->RootPart, parts);
    std::string scanned = Shape(*message->RootPart);
    std::string indexed = Shape(*std::make_unique<TMessage>(std::move(bytes), IndexedOptions())->RootPart);
    EXPECT_EQ(scanned, indexed) << path;
  }
  std::cout << files << " files, " << parsed << " parsed, " << parts << " parts\n";
  EXPECT_GE(files, 1417);
  EXPECT_GE(parsed, 821);
}
