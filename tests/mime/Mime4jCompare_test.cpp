// The part trees the engine builds for the mime4j test messages, compared
// with the trees mime4j wrote for them (NAME_decoded.xml): nesting, content
// types, and each leaf's decoded bytes (NAME_decoded_<path>.txt|.bin).
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "CorpusSupport.h"
#include "util/StringUtils.h"

using namespace tessel;
using namespace corpus;

namespace {

// Messages whose tree differs from mime4j's on purpose, with the rule of
// this engine that makes the difference.
const std::map<std::string, std::string> kDifferent = {
    {"mimetools-testmsgs/2002_06_12_doublebound", reason::DelimiterLine},
    {"mimetools-testmsgs/double-bound", reason::DelimiterLine},
    {"mimetools-testmsgs/double-semicolon", reason::NoBoundary},
    {"mimetools-testmsgs/double-semicolon2", reason::NoBoundary},
    {"mimetools-testmsgs/hdr-fakeout", reason::BlankLine},
    {"mimetools-testmsgs/multi-bad", reason::LastContentType},
    {"mimetools-testmsgs/multi-digest", reason::Digest},
    {"testmsgs/basic-plain-with-bad-header-separator", reason::NoHeader},
    {"testmsgs/malformedHeader-nocrlfcrlf", reason::NoHeader},
    {"testmsgs/malformedHeader-noheader", reason::NoHeader},
    {"testmsgs/malformedHeaderStartsBody-nocrlfcrlf", reason::NoHeader},
    {"testmsgs/malformedHeaderStartsBody-noheader", reason::NoHeader},
    {"testmsgs/multipartdigestnestedemptyparts", reason::Digest},
    {"testmsgs/multipartemptypart", reason::DelimiterLine},
    {"testmsgs/very-long-boundary", reason::UnclosedWord},
    {"testmsgs/very-very-long-boundary", reason::UnclosedWord},
};

// Main value of the first Content-Type field of an entity, lower-cased.
std::string EntityType(const TXmlElement& entity) {
  const TXmlElement* header = entity.Child("header");
  if (!header) return std::string();
  for (const auto& field : header->Children) {
    std::string text;
    for (char c : field->Text)
      if (c != '\r' && c != '\n') text += c;
    size_t colon = text.find(':');
    if (colon == std::string::npos || !SameText(Trim(text.substr(0, colon)), "content-type")) continue;
    std::string value = text.substr(colon + 1);
    return LowerCase(Trim(value.substr(0, value.find(';'))));
  }
  return std::string();
}

void Compare(const TLoaded& loaded, const std::string& dir, const TXmlElement& entity, TBodyPart& part,
             const std::string& path, std::vector<std::string>& diffs) {
  std::string theirs = EntityType(entity);
  if (part.ContentTypeKey() != theirs) diffs.push_back(path + ": type " + part.ContentTypeKey() + " / " + theirs);
  std::vector<const TXmlElement*> expected;
  const TXmlElement* body = nullptr;
  if (const TXmlElement* multipart = entity.Child("multipart")) {
    for (const auto& c : multipart->Children)
      if (c->Name == "body-part") expected.push_back(c.get());
  } else if (const TXmlElement* message = entity.Child("message")) {
    expected.push_back(message);
  } else {
    body = entity.Child("text-body");
    if (!body) body = entity.Child("binary-body");
  }
  std::vector<TBodyPart*> children = PathChildren(part);
  if (children.size() != expected.size())
    diffs.push_back(path + ": children " + std::to_string(children.size()) + " / " + std::to_string(expected.size()));
  for (size_t i = 0; i < children.size() && i < expected.size(); ++i)
    Compare(loaded, dir, *expected[i], *children[i], path + "." + std::to_string(i + 1), diffs);
  if (!body || !children.empty()) return;
  std::string want = ReadAll(dir + body->Attributes.at("name"));
  for (const std::string& form : ContentForms(loaded, part))
    if (form == want) return;
  diffs.push_back(path + ": content " + std::to_string(Decoded(part).size()) + " bytes / " +
                  std::to_string(want.size()) + " (" + WideToUtf8(part.TransferEncoding) + ")");
}

}  // namespace

TEST(corpus_compare, mime4j_trees) {
  std::string base = Corpus() + "/mime4j/core/src/test/resources/";
  if (!Exists(base + "testmsgs/basic-plain.msg")) GTEST_SKIP() << "corpus not found";
  int total = 0, agreeing = 0;
  for (const char* folder : {"testmsgs/", "mimetools-testmsgs/"}) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(base + folder))
      if (entry.path().extension() == ".msg") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      std::string dir = base + folder;
      std::unique_ptr<TXmlElement> xml = ReadXmlTree(ReadAll(dir + name + "_decoded.xml"));
      const TXmlElement* message = xml->Child("message");
      if (!message) continue;
      ++total;
      TLoaded loaded = Load(dir + name + ".msg");
      std::vector<std::string> diffs;
      if (!loaded.Message)
        diffs.push_back("not parsed: " + loaded.Error);
      else
        Compare(loaded, dir, *message, *loaded.Message->RootPart, "1", diffs);
      std::string key = std::string(folder) + name;
      auto known = kDifferent.find(key);
      if (diffs.empty()) {
        ++agreeing;
        EXPECT_TRUE(known == kDifferent.end()) << key << " now agrees; drop it from the list";
      } else if (known == kDifferent.end()) {
        ADD_FAILURE() << key << "\n  " << JoinStrings(diffs, "\n  ");
      }
    }
  }
  std::cout << "mime4j agreement: " << agreeing << " of " << total << " messages\n";
}
