#include "mime/Findings.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "mime/Message.h"
#include "mime/MimeParser.h"
#include "mime/PartPath.h"
#include "mime/bodypart.h"
#include "util/encodings/Base64.h"
#include "util/charsets/Charsets.h"
#include "util/system/Exception.h"
#include "util/text/LineEscape.h"
#include "util/text/StringUtils.h"

namespace tessel {

void AddFinding(TBodyPart& part, int64_t offset, std::string text) {
  if (part.Findings.size() > kMaxFindingsPerPart) return;
  if (part.Findings.size() == kMaxFindingsPerPart) text = kMoreFindings;
  part.Findings.push_back(TFinding{offset, std::move(text)});
}

std::string EncodingName(const std::u16string& encoding) {
  std::string name(encoding.size(), '\0');
  for (size_t i = 0; i < encoding.size(); ++i) {
    char16_t c = encoding[i];
    if (c >= 0x80) return std::string();
    name[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  return name;
}

std::string Base64BadByteFinding(unsigned char byte) {
  char text[64];
  std::snprintf(text, sizeof text, "Base64: byte 0x%02X is not base64 (skipped)", byte);
  return text;
}

std::string EncodedWordFinding(const std::string& note) { return "Encoded word: " + note; }

std::string EmbeddedMessageFinding(const std::string& error) { return "Embedded message does not parse: " + error; }

std::string LineEndFinding(int64_t converted, bool mixed) {
  return std::string(mixed ? "Mixed line ends: " : "LF-only line ends: ") + std::to_string(converted) +
         " read as CR LF (offsets count the added CRs)";
}

namespace {

bool IsLineSpace(unsigned char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// Position of the first byte that is neither a base64 digit nor line
// space (a pad '=' included), or npos. Bodies are long runs of digits: eight table lookups are
// folded per step, and only a step that holds a fault is looked at again.
size_t FirstNonBase64(std::string_view s, size_t from) {
  static const auto kBad = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
      t[static_cast<size_t>(c)] = Base64DecodeTable[c] == kBase64Pad ||
                                  (Base64DecodeTable[c] == kBase64Skip && !IsLineSpace(static_cast<unsigned char>(c)));
    return t;
  }();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = from, n = s.size();
  for (; i + 8 <= n; i += 8) {
    if (kBad[p[i]] | kBad[p[i + 1]] | kBad[p[i + 2]] | kBad[p[i + 3]] | kBad[p[i + 4]] | kBad[p[i + 5]] |
        kBad[p[i + 6]] | kBad[p[i + 7]])
      break;
  }
  for (; i < n; ++i)
    if (kBad[p[i]]) return i;
  return std::string_view::npos;
}

void FindBase64Faults(std::string_view s, std::vector<TFinding>& out) {
  // Decoding skips bytes outside the alphabet, stops at the first pad and
  // drops an incomplete last group: each is a finding, the first of each
  // kind at its place.
  size_t digits = 0;  // alphabet characters before the first pad
  size_t at = 0;
  bool reportedBad = false;
  while (true) {
    size_t bad = FirstNonBase64(s, at);
    size_t stop = bad == std::string_view::npos ? s.size() : bad;
    for (size_t i = at; i < stop; ++i)
      if (!IsLineSpace(static_cast<unsigned char>(s[i]))) ++digits;
    if (bad == std::string_view::npos) break;
    if (s[bad] != '=') {
      if (!reportedBad) out.push_back(TFinding{static_cast<int64_t>(bad), Base64BadByteFinding(s[bad])});
      reportedBad = true;
      at = bad + 1;
      continue;
    }
    // The first pad.
    size_t place = digits % 4;
    if (place < 2) {
      out.push_back(TFinding{static_cast<int64_t>(bad), finding::kBase64Pad});
      return;
    }
    size_t after = bad + 1;
    while (after < s.size() && (s[after] == '=' || IsLineSpace(static_cast<unsigned char>(s[after])))) ++after;
    if (after < s.size()) out.push_back(TFinding{static_cast<int64_t>(after), finding::kBase64AfterPad});
    return;
  }
  if (digits % 4 != 0) {
    size_t last = s.size();
    while (last > 0 && IsLineSpace(static_cast<unsigned char>(s[last - 1]))) --last;
    out.push_back(TFinding{static_cast<int64_t>(last), finding::kBase64Partial});
  }
}

constexpr bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

constexpr auto kHexDigits = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c) t[static_cast<size_t>(c)] = IsHex(static_cast<char>(c));
  return t;
}();

// Whether the '=' at i of p (n bytes) is an escape or a soft line break.
bool GoodEscape(const char* p, size_t n, size_t i) {
  if (i + 2 < n && kHexDigits[static_cast<unsigned char>(p[i + 1])] && kHexDigits[static_cast<unsigned char>(p[i + 2])])
    return true;
  // "=" before the line end is a soft break (trailing blanks allowed).
  size_t j = i + 1;
  while (j < n && (p[j] == ' ' || p[j] == '\t')) ++j;
  return j == n || p[j] == '\r' || p[j] == '\n';
}

// One pass for both faults. Text bodies hold an '=' every few bytes, so
// the candidates are found sixteen at a time and only they are looked at.
void FindQpFaults(std::string_view s, std::vector<TFinding>& out) {
  const char* p = s.data();
  const size_t n = s.size();
  size_t escape = std::string_view::npos, nul = std::string_view::npos;
  auto look = [&](size_t i) {
    if (p[i] == '\0') {
      if (nul == std::string_view::npos) nul = i;
    } else if (escape == std::string_view::npos && !GoodEscape(p, n, i)) {
      escape = i;
    }
  };
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i equals = _mm_set1_epi8('='), zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    auto marks =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, equals), _mm_cmpeq_epi8(v, zero))));
    while (marks) {
      look(i + static_cast<size_t>(std::countr_zero(marks)));
      marks &= marks - 1;
    }
    if (escape != std::string_view::npos && nul != std::string_view::npos) break;
  }
#endif
  for (; i < n; ++i)
    if (p[i] == '=' || p[i] == '\0') look(i);
  if (escape != std::string_view::npos) out.push_back(TFinding{static_cast<int64_t>(escape), finding::kQpBadEscape});
  if (nul != std::string_view::npos) out.push_back(TFinding{static_cast<int64_t>(nul), finding::kQpNul});
}

}  // namespace

void FindBodyFaults(std::string_view body, const std::string& encoding, std::vector<TFinding>& out) {
  if (encoding == "base64") {
    FindBase64Faults(body, out);
  } else if (encoding == "quoted-printable") {
    FindQpFaults(body, out);
  } else if (encoding != "binary") {
    // A binary body may hold any byte; 7bit and 8bit text may not hold NUL.
    if (const void* nul = std::memchr(body.data(), '\0', body.size()))
      out.push_back(TFinding{static_cast<const char*>(nul) - body.data(), finding::kNulInBody});
  }
}

namespace {

// Whether a base64 body is clean, judged by its shape and the size it
// decoded to. It must be lines of one length L, each followed by CR LF, the
// last one no longer; then its A characters (without end padding) decode to
// A / 4 * 3 bytes and one or two more for a padded last group. The decoder
// skips bytes outside the alphabet and stops at a pad, so any such byte
// among the A leaves fewer characters decoded, and fewer bytes: decoded
// size falls strictly with every character lost unless A % 4 is 1, which
// is itself a fault. Only one byte in L + 2 is read.
bool CleanBase64Shape(std::string_view s, int64_t decodedSize) {
  static const uint16_t kCrLf = [] {
    uint16_t v;
    std::memcpy(&v, "\r\n", 2);
    return v;
  }();
  size_t e = s.size();
  while (e > 0 && IsLineSpace(static_cast<unsigned char>(s[e - 1]))) --e;
  size_t digitsEnd = e;
  while (digitsEnd > 0 && s[digitsEnd - 1] == '=') --digitsEnd;
  const size_t pads = e - digitsEnd;
  if (pads > 2) return false;
  size_t lines = 0;
  const size_t length = s.find("\r\n");
  if (length == 0) return false;
  if (length != std::string_view::npos && length < e) {
    // s[e - 1] is no line space: a line end must start before it.
    size_t p = 0;
    uint32_t bad = 0;
    for (; p + length + 1 < e; p += length + 2, ++lines) {
      uint16_t pair;
      std::memcpy(&pair, s.data() + p + length, 2);
      bad |= pair ^ kCrLf;
    }
    if (bad || p + length < e) return false;
  }
  if (digitsEnd < 2 * lines) return false;
  const size_t digits = digitsEnd - 2 * lines;
  const size_t rest = digits % 4;
  if (pads == 0 ? rest != 0 : rest < 2) return false;
  static constexpr size_t kTail[4] = {0, 0, 1, 2};
  return decodedSize == static_cast<int64_t>(digits / 4 * 3 + kTail[rest]);
}

}  // namespace

void FindBodyFaults(std::string_view body, const std::string& encoding, int64_t decodedSize,
                    std::vector<TFinding>& out) {
  if (encoding == "base64" && CleanBase64Shape(body, decodedSize)) return;
  FindBodyFaults(body, encoding, out);
}

namespace {

// Where a text's offsets lie in the message file: Base added to them, or,
// for decoded content, nowhere; then DecodedAt is the file offset of the
// encoded body it came from and Base is added to offsets in the decoded
// bytes.
struct TOrigin {
  int64_t Base = 0;
  int64_t DecodedAt = -1;
};

}  // namespace

// Only parts with findings get an entry; most parts have none.
struct TFindingCollector::TState {
  struct TPart {
    std::string Path;
    TBodyPart* Part;
    std::vector<TFinding> Findings;
  };
  bool WithBodies = false;
  TPartFindingHook Hook;
  // Inner roots of peeled layers are visited twice (below their layer and
  // as a root): only a message with such roots needs the set.
  bool Dedupe = false;
  std::unordered_set<const TBodyPart*> Seen;
  TBodyPart* Last = nullptr;
  std::string LastPath;
  bool LastNew = false;
  // Index into Parts of the last visited part's entry, or -1.
  ptrdiff_t LastEntry = -1;
  std::vector<TPart> Parts;
  std::unordered_map<const TText*, TOrigin> Origins;

  std::vector<TFinding>& EntryOfLast() {
    if (LastEntry < 0) {
      Parts.push_back(TPart{LastPath, Last, {}});
      LastEntry = static_cast<ptrdiff_t>(Parts.size()) - 1;
    }
    return Parts[static_cast<size_t>(LastEntry)].Findings;
  }
  TOrigin OriginOf(const TBodyPart& part) const {
    auto it = Origins.find(part.Text);
    return it == Origins.end() ? TOrigin{0, 0} : it->second;
  }
};

TFindingCollector::TFindingCollector(TMessage& message, bool withBodies, TPartFindingHook hook)
    : S_(std::make_unique<TState>()) {
  S_->WithBodies = withBodies;
  S_->Hook = std::move(hook);
  S_->Dedupe = message.RootCount() > 1;
  S_->Origins[message.Text.get()] = TOrigin{};
}

TFindingCollector::~TFindingCollector() = default;

TBodyPart* InnerRootOrNull(TBodyPart& part) {
  try {
    return part.InnerRoot();
  } catch (const std::exception&) {
    return nullptr;
  }
}

void TFindingCollector::Visit(const std::string& path, TBodyPart& part, bool leaf, TBodyPart* inner) {
  TState& s = *S_;
  s.Last = &part;
  s.LastEntry = -1;
  s.LastNew = !s.Dedupe || s.Seen.insert(&part).second;
  if (!s.LastNew) return;
  s.LastPath = path;
  if (!part.Findings.empty()) {
    std::vector<TFinding>& list = s.EntryOfLast();
    list.insert(list.end(), part.Findings.begin(), part.Findings.end());
  }
  if (s.WithBodies && leaf && part.Text && part.RawSize() > 0) {
    std::vector<TFinding> body;
    FindBodyFaults(part.Text->GetView(part.BodyStart, part.BodyEnd), EncodingName(part.TransferEncoding), body);
    if (!body.empty()) {
      std::vector<TFinding>& list = s.EntryOfLast();
      for (TFinding& f : body) list.push_back(TFinding{f.Offset + part.BodyStart, std::move(f.Text)});
    }
  }
  // The content below this part: a view into its text, or decoded bytes.
  {
    if (inner && inner->Text && part.Text && inner->Text != part.Text && !s.Origins.count(inner->Text)) {
      TOrigin outer = s.OriginOf(part);
      const char* start = inner->Text->Start();
      TOrigin o;
      if (start >= part.Text->Start() && inner->Text->End() <= part.Text->End()) {
        o.Base = outer.Base + (start - part.Text->Start());
        o.DecodedAt = outer.DecodedAt;
      } else {
        o.DecodedAt = outer.DecodedAt >= 0 ? outer.DecodedAt : outer.Base + part.BodyStart;
      }
      s.Origins[inner->Text] = o;
    }
  }
  if (s.Hook) {
    std::vector<TFinding> more;
    s.Hook(part, more);
    if (!more.empty()) {
      std::vector<TFinding>& list = s.EntryOfLast();
      list.insert(list.end(), more.begin(), more.end());
    }
  }
}

// An embedded message that does not parse (ForEachPart reports it right
// after visiting its part).
void TFindingCollector::Failed(const std::string&, const std::string& error) {
  TState& s = *S_;
  if (!s.Last || !s.LastNew) return;
  int64_t offset = s.Last->BodyStart;
  std::string text = EmbeddedMessageFinding(error);
  try {
    s.Last->InnerRoot();
  } catch (const EMimeParseError& e) {
    std::string encoding = EncodingName(s.Last->TransferEncoding);
    if (e.Offset >= 0 && (encoding == "base64" || encoding == "quoted-printable"))
      text += " (at byte " + std::to_string(e.Offset) + " of the decoded message)";
    else if (e.Offset >= 0)
      offset += e.Offset;
  } catch (const std::exception&) {
  }
  s.EntryOfLast().push_back(TFinding{offset, std::move(text)});
}

void TFindingCollector::DecodedBody(const TBodyPart& part, int64_t decodedSize) {
  TState& s = *S_;
  if (&part != s.Last || !s.LastNew || !part.Text || part.RawSize() <= 0) return;
  std::vector<TFinding> body;
  FindBodyFaults(part.Text->GetView(part.BodyStart, part.BodyEnd), EncodingName(part.TransferEncoding), decodedSize,
                 body);
  if (body.empty()) return;
  std::vector<TFinding>& list = s.EntryOfLast();
  for (TFinding& f : body) list.push_back(TFinding{f.Offset + part.BodyStart, std::move(f.Text)});
}

std::vector<TMessageFinding> TFindingCollector::Result() {
  TState& s = *S_;
  std::vector<TMessageFinding> result;
  for (TState::TPart& p : s.Parts) {
    std::stable_sort(p.Findings.begin(), p.Findings.end(),
                     [](const TFinding& a, const TFinding& b) { return a.Offset < b.Offset; });
    TOrigin origin = s.OriginOf(*p.Part);
    for (TFinding& f : p.Findings) {
      TMessageFinding m{p.Path, p.Part, origin.Base + f.Offset, std::move(f.Text)};
      if (origin.DecodedAt >= 0) {
        m.Text += " (at byte " + std::to_string(m.Offset) + " of the decoded content)";
        m.Offset = origin.DecodedAt;
      }
      result.push_back(std::move(m));
    }
  }
  s.Parts.clear();
  return result;
}

std::vector<TMessageFinding> CollectFindings(TMessage& message, bool withBodies, const TPartFindingHook& hook) {
  TFindingCollector collector(message, withBodies, hook);
  ForEachPart(
      message,
      [&](const std::string& path, TBodyPart& part, bool leaf) {
        collector.Visit(path, part, leaf, leaf ? nullptr : InnerRootOrNull(part));
      },
      [&](const std::string& path, const std::string& error) { collector.Failed(path, error); });
  return collector.Result();
}

std::string FindingLine(const TMessageFinding& finding) {
  return EscapeLine(finding.Path) + "\t" + std::to_string(finding.Offset) + "\t" + EscapeLine(finding.Text);
}

}  // namespace tessel
