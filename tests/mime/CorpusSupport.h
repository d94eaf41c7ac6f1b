// Helpers for the tests that compare the engine with other implementations
// over the shared corpus: a small JSON reader, a tiny XML element reader,
// SHA-1 through libcrypto, and the comparable forms of a part's content.
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
#include "mime/bodypart.h"
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
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < n; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

// --- JSON ---------------------------------------------------------------------

struct TJson {
  enum TKind { Null, Bool, Number, String, Array, Object } Kind = Null;
  bool B = false;
  double N = 0;
  std::string S;
  std::vector<TJson> A;
  std::vector<std::pair<std::string, TJson>> O;

  const TJson* Get(const std::string& key) const {
    for (const auto& [k, v] : O)
      if (k == key) return &v;
    return nullptr;
  }
  std::string Str(const std::string& key) const {
    const TJson* v = Get(key);
    return v && v->Kind == String ? v->S : std::string();
  }
};

class TJsonReader {
public:
  explicit TJsonReader(const std::string& text) : T_(text) {}
  TJson Parse() {
    TJson v = Value();
    return v;
  }

private:
  void Blank() {
    while (P_ < T_.size() && (T_[P_] == ' ' || T_[P_] == '\n' || T_[P_] == '\r' || T_[P_] == '\t')) ++P_;
  }
  static void PutUtf8(uint32_t c, std::string& out) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  std::string StringValue() {
    std::string out;
    ++P_;  // opening quote
    while (P_ < T_.size() && T_[P_] != '"') {
      char c = T_[P_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      char e = T_[P_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          uint32_t c1 = std::stoul(T_.substr(P_, 4), nullptr, 16);
          P_ += 4;
          if (c1 >= 0xD800 && c1 <= 0xDBFF && T_.compare(P_, 2, "\\u") == 0) {
            uint32_t c2 = std::stoul(T_.substr(P_ + 2, 4), nullptr, 16);
            P_ += 6;
            c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
          }
          PutUtf8(c1, out);
          break;
        }
        default: out += e;
      }
    }
    ++P_;
    return out;
  }
  TJson Value() {
    Blank();
    TJson v;
    char c = T_[P_];
    if (c == '{') {
      v.Kind = TJson::Object;
      ++P_;
      Blank();
      while (T_[P_] != '}') {
        Blank();
        std::string key = StringValue();
        Blank();
        ++P_;  // ':'
        v.O.emplace_back(key, Value());
        Blank();
        if (T_[P_] == ',') ++P_;
        Blank();
      }
      ++P_;
    } else if (c == '[') {
      v.Kind = TJson::Array;
      ++P_;
      Blank();
      while (T_[P_] != ']') {
        v.A.push_back(Value());
        Blank();
        if (T_[P_] == ',') ++P_;
        Blank();
      }
      ++P_;
    } else if (c == '"') {
      v.Kind = TJson::String;
      v.S = StringValue();
    } else if (T_.compare(P_, 4, "true") == 0 || T_.compare(P_, 5, "false") == 0) {
      v.Kind = TJson::Bool;
      v.B = c == 't';
      P_ += v.B ? 4 : 5;
    } else if (T_.compare(P_, 4, "null") == 0) {
      P_ += 4;
    } else {
      v.Kind = TJson::Number;
      size_t used = 0;
      v.N = std::stod(T_.substr(P_, 32), &used);
      P_ += used;
    }
    return v;
  }
  const std::string& T_;
  size_t P_ = 0;
};

// --- XML elements -------------------------------------------------------------

struct TXmlElement {
  std::string Name;
  std::map<std::string, std::string> Attributes;
  std::string Text;  // character data directly inside, entities resolved
  std::vector<std::unique_ptr<TXmlElement>> Children;
};

// Enough XML for element trees written by a serializer: tags, attributes,
// character data with the predefined and numeric entities. No DTDs, CDATA
// or comments.
inline std::unique_ptr<TXmlElement> ReadXmlTree(const std::string& text) {
  auto unescape = [](const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] != '&') {
        out += s[i];
        continue;
      }
      size_t semi = s.find(';', i);
      std::string name = s.substr(i + 1, semi - i - 1);
      if (name == "lt") out += '<';
      else if (name == "gt") out += '>';
      else if (name == "amp") out += '&';
      else if (name == "quot") out += '"';
      else if (name == "apos") out += '\'';
      else if (!name.empty() && name[0] == '#') {
        uint32_t c = name[1] == 'x' ? std::stoul(name.substr(2), nullptr, 16) : std::stoul(name.substr(1));
        std::string u;
        if (c < 0x80) u += static_cast<char>(c);
        else if (c < 0x800) u += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        else u += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        out += u;
      }
      i = semi;
    }
    return out;
  };
  auto root = std::make_unique<TXmlElement>();
  std::vector<TXmlElement*> open{root.get()};
  size_t p = 0;
  while (p < text.size()) {
    size_t lt = text.find('<', p);
    open.back()->Text += unescape(text.substr(p, lt == std::string::npos ? std::string::npos : lt - p));
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
    size_t sp = tag.find_first_of(" \t\r\n");
    element->Name = tag.substr(0, sp);
    while (sp != std::string::npos) {
      size_t eq = tag.find('=', sp);
      if (eq == std::string::npos) break;
      std::string name = tag.substr(sp, eq - sp);
      name.erase(0, name.find_first_not_of(" \t\r\n"));
      char quote = tag[eq + 1];
      size_t close = tag.find(quote, eq + 2);
      element->Attributes[name] = unescape(tag.substr(eq + 2, close - eq - 2));
      sp = close + 1 < tag.size() ? close + 1 : std::string::npos;
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
constexpr const char* Childless =
    "a multipart without parts keeps its preamble and delimiter lines as raw content";
constexpr const char* LastContentType = "of repeated Content-Type lines the last one decides";
constexpr const char* Charset = "an encoded word in a charset outside the registry (koi8-r) reads as plain 8-bit text";
constexpr const char* Rfc2231 = "RFC 2231 parameters (filename*=) are not decoded";
constexpr const char* QuotedPrintable =
    "quoted-printable: an \"=\" not followed by two hex digits swallows itself and the next two bytes";
constexpr const char* PartialQuad = "base64: a partial quad at the end of the body is dropped";
constexpr const char* OtherEncoding = "transfer encodings other than base64 and quoted-printable are copied";
constexpr const char* EncodedMessage =
    "a base64 or quoted-printable message/rfc822 is decoded before its message is parsed";
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
  // Offsets (in the converted text) of the CRs the rule inserted.
  std::vector<int32_t> InsertedCr;
};

inline TLoaded Load(const std::string& path) {
  TLoaded loaded;
  std::string original = ReadAll(path);
  std::string bytes = original;
  loaded.Converted = tessel::ApplyLineEndRule(bytes);
  if (loaded.Converted) {
    int32_t added = 0;
    for (size_t i = 0; i < original.size(); ++i)
      if (original[i] == '\n' && (i == 0 || original[i - 1] != '\r'))
        loaded.InsertedCr.push_back(static_cast<int32_t>(i) + added++);
  }
  try {
    loaded.Message = std::make_unique<tessel::TMessage>(std::move(bytes));
  } catch (const std::exception& e) {
    loaded.Error = e.what();
  }
  return loaded;
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
  std::string decoded = Decoded(part);
  std::vector<std::string> forms{decoded};
  // Also for parts of a decoded embedded message, which had the rule applied
  // on their own.
  std::string lf;
  for (size_t i = 0; i < decoded.size(); ++i)
    if (!(decoded[i] == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n')) lf += decoded[i];
  if (lf != decoded) forms.push_back(lf);
  if (!loaded.Converted) return forms;
  const tessel::TText& text = *loaded.Message->Text;
  // Parts of an embedded message stored as is refer into a slice of the text.
  int64_t base = part.Text->Start() - text.Start();
  if (base < 0 || base > text.Length() || part.BodyEnd <= part.BodyStart) return forms;
  int32_t from = static_cast<int32_t>(base) + part.BodyStart, to = static_cast<int32_t>(base) + part.BodyEnd;
  std::string body;
  auto cr = std::lower_bound(loaded.InsertedCr.begin(), loaded.InsertedCr.end(), from);
  for (int32_t i = from; i < to; ++i) {
    if (cr != loaded.InsertedCr.end() && *cr == i) {
      ++cr;
      if (!(i > from && *text.PtrAt(i - 1) == '=')) continue;
    }
    body += *text.PtrAt(i);
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
