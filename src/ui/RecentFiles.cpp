#include "ui/RecentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "util/streams/FileStream.h"

namespace tessel {

std::string EscapeMnemonics(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '&') out += '&';
    out += c == '\t' ? ' ' : c;
  }
  return out;
}

std::string NumberedCaption(int number, const std::string& text) {
  return "&" + std::to_string(number) + " " + EscapeMnemonics(text);
}

std::string CanonicalFileName(const std::string& name, const std::string& workingDirectory) {
  namespace fs = std::filesystem;
  fs::path path(name);
  if (path.is_relative()) path = fs::path(workingDirectory) / path;
  std::error_code error;
  fs::path canonical = fs::weakly_canonical(path, error);
  if (error) canonical = path.lexically_normal();
  return canonical.string();
}

void CheckRegularFile(const std::string& name) {
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) RaiseFileError("Cannot open file", name, errno);
  struct stat info {};
  const int error = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : S_ISREG(info.st_mode) ? 0 : EINVAL;
  close(fd);
  if (error != 0) RaiseFileError("Cannot open file", name, error);
}

void TRecentFiles::Assign(const std::vector<std::string>& names) {
  Names_.clear();
  for (const std::string& name : names)
    if (!name.empty() && std::find(Names_.begin(), Names_.end(), name) == Names_.end()) Names_.push_back(name);
}

void TRecentFiles::Touch(const std::string& name) {
  auto it = std::find(Names_.begin(), Names_.end(), name);
  if (it != Names_.end()) Names_.erase(it);
  Names_.insert(Names_.begin(), name);
}

std::vector<TReopenItem> TRecentFiles::ReopenItems(const std::function<bool(const std::string&)>& isOpen) const {
  std::vector<TReopenItem> items;
  const size_t offered = std::min(Names_.size(), static_cast<size_t>(kReopenItems));
  for (size_t i = 0; i < offered; ++i) {
    if (isOpen && isOpen(Names_[i])) continue;
    items.push_back({NumberedCaption(static_cast<int>(items.size()) + 1, Names_[i]), Names_[i]});
  }
  return items;
}

}  // namespace tessel
