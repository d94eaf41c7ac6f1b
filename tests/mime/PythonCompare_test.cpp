// The part trees the engine builds for the corpus messages, compared with
// the trees CPython's email package builds for them (content types, file
// names, children, and the SHA-1 of each leaf's decoded content).
#include <gtest/gtest.h>

#include "CorpusSupport.h"

using namespace tessel;
using namespace corpus;

namespace {

// CPython reads a type without exactly one "/" as text/plain.
std::string PythonType(const std::string& type) {
  return std::count(type.begin(), type.end(), '/') == 1 ? type : "text/plain";
}

void Compare(const TLoaded& loaded, const TJson& node, TBodyPart& part, const std::string& path,
             std::vector<std::string>& diffs) {
  std::string ours = part.ContentTypeKey();
  std::string theirs = node.Str("content_type");
  if (node.Str("content_type_defaulted") == "true" ? !ours.empty() && ours != theirs : PythonType(ours) != theirs)
    diffs.push_back(path + ": type " + ours + " / " + theirs);
  std::string file = WideToUtf8(part.FileName.empty() ? part.Name : part.FileName);
  if (file != node.Str("filename")) diffs.push_back(path + ": filename " + file + " / " + node.Str("filename"));
  std::vector<TBodyPart*> children = PathChildren(part);
  if (const TJson* kids = node.Get("children")) {
    if (size_t n = kids->Items.size(); n != children.size())
      diffs.push_back(path + ": children " + std::to_string(children.size()) + " / " + std::to_string(n));
    for (size_t i = 0; i < kids->Items.size() && i < children.size(); ++i)
      Compare(loaded, kids->Items[i], *children[i], path + "." + std::to_string(i + 1), diffs);
  } else if (!children.empty()) {
    diffs.push_back(path + ": " + std::to_string(children.size()) + " children / leaf");
  } else {
    auto same = [&](const std::string& form) { return Sha1Hex(form) == node.Str("decoded_sha1"); };
    CompareContent(loaded, part, path, node.Str("decoded_size"), same, diffs);
  }
}

}  // namespace

TEST(CorpusCompare, python_trees) {
  std::string dir = Corpus() + "/expected-python/";
  TESSEL_REQUIRE_CORPUS(dir + "cpython.structure.json");
  TAgreement agreement(ReadKnown(TESSEL_TEST_DATA "/cpython-differences.txt"));
  for (const char* source : {"bc-java", "bc-test-data", "comm-central", "cpython", "gmime", "kde-mimetreeparser",
                             "kmime", "mime4j", "mimekit", "openssl"}) {
    TJson doc = ParseJson(ReadFileBytes(dir + source + ".structure.json"));
    const TJson& messages = *doc.Get("messages");
    for (size_t m = 0; m < messages.Keys.size(); ++m) {
      const TJson* tree = messages.Items[m].Get("tree");
      if (!tree) continue;  // CPython itself failed on it
      const std::string& name = messages.Keys[m];
      agreement.Check(name, Corpus() + "/" + name,
                      [&](const TLoaded& loaded, TBodyPart& root, std::vector<std::string>& diffs) {
                        Compare(loaded, *tree, root, "1", diffs);
                      });
    }
  }
  agreement.Report("CPython", 510);
}
