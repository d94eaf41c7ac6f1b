#include "StructureListing.h"

#include "util/Charsets.h"

namespace tessel {

namespace {

std::string Escape(std::string_view utf8, bool quotes, bool spaces) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size());
  for (char ch : utf8) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || (spaces && c == ' ')) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (quotes && (c == '"' || c == '\\')) {
      out += '\\';
      out += ch;
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

std::string EscapeListingText(std::string_view utf8, bool quoted) { return Escape(utf8, quoted, !quoted); }

std::string FormatPartLine(const std::string& path, const TBodyPart& part) {
  std::string line = path;
  line += '\t';
  // The type is a column of its own: only control bytes would break it.
  line += part.ContentType.empty() ? std::string("-") : Escape(WideToUtf8(part.ContentType), false, false);
  line += '\t';
  std::string fields;
  auto add = [&fields](const std::string& field) {
    if (!fields.empty()) fields += ' ';
    fields += field;
  };
  if (const char* tag = part.ClassTag()) add(std::string("class=") + tag);
  if (std::string details = part.ListingDetails(); !details.empty()) add(details);
  if (!part.TransferEncoding.empty()) add("enc=" + EscapeListingText(WideToUtf8(part.TransferEncoding), false));
  if (part.IsAttachment) add("disp=attachment");
  if (!part.Name.empty()) add("name=\"" + EscapeListingText(WideToUtf8(part.Name), true) + "\"");
  if (!part.FileName.empty()) add("filename=\"" + EscapeListingText(WideToUtf8(part.FileName), true) + "\"");
  add("size=" + std::to_string(part.RawSize()));
  add("at=" + std::to_string(part.HeaderStart) + "," + std::to_string(part.BodyStart) + "," +
      std::to_string(part.BodyEnd));
  line += fields;
  return line;
}

}  // namespace tessel
