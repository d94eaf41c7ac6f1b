// Small helpers shared by the message engine tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mime/Message.h"
#include "mime/MimeParser.h"
#include "util/streams/MemoryStream.h"

namespace mimetest {

// Lines written with "|" for CR LF, so that test messages read like the text
// they stand for.
inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '|' ? std::string("\r\n") : std::string(1, c);
  return out;
}

inline std::unique_ptr<tessel::TMessage> Parse(const std::string& bytes,
                                               const tessel::TParseOptions& options = tessel::MimeParseOptions()) {
  return std::make_unique<tessel::TMessage>(bytes.data(), static_cast<int32_t>(bytes.size()), options);
}

// Options whose delimiter searches all go through the index of delimiter
// lines (no scanning budget).
inline tessel::TParseOptions IndexedOptions() {
  tessel::TParseOptions options = tessel::MimeParseOptions();
  options.DelimiterScanBudget = 0;
  return options;
}

// The parts below a part in the structure tree: the embedded message of a
// message/rfc822 part (none when it does not parse), else the children.
inline std::vector<tessel::TBodyPart*> PathChildren(tessel::TBodyPart& part) {
  tessel::TBodyPart* inner = nullptr;
  try {
    inner = part.InnerRoot();
  } catch (const tessel::EMimeParseError&) {
  }
  if (inner) return {inner};
  std::vector<tessel::TBodyPart*> children;
  for (int32_t i = 0; i < part.ChildCount(); ++i) children.push_back(part.Children(i));
  return children;
}

inline std::string Raw(const tessel::TBodyPart& part) { return part.GetRawText(); }

// The tree below a part in one line: a leaf's raw body in quotes, a
// multipart's children in brackets, an embedded message in braces; "^"
// marks a child whose Parent() is not the multipart it is listed under.
inline std::string Shape(tessel::TBodyPart& part) {
  std::vector<tessel::TBodyPart*> children = PathChildren(part);
  if (children.empty()) return "'" + Raw(part) + "'";
  bool embedded = part.ChildCount() == 0;
  std::string out;
  for (tessel::TBodyPart* child : children)
    out += (out.empty() ? "" : ",") + std::string(!embedded && child->Parent() != &part ? "^" : "") + Shape(*child);
  return embedded ? "{" + out + "}" : "(" + out + ")";
}

// How many embedded messages lie one in the other below the root.
inline int32_t EmbeddedDepth(tessel::TMessage& m) {
  int32_t depth = 0;
  for (tessel::TBodyPart* p = m.RootPart; (p = p->InnerRoot());) ++depth;
  return depth;
}

// The decoded content, as far as it decodes.
inline std::string Decoded(const tessel::TBodyPart& part) {
  tessel::TStringStream out;
  try {
    part.GetDecodedContent(out);
  } catch (const std::exception&) {
  }
  return out.TakeDataString();
}

}  // namespace mimetest
