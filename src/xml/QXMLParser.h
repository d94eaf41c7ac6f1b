// A non-validating XML 1.0 parser with namespaces that reports what it reads
// as SAX events.
//
// A recursive-descent parser: each production reads characters from the
// entity being parsed and gives back what it does not use. Including an
// entity parses that entity with the same routines, so events from included
// text arrive in document order. There is no error recovery: the first
// error ends the parse with an EXMLParseError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "xml/BindingStack.h"
#include "xml/Entity.h"
#include "xml/QXMLUtils.h"
#include "xml/WideStringList.h"
#include "xml/WideStringMap.h"
#include "util/system/Exception.h"
#include "util/streams/Stream.h"
#include "util/text/WStringBuf.h"

namespace tessel {

// Deeper nesting is no real document, and each level costs a few stack
// frames: 2000 levels stay far inside the default thread stack.
constexpr int32_t kMaxElementDepth = 2000;
// Entities that include entities: a few levels are common, 64 is plenty and
// bounds the recursion of inclusion.
constexpr int32_t kMaxEntityDepth = 64;
// Parenthesised groups in an element declaration nest through recursion too.
constexpr int32_t kMaxModelDepth = 200;
// Entity text read in one parse (replacement texts, external entities read
// again on each reference, parameter entities copied into entity values):
// far above what a real document needs, far below what exhausts memory or
// time when entities expand each other exponentially.
constexpr int64_t kMaxExpansionChars = 10'000'000;

// A parse error. The message is the error text alone; where it happened is
// kept beside it (line and column of the next character of the entity that
// was being read, and that entity's system identifier).
class EXMLParseError : public Exception {
public:
  EXMLParseError(const std::string& message, int32_t line, int32_t column, std::u16string systemId)
      : Exception(message), Line(line), Column(column), SystemId(std::move(systemId)) {}
  int32_t Line;
  int32_t Column;
  std::u16string SystemId;
};

// Namespace name (UTF-8) for an undeclared prefix, "" for none.
using TPrefixResolver = std::function<std::string(const std::u16string& prefix)>;
// The stream of an identifier, or nullptr; a returned stream becomes the parser's.
using TIdResolver = std::function<std::unique_ptr<TStream>(const std::u16string& id)>;

class TQXMLParser {
public:
  TQXMLParser();
  ~TQXMLParser();
  TQXMLParser(const TQXMLParser&) = delete;
  TQXMLParser& operator=(const TQXMLParser&) = delete;

  // Parses the stream from its start; the parser takes the stream and frees it.
  void Parse(std::unique_ptr<TStream> stream);
  // The same for a stream read from the file systemId names: relative system
  // identifiers in it are resolved against that file's folder.
  void Parse(std::unique_ptr<TStream> stream, const std::u16string& systemId);
  // Parses the file; relative system identifiers are resolved against its folder.
  void ParseFile(const std::u16string& fileName);
  // Forgets the previous document and every declared entity.
  void Reset();

  // The events; unset ones are skipped. Copy a client's table with
  // `parser.Events = client.Events`.
  TSaxEvents Events;

  TBindingStack Bindings;
  std::u16string DefaultNamespace;
  bool Standalone = false;
  TPrefixResolver PrefixResolver;
  TWideStringMap GeneralEntityTexts;           // internal entities without markup
  TWideStringMap ParameterEntityTexts;         // internal parameter entities
  TWideStringList<TEntity> GeneralEntities;    // entities with markup, external ones
  TWideStringList<TEntity> ParameterEntities;  // external parameter entities
  // Undeclared prefixes give an empty namespace name instead of an error.
  bool SkipPrefixDeclared = false;
  bool InDoctype = false;
  // The main input is a document (true) or an external parsed entity (false).
  bool IsDocument = true;
  // Not consulted: input without a byte-order mark or declaration is UTF-8.
  std::u16string Encoding = u"UTF-8";
  TIdResolver SystemIdResolver;
  TIdResolver PublicIdResolver;
  std::vector<std::string> OpenEntityNames;

  // The caps, adjustable for tests and special callers.
  int32_t MaxElementDepth = kMaxElementDepth;
  int64_t MaxExpansionChars = kMaxExpansionChars;

  TEntity* DocumentEntity() const { return Document_.get(); }

  // --- used by TEntity ---
  [[noreturn]] void Fail(const std::string& message);
  void CountExpansion(int64_t chars);
  TWSBufFactory& BufferPool() { return Pool_; }

private:
  struct TFrame {
    TQName Name;
    std::u16string SavedDefault;
    size_t BindingMark = 0;
  };

  class TEntityScope;

  void Run();
  // Ends what a parse leaves behind: the open DOCTYPE, pending text,
  // attributes, namespace bindings.
  void DropParseState();
  // Pops the namespace bindings pushed since mark of them were in place.
  void PopBindings(size_t mark);
  void ParseMain();
  void ParseDocument();
  void ParseXmlDecl();
  void ParseTextDecl();
  void ReadVersionInfo();
  void ReadEncodingDecl();
  void ParseMisc(bool allowDoctype);
  void ParseComment();
  void ParsePI();
  void ParseElement(int32_t depth);
  // A start tag's name and attributes up to its closing ">" or "/>", taken
  // from the chunk; false, with nothing taken, when the chunk cannot tell.
  bool TakeStartTagFromChunk(TQName& name, size_t& count);
  // Attributes after the element name into the pooled ones, count of them.
  void ReadAttributes(size_t& count);
  void ParseContent(int32_t depth, bool inElement);
  void ParseCData();
  void ParseReferenceInContent(int32_t depth);
  void ReadAttValue(std::u16string& out);
  char16_t ReadCharRef();
  // Fast paths of references whose text lies whole in the decoded chunk:
  // false, with nothing read, when the chunk cannot tell.
  bool TakeCharRefFromChunk(char16_t& out);
  // A predefined entity's character goes to predefined, any other name to name.
  bool TakeRefNameFromChunk(std::u16string& name, char16_t& predefined);
  // A namespace name in both forms.
  struct TNsName {
    std::u16string Wide;
    std::string Key;
  };
  // Binds the tag's namespace declarations and fills the attribute list
  // with the first count pooled attributes.
  void ResolveNames(size_t count);
  // Takes the name of an end tag when it is qname, as the chunk shows;
  // false (nothing taken) when the chunk cannot tell.
  bool SkipEndName(const std::u16string& qname);
  // nullptr for no namespace.
  const TNsName* ResolvePrefix(const std::u16string& prefix, bool isElement);
  const TNsName* NsOfWide(const std::u16string& wide);
  const TNsName* NsOfKey(const std::string& key);
  void Flush();

  // DTD
  void ParseDoctype();
  void ParseMarkupDecls(bool internalSubset);
  bool SkipDtdS();
  void RequireDtdS();
  void ParseElementDecl();
  void ParseContentParticle(int32_t depth);
  void ParseGroup(int32_t depth);
  void ParseAttlistDecl();
  void ParseEntityDecl();
  void ParseNotationDecl();
  void ReadEntityValue(std::u16string& out);
  void ReadExternalId(std::u16string& systemId, std::u16string& publicId, bool systemOptional);
  // A quoted system literal, or a public identifier literal when pubid is set.
  void ReadLiteral(std::u16string& out, bool pubid);
  void DeclareEntity(const std::u16string& name, bool parameter, const std::u16string& value,
                     const std::u16string& systemId, const std::u16string& publicId, const std::u16string& notation,
                     bool external);
  std::u16string ResolveSystemId(const std::u16string& systemId);

  // Entities
  void IncludeInContent(TEntity& entity, const std::u16string& name, int32_t depth);
  void IncludeDeclarations(TEntity& entity, const std::u16string& name);
  void IncludeLiterally(TEntity& entity, std::u16string& out);
  void ParseTextDeclIfAny();

  // Reading helpers
  char16_t Next() { return E_->NextChar(); }
  // Takes c (never CR) when it is the next unit of the chunk with nothing
  // pushed back before it; false, with nothing taken, otherwise.
  bool TakeIf(char16_t c) {
    TEntity& e = *E_;
    if (!e.PushbackEmpty() || e.ChunkPos() == e.ChunkEnd() || *e.ChunkPos() != c) return false;
    e.Consume(1);
    return true;
  }
  void Back(char16_t c) { E_->PushBack(c); }
  int32_t Peek() { return E_->Peek(); }
  bool Match(std::u16string_view s);
  bool SkipS();
  void RequireS();
  // "=" with optional white space around it.
  void ReadEq();
  // Characters that pass keep, at least one; appended to out when given.
  void ReadOneOrMore(bool (*keep)(int32_t), std::u16string* out);
  void Expect(char16_t c);
  void Expect(std::u16string_view s);
  void ReadName(std::u16string& out);
  void ReadQName(std::u16string& qname, std::u16string& prefix, std::u16string& local);
  void ReadNCNameRest(std::u16string& out);
  char16_t ReadQuote();
  [[noreturn]] void FailMissing(std::u16string_view what);

  TWSBufFactory Pool_;
  std::unique_ptr<TEntity> Document_;
  TEntity* E_ = nullptr;         // the entity being read
  TWStringBuf* Text_ = nullptr;  // character data gathered in content
  std::vector<TFrame> Frames_;
  std::vector<std::unique_ptr<TAttribute>> AttrPool_;  // the attributes of the tag being read
  TAttrList AttrList_;
  std::vector<std::u16string> BoundPrefixes_;  // every binding pushed, innermost last
  std::vector<std::string> OpenParameterNames_;
  int32_t EntityDepth_ = 0;
  int64_t Expansion_ = 0;
  static constexpr size_t kNsCacheSize = 64;
  std::vector<TNsName> NsCache_;  // namespace names seen, few in any document
  size_t NsLast_ = 0;             // index of the last one found
  // Prefixes resolved through a binding lately, each with the binding
  // stack's generation at the time and its namespace name in NsCache_.
  struct TPrefixHit {
    std::u16string Prefix;
    uint64_t Generation = 0;
    const TNsName* Ns = nullptr;
  };
  TPrefixHit PrefixHits_[4];
  size_t PrefixHitNext_ = 0;
  std::u16string PrefixKey_;  // "xmlns:" + prefix
  std::u16string EndQName_, EndPrefix_, EndLocal_;
  std::u16string RefName_;
  std::string RefKey_;
  // The text entity last referred to in content.
  std::u16string RefTextName_;
  uint64_t RefTextGeneration_ = 0;
  const std::u16string* RefText_ = nullptr;
  bool RefTextPlain_ = false;  // RefText_ holds no unit that needs attention
  std::u16string Scratch_;
};

}  // namespace tessel
