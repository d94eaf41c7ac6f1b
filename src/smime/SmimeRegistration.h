// Joining the S/MIME classes to the message engine. The engine knows
// nothing of S/MIME until this has run: application/pkcs7-mime parts stay
// plain parts and messages get no security summary. Every program entry
// (the windows and each headless command) calls it before loading a
// message.
#pragma once

namespace tessel {

// Registers TSmimeBodyPart for "application/pkcs7-mime" and
// "application/x-pkcs7-mime", TMultipartSigned for "multipart/signed", the
// summary hooks of TMessage and the texts of the status codes. Runs once;
// later calls do nothing.
void RegisterSmimeParts();

}  // namespace tessel
