// BER/DER data as a tree of element objects, the two readers that build such
// trees, and definite-length writing.
//
// ParseAsn reads a memory block recursively into a whole tree; TAsnParser
// reads a stream one element at a time (a constructed element first, then its
// content) and is what sniffs whether a body holds PKCS #7 data. Both read
// bytes from strangers' messages, so both refuse nesting deeper than
// kMaxAsnDepth and lengths that cannot be real.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/system/Exception.h"
#include "util/streams/Stream.h"

namespace tessel {

// Nesting cap of both parsers. PKCS #7 messages with certificate chains stay
// below 20 levels; 200 leaves room for odd data while keeping the recursive
// tree parser (and the recursive writer and destructor) far from the stack limit.
inline constexpr int32_t kMaxAsnDepth = 200;

// Identifier-octet classes as stored in TAsnElem::Class: the octet's top two
// bits shifted right by five, so always even.
enum : uint8_t { acUniversal = 0, acApplication = 2, acContext = 4, acPrivate = 6 };

// Size, then a pointer to that many octets: the layout of the platform's data
// blobs, so a certificate's name blob can be handed to ParseAsnBlob as it is.
struct Blob {
  int32_t Size = 0;
  uint8_t* Data = nullptr;
};

// Blobs that this library allocates (GetEncoded, SplitAsnChildren) own their
// record and data; the deleter releases both.
struct TBlobDeleter {
  void operator()(Blob* blob) const noexcept;
};
using TBlobPtr = std::unique_ptr<Blob, TBlobDeleter>;
// A new blob holding a copy of size octets at data.
TBlobPtr NewBlob(const void* data, int32_t size);

class TAsnElem {
public:
  TAsnElem() = default;
  TAsnElem(const TAsnElem&) = delete;
  TAsnElem& operator=(const TAsnElem&) = delete;
  virtual ~TAsnElem() = default;

  uint8_t Class = acUniversal;  // 0, 2, 4 or 6 (see above)
  bool Constructed = false;
  uint32_t Tag = 0;  // 31 stands for every high tag number; the real number is not kept
  // Set by TAsnParser only, on constructed elements: indefinite length, and
  // for definite ones the stream position just after the last content octet.
  bool Indefinite = false;
  int32_t EndPosition = 0;

  // The identifier octet: (Class << 5) | 0x20 when constructed | Tag; tag
  // numbers from 31 on in the high-tag form (0x1F, then base 128).
  virtual void WriteTag(TStream& stream) const;
  virtual int32_t ContentLength() const = 0;
  // Child at a 0-based index; nullptr for elements without children and for
  // indexes out of range.
  virtual TAsnElem* Items(int32_t index) const;
  // The content octets; maxOctets > 0 limits them where the class allows.
  virtual void WriteContent(TStream& stream, int32_t maxOctets) const = 0;
  // Identifier, definite length and content.
  virtual void WriteTo(TStream& stream) const;
  virtual TBlobPtr GetEncoded() const;
  // Base64 of the encoding, CR LF after every 76 characters.
  virtual std::string EncodedBase64() const;
  virtual int32_t Count() const;
  // One line such as "INTEGER, Length: 2, Value: 00C3".
  virtual std::string Describe() const;
  // Upper-case hex of the content, at most maxOctets octets (0: all) with the
  // note "... --Skipped N octets--" when cut; separator '\0' for none.
  virtual std::string ValueHex(int32_t maxOctets, char separator) const;
  virtual std::string ValueText(int32_t maxOctets) const;

  // "INTEGER", "SEQUENCE", ... from the tag number alone; "[n]" for others.
  std::string TagName() const;
  // The content octets (for a TSeq the encoding of its children). Valid while
  // the element lives.
  virtual std::string_view Content() const = 0;
};

// Appends TagName's text for a tag number.
void AppendAsnTagName(std::string& out, uint32_t tag);

// Primitive elements other than INTEGER (tree parser) and OBJECT IDENTIFIER.
class TUnknown : public TAsnElem {
public:
  TUnknown(uint32_t tag, uint8_t cls);
  TUnknown(uint32_t tag, uint8_t cls, std::string content);

  int32_t ContentLength() const override;
  void WriteContent(TStream& stream, int32_t maxOctets) const override;
  std::string_view Content() const override { return Content_; }
  void SetContent(std::string content) { Content_ = std::move(content); }

private:
  std::string Content_;
};

// Constructed elements. The encoding of the children is fixed the first time
// it is needed: children added later are not seen by ContentLength,
// WriteContent or Content.
class TSeq : public TAsnElem {
public:
  // Takes the children over; sets constructed and tag 16 (SEQUENCE).
  explicit TSeq(std::vector<std::unique_ptr<TAsnElem>> children = {});

  int32_t ContentLength() const override;
  TAsnElem* Items(int32_t index) const override;
  void WriteContent(TStream& stream, int32_t maxOctets) const override;
  int32_t Count() const override;
  std::string Describe() const override;
  std::string_view Content() const override;

  void Add(std::unique_ptr<TAsnElem> child) { Children_.push_back(std::move(child)); }
  void Reserve(size_t count) { Children_.reserve(count); }
  const std::vector<std::unique_ptr<TAsnElem>>& Children() const { return Children_; }

private:
  struct TFixed {
    size_t Count = 0;
    int32_t Length = 0;
    std::string Octets;
    bool HaveOctets = false;
  };
  const TFixed& FixEncoding() const;

  std::vector<std::unique_ptr<TAsnElem>> Children_;
  // Made on first need. Only the length and the number of children are kept
  // until the octets themselves are asked for, so that measuring every level
  // of a deep tree does not copy the data once per level.
  mutable std::unique_ptr<TFixed> Fixed_;
};

// Primitive elements whose content the system interprets.
class TAsnBuffered : public TAsnElem {
public:
  int32_t ContentLength() const override;
  void WriteContent(TStream& stream, int32_t maxOctets) const override;
  std::string_view Content() const override { return Content_; }

protected:
  TAsnBuffered(uint32_t tag, const void* data, int32_t size);
  std::string Content_;
};

class TOID : public TAsnBuffered {
public:
  TOID(const void* data, int32_t size);
  // Copies exactly size octets from the stream's position (the stream's read
  // error when fewer remain).
  TOID(TStream& stream, int32_t size);

  std::string Describe() const override;
  std::string ValueText(int32_t maxOctets) const override;
  // The dotted form, "1.2.840.113549.1.7.2".
  std::string Dotted() const;
};

class TInt : public TAsnBuffered {
public:
  TInt(const void* data, int32_t size);

  std::string Describe() const override;
  std::string ValueText(int32_t maxOctets) const override;
};

// A failure of the streaming parser; Offset is the stream position of the
// first octet of the element that could not be read.
class EAsnParseError : public Exception {
public:
  EAsnParseError(const std::string& message, int32_t offset) : Exception(message), Offset(offset) {}
  int32_t Offset;
};

// Why the tree parser gave nothing: Offset is that of the first octet of the
// innermost element that could not be read (the block's size when an
// indefinite length runs out of octets before its end-of-contents marker).
struct TAsnParseFailure {
  int32_t Offset = -1;
  std::string Reason;
};

// The first element of the block, with all its descendants; octets after it
// are ignored. Malformed, truncated or too deeply nested input gives nullptr,
// never a partial tree; failure, when given, then says where and why. used,
// when given, receives the number of octets the element took.
std::unique_ptr<TAsnElem> ParseAsn(const void* data, int32_t size, int32_t* used = nullptr,
                                   TAsnParseFailure* failure = nullptr);
std::unique_ptr<TAsnElem> ParseAsnBlob(const Blob& blob);

// One element as VisitAsn meets it: the fields a parsed tree's element would
// have, Depth 0 for the outermost. Content is a view into the parsed block:
// the content octets, empty for an indefinite length.
struct TAsnItem {
  int32_t Depth = 0;
  uint8_t Class = acUniversal;
  bool Constructed = false;
  uint32_t Tag = 0;
  bool Indefinite = false;
  std::string_view Content;
};

class TAsnVisitor {
public:
  virtual ~TAsnVisitor() = default;
  virtual void Visit(const TAsnItem& item) = 0;
};

// Reads the first element of the block as ParseAsn does, with the same
// results in used and failure, but builds no tree: the visitor is told of
// every element ParseAsn's tree would hold, parents before children, and of
// none when the element is malformed. For output that only walks the tree
// once, without the cost of a node per element.
bool VisitAsn(const void* data, int32_t size, TAsnVisitor& visitor, int32_t* used = nullptr,
              TAsnParseFailure* failure = nullptr);
// VisitAsn for a block CheckAsn has accepted, without proving it again.
// Given other octets, the visitor is told of the elements before the first
// fault.
void VisitCheckedAsn(const void* data, int32_t size, TAsnVisitor& visitor);
// ParseAsn's verdict (true when it would give a tree), used and failure,
// without building anything.
bool CheckAsn(const void* data, int32_t size, int32_t* used = nullptr, TAsnParseFailure* failure = nullptr);

// Appends one blob per child of the outer element at data: the child's
// content octets, or its whole encoding when wholeConstructed is set and the
// child is constructed. A primitive outer element gives one blob with its
// content. Stops at the first child that does not fit.
void SplitAsnChildren(const void* data, std::vector<TBlobPtr>& list, int32_t size, bool wholeConstructed);

// Reads elements one at a time from the stream's current position, in
// document order: a constructed element is returned before its content,
// without children. The parser owns every element it returned.
//
// Raises EAsnParseError("Unexpected EOF") when the stream ends inside
// identifier or length octets, EAsnParseError("Stream read error") when a
// length claims more than any stream can hold, and EAsnParseError("ASN.1
// nesting too deep") past kMaxAsnDepth open elements, each with the offset
// of the element's first octet. A stream that ends inside content raises its
// own read error.
class TAsnParser {
public:
  explicit TAsnParser(TStream& stream) : Stream_(stream) {}
  TAsnParser(const TAsnParser&) = delete;
  TAsnParser& operator=(const TAsnParser&) = delete;

  // The next element, or nullptr at the end of the stream or after the
  // end-of-contents marker of an outermost indefinite-length element.
  TAsnElem* Next();
  // The element Next returned last (nullptr before the first).
  TAsnElem* Last() const { return Last_; }
  // Number of constructed elements open after the last Next.
  int32_t Depth() const { return static_cast<int32_t>(Open_.size()); }
  // Nesting level of the element Next returned last: 0 for an outermost one.
  int32_t LastDepth() const { return LastDepth_; }

private:
  TStream& Stream_;
  std::vector<TSeq*> Open_;
  TAsnElem* Last_ = nullptr;
  int32_t LastDepth_ = 0;
  std::vector<std::unique_ptr<TAsnElem>> Returned_;
};

}  // namespace tessel
