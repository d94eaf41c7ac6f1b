#include "util/system/WinError.h"

#include <cstring>
#include <map>
#include <mutex>

namespace tessel {

namespace {

thread_local uint32_t LastError = 0;

struct ErrorTexts {
  std::mutex Lock;
  std::map<uint32_t, std::string> Texts;
};

ErrorTexts& Registered() {
  static ErrorTexts texts;
  return texts;
}

}  // namespace

uint32_t GetLastError() { return LastError; }
void SetLastError(uint32_t code) { LastError = code; }

void RegisterErrorText(uint32_t code, const std::string& text) {
  ErrorTexts& t = Registered();
  std::lock_guard<std::mutex> guard(t.Lock);
  t.Texts[code] = text;
}

std::string GetWinErrorText(uint32_t code) {
  {
    ErrorTexts& t = Registered();
    std::lock_guard<std::mutex> guard(t.Lock);
    auto it = t.Texts.find(code);
    if (it != t.Texts.end()) return it->second + "\r\n";
  }
  if (code == 0) return "The operation completed successfully.\r\n";
  if (code < 0x10000) {
    char buf[256];
    // GNU strerror_r returns the text, which may or may not live in buf.
    const char* text = strerror_r(static_cast<int>(code), buf, sizeof buf);
    if (text && std::strncmp(text, "Unknown error", 13) != 0) return std::string(text) + ".\r\n";
  }
  return std::string();
}

std::string GetLastErrorText() { return GetWinErrorText(GetLastError()); }

void RaiseWinError(const std::string& message) { throw EWinException(message, GetLastError()); }

// The caller's message says what failed and the system text why; both are
// shown, the system text alone rarely tells a user what went wrong.
void RaiseLastError(const std::string& message) {
  std::string text = GetLastErrorText();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (message.empty()) throw Exception(text);
  if (text.empty()) throw Exception(message);
  throw Exception(message + " " + text);
}

}  // namespace tessel
