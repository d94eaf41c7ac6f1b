#include "mime/ParseOptions.h"

#include "mime/bodypart.h"
#include "util/text/StringUtils.h"

namespace tessel {

void TParseOptions::SetPartClass(const std::string& contentType, TPartFactory factory) {
  PartClasses[LowerCase(contentType)] = factory;
}

TPartFactory TParseOptions::FindPartClass(const std::string& contentType) const {
  auto it = PartClasses.find(contentType);
  return it == PartClasses.end() ? nullptr : it->second;
}

const TParseOptions& MimeParseOptions() {
  static const TParseOptions options = [] {
    TParseOptions o;
    o.SetPartClass("message/rfc822", [] { return std::unique_ptr<TBodyPart>(new TRFC822BodyPart()); });
    return o;
  }();
  return options;
}

}  // namespace tessel
