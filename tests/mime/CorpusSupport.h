// Helpers for the tests that compare the engine with other implementations
// over the shared corpus: a small JSON reader, a tiny XML element reader,
// SHA-1 through libcrypto, the comparable forms of a part's content, and the
// rules of the engine that explain the expected differences.
#pragma once

#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mime/MessageFile.h"
#include "util/Charsets.h"
#include "util/MemoryStream.h"

namespace corpus {

inline std::string Corpus() { return TESSEL_CORPUS; }
inline bool Exists(const std::string& path) { return std::ifstream(path).good(); }

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string Sha1Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), digest, &n, EVP_sha1(), nullptr);
  std::string out;
  for (unsigned i = 0; i < n; ++i) out += "0123456789abcdef"[digest[i] >> 4], out += "0123456789abcdef"[digest[i] & 15];
  return out;
}

inline void PutUtf8(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  out += static_cast<char>((0xF00 >> n) | (c >> (6 * (n - 1))));
  for (int i = n - 2; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

// --- JSON: objects, arrays, strings, numbers and literals -------------------------

struct TJson {
  std::string S;  // a string, or the text of a number or literal
  double N = 0;
  std::vector<TJson> Items;      // array items or object values
  std::vector<std::string> Keys;  // object keys, parallel to Items
  const TJson* Get(const std::string& key) const {
    for (size_t i = 0; i < Keys.size(); ++i)
      if (Keys[i] == key) return &Items[i];
    return nullptr;
  }
  std::string Str(const std::string& key) const { return Get(key) ? Get(key)->S : std::string(); }
  bool True(const std::string& key) const { return Get(key) && Get(key)->S == "true"; }
};

inline TJson ParseJson(const std::string& t, size_t& p) {
  auto blank = [&] { p = t.find_first_not_of(" \t\r\n", p); };
  auto text = [&] {
    std::string out;
    for (++p; t[p] != '"'; ++p) {
      if (t[p] != '\\') {
        out += t[p];
        continue;
      }
      char e = t[++p];
      if (e == 'u') {
        uint32_t c = std::stoul(t.substr(p + 1, 4), nullptr, 16);
        p += 4;
        if (c >= 0xD800 && c < 0xDC00 && t.compare(p + 1, 2, "\\u") == 0) {
          c = 0x10000 + ((c - 0xD800) << 10) + (std::stoul(t.substr(p + 3, 4), nullptr, 16) - 0xDC00);
          p += 6;
        }
        PutUtf8(c, out);
      } else {
        out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == 'b' ? '\b' : e == 'f' ? '\f' : e;
      }
    }
    ++p;
    return out;
  };
  blank();
  TJson v;
  if (t[p] == '{' || t[p] == '[') {
    char close = t[p] == '{' ? '}' : ']';
    for (++p, blank(); t[p] != close; blank()) {
      if (close == '}') {
        v.Keys.push_back(text());
        blank();
        ++p;  // ':'
      }
      v.Items.push_back(ParseJson(t, p));
      blank();
      if (t[p] == ',') ++p;
    }
    ++p;
  } else if (t[p] == '"') {
    v.S = text();
  } else {
    size_t end = t.find_first_of(",]} \t\r\n", p);
    v.S = t.substr(p, end - p);
    if (v.S != "true" && v.S != "false" && v.S != "null") v.N = std::stod(v.S);
    p = end;
  }
  return v;
}

inline TJson ParseJson(const std::string& text) {
  size_t p = 0;
  return ParseJson(text, p);
}

// --- XML elements written by a serializer: tags, attributes, character data ---------

struct TXmlElement {
  std::string Name;
  std::map<std::string, std::string> Attributes;
  std::string Text;  // character data directly inside, entities resolved
  std::vector<std::unique_ptr<TXmlElement>> Children;
  const TXmlElement* Child(const std::string& name) const {
    for (const auto& c : Children)
      if (c->Name == name) return c.get();
    return nullptr;
  }
};

inline std::string XmlUnescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    size_t semi = s[i] == '&' ? s.find(';', i) : std::string::npos;
    if (semi == std::string::npos) {
      out += s[i];
      continue;
    }
    std::string name = s.substr(i + 1, semi - i - 1);
    static const std::map<std::string, char> kNamed = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    if (kNamed.count(name))
      out += kNamed.at(name);
    else
      PutUtf8(name[1] == 'x' ? std::stoul(name.substr(2), nullptr, 16) : std::stoul(name.substr(1)), out);
    i = semi;
  }
  return out;
}

inline std::unique_ptr<TXmlElement> ReadXmlTree(const std::string& text) {
  auto root = std::make_unique<TXmlElement>();
  std::vector<TXmlElement*> open{root.get()};
  for (size_t p = 0; p < text.size();) {
    size_t lt = text.find('<', p);
    open.back()->Text += XmlUnescape(text.substr(p, lt - p));
    if (lt == std::string::npos) break;
    size_t gt = text.find('>', lt);
    std::string tag = text.substr(lt + 1, gt - lt - 1);
    p = gt + 1;
    if (tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      if (open.size() > 1) open.pop_back();
      continue;
    }
    bool empty = tag.back() == '/';
    if (empty) tag.pop_back();
    auto element = std::make_unique<TXmlElement>();
    size_t at = tag.find_first_of(" \t\r\n");
    element->Name = tag.substr(0, at);
    for (size_t eq; at != std::string::npos && (eq = tag.find('=', at)) != std::string::npos;) {
      size_t close = tag.find(tag[eq + 1], eq + 2);
      size_t nameStart = tag.find_first_not_of(" \t\r\n", at);
      element->Attributes[tag.substr(nameStart, eq - nameStart)] = XmlUnescape(tag.substr(eq + 2, close - eq - 2));
      at = close + 1;
    }
    TXmlElement* raw = element.get();
    open.back()->Children.push_back(std::move(element));
    if (!empty) open.push_back(raw);
  }
  return root;
}

// --- why the engine differs from other readers ---------------------------------
// Each difference that the corpus comparisons accept comes from one of these
// rules of the engine.
namespace reason {
constexpr const char* NoHeader =
    "a line without a colon where a header line is expected (no header block, no blank line after it, "
    "a folded line without leading blank, an mbox \"From \" line without colon) does not parse";
constexpr const char* BlankLine = "a line holding only blanks continues the header block; only an empty line ends it";
constexpr const char* DelimiterLine =
    "a delimiter line directly followed by another delimiter line (or by text without a colon) is read "
    "as a part's header line and the message does not parse";
constexpr const char* UnclosedWord =
    "\"=?\" inside a header value starts an encoded word; one never closed drops the rest of the line "
    "(here the end of the boundary)";
constexpr const char* Digest = "parts of a multipart/digest without Content-Type are not taken as message/rfc822";
constexpr const char* MessageTypes =
    "only message/rfc822 holds an embedded message; other message/* types "
    "(delivery-status, partial, external-body, disposition-notification) are leaves";
constexpr const char* Innermost =
    "delimiters are searched innermost first, so an enclosing multipart's delimiter inside a part (or a "
    "nested multipart that reuses the enclosing boundary) does not end it";
constexpr const char* Prefix = "a line is a delimiter when it begins with the delimiter, whatever follows";
constexpr const char* NoBoundary =
    "a multipart without a plain boundary parameter (none, RFC 2231 boundary*=, or hidden by \";;\") has the "
    "delimiter CR LF \"--\", which every line starting with \"--\" matches";
constexpr const char* EmptyBody = "a multipart whose delimiter never occurs gets an empty body";
constexpr const char* Childless = "a multipart without parts keeps its preamble and delimiter lines as raw content";
constexpr const char* LastContentType = "of repeated Content-Type lines the last one decides";
constexpr const char* Charset = "an encoded word in a charset outside the registry (koi8-r) reads as plain 8-bit text";
constexpr const char* Rfc2231 = "RFC 2231 parameters (filename*=) are not decoded";
constexpr const char* QuotedPrintable =
    "quoted-printable: an \"=\" not followed by two hex digits swallows itself and the next two bytes";
constexpr const char* PartialQuad = "base64: a partial quad at the end of the body is dropped";
constexpr const char* OtherEncoding = "transfer encodings other than base64 and quoted-printable are copied";
constexpr const char* EncodedMessage = "a base64 or quoted-printable message/rfc822 is decoded before its message is parsed";
constexpr const char* EndDelimiter = "a delimiter at the very end of the text opens no further part";
constexpr const char* ColonLine = "every line with a colon is a header line, whatever its name (NUL bytes included)";
constexpr const char* CrOnly =
    "only CR ends a line in a text that is not converted, so an LF-only blank line inside a CR LF "
    "header block does not end it";
constexpr const char* EmbeddedNoHeader = "an embedded message without a header line does not parse and shows as a leaf";
}  // namespace reason

// --- our side ---------------------------------------------------------------

// A message file as the engine loads it, plus what the line-end rule did,
// so that content can be compared with readers that keep LF line ends.
struct TLoaded {
  std::unique_ptr<tessel::TMessage> Message;
  std::string Error;
  bool Converted = false;
  std::vector<int32_t> InsertedCr;  // offsets (in the converted text) of the CRs the rule added
};

inline TLoaded Load(const std::string& path) {
  TLoaded loaded;
  std::string original = ReadAll(path), bytes = original;
  loaded.Converted = tessel::ApplyLineEndRule(bytes);
  for (size_t i = 0, added = 0; loaded.Converted && i < original.size(); ++i)
    if (original[i] == '\n' && (i == 0 || original[i - 1] != '\r')) loaded.InsertedCr.push_back(static_cast<int32_t>(i + added++));
  try {
    loaded.Message = std::make_unique<tessel::TMessage>(std::move(bytes));
  } catch (const std::exception& e) {
    loaded.Error = e.what();
  }
  return loaded;
}

// The parts below a part in the structure tree (the embedded message of a
// message/rfc822 part, else the children).
inline std::vector<tessel::TBodyPart*> PathChildren(tessel::TBodyPart& part) {
  tessel::TBodyPart* inner = nullptr;
  try {
    inner = part.InnerRoot();
  } catch (const std::exception&) {
  }
  if (inner) return {inner};
  std::vector<tessel::TBodyPart*> children;
  for (int32_t i = 0; i < part.ChildCount(); ++i) children.push_back(part.Children(i));
  return children;
}

inline std::string Decoded(const tessel::TBodyPart& part) {
  tessel::TStringStream out;
  try {
    part.GetDecodedContent(out);
  } catch (const std::exception&) {
  }
  return out.TakeDataString();
}

// The forms of a part's decoded content that a reader of the original file
// may have produced: as decoded; with every CR LF as LF; and, for a
// converted file, decoded from the body with the inserted CRs taken out
// again (except in "=" CR LF, the soft line break the quoted-printable
// decoder expects).
inline std::vector<std::string> ContentForms(const TLoaded& loaded, const tessel::TBodyPart& part) {
  std::string decoded = Decoded(part), lf;
  for (size_t i = 0; i < decoded.size(); ++i)
    if (!(decoded[i] == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n')) lf += decoded[i];
  std::vector<std::string> forms{decoded, lf};
  const tessel::TText& text = *loaded.Message->Text;
  // Parts of an embedded message stored as is refer into a slice of the text.
  int64_t base = part.Text->Start() - text.Start();
  if (!loaded.Converted || base < 0 || base > text.Length() || part.BodyEnd <= part.BodyStart) return forms;
  int32_t from = static_cast<int32_t>(base) + part.BodyStart, to = static_cast<int32_t>(base) + part.BodyEnd;
  std::string body;
  auto cr = std::lower_bound(loaded.InsertedCr.begin(), loaded.InsertedCr.end(), from);
  for (int32_t i = from; i < to; ++i) {
    bool inserted = cr != loaded.InsertedCr.end() && *cr == i;
    if (inserted) ++cr;
    if (!inserted || (i > from && *text.PtrAt(i - 1) == '=')) body += *text.PtrAt(i);
  }
  tessel::TText original(std::move(body));
  tessel::TStringStream out;
  try {
    original.Decode(0, original.Length(), tessel::WideToUtf8(part.TransferEncoding), out);
  } catch (const std::exception&) {
  }
  forms.push_back(out.TakeDataString());
  return forms;
}

}  // namespace corpus
