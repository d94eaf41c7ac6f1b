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

#include "util/streams/FileStream.h"

namespace tessel {

class TTempFiles;

class TTempFileStream : public TFileStream {
public:
  // Creates the file exclusively (mode 0600). The stream is recorded with
  // owner's entry for fileName when owner made that name and no other stream
  // is recorded there; otherwise it has no owner.
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
  // Makes a name and creates the file on it exclusively (a name taken in the
  // meantime is passed over for the next number). The caller owns the
  // stream; if it is still alive when this object is freed, it forgets its
  // owner, and with DeleteOnFree its file is closed before it is deleted.
  // A failed creation raises EWinException; the name stays in Names.
  std::unique_ptr<TTempFileStream> NewTempFile(const std::string& prefix, const std::string& extension);

  const std::vector<std::string>& Names() const;
  bool DeleteOnFree() const { return DeleteOnFree_; }

private:
  friend class TTempFileStream;
  struct TEntry {
    std::string Name;
    TTempFileStream* Stream = nullptr;
    // NewTempFile could not create the file: the name is kept, but a file
    // that someone else makes under it later is not ours to delete.
    bool NotCreated = false;
  };
  std::string FirstFreeName(const std::string& dir, const std::string& prefix, const std::string& extension,
                            uint32_t from, uint32_t& number) const;

  bool DeleteOnFree_;
  std::vector<TEntry> Entries_;
  mutable std::vector<std::string> NameCache_;
};

}  // namespace tessel
