#include "config/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "util/streams/FileStream.h"
#include "util/system/WinError.h"

namespace tessel {

namespace {

// The file a name finally stands for: links are followed so that replacing
// the file keeps the link; a dangling link or a plain name is used as it is.
std::string ResolveTarget(const std::string& fileName) {
  struct stat st;
  if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fileName;
  char buf[PATH_MAX];
  if (::realpath(fileName.c_str(), buf) == nullptr) return fileName;
  return buf;
}

std::string DirectoryOf(const std::string& fileName) {
  size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

// Removes the temporary file unless it was renamed into place.
class TTempFile {
public:
  explicit TTempFile(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0;; ++attempt) {
      Name = dir + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
      Fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
      if (Fd >= 0) return;
      if (errno != EEXIST || attempt > 100) RaiseFileError("Cannot create file", target, errno);
    }
  }
  ~TTempFile() {
    if (Fd >= 0) ::close(Fd);
    if (!Name.empty()) ::unlink(Name.c_str());
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  std::string Name;
  int Fd = -1;
};

}  // namespace

bool FileExists(const std::string& fileName) {
  struct stat st;
  return ::stat(fileName.c_str(), &st) == 0;
}

void ReplaceFileContents(const std::string& fileName, std::string_view bytes) {
  std::string target = ResolveTarget(fileName);
  struct stat old;
  bool exists = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // The rename below needs only the folder's permission, so it would replace
  // a file its owner made read-only. Refuse instead: read-only means keep.
  // The mode bits count too, since a privileged user passes every access check.
  if (exists && (::access(target.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(old.st_mode & 07777));
    throw EWinException(
        "Cannot write file \"" + target + "\". The file is read-only (mode " + mode + "), so it is not replaced.",
        EACCES);
  }
  TTempFile temp(target);
  if (exists) (void)::fchmod(temp.Fd, old.st_mode & 07777);

  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(temp.Fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseFileError("Cannot write file", target, n < 0 ? errno : ENOSPC);
    p += n;
    left -= static_cast<size_t>(n);
  }
  // Data must be on the disk before the name moves, or a crash right after
  // the rename could leave an empty file under the old name.
  if (::fsync(temp.Fd) != 0) RaiseFileError("Cannot write file", target, errno);
  int fd = temp.Fd;
  temp.Fd = -1;
  if (::close(fd) != 0) RaiseFileError("Cannot write file", target, errno);
  if (::rename(temp.Name.c_str(), target.c_str()) != 0) RaiseFileError("Cannot write file", target, errno);
  temp.Name.clear();

  // Makes the rename itself durable; the new contents are complete either
  // way, so a folder that cannot be synced is no error.
  int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    ::close(dirFd);
  }
}

void KeepBackupCopy(const std::string& fileName) {
  std::string target = ResolveTarget(fileName);
  ReplaceFileContents(target + ".bak", ReadFileBytes(target));
}

}  // namespace tessel
