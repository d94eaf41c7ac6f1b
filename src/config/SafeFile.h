// Replacing a file so that a crash or a full disk never leaves it half
// written: the new contents go to a fresh file in the same folder, are
// flushed to the disk, and only then take the old file's name. Until that
// rename the old file is untouched; after it the new one is complete.
#pragma once

#include <string>
#include <string_view>

namespace tessel {

// Writes bytes as the new contents of fileName. A symbolic link at fileName
// stays a link: the file it points to is replaced. An existing file's
// permission bits carry over to the new one; an existing file that may not
// be written (or has no write permission bit at all) is refused. Raises
// EWinException ("Cannot create file ...", "Cannot write file ...") with the
// system error code; the old file is then unchanged and no temporary file is
// left behind.
void ReplaceFileContents(const std::string& fileName, std::string_view bytes);

// Keeps a copy of fileName beside it as fileName + ".bak" (replacing an older
// copy the same safe way). Raises like ReplaceFileContents, or with the read
// error of fileName.
void KeepBackupCopy(const std::string& fileName);

// Whether something exists under that name (following links).
bool FileExists(const std::string& fileName);

}  // namespace tessel
