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
  EWinException(const std::string& message, uint32_t errorCode) : Exception(message), ErrorCode(errorCode) {}
  uint32_t ErrorCode;
};

// The text of a code without a line break: what a subsystem registered for
// it, or the system's text of an errno; "" for an unknown code.
std::string ErrorText(uint32_t code);
// The same text ending in CR LF, the form callers of this name have always
// received (an unknown code still gives "").
std::string GetWinErrorText(uint32_t code);

// Registers (or replaces) the text of a status code of our own.
void RegisterErrorText(uint32_t code, const std::string& text);

// Raises EWinException with code and a message that says what failed
// followed by the code's text, which says why ("Cannot open file "x".
// No such file or directory."); the message alone when the code has no text.
[[noreturn]] void RaiseSystemError(const std::string& message, uint32_t code);

}  // namespace tessel
