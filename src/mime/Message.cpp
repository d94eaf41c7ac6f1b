#include "mime/Message.h"

#include <algorithm>
#include <exception>

#include "mime/MimeParser.h"
#include "util/text/StringUtils.h"

namespace tessel {

TMessage::TMessage(const char* data, int32_t length, const TParseOptions& options)
    : Text(std::make_unique<TText>(data, length)), Options_(options) {
  Parse();
}

TMessage::TMessage(std::string&& bytes, const TParseOptions& options)
    : Text(std::make_unique<TText>(std::move(bytes))), Options_(options) {
  Parse();
}

TMessage::TMessage(std::unique_ptr<TText> text, const TParseOptions& options)
    : Text(text ? std::move(text) : std::make_unique<TText>("", 0)), Options_(options) {
  Parse();
}

std::unique_ptr<TMessage> TMessage::CreateFromStream(TStream& stream, const TParseOptions& options) {
  std::string bytes(static_cast<size_t>(std::max(stream.GetSize(), 0)), '\0');
  stream.SetPosition(0);
  int32_t read = 0;
  while (read < static_cast<int32_t>(bytes.size())) {
    int32_t n = stream.Read(bytes.data() + read, static_cast<int32_t>(bytes.size()) - read);
    if (n <= 0) break;
    read += n;
  }
  bytes.resize(static_cast<size_t>(read));
  return std::make_unique<TMessage>(std::move(bytes), options);
}

TMessage::~TMessage() {
  // Parts first: they refer into Text, and peeled roots into their layers.
  Roots_.clear();
  Root_.reset();
}

void TMessage::Initialize() {
  Attachments.clear();
  SecurityInfo.reset();
  Roots_.clear();
  Root_.reset();
  ContentIds.clear();
  TempFiles = std::make_unique<TTempFiles>(true);
  TextPart = HtmlPart = RelatedPart = RootPart = nullptr;
  int64_t limit = Options_.MemoryLimit >= 0 ? Options_.MemoryLimit : 3 * int64_t(Text->Length()) + (int64_t(48) << 20);
  Options_.Account = std::make_shared<TMemoryAccount>(limit);
  Options_.Context = Options_.Hooks.CreateContext ? Options_.Hooks.CreateContext() : nullptr;
  if (Options_.Hooks.CreateSummary) SecurityInfo = Options_.Hooks.CreateSummary();
}

void TMessage::Parse() {
  Initialize();
  Root_ = ParseBodyPart(*Text->CreateReader(), Options_);
  RootPart = Root_.get();
  Roots_.push_back(RootPart);
  CollectAll();
}

void TMessage::Reparse() { Parse(); }

TBodyPart* TMessage::Roots(int32_t i) const {
  return i >= 0 && i < RootCount() ? Roots_[static_cast<size_t>(i)] : nullptr;
}

TBodyPart* TMessage::FindContentId(const std::string& id) const {
  std::string key = AngleBracket(id);
  for (const TContentId& item : ContentIds)
    if (item.Id == key) return item.Part;
  return nullptr;
}

void TMessage::CollectAll() {
  try {
    // Each pass that peels a layer adds an inner root, walked next. The
    // nesting cap bounds a chain of layers that each hold another.
    while (RootCount() <= Options_.MaxNestingDepth && CollectParts(0, Roots_.back())) {
    }
  } catch (const std::exception&) {
    // What was collected so far stays.
  }
  if (Options_.Hooks.BuildSummary) Options_.Hooks.BuildSummary(*this);
}

bool TMessage::CollectParts(int32_t level, TBodyPart* part) {
  if (part->Parent() && !part->Parent()->IndexesChild(*part)) return false;
  std::string id = part->GetFieldUtf8("content-id");
  if (!id.empty()) ContentIds.push_back(TContentId{AngleBracket(id), part});
  std::string type = part->ContentTypeKey();
  if (type == "application/x-pkcs7-mime" || type == "application/pkcs7-mime") {
    if (level == 0) {
      if (TBodyPart* inner = part->PeelLayer()) {
        Roots_.push_back(inner);
        return true;
      }
    }
  } else if (type == "text/plain") {
    if (!part->IsAttachment && id.empty()) TextPart = part;
  } else if (type == "text/html") {
    if (!part->IsAttachment && id.empty()) HtmlPart = part;
  } else if (type == "multipart/related") {
    if (!RelatedPart) RelatedPart = part;
  }
  if (part->IsAttachment && !part->IsMultipart) Attachments.push_back(part);
  for (int32_t i = 0; i < part->ChildCount(); ++i) CollectParts(level + 1, part->Children(i));
  return false;
}

}  // namespace tessel
