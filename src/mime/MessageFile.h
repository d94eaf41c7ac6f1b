// Loading message files, with the line-end rule of this platform.
//
// Message files written by Unix tools (maildir files, mbox exports) end
// their lines with LF alone, while the parser only ends a line at CR. A file
// whose header block (the bytes up to and including its first empty line,
// or the whole file when there is none) contains LF and no CR therefore has
// every LF that is not preceded by CR read as CR LF. The converted bytes are
// the message text: offsets, saved parts and signature checks all see the
// canonical CR LF form. Files with CR LF (or CR) line ends are taken as
// they are. Every path that loads a message file goes through here.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Message.h"

namespace tessel {

// Whether the line-end rule converts bytes.
bool HasBareLfHeader(std::string_view bytes);
// bytes with every LF that is not preceded by CR replaced by CR LF.
std::string ExpandBareLf(std::string_view bytes);
// Converts bytes in place when HasBareLfHeader says so; true when it did.
bool ApplyLineEndRule(std::string& bytes);

// How a file's bytes get into memory.
enum class TFileAccess {
  // Read into a block of memory: the text stays valid whatever happens to
  // the file later (the windows keep messages open for a long time).
  Read,
  // Mapped, for commands that read a file once: nothing is copied. The file
  // must not shrink while the text lives. Files that need the line-end
  // rule, and files that cannot be mapped, are read.
  Map,
};

// The text of a message file with the line-end rule applied. Raises
// EWinException when the file cannot be read (or is too large for a text).
std::unique_ptr<TText> LoadMessageText(const std::string& fileName, TFileAccess access = TFileAccess::Read);
// The same bytes as a byte string.
std::string ReadMessageFile(const std::string& fileName);
// LoadMessageText, then the message parsed from it: raises EWinException
// for an unreadable file and EMimeParseError for a message that does not
// parse.
std::unique_ptr<TMessage> LoadMessageFile(const std::string& fileName, TFileAccess access = TFileAccess::Read);

}  // namespace tessel
