#include "ui/window/DocumentLoading.h"

#include "mime/MessageFile.h"
#include "mime/MimeParser.h"
#include "smime/parts/SmimeParseOptions.h"

namespace tessel {

namespace {

template <class F>
TLoadedDocument Load(F&& build) {
  TLoadedDocument doc;
  try {
    doc.Message = build();
  } catch (const EMimeParseError& e) {
    doc.Error = e.Message();
    if (e.Offset >= 0) doc.Error += " (at offset " + std::to_string(e.Offset) + ")";
  } catch (const std::exception& e) {
    doc.Error = e.what();
  }
  return doc;
}

}  // namespace

TLoadedDocument LoadDocumentFile(const std::string& fileName) {
  return Load([&] { return OpenMessageFile(fileName, SmimeParseOptions()); });
}

TLoadedDocument LoadDocumentBytes(std::string bytes) {
  return Load([&] { return OpenMessageBytes(std::move(bytes), SmimeParseOptions()); });
}

}  // namespace tessel
