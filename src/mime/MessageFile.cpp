#include "MessageFile.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "util/FileStream.h"
#include "util/WinError.h"

namespace tessel {

bool HasBareLfHeader(std::string_view bytes) {
  const char* data = bytes.data();
  size_t size = bytes.size();
  size_t from = 0;
  bool sawLf = false;
  while (true) {
    const void* hit = std::memchr(data + from, '\n', size - from);
    size_t lf = hit ? static_cast<size_t>(static_cast<const char*>(hit) - data) : size;
    if (std::memchr(data + from, '\r', lf - from)) return false;
    if (!hit) return sawLf;
    sawLf = true;
    if (lf == 0 || data[lf - 1] == '\n') return true;  // the first empty line closes the header block
    from = lf + 1;
  }
}

std::string ExpandBareLf(std::string_view bytes) {
  const char* data = bytes.data();
  size_t size = bytes.size();
  size_t bare = 0;
  for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, '\n', size - (p - data))));) {
    if (p == data || p[-1] != '\r') ++bare;
    ++p;
  }
  std::string out;
  out.resize(size + bare);
  char* q = out.data();
  size_t from = 0;
  while (from < size) {
    const void* hit = std::memchr(data + from, '\n', size - from);
    size_t lf = hit ? static_cast<size_t>(static_cast<const char*>(hit) - data) : size;
    std::memcpy(q, data + from, lf - from);
    q += lf - from;
    if (!hit) break;
    if (lf == 0 || data[lf - 1] != '\r') *q++ = '\r';
    *q++ = '\n';
    from = lf + 1;
  }
  return out;
}

bool ApplyLineEndRule(std::string& bytes) {
  if (!HasBareLfHeader(bytes)) return false;
  std::string converted = ExpandBareLf(bytes);
  bytes.swap(converted);
  return true;
}

std::string ReadMessageFile(const std::string& fileName) {
  std::string bytes = ReadFileBytes(fileName);
  ApplyLineEndRule(bytes);
  // Offsets into a message are 32-bit; CR LF conversion can push a file
  // that was just small enough over the limit.
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
  {
    std::string text = GetWinErrorText(EFBIG);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    throw EWinException("Cannot read file \"" + fileName + "\". " + text, EFBIG);
  }
  return bytes;
}

std::unique_ptr<TMessage> LoadMessageFile(const std::string& fileName) {
  return std::make_unique<TMessage>(ReadMessageFile(fileName));
}

}  // namespace tessel
