#include "mime/Mailbox.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "util/text/StringUtils.h"

namespace tessel {

namespace {

enum class TTokenKind { Atom, Quoted, DomainLiteral, Special };

struct TToken {
  TTokenKind Kind;
  std::string Text;  // an atom or literal as written, a quoted string's content, the special character
  bool Is(char special) const { return Kind == TTokenKind::Special && Text.size() == 1 && Text[0] == special; }
};

bool IsSpecial(char c) {
  switch (c) {
    case '(':
    case ')':
    case '<':
    case '>':
    case '[':
    case ']':
    case ':':
    case ';':
    case '@':
    case '\\':
    case ',':
    case '"': return true;
    default: return false;
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Splits the field into tokens; comments and white space are dropped. An
// unterminated quoted string, comment or literal runs to the end.
std::vector<TToken> Tokenize(std::string_view s) {
  std::vector<TToken> tokens;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (IsBlank(c)) {
      ++i;
    } else if (c == '(') {
      // Comments nest; a backslash quotes the next character.
      int32_t depth = 0;
      for (; i < s.size(); ++i) {
        if (s[i] == '\\') {
          ++i;
        } else if (s[i] == '(') {
          ++depth;
        } else if (s[i] == ')' && --depth == 0) {
          ++i;
          break;
        }
      }
    } else if (c == '"') {
      std::string text;
      for (++i; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        text += s[i];
      }
      if (i < s.size()) ++i;
      tokens.push_back({TTokenKind::Quoted, std::move(text)});
    } else if (c == '[') {
      size_t end = s.find(']', i);
      end = end == std::string_view::npos ? s.size() : end + 1;
      tokens.push_back({TTokenKind::DomainLiteral, std::string(s.substr(i, end - i))});
      i = end;
    } else if (IsSpecial(c)) {
      tokens.push_back({TTokenKind::Special, std::string(1, c)});
      ++i;
    } else {
      size_t start = i;
      while (i < s.size() && !IsBlank(s[i]) && !IsSpecial(s[i])) ++i;
      tokens.push_back({TTokenKind::Atom, std::string(s.substr(start, i - start))});
    }
  }
  return tokens;
}

bool ValidDotAtom(const std::string& atom) {
  if (atom.empty() || atom.front() == '.' || atom.back() == '.') return false;
  return atom.find("..") == std::string::npos;
}

// local-part "@" domain from exactly these tokens.
bool BareAddress(const std::vector<TToken>& tokens, size_t from, size_t to, TMailbox& mailbox) {
  if (to - from != 3 || !tokens[from + 1].Is('@')) return false;
  const TToken& local = tokens[from];
  const TToken& domain = tokens[from + 2];
  bool localOk = local.Kind == TTokenKind::Quoted || (local.Kind == TTokenKind::Atom && ValidDotAtom(local.Text));
  bool domainOk =
      domain.Kind == TTokenKind::DomainLiteral || (domain.Kind == TTokenKind::Atom && ValidDotAtom(domain.Text));
  if (!localOk || !domainOk) return false;
  mailbox.LocalPart = local.Text;
  mailbox.Domain = domain.Text;
  return true;
}

// One mailbox from tokens [from, to): a bare address, or a display name
// (words) followed by one bracketed address, which may start with an
// obsolete route ("@a,@b:").
bool Mailbox(const std::vector<TToken>& tokens, size_t from, size_t to, TMailbox& mailbox) {
  if (from >= to) return false;
  size_t open = to;
  for (size_t i = from; i < to; ++i) {
    if (tokens[i].Is('<')) {
      if (open != to) return false;  // a second bracketed address
      open = i;
    }
  }
  if (open == to) return BareAddress(tokens, from, to, mailbox);
  // Before the bracket only words may stand: the display name.
  for (size_t i = from; i < open; ++i)
    if (tokens[i].Kind != TTokenKind::Atom && tokens[i].Kind != TTokenKind::Quoted) return false;
  if (!tokens[to - 1].Is('>')) return false;
  size_t start = open + 1, end = to - 1;
  for (size_t i = start; i < end; ++i)
    if (tokens[i].Is(':')) start = i + 1;  // the route ends at its colon
  for (size_t i = start; i < end; ++i)
    if (tokens[i].Is('>')) return false;
  return BareAddress(tokens, start, end, mailbox);
}

}  // namespace

std::vector<TMailbox> ParseMailboxes(std::string_view field) {
  std::vector<TMailbox> mailboxes;
  std::vector<TToken> tokens = Tokenize(field);
  size_t start = 0;
  bool inAngle = false;
  auto finish = [&](size_t end) {
    TMailbox m;
    if (Mailbox(tokens, start, end, m)) mailboxes.push_back(std::move(m));
    start = end + 1;
  };
  for (size_t i = 0; i < tokens.size(); ++i) {
    const TToken& t = tokens[i];
    if (t.Is('<')) {
      inAngle = true;
    } else if (t.Is('>')) {
      inAngle = false;
    } else if (inAngle) {
      continue;  // a route's commas and colon belong to the bracketed address
    } else if (t.Is(',') || t.Is(';')) {
      finish(i);
    } else if (t.Is(':')) {
      // A group's name: words only, then its mailboxes up to ";".
      bool phrase = i > start;
      for (size_t j = start; j < i; ++j)
        if (tokens[j].Kind != TTokenKind::Atom && tokens[j].Kind != TTokenKind::Quoted) phrase = false;
      if (phrase) {
        start = i + 1;
      } else {
        // Not a group: the whole address is malformed; skip to its end.
        while (i + 1 < tokens.size() && !tokens[i + 1].Is(',') && !tokens[i + 1].Is(';')) ++i;
        start = i + 2;
        ++i;
      }
    }
  }
  if (start < tokens.size()) finish(tokens.size());
  return mailboxes;
}

namespace {

// The first CR or LF at or after i, size when there is none; sixteen bytes
// a step, as a header block can hold hundreds of thousands of lines.
size_t FindLineBreak(const char* data, size_t i, size_t size) {
#ifdef __SSE2__
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  for (; size - i >= 16; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const auto breaks =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
    if (breaks) return i + static_cast<size_t>(__builtin_ctz(breaks));
  }
#endif
  for (; i < size; ++i)
    if (data[i] == '\r' || data[i] == '\n') return i;
  return size;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string RawHeaderField(std::string_view header, std::string_view name) {
  std::string value;
  bool inField = false;
  const char* data = header.data();
  size_t size = header.size(), i = 0;
  const char first = name.empty() ? '\0' : LowerAscii(name[0]);
  while (i < size) {
    size_t end = FindLineBreak(data, i, size);
    std::string_view line = header.substr(i, end - i);
    i = end;
    if (i < size && header[i] == '\r') ++i;
    if (i < size && header[i] == '\n') ++i;
    if (line.empty()) break;  // the end of the header block
    if (line[0] == ' ' || line[0] == '\t') {
      if (inField) value.append(line);
      continue;
    }
    // A field of another name is passed over without looking for its colon.
    if (!name.empty() && LowerAscii(line[0]) != first) {
      inField = false;
      continue;
    }
    size_t colon = line.find(':');
    inField = colon != std::string_view::npos && SameText(TrimBlanks(line.substr(0, colon)), name);
    if (inField) value.assign(line.substr(colon + 1));
  }
  return value;
}

}  // namespace tessel
