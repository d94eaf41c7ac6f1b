// Helpers for the XML toolkit tests: an event recorder that turns the
// parser's events into one line of text, and short string conversions.
#pragma once

#include <memory>
#include <string>

#include "support/TestSupport.h"
#include "util/streams/MemoryStream.h"
#include "xml/KeyText.h"
#include "xml/QXMLParser.h"

namespace tessel::xmltest {

inline std::string N(const std::u16string& s) { return KeyFromWide(s); }
inline std::u16string W(const std::string& s) { return WideFromKey(s); }

inline TQName Q(const char* name) {
  TQName q;
  MakeSimpleQName(W(name), q);
  return q;
}

// Records events as [SD] [ED] C(text) P(target|data) T(text) S(qname{ns} a=v ...) E(qname),
// separated by blanks; namespace names are shown only when not empty, and the
// declaration marker U+0001 U+0002 U+0003 as "#".
class TRecorder {
public:
  void Attach(TQXMLParser& p) {
    p.Events.StartDocument = [this] { Log += "[SD]"; };
    p.Events.EndDocument = [this] { Log += "[ED]"; };
    p.Events.Comment = [this](const std::u16string& t) { Log += "C(" + N(t) + ")"; };
    p.Events.ProcessingInstruction = [this](const TPI& pi) { Log += "P(" + N(pi.Target) + "|" + N(pi.Data) + ")"; };
    p.Events.Characters = [this](TWStringBuf& b) { Log += "T(" + N(b.GetValue()) + ")"; };
    p.Events.StartElement = [this](const TQName& n, const TAttrList* a) {
      auto name = [](const TQName& q) {
        const std::string& ns = q.NamespaceURI;
        return N(q.QualifiedName) + (ns.empty() ? "" : ns == "\x01\x02\x03" ? "{#}" : "{" + ns + "}");
      };
      Log += "S(" + name(n);
      for (int32_t i = 0; a && i < a->Count(); ++i) Log += " " + name(a->Items(i)->Name) + "=" + N(a->Items(i)->Value);
      Log += ")";
    };
    p.Events.EndElement = [this](const TQName& n) { Log += "E(" + N(n.QualifiedName) + ")"; };
  }
  std::string Log;
};

inline std::unique_ptr<TStream> Bytes(const std::string& s) { return std::make_unique<TStringStream>(s); }

// The error message of parsing text (with a fresh parser unless one is
// given), or "" when it parses.
inline std::string ParseError(const std::string& text, bool isDocument = true, TQXMLParser* parser = nullptr) {
  TQXMLParser own;
  TQXMLParser& p = parser ? *parser : own;
  p.IsDocument = isDocument;
  try {
    p.Parse(Bytes(text));
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

// "message @line:column" of the parse error input raises (with a fresh
// parser unless one is given), or "parsed".
inline std::string ParseErrorAt(std::unique_ptr<TStream> input, TQXMLParser* parser = nullptr) {
  TQXMLParser own;
  try {
    (parser ? *parser : own).Parse(std::move(input));
  } catch (const EXMLParseError& e) {
    return e.Message() + " @" + std::to_string(e.Line) + ":" + std::to_string(e.Column);
  }
  return "parsed";
}

// The event log of parsing text, then "!" and the error message when it
// fails (events before the error are kept in front of it).
inline std::string ParseLog(const std::string& text, bool isDocument = true, TQXMLParser* parser = nullptr) {
  TQXMLParser own;
  TQXMLParser& p = parser ? *parser : own;
  TSaxEvents saved = p.Events;  // the recorder dies with this call
  TRecorder r;
  r.Attach(p);
  std::string error = ParseError(text, isDocument, &p);
  p.Events = saved;
  return error.empty() ? r.Log : r.Log + "!" + error;
}

}  // namespace tessel::xmltest
