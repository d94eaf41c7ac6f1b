// Errors that carry a numeric status code, and the texts of those codes.
//
// Codes below 0x10000 are operating-system error numbers (errno); larger ones
// are status codes the subsystems register with their texts (the S/MIME layer
// registers the cryptographic status codes it reports).
#pragma once

#include <cstdint>
#include <string>

#include "util/system/Exception.h"

namespace tessel {

class EWinException : public Exception {
public:
  EWinException(const std::string& message, uint32_t errorCode)
      : Exception(message), ErrorCode(errorCode) {}
  uint32_t ErrorCode;
};

// The calling thread's last error code, set by the platform layers where an
// operation fails (file streams, temporary files, certificate stores).
uint32_t GetLastError();
void SetLastError(uint32_t code);

// The system's message text for a code, ending in a line break like the
// platform's own texts; an unknown code gives the empty string.
std::string GetWinErrorText(uint32_t code);
std::string GetLastErrorText();

// Registers (or replaces) the text of a status code of our own.
void RegisterErrorText(uint32_t code, const std::string& text);

// Raise EWinException with the message and the last error code.
[[noreturn]] void RaiseWinError(const std::string& message);
// Raise a plain Exception with the message followed by the last error's text.
[[noreturn]] void RaiseLastError(const std::string& message);

}  // namespace tessel
