#include "smime/parts/SmimeParseOptions.h"

#include <mutex>

#include "smime/parts/MultipartSigned.h"
#include "smime/parts/SecuritySummary.h"
#include "smime/parts/SmimeBodyPart.h"
#include "smime/cms/StatusCodes.h"
#include "util/system/WinError.h"

namespace tessel {

namespace {

void RegisterSmimeTexts() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterStatusTexts();
    // The codes of "no data of that kind", kept in the part's status.
    RegisterErrorText(static_cast<uint32_t>(-2), "not encrypted");
    RegisterErrorText(static_cast<uint32_t>(-3), "not signed");
  });
}

}  // namespace

const TParseOptions& SmimeParseOptions() {
  static const TParseOptions options = [] {
    RegisterSmimeTexts();
    TParseOptions o = MimeParseOptions();
    TPartFactory smime = [] { return std::unique_ptr<TBodyPart>(new TSmimeBodyPart()); };
    o.SetPartClass("application/pkcs7-mime", smime);
    o.SetPartClass("application/x-pkcs7-mime", smime);
    o.SetPartClass("multipart/signed", [] { return std::unique_ptr<TBodyPart>(new TMultipartSigned()); });
    o.Hooks.CreateContext = [] { return std::shared_ptr<TParseContext>(std::make_shared<TSmimeStores>()); };
    o.Hooks.CreateSummary = CreateSecuritySummary;
    o.Hooks.BuildSummary = BuildSecuritySummary;
    return o;
  }();
  return options;
}

}  // namespace tessel
