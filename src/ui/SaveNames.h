// Save and execute commands of the document window, as plain rules: the
// save dialog's title, initial name and filter for each command, the reduction
// of a name taken from a message to a plain file name, the caption of the
// Execute item and the check that asks before running code a sender sent.
#pragma once

#include <string>
#include <string_view>

namespace tessel {

enum class TSaveCommand { Content, RawContent, WholePart };

struct TSaveDialogSetup {
  std::string Title;
  std::string InitialName;  // a plain file name, or a "*.ext" pattern
  std::string Filter;       // Qt form: "desc (pattern);;All files (*)"
};

// Names longer than this many bytes are cut (keeping the final extension):
// file systems take 255 and the temporary-file prefix needs room.
constexpr size_t kMaxPlainFileNameBytes = 200;

// A name from a message reduced to a plain file name in the chosen folder:
// only the part after the last '/' or '\\', control characters and invalid
// UTF-8 dropped, leading dots removed (so neither "." nor ".." nor a hidden
// file), at most kMaxPlainFileNameBytes bytes with the final extension kept.
// "" when nothing is left.
std::string PlainFileName(std::string_view name);

// The final extension of a plain file name with its dot (".pdf"), "" when
// there is none or it holds anything but letters, digits, '-', '_' and '+'
// (it goes into a dialog filter and names the program that opens a file).
std::string FileExtension(std::string_view fileName);

// fileName: the part's file name as the message gives it ("" for none);
// registeredExtension: the extension registered for its content type.
TSaveDialogSetup SaveDialogSetup(TSaveCommand command, std::string_view fileName, std::string_view registeredExtension);

// The Execute item's caption for the program that will run (a command line
// as the content-type database gives it; "" for none).
std::string ExecuteCaption(std::string_view programCommand);

// Whether opening a part with this content type or file name runs code:
// executables, shell scripts, desktop launchers, Java archives, Windows
// programs (run under an emulator) and installers.
bool RunsCode(std::string_view contentType, std::string_view fileName);
// The question asked before such a part is opened.
std::string RunsCodeQuestion(std::string_view fileName, std::string_view programName);

}  // namespace tessel
