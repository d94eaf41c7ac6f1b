// The content-type database of the Linux desktop.
//
// Content type -> extension comes from the shared MIME database (the type's
// preferred suffix), extension -> file type is the MIME type of that suffix,
// every file type has the single verb "open", and its command line is the
// Exec line of the desktop's default application for the type, rewritten in
// the classic association syntax: each word in double quotes and the file
// field code as "%1". Programs start from an argument list, never through a
// shell; files and URLs without an association open through GIO.
#pragma once

#include <memory>
#include <string>

#include "util/system/ContentTypes.h"

namespace tessel {

std::unique_ptr<TContentTypeDatabase> CreateDesktopContentTypeDatabase();
// Makes the desktop database the current one (see SetContentTypeDatabase).
void UseDesktopContentTypeDatabase();

// The association command for a desktop-entry Exec value: every word
// double-quoted, the first of the file field codes %f %F %u %U as "%1", the
// other field codes dropped, "%%" as "%". "" when the value does not parse
// or a word holds a double quote (which the association syntax cannot carry).
std::string DesktopExecToCommand(const std::string& exec);

}  // namespace tessel
