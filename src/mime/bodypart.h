// Body parts: one MIME entity of a message, kept as offsets into the message
// text plus the header fields parsed from it, with its content produced on
// demand.
//
// A part owns its children; a child that is freed leaves its parent's
// children (and the parent's attachment list) first. Offsets are never
// adjusted after parsing, so the text a part refers to must outlive it.
//
// The class of a part follows its content type (see MimeParser.h): plain
// parts are TBodyPart, embedded messages TRFC822BodyPart; further classes
// (the S/MIME parts) join through the parse options (ParseOptions.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mime/FieldList.h"
#include "mime/Findings.h"
#include "mime/HeaderDecoding.h"
#include "mime/ParseOptions.h"
#include "util/streams/ChainMemoryStream.h"
#include "util/streams/Stream.h"
#include "util/text/Text.h"

namespace tessel {

class TBodyPart {
public:
  // An empty part (no text yet).
  TBodyPart();
  // A part whose header starts at the reader's position in the reader's text.
  explicit TBodyPart(const TTextReader& reader);
  virtual ~TBodyPart();
  TBodyPart(const TBodyPart&) = delete;
  TBodyPart& operator=(const TBodyPart&) = delete;

  // --- operations that classes refine -------------------------------------

  // Derives IsAttachment, Name, FileName, IsText and Attachments from the
  // parsed fields.
  virtual void Analyze();
  // An empty part of this object's own class (what CreateFrom builds on).
  virtual std::unique_ptr<TBodyPart> NewOfClass() const;
  // The short class name the structure listing shows ("rfc822"), or nullptr
  // for a plain part.
  virtual const char* ClassTag() const { return nullptr; }
  // Further space-separated "name=value" fields the structure listing shows
  // after the class name ("" for none).
  virtual std::string ListingDetails() const { return std::string(); }
  // The one part shown below this one in place of children (the embedded
  // message), made on first use; nullptr when there is none. May raise the
  // parser's exception.
  virtual TBodyPart* InnerRoot() { return nullptr; }
  // Whether child, one of this part's children, enters the message's
  // indexes (a signature part does not).
  virtual bool IndexesChild(const TBodyPart& /*child*/) const { return true; }
  // For a part that is a message root and holds an enclosed layer (S/MIME):
  // the inner root the message adds to its roots, or nullptr.
  virtual TBodyPart* PeelLayer() { return nullptr; }

  // A part of class T that takes over source's fields and children: with
  // deepCopy the children are copied (each with its own class), otherwise
  // they are moved and source is left without them. The new part is not
  // linked to source's parent; the caller places it (see ReplaceChild).
  template <class T = TBodyPart>
  static std::unique_ptr<T> CreateFrom(TBodyPart& source, bool deepCopy) {
    auto part = std::make_unique<T>();
    part->TakeOver(source, deepCopy);
    return part;
  }
  // The same with the class of prototype.
  static std::unique_ptr<TBodyPart> CreateFrom(const TBodyPart& prototype, TBodyPart& source, bool deepCopy);
  // The CreateFrom work on an existing object: fields copied, or moved
  // when deepCopy is false; children as above. Parent links stay as they are.
  void TakeOver(TBodyPart& source, bool deepCopy);

  // --- header ------------------------------------------------------------

  // The value under name in Params (header names and parameter names share
  // that list; names compare without regard to case) as UTF-16; empty when
  // there is none.
  std::u16string GetField(const std::string& name) const;
  // The same as UTF-8.
  std::string GetFieldUtf8(const std::string& name) const;
  int32_t HeaderCount() const { return static_cast<int32_t>(Headers.size()); }
  const std::string& HeaderName(int32_t i) const { return Headers[static_cast<size_t>(i)].Name; }
  const std::string& HeaderValue(int32_t i) const { return Headers[static_cast<size_t>(i)].Value; }
  // The whole value of the last header line named name (without regard to
  // case), or nullptr when there is none or that line's value is empty: a
  // later line replaces an earlier one, an empty value removes it.
  const std::string* FieldValue(const std::string& name) const;
  // Records one unfolded header line. A line without a colon raises
  // EMimeParseError "Invalid header:" + line, with offset as its position.
  void ParseHeaderLine(std::string line, int32_t offset = -1);

  // --- tree --------------------------------------------------------------

  int32_t ChildCount() const { return static_cast<int32_t>(Children_.size()); }
  // nullptr when i is outside 0 .. ChildCount - 1.
  TBodyPart* Children(int32_t i) const;
  TBodyPart* Parent() const { return Parent_; }
  // Appends child; this part becomes its parent and owner.
  TBodyPart* AddChild(std::unique_ptr<TBodyPart> child);
  // Takes child out of the children (and Attachments) without freeing it.
  std::unique_ptr<TBodyPart> ExtractChild(const TBodyPart* child);
  // Puts replacement in old's place among the children and returns old,
  // taken out; nullptr (and replacement freed) when old is not a child.
  std::unique_ptr<TBodyPart> ReplaceChild(const TBodyPart* old, std::unique_ptr<TBodyPart> replacement);

  // --- content -----------------------------------------------------------
  // A range whose end is not after its start yields no bytes.

  // The body as stored, BodyStart up to BodyEnd.
  void GetRawContent(TStream& stream) const;
  std::unique_ptr<TChainMemoryStream> GetRawContent() const;
  // The body decoded by TransferEncoding ("base64", "quoted-printable" in any
  // letter case; anything else copies). Base64 faults raise "Invalid input"
  // after the bytes before the fault are written.
  void GetDecodedContent(TStream& stream) const;
  std::unique_ptr<TChainMemoryStream> GetDecodedContent() const;
  // Header block, blank line and body: HeaderStart up to BodyEnd.
  void GetWholePart(TStream& stream) const;
  std::unique_ptr<TChainMemoryStream> GetWholePart() const;
  std::string GetRawText() const;
  // The header block as stored, read as plain 8-bit text.
  std::u16string GetHeaderText() const;
  // Length of the raw body (0 for an empty or inverted range).
  int32_t RawSize() const { return BodyEnd > BodyStart ? BodyEnd - BodyStart : 0; }

  // --- data --------------------------------------------------------------

  // The header lines in order of occurrence: names as written (trimmed),
  // values trimmed, unfolded, encoded words decoded; UTF-8.
  struct THeaderLine {
    std::string Name;
    std::string Value;
  };
  std::vector<THeaderLine> Headers;
  // Every header line as lower-case name = value (a later line replaces, an
  // empty value removes), except that "content-*" headers hold their main
  // value and add their parameters under lower-case parameter names.
  TFieldList Params;
  // For a multipart: CR LF "--" boundary; else empty.
  std::string Delimiter;
  bool IsMultipart = false;
  // The children with IsAttachment, in order.
  std::vector<TBodyPart*> Attachments;
  bool IsAttachment = false;
  std::u16string Name;
  // Main value of Content-Type as written; empty without the header.
  std::u16string ContentType;
  std::u16string TransferEncoding;
  std::u16string FileName;
  int32_t HeaderStart = 0;
  int32_t BodyStart = 0;
  // First byte after the body: for a part followed by a delimiter, the
  // delimiter's CR (BodyStart - 2 for an empty body whose blank line is the
  // delimiter's CR LF).
  int32_t BodyEnd = 0;
  // The text the offsets refer to (not owned).
  TText* Text = nullptr;
  bool IsText = false;
  // Nesting level below the outermost message root (0 for roots).
  int32_t Depth = 0;
  // The options this part was parsed with (not owned; the message keeps
  // them), which embedded content parses with too; nullptr for a part made
  // outside a parse, which then uses MimeParseOptions().
  const TParseOptions* Options = nullptr;
  const TParseOptions& ParseOptions() const { return Options ? *Options : MimeParseOptions(); }
  // What header decoding had to make of bad input in this part's header.
  THeaderProblems Problems;
  // What the parser had to repair or guess in this part (Findings.h);
  // offsets in Text.
  std::vector<TFinding> Findings;

  // Lower-cased ContentType as UTF-8, the form class choice and the indexes
  // compare (set together with ContentType by ParseHeaderLine).
  const std::string& ContentTypeKey() const { return ContentTypeKey_; }

private:
  std::string ContentTypeKey_;
  // A Content-Type / Content-Transfer-Encoding line was read already (a
  // further one is a finding).
  bool SawContentType_ = false;
  bool SawEncoding_ = false;
  std::vector<std::unique_ptr<TBodyPart>> Children_;
  TBodyPart* Parent_ = nullptr;
};

// The error of an embedded message or layer whose decoded copy would take
// the message past its memory account.
inline constexpr const char* kTooLargeToDecode = "Not decoded: the message's memory limit is reached";

// A "message/rfc822" part: its body is a message of its own, parsed on
// first use.
class TRFC822BodyPart : public TBodyPart {
public:
  TRFC822BodyPart() = default;
  ~TRFC822BodyPart() override;

  std::unique_ptr<TBodyPart> NewOfClass() const override { return std::make_unique<TRFC822BodyPart>(); }
  const char* ClassTag() const override { return "rfc822"; }
  TBodyPart* InnerRoot() override { return Message(); }

  // The root part of the embedded message, parsed on the first call; later
  // calls return the same part. A body that does not parse raises the
  // parser's exception on every call. nullptr when the part lies too deep
  // for another level of nesting (see kMaxNestingDepth).
  TBodyPart* Message();
  // The text the embedded message's offsets refer to: the body slice of
  // Text, or, for a base64 or quoted-printable body, the decoded bytes.
  TText* MessageText() const { return MessageText_.get(); }

private:
  std::unique_ptr<TText> MessageText_;
  std::unique_ptr<TBodyPart> Message_;
  bool Parsed_ = false;
  std::string Error_;
  int32_t ErrorOffset_ = -1;
};

}  // namespace tessel
