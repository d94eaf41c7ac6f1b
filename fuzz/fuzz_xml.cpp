// An XML document from a stranger, read as the configuration file is read:
// the parser drives the configuration loader's handlers into a key tree.
// What loaded is then saved and loaded again, which must give the same
// document: a save that does not load back loses the user's settings. The
// one change allowed is the line-end rule of text values: a CR written in a
// CDATA section reads back as LF. Such a document must be saved the same
// from its second load on.
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "config/QXConf.h"
#include "util/charsets/Charsets.h"

using namespace tessel;

namespace {

// Whether the document, read in its encoding, holds a CR inside a CDATA section.
bool CrInCData(const std::string& bytes, const char* encoding) {
  std::optional<std::string> text = CharsetToUtf8(encoding, bytes);
  FUZZ_CHECK(text.has_value(), "saved in an unknown encoding");
  const std::string& s = *text;
  for (size_t at = s.find("<![CDATA["); at != std::string::npos; at = s.find("<![CDATA[", at + 1)) {
    size_t end = s.find("]]>", at);
    if (s.find('\r', at) < end) return true;
  }
  return false;
}

std::string Resave(const std::string& text, const char* encoding) {
  TQXConfigFile config;
  config.Silent = false;
  try {
    config.LoadFromString(text);
  } catch (const Exception& e) {
    std::fprintf(stderr, "reload: %s\n", e.Message().c_str());
    FUZZ_CHECK(false, "a saved configuration does not load again");
  }
  return config.SaveToString(encoding);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kEncodings[] = {"utf-8", "iso-8859-2", "utf-7", "windows-1250"};
  std::string text(reinterpret_cast<const char*>(data), size);
  TQXConfigFile config;
  config.Silent = false;
  try {
    config.LoadFromString(text);
  } catch (const Exception&) {
    return 0;
  }
  const char* encoding = kEncodings[size % 4];
  std::string saved = config.SaveToString(encoding);

  std::string resaved = Resave(saved, encoding);
  if (resaved != saved) {
    std::fprintf(stderr, "saved:\n%s\nsaved again:\n%s\n", saved.c_str(), resaved.c_str());
    FUZZ_CHECK(CrInCData(saved, encoding), "a saved configuration loads as another tree");
    FUZZ_CHECK(Resave(resaved, encoding) == resaved, "a saved configuration loads as another tree twice");
  }
  return 0;
}
