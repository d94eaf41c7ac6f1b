// A stream on an operating-system file.
#pragma once

#include <cstdint>
#include <string>

#include "util/streams/Stream.h"

namespace tessel {

enum class TFileMode {
  OpenRead,         // existing file, read only (works on files the user may only read)
  OpenReadWrite,    // existing file, read and write
  Create,           // new empty file, or an existing one truncated; read and write
  CreateExclusive,  // new file only, mode 0600; never follows or reuses an existing file or link
};

// Raises EWinException "<what> "<name>". <system text>" with err as its
// ErrorCode (and as the thread's last error).
[[noreturn]] void RaiseFileError(const char* what, const std::string& name, int err);

class TFileStream : public TStream {
public:
  // Raises EWinException with "Cannot open file "<name>". <system text>" or
  // "Cannot create file "<name>". <system text>" and the errno as ErrorCode.
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, int origin) override;
  void SetSize(int32_t newSize) override;

  // Closes the file early; afterwards reads and writes move nothing and the
  // position is 0. The destructor does nothing more.
  void Close();
  // Pushes written data to the disk (fsync); raises EWinException on failure.
  void Sync();
  const std::string& FileName() const { return FileName_; }
  int Handle() const { return Fd_; }

private:
  std::string FileName_;
  int Fd_ = -1;
};

// Reads a whole file into a byte string; raises like TFileStream.
std::string ReadFileBytes(const std::string& fileName);

}  // namespace tessel
