// The parse options that join the S/MIME classes to the message engine.
// Messages parsed with them get TSmimeBodyPart for "application/pkcs7-mime"
// and "application/x-pkcs7-mime", TMultipartSigned for "multipart/signed"
// and a security summary; with MimeParseOptions() those parts stay plain.
#pragma once

#include "mime/ParseOptions.h"

namespace tessel {

// The same object on every call. The first call also registers the texts of
// the S/MIME status codes (once, safe from any thread).
const TParseOptions& SmimeParseOptions();

}  // namespace tessel
