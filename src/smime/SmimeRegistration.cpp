#include "SmimeRegistration.h"

#include <mutex>

#include "MultipartSigned.h"
#include "SecuritySummary.h"
#include "SmimeBodyPart.h"
#include "StatusCodes.h"
#include "mime/MimeParser.h"
#include "util/WinError.h"

namespace tessel {

void RegisterSmimeParts() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterStatusTexts();
    // The codes of "no data of that kind", kept in the part's status.
    RegisterErrorText(static_cast<uint32_t>(-2), "not encrypted");
    RegisterErrorText(static_cast<uint32_t>(-3), "not signed");
    TPartFactory smime = [] { return std::unique_ptr<TBodyPart>(new TSmimeBodyPart()); };
    RegisterPartClass("application/pkcs7-mime", smime);
    RegisterPartClass("application/x-pkcs7-mime", smime);
    RegisterPartClass("multipart/signed", [] { return std::unique_ptr<TBodyPart>(new TMultipartSigned()); });
    TMessageHooks hooks;
    hooks.CreateSummary = CreateSecuritySummary;
    hooks.BuildSummary = BuildSecuritySummary;
    SetMessageHooks(hooks);
  });
}

}  // namespace tessel
