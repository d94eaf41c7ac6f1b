#include "mime/StructureListing.h"

#include "util/charsets/Charsets.h"
#include "util/text/LineEscape.h"

namespace tessel {

std::string EscapeListingText(std::string_view utf8, bool quoted) {
  return EscapeLine(utf8, quoted ? EscapeQuote : EscapeSpace);
}

std::string FormatPartLine(const std::string& path, const TBodyPart& part) {
  std::string line = path;
  line += '\t';
  // The type is a column of its own: only control bytes would break it.
  line += part.ContentType.empty() ? std::string("-") : EscapeLine(WideToUtf8(part.ContentType));
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
