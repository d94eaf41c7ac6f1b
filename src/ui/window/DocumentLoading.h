// How a document window gets its message: through the one routine the
// headless commands use as well, so the window and --dump never disagree.
#pragma once

#include <memory>
#include <string>

#include "mime/Message.h"

namespace tessel {

struct TLoadedDocument {
  std::unique_ptr<TMessage> Message;  // nullptr when the input did not load
  std::string Error;                  // why, in one line
};

// A message file (the line-end rule applied).
TLoadedDocument LoadDocumentFile(const std::string& fileName);
// A message held in memory (a drop): the same rules as a file.
TLoadedDocument LoadDocumentBytes(std::string bytes);

}  // namespace tessel
