// Writing an output file so that a failure never costs the old one: the
// bytes go to a fresh file in the target's folder, which takes the target's
// name only when complete (Commit). Until then the old file is untouched;
// without a Commit the fresh file is removed.
#pragma once

#include <cstdint>
#include <string>

#include "util/streams/Stream.h"

namespace tessel {

class TReplacingFileStream : public TSinkStream {
public:
  // A symbolic link at fileName stays a link: the file it points to is
  // replaced. Raises EWinException "Cannot create file ..." when no file can
  // be made in the folder.
  explicit TReplacingFileStream(const std::string& fileName);
  ~TReplacingFileStream() override;
  TReplacingFileStream(const TReplacingFileStream&) = delete;
  TReplacingFileStream& operator=(const TReplacingFileStream&) = delete;

  // Flushes the bytes to the disk and gives them the target's name (a new
  // file gets mode 0666 less the umask, a replaced one keeps its mode).
  // Raises EWinException; the old file then stays as it was.
  void Commit();

protected:
  // Writes all of buffer or raises EWinException "Cannot write file ...".
  int32_t Take(const void* buffer, int32_t count) override;

private:
  std::string Target_;
  std::string Temp_;
  int Fd_ = -1;
};

// Whether both names lead to one file (same device and inode, links
// followed). False when either cannot be looked at.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace tessel
