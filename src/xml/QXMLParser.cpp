#include "xml/QXMLParser.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "xml/KeyText.h"
#include "util/text/StringUtils.h"

namespace tessel {

namespace {

// The namespace name that marks namespace declarations in attribute lists.
const char kXmlnsNamespace[] = "\x01\x02\x03";
const char kXmlNamespace[] = "http://www.w3.org/XML/1998/namespace";

const char16_t* const kPredefinedNames[] = {u"amp", u"lt", u"gt", u"apos", u"quot"};
const char16_t kPredefinedChars[] = {u'&', u'<', u'>', u'\'', u'"'};

// The character of a predefined entity, or 0.
char16_t Predefined(std::u16string_view name) {
  // By length first: most names in content are one of these.
  switch (name.size()) {
    case 2:
      if (name[1] != u't') return 0;
      return name[0] == u'l' ? u'<' : name[0] == u'g' ? u'>' : 0;
    case 3: return name[0] == u'a' && name[1] == u'm' && name[2] == u'p' ? u'&' : 0;
    case 4:
      if (name == kPredefinedNames[3]) return kPredefinedChars[3];
      if (name == kPredefinedNames[4]) return kPredefinedChars[4];
      return 0;
    default: return 0;
  }
}

bool IsAsciiLetter(int32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(int32_t c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(int32_t c) { return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsEncNameChar(int32_t c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '.' || c == '_' || c == '-'; }
bool IsVersionNumChar(int32_t c) { return IsEncNameChar(c) || c == ':'; }
bool IsPlainText(char16_t c) { return xmlchars::Table[c] & xmlchars::kPlainText; }

const char kOneOrMore[] = "Expected at least 1 occurrences of char from set";

bool IsPubidChar(char16_t c) {
  if (IsAsciiLetter(c) || IsAsciiDigit(c)) return true;
  switch (c) {
    case u'\n':
    case u'\r':
    case u' ':
    case u'-':
    case u'\'':
    case u'(':
    case u')':
    case u'+':
    case u',':
    case u'.':
    case u'/':
    case u':':
    case u'=':
    case u'?':
    case u';':
    case u'!':
    case u'*':
    case u'#':
    case u'@':
    case u'$':
    case u'_':
    case u'%': return true;
    default: return false;
  }
}

std::string Hex4(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

std::string Narrow(std::u16string_view s) { return KeyFromWide(s); }

// Converts the digits of a character reference the way the platform's
// integer conversion does, raising its error for an empty or too long
// digit string.
uint32_t ConvertDigits(TQXMLParser& parser, const std::u16string& digits, bool hex) {
  if (digits.empty()) parser.Fail("'' is not a valid integer value");
  uint64_t v = 0;
  for (char16_t c : digits) {
    uint32_t d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    v = v * (hex ? 16 : 10) + d;
    if (v > 0x7FFFFFFF)
      parser.Fail("'" + std::string(hex ? "$" : "") + Narrow(digits) + "' is not a valid integer value");
  }
  return static_cast<uint32_t>(v);
}

// Checks the value of a character reference and returns its character.
char16_t CheckCharRef(TQXMLParser& parser, uint32_t v) {
  if (v > 0xFFFF) parser.Fail(std::string("UCS-4") + " not implemented!");
  if (!IsXmlChar(static_cast<char16_t>(v))) parser.Fail("Invalid character (#x" + Hex4(v) + ") in input");
  return static_cast<char16_t>(v);
}

// Takes the longest run of units that pass keep from the decoded chunk and
// returns it (empty while pushed-back characters come first). The grammar's
// fast paths; the character-by-character path after them sees the same text.
template <class TKeep>
std::u16string_view TakeRun(TEntity& e, TKeep keep) {
  if (!e.PushbackEmpty()) return {};
  const char16_t* p = e.ChunkPos();
  const char16_t* end = e.ChunkEnd();
  const char16_t* q = p;
  while (q < end && keep(*q)) ++q;
  if (q != p) e.Consume(static_cast<size_t>(q - p));
  return {p, static_cast<size_t>(q - p)};
}

// The first unit from p on that is below U+0020 (except, with controlsOk,
// TAB and LF), above U+D7FF, or one of a, b and c; end when there is none.
// Eight units at a time where SSE2 is.
template <bool controlsOk>
const char16_t* SkipSimple(const char16_t* p, const char16_t* end, char16_t a, char16_t b, char16_t c) {
#if defined(__SSE2__)
  const __m128i low = _mm_set1_epi16(0x1F), high = _mm_set1_epi16(static_cast<short>(0xD7FF));
  const __m128i va = _mm_set1_epi16(static_cast<short>(a)), vb = _mm_set1_epi16(static_cast<short>(b)),
                vc = _mm_set1_epi16(static_cast<short>(c)), zero = _mm_setzero_si128();
  const __m128i tab = _mm_set1_epi16(u'\t'), lf = _mm_set1_epi16(u'\n'), ones = _mm_set1_epi16(-1);
  while (end - p >= 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Unsigned saturation: v - 0x1F is 0 for units up to 0x1F, v - 0xD7FF
    // is not 0 for units above 0xD7FF.
    __m128i bad = _mm_cmpeq_epi16(_mm_subs_epu16(v, low), zero);
    if (controlsOk) bad = _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi16(v, tab), _mm_cmpeq_epi16(v, lf)), bad);
    bad = _mm_or_si128(bad, _mm_andnot_si128(_mm_cmpeq_epi16(_mm_subs_epu16(v, high), zero), ones));
    bad = _mm_or_si128(
        bad, _mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_or_si128(_mm_cmpeq_epi16(v, vb), _mm_cmpeq_epi16(v, vc))));
    if (int mask = _mm_movemask_epi8(bad)) return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    p += 8;
  }
#endif
  for (; p < end; ++p) {
    char16_t u = *p;
    if (u == a || u == b || u == c || u >= 0xD800) break;
    if (u < 0x20 && !(controlsOk && (u == u'\t' || u == u'\n'))) break;
  }
  return p;
}

// TakeRun(e, IsPlainText), the hot loop of character data.
std::u16string_view TakePlainText(TEntity& e) {
  if (!e.PushbackEmpty()) return {};
  const char16_t* p = e.ChunkPos();
  const char16_t* end = e.ChunkEnd();
  const char16_t* q = p;
  for (;;) {
    q = SkipSimple<true>(q, end, u'<', u'&', u']');
    // Units above the surrogates are plain text too.
    if (q == end || !IsPlainText(*q)) break;
    ++q;
  }
  if (q != p) e.Consume(static_cast<size_t>(q - p));
  return {p, static_cast<size_t>(q - p)};
}

void AddRun(TWStringBuf& text, std::u16string_view run) {
  if (!run.empty()) text.AddString(run.data(), static_cast<int32_t>(run.size()));
}

// Whether the n units at a and b are equal. Names and namespace names are
// short: four units are compared at a time in line, where a call to memcmp
// would cost more than the comparison.
inline bool SameUnitsAt(const char16_t* a, const char16_t* b, size_t n) {
  for (; n >= 4; n -= 4, a += 4, b += 4) {
    uint64_t x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    if (x != y) return false;
  }
  for (; n > 0; --n, ++a, ++b)
    if (*a != *b) return false;
  return true;
}

inline bool SameAs(const std::u16string& s, const char16_t* p, size_t n) {
  return s.size() == n && SameUnitsAt(s.data(), p, n);
}

// s := [p, q), a name or value from the chunk into a string that held the
// last one read into the same place, mostly as long or longer: that is
// overwritten in place, four units at a time, and cut, which costs no call
// to memcpy whose size dispatch mispredicts on short names.
inline void SetUnits(std::u16string& s, const char16_t* p, const char16_t* q) {
  size_t n = static_cast<size_t>(q - p);
  if (n > s.size()) {
    // Appending to the emptied string copies straight into the storage it
    // has; assign would first check whether p lies inside it.
    s.clear();
    s.append(p, n);
    return;
  }
  char16_t* d = s.data();
  size_t i = 0;
  for (; i + 4 <= n; i += 4) std::memcpy(d + i, p + i, 4 * sizeof(char16_t));
  for (; i < n; ++i) d[i] = p[i];
  s.resize(n);
}

inline bool SameUnits(const std::u16string& a, const std::u16string& b) { return SameAs(a, b.data(), b.size()); }

// Moves the pushed-back plain text (the replacement text of an entity
// reference, mostly) to text in one go instead of a character at a time.
// Pushed-back units were checked when first read; a CR stays for NextChar.
void TakePushedBackRun(TEntity& e, TWStringBuf& text) {
  std::u16string& pushed = e.PushedBack();
  size_t n = pushed.size();
  size_t k = n;
  while (k > 0 && IsPlainText(pushed[k - 1])) --k;
  if (k == n) return;
  std::reverse(pushed.begin() + static_cast<std::ptrdiff_t>(k), pushed.end());
  text.AddString(pushed.data() + k, static_cast<int32_t>(n - k));
  pushed.resize(k);
  e.Consume(0);  // brings AtEnd up to date
}

void FailIfOpen(TQXMLParser& parser, const std::vector<std::string>& open, const std::string& key) {
  if (std::find(open.begin(), open.end(), key) != open.end()) parser.Fail("WFC \"Enitities cannot recurse\" violated");
}

}  // namespace

// An included entity is the one being read while the scope lives.
class TQXMLParser::TEntityScope {
public:
  TEntityScope(TQXMLParser& parser, TEntity& entity) : Parser_(parser), Outer_(parser.E_) {
    if (Parser_.EntityDepth_ >= kMaxEntityDepth)
      Parser_.Fail("Entities nested deeper than " + std::to_string(kMaxEntityDepth) + " levels");
    entity.OpenEntity();
    ++Parser_.EntityDepth_;
    Parser_.E_ = &entity;
  }
  ~TEntityScope() {
    Parser_.E_ = Outer_;
    --Parser_.EntityDepth_;
  }
  TEntityScope(const TEntityScope&) = delete;
  TEntityScope& operator=(const TEntityScope&) = delete;

private:
  TQXMLParser& Parser_;
  TEntity* Outer_;
};

// --- life cycle -------------------------------------------------------------

TQXMLParser::TQXMLParser() {
  Text_ = Pool_.GetBuffer();
  // Pointers into the cache stay valid until it is started again.
  NsCache_.reserve(kNsCacheSize);
}

TQXMLParser::~TQXMLParser() {
  AttrList_.Clear(false);
  Reset();
}

void TQXMLParser::Reset() {
  Document_.reset();
  E_ = nullptr;
  DefaultNamespace.clear();
  Standalone = false;
  GeneralEntityTexts.Clear();
  ParameterEntityTexts.Clear();
  GeneralEntities.Clear();
  ParameterEntities.Clear();
  OpenEntityNames.clear();
  OpenParameterNames_.clear();
  EntityDepth_ = 0;
  Expansion_ = 0;
  DropParseState();
}

void TQXMLParser::DropParseState() {
  InDoctype = false;
  Text_->Clear();
  AttrList_.Clear(false);
  // A failed parse may have left namespace bindings behind; they must not
  // leak into the next document.
  PopBindings(0);
}

void TQXMLParser::PopBindings(size_t mark) {
  while (BoundPrefixes_.size() > mark) {
    (void)Bindings.Pop(BoundPrefixes_.back());
    BoundPrefixes_.pop_back();
  }
}

void TQXMLParser::Parse(std::unique_ptr<TStream> stream) { Parse(std::move(stream), std::u16string()); }

void TQXMLParser::Parse(std::unique_ptr<TStream> stream, const std::u16string& systemId) {
  Reset();
  Document_ = std::make_unique<TEntity>(*this, IsDocument ? ekDocument : ekExternalMain);
  Document_->SystemId = systemId;
  E_ = Document_.get();
  Document_->SetInput(std::move(stream));
  Run();
}

void TQXMLParser::ParseFile(const std::u16string& fileName) {
  Reset();
  Document_ = std::make_unique<TEntity>(*this, IsDocument ? ekDocument : ekExternalMain);
  Document_->SystemId = fileName;
  E_ = Document_.get();
  Document_->OpenEntity();
  Run();
}

void TQXMLParser::Run() {
  struct TCloseInput {
    TEntity* Doc;
    ~TCloseInput() { Doc->CloseInput(); }
  } close{Document_.get()};
  E_ = Document_.get();
  try {
    ParseMain();
  } catch (...) {
    // Do not keep the state of a broken parse around.
    DropParseState();
    throw;
  }
}

void TQXMLParser::Fail(const std::string& message) {
  int32_t line = 0, column = 0;
  std::u16string systemId;
  if (E_) {
    E_->Position(line, column);
    systemId = E_->SystemId;
  }
  throw EXMLParseError(message, line, column, systemId);
}

void TQXMLParser::CountExpansion(int64_t chars) {
  Expansion_ += chars;
  if (Expansion_ > MaxExpansionChars)
    Fail("Entity expansion exceeds the limit of " + std::to_string(MaxExpansionChars) + " characters");
}

// --- reading helpers ----------------------------------------------------------

bool TQXMLParser::Match(std::u16string_view s) {
  TEntity& e = *E_;
  if (e.PushbackEmpty() && static_cast<size_t>(e.ChunkEnd() - e.ChunkPos()) >= s.size()) {
    // Keywords hold no line ends, so the raw units can be compared.
    if (std::u16string_view(e.ChunkPos(), s.size()) != s) return false;
    e.Consume(s.size());
    return true;
  }
  size_t i = 0;
  for (; i < s.size(); ++i) {
    if (e.AtEnd) break;
    char16_t c = e.NextChar();
    if (c != s[i]) {
      e.PushBack(c);
      break;
    }
  }
  if (i == s.size()) return true;
  e.PushBack(std::u16string(s.substr(0, i)));
  return false;
}

bool TQXMLParser::SkipS() {
  TEntity& e = *E_;
  if (e.PushbackEmpty() && e.ChunkPos() < e.ChunkEnd() && !IsXmlSpace(*e.ChunkPos())) return false;
  bool any = false;
  for (;;) {
    if (!TakeRun(e, IsXmlSpace).empty()) any = true;
    int32_t c = e.Peek();
    if (c < 0 || !IsXmlSpace(static_cast<char16_t>(c))) return any;
    e.NextChar();
    any = true;
  }
}

void TQXMLParser::RequireS() {
  if (!SkipS()) Fail("WhiteSpaceEpected");
}

void TQXMLParser::ReadEq() {
  SkipS();
  Expect(u'=');
  SkipS();
}

void TQXMLParser::ReadOneOrMore(bool (*keep)(int32_t), std::u16string* out) {
  int32_t n = 0;
  for (; keep(Peek()); ++n) {
    char16_t c = Next();
    if (out) *out += c;
  }
  if (n < 1) Fail(kOneOrMore);
}

void TQXMLParser::FailMissing(std::u16string_view what) { Fail("\"" + Narrow(what) + "\" expected!"); }

void TQXMLParser::Expect(char16_t c) {
  if (TakeIf(c)) return;
  if (Next() != c) FailMissing(std::u16string_view(&c, 1));
}

void TQXMLParser::Expect(std::u16string_view s) {
  if (E_->AtEnd) Next();  // raises the end-of-input error
  if (!Match(s)) FailMissing(s);
}

char16_t TQXMLParser::ReadQuote() {
  if (TakeIf(u'"')) return u'"';
  if (TakeIf(u'\'')) return u'\'';
  char16_t q = Next();
  if (q != u'"' && q != u'\'') Fail("' or \" expected");
  return q;
}

void TQXMLParser::ReadNCNameRest(std::u16string& out) {
  TEntity& e = *E_;
  for (;;) {
    out += TakeRun(e, IsNCNameChar);
    int32_t c = e.Peek();
    if (c < 0 || !IsNCNameChar(static_cast<char16_t>(c))) return;
    out += e.NextChar();
  }
}

void TQXMLParser::ReadName(std::u16string& out) {
  out.clear();
  char16_t c = Next();
  if (!IsNameStart(c)) Fail("Name expected");
  out += c;
  for (;;) {
    ReadNCNameRest(out);
    if (Peek() != u':') return;
    out += Next();
  }
}

void TQXMLParser::ReadQName(std::u16string& qname, std::u16string& prefix, std::u16string& local) {
  // Most names lie whole in the decoded chunk, followed there by the unit
  // that ends them: they are cut out of it in one go. Anything else (a name
  // at the chunk's end, a leading colon, pushed-back input, an error) takes
  // the unit-by-unit path below, which reads the same names.
  TEntity& e = *E_;
  if (e.PushbackEmpty()) {
    const char16_t* p = e.ChunkPos();
    const char16_t* end = e.ChunkEnd();
    if (p < end && *p != u':' && IsNameStart(*p)) {
      const char16_t* q = p + 1;
      q = SkipNCNameChars(q, end);
      if (q < end && *q != u':') {
        SetUnits(qname, p, q);
        prefix.clear();
        SetUnits(local, p, q);
        e.Consume(static_cast<size_t>(q - p));
        return;
      }
      if (q + 1 < end && q[1] != u':' && IsNameStart(q[1])) {
        const char16_t* r = q + 2;
        r = SkipNCNameChars(r, end);
        if (r < end) {
          SetUnits(qname, p, r);
          SetUnits(prefix, p, q);
          SetUnits(local, q + 1, r);
          e.Consume(static_cast<size_t>(r - p));
          return;
        }
      }
    }
  }
  qname.clear();
  char16_t c = Next();
  if (!IsNameStart(c)) Fail("QName expected");
  qname += c;
  ReadNCNameRest(qname);
  if (Peek() == u':') {
    Next();
    char16_t d = Next();
    if (!IsNameStart(d) || d == u':') Fail("QName expected");
    prefix = qname;
    local.assign(1, d);
    ReadNCNameRest(local);
    qname += u':';
    qname += local;
  } else {
    prefix.clear();
    local = qname;
  }
}

void TQXMLParser::Flush() {
  if (Text_->Length == 0) return;
  if (Events.Characters) Events.Characters(*Text_);
  Text_->Clear();
}

// --- document ---------------------------------------------------------------

void TQXMLParser::ParseMain() {
  if (IsDocument) {
    ParseDocument();
    return;
  }
  ParseTextDeclIfAny();
  ParseContent(0, false);
}

void TQXMLParser::ParseDocument() {
  if (Events.StartDocument) Events.StartDocument();
  if (Match(u"<?xml")) ParseXmlDecl();
  E_->EndDeclaration();
  ParseMisc(true);
  Expect(u'<');
  ParseElement(1);
  ParseMisc(false);
  if (!E_->AtEnd) Fail("Unexpected characters after root element");
  if (Events.EndDocument) Events.EndDocument();
}

void TQXMLParser::ReadVersionInfo() {
  // After "version"; the number is not compared with 1.0.
  ReadEq();
  char16_t q = ReadQuote();
  ReadOneOrMore(IsVersionNumChar, nullptr);
  Expect(q);
}

void TQXMLParser::ReadEncodingDecl() {
  // After "encoding".
  ReadEq();
  char16_t q = ReadQuote();
  std::u16string name;
  if (!IsAsciiLetter(Peek())) Fail(kOneOrMore);
  ReadOneOrMore(IsEncNameChar, &name);
  Expect(q);
  std::string declared = Narrow(name);
  std::string current = E_->EncodingName();
  // A document found to be UTF-16 by its first bytes names itself UTF-16;
  // its byte order is already known.
  if (!(LowerCase(declared) == "utf-16" && (current == "utf-16le" || current == "utf-16be"))) E_->SetEncoding(declared);
}

void TQXMLParser::ParseXmlDecl() {
  RequireS();
  Expect(u"version");
  ReadVersionInfo();
  SkipS();
  if (Match(u"encoding")) {
    ReadEncodingDecl();
    SkipS();
  }
  if (Match(u"standalone")) {
    ReadEq();
    char16_t q = ReadQuote();
    if (Match(u"yes"))
      Standalone = true;
    else if (Match(u"no"))
      Standalone = false;
    else
      Fail("\"yes\" or \"no\" expected");
    Expect(q);
  }
  SkipS();
  Expect(u"?>");
}

void TQXMLParser::ParseTextDeclIfAny() {
  if (Match(u"<?xml")) ParseTextDecl();
  E_->EndDeclaration();
}

void TQXMLParser::ParseTextDecl() {
  SkipS();
  if (Match(u"version")) {
    ReadVersionInfo();
    SkipS();
  }
  if (Match(u"encoding")) ReadEncodingDecl();
  SkipS();
  Expect(u"?>");
}

void TQXMLParser::ParseMisc(bool allowDoctype) {
  for (;;) {
    SkipS();
    if (E_->AtEnd || Peek() != u'<') return;
    if (Match(u"<?")) {
      ParsePI();
    } else if (Match(u"<!--")) {
      ParseComment();
    } else if (allowDoctype && Match(u"<!DOCTYPE")) {
      ParseDoctype();
      allowDoctype = false;
    } else {
      return;
    }
  }
}

void TQXMLParser::ParseComment() {
  std::u16string& text = Scratch_;
  text.clear();
  TEntity& e = *E_;
  for (;;) {
    text += TakeRun(e, [](char16_t c) { return c != u'-' && IsPlainText(c); });
    char16_t c = Next();
    if (c == u'-' && Peek() == u'-') {
      Next();
      if (Next() != u'>') FailMissing(u">");
      break;
    }
    text += c;
  }
  if (!InDoctype && Events.Comment) Events.Comment(text);
}

void TQXMLParser::ParsePI() {
  TPI pi;
  ReadName(pi.Target);
  if (pi.Target.size() == 3 && (pi.Target[0] | 0x20) == u'x' && (pi.Target[1] | 0x20) == u'm' &&
      (pi.Target[2] | 0x20) == u'l')
    Fail("\"" + Narrow(pi.Target) + "\" is not an allowed name for a PI");
  if (SkipS()) {
    for (;;) {
      char16_t c = Next();
      if (c == u'?' && Peek() == u'>') {
        Next();
        break;
      }
      pi.Data += c;
    }
  } else {
    Expect(u"?>");
  }
  if (!InDoctype && Events.ProcessingInstruction) Events.ProcessingInstruction(pi);
}

// --- elements and content -------------------------------------------------------

const TQXMLParser::TNsName* TQXMLParser::NsOfWide(const std::u16string& wide) {
  // Names of one tag mostly share their namespace: the last hit comes first.
  if (NsLast_ < NsCache_.size() && SameUnits(NsCache_[NsLast_].Wide, wide)) return &NsCache_[NsLast_];
  for (size_t i = 0; i < NsCache_.size(); ++i)
    if (SameUnits(NsCache_[i].Wide, wide)) {
      NsLast_ = i;
      return &NsCache_[i];
    }
  // Documents use a handful of namespaces; a document that uses many just
  // starts the cache again.
  if (NsCache_.size() >= kNsCacheSize) {
    NsCache_.clear();
    for (TPrefixHit& hit : PrefixHits_) hit.Ns = nullptr;
  }
  NsCache_.push_back({wide, KeyFromWide(wide)});
  NsLast_ = NsCache_.size() - 1;
  return &NsCache_.back();
}

const TQXMLParser::TNsName* TQXMLParser::NsOfKey(const std::string& key) {
  for (const TNsName& n : NsCache_)
    if (n.Key == key) return &n;
  return NsOfWide(WideFromKey(key));
}

const TQXMLParser::TNsName* TQXMLParser::ResolvePrefix(const std::u16string& prefix, bool isElement) {
  if (prefix.empty()) return isElement && !DefaultNamespace.empty() ? NsOfWide(DefaultNamespace) : nullptr;
  if (prefix == u"xmlns") return NsOfKey(kXmlnsNamespace);
  if (prefix == u"xml") return NsOfKey(kXmlNamespace);
  // The answer from a binding holds while no binding is pushed or popped.
  uint64_t generation = Bindings.Generation();
  for (const TPrefixHit& hit : PrefixHits_)
    if (hit.Generation == generation && hit.Ns && SameUnits(hit.Prefix, prefix)) return hit.Ns;
  PrefixKey_.assign(u"xmlns:").append(prefix);
  // An empty namespace name binds nothing: "xmlns:p=''" leaves p undeclared.
  TWideString* bound = Bindings.Top(PrefixKey_);
  if (bound && !bound->Value.empty()) {
    const TNsName* ns = NsOfWide(bound->Value);
    TPrefixHit& hit = PrefixHits_[PrefixHitNext_++ % std::size(PrefixHits_)];
    hit.Prefix = prefix;
    hit.Generation = generation;
    hit.Ns = ns;
    return ns;
  }
  if (PrefixResolver) {
    std::string answer = PrefixResolver(prefix);
    if (!answer.empty()) return NsOfKey(answer);
  }
  if (SkipPrefixDeclared) return nullptr;
  Fail("NSC: \"Prefix Declared\" violated");
}

namespace {

// Completes name (whose local name, prefix and qualified name are set) with
// the namespace name.
void SetNamespace(TQName& name, const std::string* key, const std::u16string* wide) {
  // The strings are reused from the last name read into the same place,
  // which was often the same name: what is equal already is not copied.
  const std::u16string& local = name.LocalName;
  std::u16string& expanded = name.ExpandedName;
  if (!key) {
    name.NamespaceURI.clear();
    if (!SameAs(expanded, local.data(), local.size())) expanded = local;
    return;
  }
  if (name.NamespaceURI != *key) name.NamespaceURI = *key;
  size_t n = local.size();
  if (expanded.size() == n + 1 + wide->size() && expanded[n] == u':' && SameAs(local, expanded.data(), n) &&
      SameAs(*wide, expanded.data() + n + 1, wide->size()))
    return;
  expanded.clear();
  expanded.append(local).append(1, u':').append(*wide);
}

}  // namespace

namespace {

// The end of the qualified name at p when the name and the unit after it lie
// in [p, end); colon is then its ":" or nullptr. nullptr when the chunk
// cannot tell or the name is not a QName.
const char16_t* ScanQName(const char16_t* p, const char16_t* end, const char16_t*& colon) {
  colon = nullptr;
  if (p == end || *p == u':' || !IsNameStart(*p)) return nullptr;
  p = SkipNCNameChars(p + 1, end);
  if (p < end && *p == u':') {
    colon = p++;
    if (p == end || *p == u':' || !IsNameStart(*p)) return nullptr;
    p = SkipNCNameChars(p + 1, end);
  }
  return p < end ? p : nullptr;
}

void SetQNameUnits(TQName& name, const char16_t* p, const char16_t* colon, const char16_t* q) {
  SetUnits(name.QualifiedName, p, q);
  if (colon) {
    SetUnits(name.Prefix, p, colon);
    SetUnits(name.LocalName, colon + 1, q);
  } else {
    name.Prefix.clear();
    SetUnits(name.LocalName, p, q);
  }
}

const char16_t* SkipSpaceUnits(const char16_t* p, const char16_t* end) {
  while (p < end && IsXmlSpace(*p)) ++p;
  return p;
}

}  // namespace

bool TQXMLParser::TakeStartTagFromChunk(TQName& name, size_t& count) {
  // One pass with a local cursor over a tag that lies whole in the chunk,
  // each value closed there without references or units to replace. The
  // cursor stops before the closing ">" or "/>", where the unit-by-unit
  // reading would stop too; any other tag is left to it, from its start.
  TEntity& e = *E_;
  if (!e.PushbackEmpty()) return false;
  const char16_t* const start = e.ChunkPos();
  const char16_t* const end = e.ChunkEnd();
  const char16_t* colon = nullptr;
  const char16_t* p = ScanQName(start, end, colon);
  if (!p) return false;
  SetQNameUnits(name, start, colon, p);
  count = 0;
  for (;;) {
    const char16_t* s = SkipSpaceUnits(p, end);
    if (s == end) return false;
    if (*s == u'>' || *s == u'/') {
      p = s;
      break;
    }
    // An attribute needs white space before it; the slow path reports it.
    if (s == p) return false;
    const char16_t* n = s;
    const char16_t* q = ScanQName(n, end, colon);
    if (!q) return false;
    const char16_t* r = SkipSpaceUnits(q, end);
    if (r == end || *r != u'=') return false;
    r = SkipSpaceUnits(r + 1, end);
    if (r == end || (*r != u'"' && *r != u'\'')) return false;
    const char16_t* v = r + 1;
    const char16_t* w = SkipSimple<false>(v, end, *r, u'<', u'&');
    if (w == end || *w != *r) return false;
    if (AttrPool_.size() <= count) AttrPool_.push_back(std::make_unique<TAttribute>());
    TAttribute& attr = *AttrPool_[count++];
    SetQNameUnits(attr.Name, n, colon, q);
    SetUnits(attr.Value, v, w);
    p = w + 1;
  }
  e.Consume(static_cast<size_t>(p - start));
  return true;
}

void TQXMLParser::ReadAttributes(size_t& count) {
  for (;;) {
    bool ws = SkipS();
    int32_t c = Peek();
    if (!ws || c == u'/' || c == u'>' || c < 0) break;
    if (AttrPool_.size() <= count) AttrPool_.push_back(std::make_unique<TAttribute>());
    TAttribute& attr = *AttrPool_[count];
    ReadQName(attr.Name.QualifiedName, attr.Name.Prefix, attr.Name.LocalName);
    ReadEq();
    ReadAttValue(attr.Value);
    ++count;
  }
}

void TQXMLParser::ParseElement(int32_t depth) {
  if (depth > MaxElementDepth) Fail("Elements nested deeper than " + std::to_string(MaxElementDepth) + " levels");
  if (Frames_.size() < static_cast<size_t>(depth) + 1) Frames_.resize(static_cast<size_t>(depth) + 1);
  // The frame's strings are reused from the last element at this depth.
  // Attributes are read straight into the pooled ones that the list will
  // hold: the list is emptied again before any child element is read.
  size_t count = 0;
  if (!TakeStartTagFromChunk(Frames_[static_cast<size_t>(depth)].Name, count)) {
    count = 0;
    TFrame& frame = Frames_[static_cast<size_t>(depth)];
    ReadQName(frame.Name.QualifiedName, frame.Name.Prefix, frame.Name.LocalName);
    ReadAttributes(count);
  }

  {
    TFrame& frame = Frames_[static_cast<size_t>(depth)];
    if (!SameAs(frame.SavedDefault, DefaultNamespace.data(), DefaultNamespace.size()))
      frame.SavedDefault = DefaultNamespace;
    frame.BindingMark = BoundPrefixes_.size();
    ResolveNames(count);
    const TNsName* ns = ResolvePrefix(frame.Name.Prefix, true);
    SetNamespace(frame.Name, ns ? &ns->Key : nullptr, ns ? &ns->Wide : nullptr);
    if (Events.StartElement) Events.StartElement(frame.Name, &AttrList_);
    AttrList_.Clear(false);
  }

  // ">" mostly follows right away; TakeIf decides that in line.
  bool hasContent = TakeIf(u'>');
  if (!hasContent && !Match(u"/>")) {
    Expect(u'>');
    hasContent = true;
  }
  if (hasContent) {
    ParseContent(depth, true);
    // ParseContent stops after "</". Deeper elements may have moved the
    // frames, so the frame is looked up again.
    if (!SkipEndName(Frames_[static_cast<size_t>(depth)].Name.QualifiedName)) {
      ReadQName(EndQName_, EndPrefix_, EndLocal_);
      if (EndQName_ != Frames_[static_cast<size_t>(depth)].Name.QualifiedName)
        Fail("WFC \"Element Type Match\" violated");
    }
    if (!TakeIf(u'>')) {
      SkipS();
      Expect(u'>');
    }
  }
  TFrame& done = Frames_[static_cast<size_t>(depth)];
  if (Events.EndElement) Events.EndElement(done.Name);
  PopBindings(done.BindingMark);
  if (!SameAs(DefaultNamespace, done.SavedDefault.data(), done.SavedDefault.size()))
    DefaultNamespace = done.SavedDefault;
}

bool TQXMLParser::SkipEndName(const std::u16string& qname) {
  // The end tag names what the start tag named, and the unit after it in
  // the chunk ends a name: ReadQName would have read exactly that name.
  TEntity& e = *E_;
  if (!e.PushbackEmpty()) return false;
  const char16_t* p = e.ChunkPos();
  size_t n = qname.size();
  if (static_cast<size_t>(e.ChunkEnd() - p) <= n || IsNameChar(p[n])) return false;
  if (!SameUnitsAt(p, qname.data(), n)) return false;
  e.Consume(n);
  return true;
}

void TQXMLParser::ResolveNames(size_t count) {
  // Namespace declarations first: they apply to every name of the tag.
  for (size_t i = 0; i < count; ++i) {
    const TQName& name = AttrPool_[i]->Name;
    if (name.Prefix == u"xmlns" || (name.Prefix.empty() && name.QualifiedName == u"xmlns")) {
      const std::u16string& value = AttrPool_[i]->Value;
      Bindings.Push(name.QualifiedName, std::make_unique<TWideString>(value));
      BoundPrefixes_.push_back(name.QualifiedName);
      if (name.Prefix.empty()) DefaultNamespace = value;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    TAttribute& attr = *AttrPool_[i];
    const TNsName* ns = ResolvePrefix(attr.Name.Prefix, false);
    SetNamespace(attr.Name, ns ? &ns->Key : nullptr, ns ? &ns->Wide : nullptr);
    try {
      AttrList_.AddAttribute(&attr);
    } catch (const EDuplicateKey&) {
      AttrList_.Clear(false);
      Fail("NSC \"Uniqueness of Attributes\" violated");
    }
  }
}

void TQXMLParser::ReadAttValue(std::u16string& out) {
  char16_t q = ReadQuote();
  TEntity& e = *E_;
  if (e.PushbackEmpty()) {
    // A value without references or units to replace, closed inside the
    // chunk: often the same as the last value read into out.
    const char16_t* p = e.ChunkPos();
    const char16_t* end = e.ChunkEnd();
    const char16_t* r = SkipSimple<false>(p, end, q, u'<', u'&');
    if (r < end && *r == q) {
      SetUnits(out, p, r);
      e.Consume(static_cast<size_t>(r + 1 - p));
      return;
    }
  }
  out.clear();
  for (;;) {
    if (e.PushbackEmpty()) {
      const char16_t* p = e.ChunkPos();
      const char16_t* r = SkipSimple<false>(p, e.ChunkEnd(), q, u'<', u'&');
      if (r != p) {
        out.append(p, r);
        e.Consume(static_cast<size_t>(r - p));
      }
    }
    if (TakeIf(q)) return;
    char16_t c = Next();
    if (c == q) return;
    if (c == u'<') Fail("WFC \"No < in Attribute Values\" violated");
    if (c == u'&') {
      if (Peek() == u'#') {
        Next();
        out += ReadCharRef();
        continue;
      }
      std::u16string name;
      ReadName(name);
      Expect(u';');
      if (char16_t p = Predefined(name)) {
        out += p;
        continue;
      }
      if (const std::u16string* text = GeneralEntityTexts.Find(KeyFromWide(name))) {
        // The text is taken as it stands: a quote in it does not end the
        // value, and its control characters become blanks like the rest.
        CountExpansion(static_cast<int64_t>(text->size()));
        for (char16_t t : *text) out += t < 0x20 ? u' ' : t;
        continue;
      }
      Fail("External entities not allowed in attributes");
    }
    out += c < 0x20 ? u' ' : c;
  }
}

char16_t TQXMLParser::ReadCharRef() {
  // After "&#".
  bool hex = false;
  if (Peek() == u'x') {
    Next();
    hex = true;
  }
  std::u16string digits;
  for (;;) {
    int32_t c = Peek();
    if (!(hex ? IsHexDigit(c) : IsAsciiDigit(c))) break;
    digits += Next();
  }
  if (Next() != u';') Fail("\";\" expected at the end of a reference!");
  return CheckCharRef(*this, ConvertDigits(*this, digits, hex));
}

void TQXMLParser::ParseCData() {
  // After "<![CDATA[": everything up to "]]>" joins the character data.
  TEntity& e = *E_;
  for (;;) {
    AddRun(*Text_, TakePlainText(e));
    char16_t c = Next();
    if (c == u']' && Match(u"]>")) return;
    Text_->AddChar(c);
  }
}

void TQXMLParser::ParseContent(int32_t depth, bool inElement) {
  TEntity& e = *E_;
  for (;;) {
    if (!e.PushbackEmpty()) TakePushedBackRun(e, *Text_);
    AddRun(*Text_, TakePlainText(e));
    if (e.AtEnd && !inElement) {
      Flush();
      return;
    }
    char16_t c = TakeIf(u'<') ? u'<' : TakeIf(u'&') ? u'&' : Next();
    switch (c) {
      case u'<': {
        int32_t d = Peek();
        if (d == u'!' && Match(u"![CDATA[")) {
          ParseCData();
          break;
        }
        Flush();
        if (d == u'/') {
          if (!inElement) Fail("End tag not allowed at the top level of an entity");
          if (!TakeIf(u'/')) Next();
          return;
        }
        if (d == u'?') {
          Next();
          ParsePI();
        } else if (d == u'!' && Match(u"!--")) {
          ParseComment();
        } else {
          ParseElement(depth + 1);
        }
        break;
      }
      case u'&': ParseReferenceInContent(depth); break;
      case u']':
        if (Match(u"]>")) Fail("]]> is not allowed in this position");
        Text_->AddChar(c);
        break;
      default: Text_->AddChar(c);
    }
  }
}

bool TQXMLParser::TakeCharRefFromChunk(char16_t& out) {
  // At "#": a well-formed reference that ends inside the chunk. A value of
  // at most six digits cannot overflow; longer ones, and every fault, are
  // left to ReadCharRef and its messages.
  TEntity& e = *E_;
  if (!e.PushbackEmpty()) return false;
  const char16_t* p = e.ChunkPos();
  const char16_t* end = e.ChunkEnd();
  const char16_t* q = p + 1;
  bool hex = q < end && *q == u'x';
  if (hex) ++q;
  const char16_t* digits = q;
  uint32_t v = 0;
  for (; q < end && q - digits <= 6; ++q) {
    char16_t c = *q;
    if (c >= u'0' && c <= u'9')
      v = v * (hex ? 16 : 10) + (c - u'0');
    else if (hex && (c | 0x20) >= u'a' && (c | 0x20) <= u'f')
      v = v * 16 + ((c | 0x20) - u'a' + 10);
    else
      break;
  }
  if (q == digits || q == end || *q != u';' || q - digits > 6) return false;
  e.Consume(static_cast<size_t>(q + 1 - p));
  out = CheckCharRef(*this, v);
  return true;
}

bool TQXMLParser::TakeRefNameFromChunk(std::u16string& name, char16_t& predefined) {
  // A name and its ";" inside the chunk; anything else is left to ReadName.
  TEntity& e = *E_;
  if (!e.PushbackEmpty()) return false;
  const char16_t* p = e.ChunkPos();
  const char16_t* end = e.ChunkEnd();
  if (p == end || !IsNameStart(*p)) return false;
  // Name characters are the NCName characters and ":".
  const char16_t* q = SkipNCNameChars(p + 1, end);
  while (q < end && *q == u':') q = SkipNCNameChars(q + 1, end);
  if (q == end || *q != u';') return false;
  // A predefined name needs no copy.
  predefined = Predefined(std::u16string_view(p, static_cast<size_t>(q - p)));
  if (!predefined) SetUnits(name, p, q);
  e.Consume(static_cast<size_t>(q + 1 - p));
  return true;
}

void TQXMLParser::ParseReferenceInContent(int32_t depth) {
  // After "&".
  if (Peek() == u'#') {
    char16_t c;
    if (!TakeCharRefFromChunk(c)) {
      Next();
      c = ReadCharRef();
    }
    Text_->AddChar(c);
    Flush();
    return;
  }
  std::u16string& name = RefName_;
  char16_t predefined = 0;
  if (!TakeRefNameFromChunk(name, predefined)) {
    ReadName(name);
    Expect(u';');
    predefined = Predefined(name);
  }
  if (char16_t p = predefined) {
    Text_->AddChar(p);
    Flush();
    return;
  }
  // Documents refer to the same few entities over and over.
  const std::string& key = RefKey_;
  const std::u16string* text = nullptr;
  if (RefTextGeneration_ == GeneralEntityTexts.Generation() && SameUnits(RefTextName_, name)) {
    text = RefText_;
  } else {
    KeyFromWideInto(name, RefKey_);
    text = GeneralEntityTexts.Find(key);
    if (text) {
      RefTextName_ = name;
      RefTextGeneration_ = GeneralEntityTexts.Generation();
      RefText_ = text;
      RefTextPlain_ = std::all_of(text->begin(), text->end(), IsPlainText);
    }
  }
  if (text) {
    // Read again as the input that follows the reference. Plain text goes
    // straight to the character data, which is where reading it again
    // would put it.
    CountExpansion(static_cast<int64_t>(text->size()));
    Flush();
    if (RefTextPlain_)
      AddRun(*Text_, *text);
    else
      E_->PushBack(*text);
    return;
  }
  Flush();
  KeyFromWideInto(name, RefKey_);
  FailIfOpen(*this, OpenEntityNames, key);
  TEntity* entity = GeneralEntities.Find(key);
  if (!entity) Fail("Entity " + Narrow(name) + " not declared");
  std::u16string entityName = name;  // RefName_ is reused inside the entity
  IncludeInContent(*entity, entityName, depth);
}

// --- entities -------------------------------------------------------------------

void TQXMLParser::IncludeInContent(TEntity& entity, const std::u16string& name, int32_t depth) {
  // An unparsed entity has nothing to read; the reference has no effect.
  if (entity.EntityKind == ekUnparsed) return;
  TEntityScope scope(*this, entity);
  OpenEntityNames.push_back(KeyFromWide(name));
  if (entity.EntityKind == ekInternal)
    CountExpansion(static_cast<int64_t>(entity.ReplacementText.size()));
  else
    ParseTextDeclIfAny();
  // Elements opened inside the entity nest below the current element.
  ParseContent(depth, false);
  OpenEntityNames.pop_back();
}

void TQXMLParser::IncludeLiterally(TEntity& entity, std::u16string& out) {
  if (entity.EntityKind != ekExternalParsed && entity.EntityKind != ekParameter)
    Fail("cannot include entity " + Narrow(entity.SystemId));
  TEntityScope scope(*this, entity);
  ParseTextDeclIfAny();
  while (!entity.AtEnd) out += entity.NextChar();
}

void TQXMLParser::IncludeDeclarations(TEntity& entity, const std::u16string& name) {
  std::string key = KeyFromWide(name);
  FailIfOpen(*this, OpenParameterNames_, key);
  TEntityScope scope(*this, entity);
  OpenParameterNames_.push_back(key);
  ParseTextDeclIfAny();
  ParseMarkupDecls(false);
  OpenParameterNames_.pop_back();
}

// --- document type declaration ------------------------------------------------------

bool TQXMLParser::SkipDtdS() {
  bool any = false;
  for (;;) {
    if (SkipS()) any = true;
    if (Peek() != u'%') return any;
    Next();
    int32_t c = Peek();
    if (c < 0 || !IsNameStart(static_cast<char16_t>(c))) {
      Back(u'%');
      return any;
    }
    std::u16string name;
    ReadName(name);
    Expect(u';');
    std::string key = KeyFromWide(name);
    if (const std::u16string* text = ParameterEntityTexts.Find(key)) {
      CountExpansion(static_cast<int64_t>(text->size()) + 2);
      E_->PushBack(u" " + *text + u" ");
    } else if (TEntity* entity = ParameterEntities.Find(key)) {
      IncludeDeclarations(*entity, name);
    } else {
      Fail("Entity " + Narrow(name) + " not declared");
    }
    any = true;
  }
}

void TQXMLParser::RequireDtdS() {
  if (!SkipDtdS()) Fail("WhiteSpaceEpected");
}

std::u16string TQXMLParser::ResolveSystemId(const std::u16string& systemId) {
  if (systemId.empty() || systemId[0] == u'/' || systemId[0] == u'\\' || systemId.find(u':') != std::u16string::npos)
    return systemId;
  const std::u16string& base = E_->SystemId;
  size_t cut = base.find_last_of(u"/\\");
  if (cut == std::u16string::npos) return systemId;
  return base.substr(0, cut + 1) + systemId;
}

void TQXMLParser::ParseDoctype() {
  // After "<!DOCTYPE".
  InDoctype = true;
  RequireDtdS();
  std::u16string rootName;
  ReadName(rootName);
  SkipDtdS();
  if (Peek() == u'S' || Peek() == u'P') {
    std::u16string systemId, publicId;
    ReadExternalId(systemId, publicId, false);
    auto subset = std::make_unique<TEntity>(*this, ekDtdSubset);
    subset->SystemId = ResolveSystemId(systemId);
    subset->PublicId = publicId;
    subset->CopyToMemory = true;
    {
      TEntityScope scope(*this, *subset);
      ParseTextDeclIfAny();
      ParseMarkupDecls(false);
    }
    SkipDtdS();
  }
  if (Peek() == u'[') {
    Next();
    ParseMarkupDecls(true);
    Expect(u']');
    SkipDtdS();
  }
  Expect(u'>');
  InDoctype = false;
}

void TQXMLParser::ParseMarkupDecls(bool internalSubset) {
  (void)internalSubset;
  for (;;) {
    SkipDtdS();
    if (E_->AtEnd || Peek() != u'<') return;
    Next();
    int32_t c = Peek();
    if (c == u'?') {
      Next();
      ParsePI();
    } else if (c == u'!' && Match(u"!--")) {
      ParseComment();
    } else if (c == u'!' && Match(u"!ELEMENT")) {
      ParseElementDecl();
    } else if (c == u'!' && Match(u"!ATTLIST")) {
      ParseAttlistDecl();
    } else if (c == u'!' && Match(u"!ENTITY")) {
      ParseEntityDecl();
    } else if (c == u'!' && Match(u"!NOTATION")) {
      ParseNotationDecl();
    } else {
      Back(u'<');
      return;
    }
  }
}

void TQXMLParser::ParseElementDecl() {
  RequireDtdS();
  std::u16string name;
  ReadName(name);
  RequireDtdS();
  if (Match(u"EMPTY") || Match(u"ANY")) {
    // nothing more
  } else if (Peek() == u'(') {
    Next();
    SkipDtdS();
    if (Match(u"#PCDATA")) {
      SkipDtdS();
      if (Peek() == u')') {
        Next();
        if (Peek() == u'*') Next();
      } else {
        while (Peek() == u'|') {
          Next();
          SkipDtdS();
          ReadName(name);
          SkipDtdS();
        }
        Expect(u")*");
      }
    } else {
      ParseGroup(1);
    }
  } else {
    FailMissing(u"(");
  }
  SkipDtdS();
  Expect(u'>');
}

void TQXMLParser::ParseContentParticle(int32_t depth) {
  if (Peek() == u'(') {
    Next();
    SkipDtdS();
    ParseGroup(depth + 1);
  } else {
    std::u16string name;
    ReadName(name);
    int32_t c = Peek();
    if (c == u'?' || c == u'*' || c == u'+') Next();
  }
}

void TQXMLParser::ParseGroup(int32_t depth) {
  // After "(" and white space.
  if (depth > kMaxModelDepth)
    Fail("Content model groups nested deeper than " + std::to_string(kMaxModelDepth) + " levels");
  ParseContentParticle(depth);
  char16_t separator = 0;
  for (;;) {
    SkipDtdS();
    int32_t c = Peek();
    if (c == u')') {
      Next();
      break;
    }
    if ((c == u'|' || c == u',') && (separator == 0 || separator == c)) {
      separator = static_cast<char16_t>(c);
      Next();
      SkipDtdS();
      ParseContentParticle(depth);
      continue;
    }
    Fail("')' expected");
  }
  int32_t c = Peek();
  if (c == u'?' || c == u'*' || c == u'+') Next();
}

void TQXMLParser::ParseAttlistDecl() {
  RequireDtdS();
  std::u16string name;
  ReadName(name);
  for (;;) {
    bool ws = SkipDtdS();
    if (Peek() == u'>') {
      Next();
      return;
    }
    if (!ws) Fail("WhiteSpaceEpected");
    ReadName(name);
    RequireDtdS();
    if (Match(u"CDATA") || Match(u"IDREFS") || Match(u"IDREF") || Match(u"ID") || Match(u"ENTITY") ||
        Match(u"ENTITIES") || Match(u"NMTOKENS") || Match(u"NMTOKEN")) {
      // a plain type
    } else {
      bool notation = Match(u"NOTATION");
      if (notation) RequireDtdS();
      Expect(u'(');
      for (;;) {
        SkipDtdS();
        if (notation)
          ReadName(name);
        else
          ReadOneOrMore([](int32_t c) { return c >= 0 && IsNameChar(static_cast<char16_t>(c)); }, nullptr);
        SkipDtdS();
        if (Peek() != u'|') break;
        Next();
      }
      Expect(u')');
    }
    RequireDtdS();
    if (Match(u"#REQUIRED") || Match(u"#IMPLIED")) continue;
    if (Match(u"#FIXED")) RequireDtdS();
    std::u16string value;
    ReadAttValue(value);
  }
}

void TQXMLParser::ReadLiteral(std::u16string& out, bool pubid) {
  out.clear();
  char16_t q = ReadQuote();
  for (;;) {
    char16_t c = Next();
    if (c == q) return;
    if (pubid && !IsPubidChar(c)) Fail("Illegal character in PubidLiteral");
    out += c;
  }
}

void TQXMLParser::ReadExternalId(std::u16string& systemId, std::u16string& publicId, bool systemOptional) {
  systemId.clear();
  publicId.clear();
  if (Match(u"SYSTEM")) {
    RequireDtdS();
    ReadLiteral(systemId, false);
  } else if (Match(u"PUBLIC")) {
    RequireDtdS();
    ReadLiteral(publicId, true);
    if (systemOptional) {
      bool ws = SkipDtdS();
      int32_t c = Peek();
      if (ws && (c == u'"' || c == u'\'')) ReadLiteral(systemId, false);
    } else {
      RequireDtdS();
      ReadLiteral(systemId, false);
    }
  } else {
    Fail("External ID expected");
  }
}

void TQXMLParser::ParseNotationDecl() {
  RequireDtdS();
  std::u16string name, systemId, publicId;
  ReadName(name);
  RequireDtdS();
  ReadExternalId(systemId, publicId, true);
  SkipDtdS();
  Expect(u'>');
}

void TQXMLParser::ParseEntityDecl() {
  RequireDtdS();
  bool parameter = false;
  if (Peek() == u'%') {
    Next();
    RequireDtdS();
    parameter = true;
  }
  std::u16string name;
  ReadName(name);
  RequireDtdS();
  int32_t c = Peek();
  if (c == u'"' || c == u'\'') {
    std::u16string value;
    ReadEntityValue(value);
    SkipDtdS();
    Expect(u'>');
    DeclareEntity(name, parameter, value, u"", u"", u"", false);
    return;
  }
  std::u16string systemId, publicId, notation;
  ReadExternalId(systemId, publicId, false);
  bool ws = SkipDtdS();
  if (!parameter && ws && Match(u"NDATA")) {
    RequireDtdS();
    ReadName(notation);
    SkipDtdS();
  }
  Expect(u'>');
  DeclareEntity(name, parameter, u"", ResolveSystemId(systemId), publicId, notation, true);
}

void TQXMLParser::ReadEntityValue(std::u16string& out) {
  // Step 1: the literal, with parameter-entity references replaced.
  std::u16string literal;
  char16_t q = ReadQuote();
  for (;;) {
    char16_t c = Next();
    if (c == q) break;
    if (c != u'%') {
      literal += c;
      continue;
    }
    std::u16string name;
    ReadName(name);
    Expect(u';');
    std::string key = KeyFromWide(name);
    if (const std::u16string* text = ParameterEntityTexts.Find(key)) {
      CountExpansion(static_cast<int64_t>(text->size()));
      for (char16_t t : *text) {
        if (t == u'\'')
          literal += u"&#39;";
        else if (t == u'"')
          literal += u"&#34;";
        else
          literal += t;
      }
    } else if (TEntity* entity = ParameterEntities.Find(key)) {
      FailIfOpen(*this, OpenParameterNames_, key);
      IncludeLiterally(*entity, literal);
    } else {
      Fail("Entity " + Narrow(name) + " not declared");
    }
  }
  // Step 2: character references are replaced; other markup stays.
  out.clear();
  out.reserve(literal.size());
  size_t i = 0, n = literal.size();
  while (i < n) {
    char16_t c = literal[i];
    if (c == u'&' && i + 1 < n && literal[i + 1] == u'#') {
      i += 2;
      bool hex = false;
      if (i < n && literal[i] == u'x') {
        hex = true;
        ++i;
      }
      std::u16string digits;
      while (i < n && (hex ? IsHexDigit(literal[i]) : IsAsciiDigit(literal[i]))) digits += literal[i++];
      if (i >= n) Fail("character expected!");
      if (literal[i] != u';') Fail("; expected");
      ++i;
      out += CheckCharRef(*this, ConvertDigits(*this, digits, hex));
    } else if (c == u'&' && i + 1 < n) {
      out += c;
      out += literal[i + 1];
      i += 2;
    } else {
      out += c;
      ++i;
    }
  }
}

void TQXMLParser::DeclareEntity(const std::u16string& name, bool parameter, const std::u16string& value,
                                const std::u16string& systemId, const std::u16string& publicId,
                                const std::u16string& notation, bool external) {
  if (!external) {
    bool markup = value.find_first_of(u"<&") != std::u16string::npos;
    if (parameter) {
      if (!ParameterEntityTexts.Contains(name)) ParameterEntityTexts.Put(name, value);
    } else if (!markup) {
      if (!GeneralEntityTexts.Contains(name)) GeneralEntityTexts.Put(name, value);
    } else {
      auto entity = std::make_unique<TEntity>(*this, ekInternal);
      entity->ReplacementText = value;
      GeneralEntities.Add(name, std::move(entity));
    }
    return;
  }
  auto entity = std::make_unique<TEntity>(*this, parameter ? ekParameter : ekExternalNew);
  entity->SystemId = systemId;
  entity->PublicId = publicId;
  entity->NotationName = notation;
  entity->CopyToMemory = true;
  if (!parameter) entity->EntityKind = notation.empty() ? ekExternalParsed : ekUnparsed;
  if (parameter)
    ParameterEntities.Add(name, std::move(entity));
  else
    GeneralEntities.Add(name, std::move(entity));
}

}  // namespace tessel
