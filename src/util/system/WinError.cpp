#include "util/system/WinError.h"

#include <cstring>
#include <map>
#include <mutex>

namespace tessel {

namespace {

struct ErrorTexts {
  std::mutex Lock;
  std::map<uint32_t, std::string> Texts;
};

ErrorTexts& Registered() {
  static ErrorTexts texts;
  return texts;
}

}  // namespace

void RegisterErrorText(uint32_t code, const std::string& text) {
  ErrorTexts& t = Registered();
  std::lock_guard<std::mutex> guard(t.Lock);
  t.Texts[code] = text;
}

std::string ErrorText(uint32_t code) {
  {
    ErrorTexts& t = Registered();
    std::lock_guard<std::mutex> guard(t.Lock);
    auto it = t.Texts.find(code);
    if (it != t.Texts.end()) return it->second;
  }
  if (code == 0) return "The operation completed successfully.";
  if (code < 0x10000) {
    char buf[256];
    // GNU strerror_r returns the text, which may or may not live in buf.
    const char* text = strerror_r(static_cast<int>(code), buf, sizeof buf);
    if (text && std::strncmp(text, "Unknown error", 13) != 0) return std::string(text) + ".";
  }
  return std::string();
}

std::string GetWinErrorText(uint32_t code) {
  std::string text = ErrorText(code);
  return text.empty() ? text : text + "\r\n";
}

// The caller's message says what failed and the system text why; both are
// shown, the system text alone rarely tells a user what went wrong.
void RaiseSystemError(const std::string& message, uint32_t code) {
  std::string text = ErrorText(code);
  if (message.empty()) throw EWinException(text, code);
  if (text.empty()) throw EWinException(message, code);
  throw EWinException(message + " " + text, code);
}

}  // namespace tessel
