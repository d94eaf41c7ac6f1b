// The part trees the engine builds for the mime4j test messages, compared
// with the trees mime4j wrote for them (NAME_decoded.xml): nesting, content
// types, and each leaf's decoded bytes (NAME_decoded_<path>.txt|.bin).
#include <gtest/gtest.h>

#include <filesystem>

#include "CorpusSupport.h"

using namespace tessel;
using namespace corpus;

namespace {

// An entity (message or body part) of mime4j's tree: its first Content-Type
// (main value, lower-cased), the file of its decoded body, the entities below.
struct TEntity {
  bool Typed = false;
  std::string Type, Body;
  std::vector<TEntity> Parts;
};

// mime4j writes entities as <message> and <body-part>, with each header line
// in a <field> of their <header>, and a leaf's content file as
// <text-body name="..."/> or <binary-body name="..."/>. Markup in field text
// is escaped, so the next "<" ends it.
TEntity ReadEntities(const std::string& xml) {
  TEntity root;
  std::vector<TEntity*> open{&root};
  for (size_t lt = xml.find('<'); lt != std::string::npos; lt = xml.find('<', lt + 1)) {
    std::string tag = xml.substr(lt + 1, xml.find('>', lt) - lt - 1);
    TEntity& top = *open.back();
    if (tag == "message" || tag == "body-part") {
      top.Parts.emplace_back();
      open.push_back(&top.Parts.back());
    } else if (tag == "/message" || tag == "/body-part") {
      open.pop_back();
    } else if (tag == "field" && !top.Typed) {
      std::string text;
      for (size_t i = lt + 7; xml[i] != '<'; ++i)
        if (xml[i] != '\r' && xml[i] != '\n') text += xml[i];
      size_t colon = text.find(':');
      if (colon == std::string::npos || !SameText(Trim(text.substr(0, colon)), "content-type")) continue;
      std::string value = text.substr(colon + 1);
      top.Typed = true;
      top.Type = LowerCase(Trim(value.substr(0, value.find(';'))));
    } else if (tag.rfind("text-body ", 0) == 0 || tag.rfind("binary-body ", 0) == 0) {
      size_t quote = tag.find('"');
      top.Body = tag.substr(quote + 1, tag.find('"', quote + 1) - quote - 1);
    }
  }
  return root;
}

void Compare(const TLoaded& loaded, const std::string& dir, const TEntity& entity, TBodyPart& part,
             const std::string& path, std::vector<std::string>& diffs) {
  std::string type = part.ContentTypeKey();
  if (type != entity.Type) diffs.push_back(path + ": type " + type + " / " + entity.Type);
  std::vector<TBodyPart*> children = PathChildren(part);
  if (size_t n = entity.Parts.size(); children.size() != n)
    diffs.push_back(path + ": children " + std::to_string(children.size()) + " / " + std::to_string(n));
  for (size_t i = 0; i < children.size() && i < entity.Parts.size(); ++i)
    Compare(loaded, dir, entity.Parts[i], *children[i], path + "." + std::to_string(i + 1), diffs);
  if (entity.Body.empty() || !children.empty()) return;
  std::string want = ReadFileBytes(dir + entity.Body);
  auto same = [&](const std::string& form) { return form == want; };
  CompareContent(loaded, part, path, std::to_string(want.size()), same, diffs);
}

}  // namespace

TEST(CorpusCompare, mime4j_trees) {
  std::string base = Corpus() + "/mime4j/core/src/test/resources/";
  TESSEL_REQUIRE_CORPUS(base + "testmsgs/basic-plain.msg");
  TAgreement agreement(ReadKnown(TESSEL_TEST_DATA "/mime4j-differences.txt"));
  for (const std::string folder : {"testmsgs/", "mimetools-testmsgs/"}) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(base + folder))
      if (entry.path().extension() == ".msg") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      TEntity theirs = ReadEntities(ReadFileBytes(base + folder + name + "_decoded.xml"));
      if (theirs.Parts.empty()) continue;  // mime4j wrote no tree
      agreement.Check(folder + name, base + folder + name + ".msg",
                      [&](const TLoaded& loaded, TBodyPart& root, std::vector<std::string>& diffs) {
                        Compare(loaded, base + folder, theirs.Parts[0], root, "1", diffs);
                      });
    }
  }
  agreement.Report("mime4j", 80);
}
