// Temporary files in the user's private temporary directory.
//
// The directory is per user ($TMPDIR or /tmp, then "tessel-<uid>", mode
// 0700). Files are created exclusively with mode 0600, never following or
// reusing an existing file or link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileStream.h"

namespace tessel {

class TTempFiles;

class TTempFileStream : public TFileStream {
public:
  TTempFileStream(TTempFiles* owner, const std::string& fileName);
  ~TTempFileStream() override;

  TTempFiles* Owner() const { return Owner_; }

private:
  friend class TTempFiles;
  TTempFiles* Owner_;
};

class TTempFiles {
public:
  explicit TTempFiles(bool deleteOnFree);
  ~TTempFiles();
  TTempFiles(const TTempFiles&) = delete;
  TTempFiles& operator=(const TTempFiles&) = delete;

  // The per-user temporary directory, created when missing; ends with "/".
  static std::string TempDirectory();

  // A new unique name: directory + prefix + number (at least four upper-case
  // hex digits, the first free one) + "." extension. Prefix and extension are
  // cleaned so that no name can leave the temporary directory.
  std::string NewTempFileName(const std::string& prefix, const std::string& extension);
  // Makes a name and creates the file on it. The caller owns the stream; if
  // it is still alive when this object deletes its files, its file is closed
  // first and the stream forgets its owner.
  std::unique_ptr<TTempFileStream> NewTempFile(const std::string& prefix, const std::string& extension);

  const std::vector<std::string>& Names() const;
  bool DeleteOnFree() const { return DeleteOnFree_; }

private:
  friend class TTempFileStream;
  struct TEntry {
    std::string Name;
    TTempFileStream* Stream = nullptr;
  };
  bool DeleteOnFree_;
  std::vector<TEntry> Entries_;
  mutable std::vector<std::string> NameCache_;
};

}  // namespace tessel
