// Helpers for the tests that compare the engine with other implementations
// over the shared corpus: SHA-1 through libcrypto, the
// comparable forms of a part's content, the rules of the engine that explain
// the expected differences, and the agreement count.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "CorpusPresence.h"
#include "MimeTestSupport.h"
#include "support/TestSupport.h"
#include "mime/MessageFile.h"
#include "util/charsets/Charsets.h"
#include "util/streams/FileStream.h"
#include "util/text/StringUtils.h"

namespace corpus {

using namespace mimetest;

inline std::string Corpus() { return TESSEL_CORPUS; }

inline std::string Sha1Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), digest, &n, EVP_sha1(), nullptr);
  return tessel::test::ToHex(std::string_view(reinterpret_cast<const char*>(digest), n));
}

using tessel::test::ParseJson;
using tessel::test::TJson;

// The rules of the engine that make it differ from other readers; each
// difference the corpus comparisons accept names one of them (or, as
// "CPython: ...", a rule of the other reader).
inline const std::map<std::string, std::string> kRules = {
    {"NoHeader",
     "a line without a colon where a header line is expected (no header block, no blank line after it, a "
     "folded line without leading blank, an mbox \"From \" line without colon) does not parse"},
    {"BlankLine", "a line holding only blanks continues the header block; only an empty line ends it"},
    {"DelimiterLine",
     "a delimiter line directly followed by another delimiter line (or by text without a colon) is "
     "read as a part's header line and the message does not parse"},
    {"UnclosedWord",
     "\"=?\" inside a header value starts an encoded word; one never closed drops the rest of the "
     "line (here the end of the boundary)"},
    {"Digest", "parts of a multipart/digest without Content-Type are not taken as message/rfc822"},
    {"MessageTypes",
     "only message/rfc822 holds an embedded message; other message/* types (delivery-status, partial, "
     "external-body, disposition-notification) are leaves"},
    {"Innermost",
     "delimiters are searched innermost first, so an enclosing multipart's delimiter inside a part (or a "
     "nested multipart that reuses the enclosing boundary) does not end it"},
    {"Prefix", "a line is a delimiter when it begins with the delimiter, whatever follows"},
    {"NoBoundary",
     "a multipart without a plain boundary parameter (none, RFC 2231 boundary*=, or hidden by \";;\") "
     "has the delimiter CR LF \"--\", which every line starting with \"--\" matches"},
    {"EmptyBody", "a multipart whose delimiter never occurs gets an empty body"},
    {"Childless", "a multipart without parts keeps its preamble and delimiter lines as raw content"},
    {"LastContentType", "of repeated Content-Type lines the last one decides"},
    {"Charset", "an encoded word in a charset outside the registry (koi8-r) reads as plain 8-bit text"},
    {"Rfc2231", "RFC 2231 parameters (filename*=) are not decoded"},
    {"QuotedPrintable",
     "quoted-printable: an \"=\" not followed by two hex digits swallows itself and the next two "
     "bytes"},
    {"PartialQuad", "base64: a partial quad at the end of the body is dropped"},
    {"OtherEncoding", "transfer encodings other than base64 and quoted-printable are copied"},
    {"EncodedMessage", "a base64 or quoted-printable message/rfc822 is decoded before its message is parsed"},
    {"EndDelimiter", "a delimiter at the very end of the text opens no further part"},
    {"ColonLine", "every line with a colon is a header line, whatever its name (NUL bytes included)"},
    {"CrOnly",
     "only CR ends a line in a text that is not converted, so an LF-only blank line inside a CR LF header "
     "block does not end it"},
    {"EmbeddedNoHeader", "an embedded message without a header line does not parse and shows as a leaf"}};

// A message file as the engine loads it, plus where the line-end rule added
// CRs (offsets in the converted text), so that content can be compared with
// readers that keep LF line ends.
struct TLoaded {
  std::unique_ptr<tessel::TMessage> Message;
  std::string Error;
  std::vector<int32_t> InsertedCr;
};

inline TLoaded Load(const std::string& path) {
  TLoaded loaded;
  std::string original = tessel::ReadFileBytes(path), bytes = original;
  if (tessel::ApplyLineEndRule(bytes))
    for (size_t i = 0; i < original.size(); ++i)
      if (original[i] == '\n' && (i == 0 || original[i - 1] != '\r'))
        loaded.InsertedCr.push_back(static_cast<int32_t>(i + loaded.InsertedCr.size()));
  try {
    loaded.Message = std::make_unique<tessel::TMessage>(std::move(bytes));
  } catch (const std::exception& e) {
    loaded.Error = e.what();
  }
  return loaded;
}

// Whether a form of the part's decoded content that a reader of the original
// file may have produced passes match: as decoded; with every CR LF as LF;
// and, for a converted file, decoded from the body with the added CRs taken
// out again (except in "=" CR LF, the soft line break the quoted-printable
// decoder expects). If none does, the difference goes to diffs.
inline void CompareContent(const TLoaded& loaded, const tessel::TBodyPart& part, const std::string& path,
                           const std::string& theirSize, const std::function<bool(const std::string&)>& match,
                           std::vector<std::string>& diffs) {
  std::string decoded = Decoded(part), lf;
  for (size_t i = 0; i < decoded.size(); ++i)
    if (!(decoded[i] == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n')) lf += decoded[i];
  if (match(decoded) || match(lf)) return;
  const tessel::TText& text = *loaded.Message->Text;
  // Parts of an embedded message stored as is refer into a slice of the text.
  int64_t base = part.Text->Start() - text.Start();
  if (!loaded.InsertedCr.empty() && base >= 0 && base <= text.Length() && part.BodyEnd > part.BodyStart) {
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
    if (match(out.DataString())) return;
  }
  diffs.push_back(path + ": content " + std::to_string(decoded.size()) + " bytes / " + theirSize + " (" +
                  tessel::WideToUtf8(part.TransferEncoding) + ")");
}

// The differences a comparison expects, from a file of the test data: a
// line "path<TAB>reason" per message file (the reason names one of kRules or
// starts with "CPython: "), then each difference exactly as the comparison
// reports it, on a line of its own that starts with a tab.
struct TKnown {
  std::string Rule;
  std::vector<std::string> Diffs;
};

inline std::map<std::string, TKnown> ReadKnown(const std::string& file) {
  std::map<std::string, TKnown> known;
  std::istringstream in(tessel::ReadFileBytes(file));
  TKnown* last = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    if (tab == 0 && last) {
      last->Diffs.push_back(line.substr(1));
    } else {
      EXPECT_NE(tab, std::string::npos) << file << ": " << line;
      last = &known[line.substr(0, tab)];
      last->Rule = tab == std::string::npos ? "" : line.substr(tab + 1);
      EXPECT_TRUE(kRules.count(last->Rule) || last->Rule.rfind("CPython: ", 0) == 0) << line << ": no such rule";
    }
  }
  return known;
}

// A difference as one line: control bytes and backslashes as \xNN.
inline std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += "0123456789abcdef"[c >> 4];
      out += "0123456789abcdef"[c & 15];
    }
  }
  return out;
}

// Loads each message file and compares its tree with another reader's.
// A file fails unless it agrees or differs exactly as listed in known; a
// listed file that agrees now, or that was not compared, fails too.
struct TAgreement {
  using TCompare = std::function<void(const TLoaded&, tessel::TBodyPart& root, std::vector<std::string>& diffs)>;
  explicit TAgreement(std::map<std::string, TKnown> known) : Known(std::move(known)) {}
  std::map<std::string, TKnown> Known;
  int Total = 0, Agreeing = 0;
  std::set<std::string> Seen;

  void Check(const std::string& key, const std::string& path, const TCompare& compare) {
    ++Total;
    Seen.insert(key);
    TLoaded loaded = Load(path);
    std::vector<std::string> diffs;
    if (!loaded.Message)
      diffs.push_back("not parsed: " + loaded.Error);
    else
      compare(loaded, *loaded.Message->RootPart, diffs);
    for (std::string& diff : diffs) diff = Escaped(diff);
    auto known = Known.find(key);
    if (diffs.empty()) {
      ++Agreeing;
      EXPECT_TRUE(known == Known.end()) << key << " now agrees; drop it from the list";
    } else if (known == Known.end() || known->second.Diffs != diffs) {
      ADD_FAILURE() << (known == Known.end() ? "an unlisted difference" : "not the listed difference") << ":\n"
                    << key << "\t" << (known == Known.end() ? "?" : known->second.Rule) << "\n\t"
                    << tessel::JoinStrings(diffs, "\n\t");
    }
  }
  // The agreement count, with a floor on the files compared: a fault in
  // reading the other reader's output must not pass on no files at all.
  void Report(const char* reader, int atLeast) const {
    std::cout << reader << " agreement: " << Agreeing << " of " << Total << " messages\n";
    EXPECT_GE(Total, atLeast);
    for (const auto& [key, known] : Known) EXPECT_TRUE(Seen.count(key)) << key << " is listed but was not compared";
  }
};

}  // namespace corpus
