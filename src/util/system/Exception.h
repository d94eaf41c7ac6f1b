// Exceptions shared by every subsystem.
//
// Failures are exceptions that carry an English message text. `Exception` is
// the plain kind; subsystems derive their own (`EWinException`, `EIllegalChar`,
// ...) so that callers can tell them apart.
#pragma once

#include <stdexcept>
#include <string>

namespace tessel {

class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Raised by character readers for bytes that do not form a character.
class EIllegalChar : public Exception {
public:
  using Exception::Exception;
};

}  // namespace tessel
