#include "util/streams/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "util/system/WinError.h"

namespace tessel {

[[noreturn]] void RaiseFileError(const char* what, const std::string& name, int err) {
  RaiseSystemError(std::string(what) + " \"" + name + "\".", static_cast<uint32_t>(err));
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FileName_(fileName) {
  int flags = O_CLOEXEC;
  const char* what = "Cannot open file";
  switch (mode) {
    case TFileMode::OpenRead: flags |= O_RDONLY; break;
    case TFileMode::OpenReadWrite: flags |= O_RDWR; break;
    case TFileMode::Create:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      what = "Cannot create file";
      break;
    case TFileMode::CreateExclusive:
      flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
      what = "Cannot create file";
      break;
  }
  mode_t perm = mode == TFileMode::CreateExclusive ? 0600 : 0666;
  do {
    Fd_ = ::open(fileName.c_str(), flags, perm);
  } while (Fd_ < 0 && errno == EINTR);
  if (Fd_ < 0) RaiseFileError(what, fileName, errno);
  struct stat st;
  if (::fstat(Fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(Fd_);
    Fd_ = -1;
    RaiseFileError(what, fileName, EISDIR);
  }
}

TFileStream::~TFileStream() { Close(); }

void TFileStream::Close() {
  if (Fd_ >= 0) ::close(Fd_);
  Fd_ = -1;
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  char* p = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::read(Fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    // A failed read is no end of the file: what was read is not all there is.
    if (n < 0 && Fd_ >= 0) RaiseFileError("Cannot read file", FileName_, errno);
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const char* p = static_cast<const char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(Fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the caller sees the short count
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t TFileStream::Seek(int32_t offset, int origin) {
  if (Fd_ < 0) return 0;
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : origin == soEnd ? SEEK_END : -1;
  if (whence < 0) return static_cast<int32_t>(::lseek(Fd_, 0, SEEK_CUR));
  off_t r = ::lseek(Fd_, offset, whence);
  if (r < 0) return static_cast<int32_t>(::lseek(Fd_, 0, SEEK_CUR));
  if (r > std::numeric_limits<int32_t>::max()) RaiseFileError("File too large", FileName_, EFBIG);
  return static_cast<int32_t>(r);
}

void TFileStream::SetSize(int32_t newSize) {
  if (::ftruncate(Fd_, newSize < 0 ? 0 : newSize) != 0) RaiseFileError("Cannot resize file", FileName_, errno);
  if (GetPosition() > newSize) Seek(newSize, soBeginning);
}

void TFileStream::Sync() {
  if (::fsync(Fd_) != 0) RaiseFileError("Cannot write file", FileName_, errno);
}

std::string ReadFileBytes(const std::string& fileName) {
  TFileStream f(fileName, TFileMode::OpenRead);
  struct stat st;
  if (::fstat(f.Handle(), &st) != 0) RaiseFileError("Cannot read file", fileName, errno);
  if (st.st_size > std::numeric_limits<int32_t>::max()) RaiseFileError("Cannot read file", fileName, EFBIG);
  std::string data;
  if (S_ISREG(st.st_mode)) {
    // Regular files: one allocation of the right size, no zero fill needed.
    data.resize(static_cast<size_t>(st.st_size));
    data.resize(static_cast<size_t>(f.Read(data.data(), static_cast<int32_t>(data.size()))));
  }
  // Pipes, devices, or a file that grew while we read: read the rest in chunks.
  char chunk[65536];
  for (;;) {
    int32_t n = f.Read(chunk, sizeof chunk);
    if (n <= 0) break;
    if (data.size() + static_cast<size_t>(n) > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      RaiseFileError("Cannot read file", fileName, EFBIG);
    data.append(chunk, static_cast<size_t>(n));
  }
  return data;
}

}  // namespace tessel
