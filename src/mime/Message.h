// A message: one copy of the message bytes and the tree of body parts parsed
// from them, with the indexes the windows use (text part, HTML part, related
// part, attachments, content identifiers).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mime/ParseOptions.h"
#include "mime/bodypart.h"
#include "util/streams/Stream.h"
#include "util/system/TempFiles.h"
#include "util/text/Text.h"

namespace tessel {

class TMessage;

struct TContentId {
  std::string Id;  // the Content-ID in angle brackets
  TBodyPart* Part;
};

class TMessage {
public:
  // Each parse uses a copy of options kept by the message (its parts,
  // embedded messages and inner S/MIME roots refer to it).
  // Copies length bytes and parses them; raises EMimeParseError. The bytes
  // are taken as they are: no line-end conversion (OpenMessageBytes in
  // MessageFile.h applies it).
  TMessage(const char* data, int32_t length, const TParseOptions& options = MimeParseOptions());
  // Takes the bytes over without copying them.
  explicit TMessage(std::string&& bytes, const TParseOptions& options = MimeParseOptions());
  // Takes the text over (see MessageFile.h for loading files).
  explicit TMessage(std::unique_ptr<TText> text, const TParseOptions& options = MimeParseOptions());
  // The whole stream, from its start whatever its position.
  static std::unique_ptr<TMessage> CreateFromStream(TStream& stream, const TParseOptions& options = MimeParseOptions());
  ~TMessage();
  TMessage(const TMessage&) = delete;
  TMessage& operator=(const TMessage&) = delete;

  // Throws away every part and parses the kept text again. Raises the
  // parser's exception; the message then has no roots.
  void Reparse();

  // The parsed root first, then one inner root per peeled S/MIME layer.
  int32_t RootCount() const { return static_cast<int32_t>(Roots_.size()); }
  TBodyPart* Roots(int32_t i) const;
  // The first part whose Content-ID is id (angle brackets added when
  // missing), or nullptr.
  TBodyPart* FindContentId(const std::string& id) const;

  std::unique_ptr<TTempFiles> TempFiles;
  // Last "text/plain" part in depth-first order that is no attachment and
  // has no Content-ID; the same for "text/html".
  TBodyPart* TextPart = nullptr;
  TBodyPart* HtmlPart = nullptr;
  // The part parsed from the start of the text (Roots(0)).
  TBodyPart* RootPart = nullptr;
  // First "multipart/related" part in depth-first order.
  TBodyPart* RelatedPart = nullptr;
  // Every part with the attachment flag that is not a multipart.
  std::vector<TBodyPart*> Attachments;
  std::unique_ptr<TText> Text;
  std::unique_ptr<TSecuritySummary> SecurityInfo;
  // In depth-first order; duplicates stay.
  std::vector<TContentId> ContentIds;
  const TParseOptions& Options() const { return Options_; }

private:
  void Initialize();
  void Parse();
  void CollectAll();
  bool CollectParts(int32_t level, TBodyPart* part);

  // Declared before the roots, which refer to it and go first.
  TParseOptions Options_;
  // Root 0 is owned here; the inner roots added by peeling belong to the
  // S/MIME part they came from.
  std::unique_ptr<TBodyPart> Root_;
  std::vector<TBodyPart*> Roots_;
};

}  // namespace tessel
