// Small helpers shared by the message engine tests.
#pragma once

#include <memory>
#include <string>

#include "mime/Message.h"
#include "mime/StructureListing.h"
#include "util/MemoryStream.h"

namespace mimetest {

// Lines written with "|" for CR LF, so that test messages read like the text
// they stand for.
inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '|' ? std::string("\r\n") : std::string(1, c);
  return out;
}

inline std::unique_ptr<tessel::TMessage> Parse(const std::string& bytes) {
  return std::make_unique<tessel::TMessage>(bytes.data(), static_cast<int32_t>(bytes.size()));
}

inline void ListPart(tessel::TBodyPart& part, const std::string& path, std::string& out) {
  out += tessel::FormatPartLine(path, part) + "\n";
  tessel::TBodyPart* inner = nullptr;
  try {
    inner = part.InnerRoot();
  } catch (const std::exception&) {
  }
  if (inner) return ListPart(*inner, path + ".1", out);
  for (int32_t i = 0; i < part.ChildCount(); ++i) ListPart(*part.Children(i), path + "." + std::to_string(i + 1), out);
}

// The structure listing of the whole message.
inline std::string Listing(tessel::TMessage& message) {
  std::string out;
  for (int32_t i = 0; i < message.RootCount(); ++i) ListPart(*message.Roots(i), std::to_string(i + 1), out);
  return out;
}

inline std::string Raw(const tessel::TBodyPart& part) { return part.GetRawText(); }

inline std::string DecodedText(const tessel::TBodyPart& part) {
  tessel::TStringStream out;
  part.GetDecodedContent(out);
  return out.TakeDataString();
}

}  // namespace mimetest
