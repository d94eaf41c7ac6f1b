#include "util/system/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "util/streams/FileStream.h"

namespace tessel {

namespace {

// The name a write should replace: the end of a chain of symbolic links.
std::string ResolveLinks(const std::string& fileName) {
  std::string name = fileName;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    std::string target(PATH_MAX, '\0');
    ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
    if (n <= 0) return name;
    target.resize(static_cast<size_t>(n));
    if (target[0] != '/') {
      size_t slash = name.rfind('/');
      if (slash != std::string::npos) target = name.substr(0, slash + 1) + target;
    }
    name = target;
  }
  return name;
}

std::string FolderOf(const std::string& fileName) {
  size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : fileName.substr(0, slash);
}

}  // namespace

TReplacingFileStream::TReplacingFileStream(const std::string& fileName) : Target_(ResolveLinks(fileName)) {
  std::string folder = FolderOf(Target_);
  std::string pattern = folder + "/.tessel-XXXXXX";
  Fd_ = ::mkstemp(pattern.data());
  if (Fd_ < 0) RaiseFileError("Cannot create file", fileName, errno);
  Temp_ = pattern;
}

TReplacingFileStream::~TReplacingFileStream() {
  if (Fd_ >= 0) ::close(Fd_);
  if (!Temp_.empty()) ::unlink(Temp_.c_str());
}

int32_t TReplacingFileStream::Take(const void* buffer, int32_t count) {
  const char* p = static_cast<const char*>(buffer);
  int32_t left = count;
  while (left > 0) {
    ssize_t n = ::write(Fd_, p, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseFileError("Cannot write file", Target_, n < 0 ? errno : ENOSPC);
    p += n;
    left -= static_cast<int32_t>(n);
  }
  return count;
}

void TReplacingFileStream::Commit() {
  struct stat st;
  mode_t mode;
  if (::stat(Target_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(Fd_, mode) != 0 || ::fsync(Fd_) != 0) RaiseFileError("Cannot write file", Target_, errno);
  int fd = Fd_;
  Fd_ = -1;
  if (::close(fd) != 0) RaiseFileError("Cannot write file", Target_, errno);
  if (::rename(Temp_.c_str(), Target_.c_str()) != 0) RaiseFileError("Cannot write file", Target_, errno);
  Temp_.clear();
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace tessel
