// Loading message files, with the line-end rule of this platform.
//
// Message files written by Unix tools (maildir files, mbox exports) end
// their lines with LF alone, while the parser only ends a line at CR. A file
// whose header block (the bytes up to and including its first empty line,
// or the whole file when there is none) contains LF and no CR therefore has
// every LF that is not preceded by CR read as CR LF. The converted bytes are
// the message text: offsets, saved parts and signature checks all see the
// canonical CR LF form. Files with CR LF (or CR) line ends are taken as
// they are. Every path that opens a message goes through OpenMessageFile or
// OpenMessageBytes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "mime/Message.h"

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
// The finding of a part whose body is declared "binary" in a file that the
// line-end rule converted: its bytes may not be the sender's.
inline constexpr const char* kConvertedBinaryBody =
    "Binary body read with converted line ends (the file ends its lines with LF alone); its bytes may differ from "
    "the original";

// Whether bytes begin with a SEQUENCE whose first element is an object
// identifier below 1.2.840.113549.1.7: a PKCS #7 object stored bare (DER or
// BER), not inside a message.
bool IsBarePkcs7(std::string_view bytes);

// The one way to open a message: the file's text (LoadMessageText) parsed
// with options. A file that does not parse as a message but holds a bare
// PKCS #7 object (judged on its bytes as stored) opens as a message of one
// "application/pkcs7-mime" part holding those bytes unchanged. Raises
// EWinException for an unreadable file and EMimeParseError for one that
// does not parse.
std::unique_ptr<TMessage> OpenMessageFile(const std::string& fileName, const TParseOptions& options,
                                          TFileAccess access = TFileAccess::Read);
// The same for bytes in memory (a dropped message, a test): the line-end
// rule, the parse, the bare PKCS #7 second attempt. Raises EMimeParseError.
std::unique_ptr<TMessage> OpenMessageBytes(std::string bytes, const TParseOptions& options);

}  // namespace tessel
