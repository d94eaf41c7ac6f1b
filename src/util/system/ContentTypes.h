// Content types and the programs associated with them.
//
// A body part is handed to the program the desktop associates with its
// content type by following a chain of lookups: content type -> file
// extension -> file type -> default verb -> command line of that verb. The
// lookups live behind TContentTypeDatabase so that the rules built on top of
// them (cutting a command for display, putting the file name in, splitting
// the command into program and arguments) exist once, whatever database
// answers. The desktop backend (src/ui/desktop) answers from the shared
// MIME database and the default applications; tests use an in-memory table.
//
// Command lines use the classic association syntax: "%1" stands for the file
// name, "%NAME%" for an environment variable, and a program path in double
// quotes may contain blanks.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tessel {

class TContentTypeDatabase {
public:
  virtual ~TContentTypeDatabase() = default;

  // Each lookup returns the empty string when nothing is registered.
  // The extension registered for a content type, with its leading dot.
  virtual std::string ContentTypeExtension(const std::string& contentType) = 0;
  // The file type an extension (with its dot) belongs to.
  virtual std::string ExtensionFileType(const std::string& extension) = 0;
  // The default verb of a file type; the empty string means "open".
  virtual std::string FileTypeDefaultVerb(const std::string& fileType) = 0;
  // The command line registered for a verb of a file type.
  virtual std::string VerbCommand(const std::string& fileType, const std::string& verb) = 0;

  // Starts program with the argument list, without a shell; false when it
  // could not be started.
  virtual bool StartProgram(const std::string& program, const std::vector<std::string>& args) = 0;
  // Opens a file or URL with the desktop's default handler; the outcome is
  // not reported.
  virtual void OpenWithDefaultHandler(const std::string& fileNameOrUrl) = 0;
};

// The database the routines below consult. Until one is set it is a
// database with no registrations that starts programs directly and opens
// files with xdg-open.
TContentTypeDatabase& ContentTypeDatabase();
// Makes db the current database (nullptr: back to the built-in empty one)
// and returns the previous one, if one had been set.
std::unique_ptr<TContentTypeDatabase> SetContentTypeDatabase(std::unique_ptr<TContentTypeDatabase> db);

// The registered extension of a content type, with its leading dot; "" when
// the type is not registered.
std::string GetContentTypeExtension(const std::string& contentType);
// The registered command line of the extension's file type, cut just before
// the file-name placeholder "%1" and without a final double quote: the part
// naming the program. "" when any step of the chain is missing.
std::string GetExtensionCommand(const std::string& extension);
// GetExtensionCommand of the content type's registered extension.
std::string GetContentTypeCommand(const std::string& contentType);
// Starts the program registered for the content type on fileName and returns
// true; when there is none, or it cannot be started, opens fileName with the
// default handler (ShellOpen) and returns false.
bool ExecuteWithContentType(const std::string& fileName, const std::string& contentType);
// Opens a file or URL with the desktop's default handler.
void ShellOpen(const std::string& fileNameOrUrl);
// The program's version, four numbers separated by dots.
std::string GetFileVersionString();

// The program's file name without its extension, from the start of a
// command line as GetExtensionCommand gives it ("notepad" from
// `"C:\Windows\notepad.exe" `); "" for an empty command.
std::string CommandProgramName(const std::string& command);

// Details of ExecuteWithContentType, exposed for the tests.
namespace content_types_detail {

// Environment expansion of "%NAME%" references is limited to this many
// characters, the size of the buffer association commands were always
// expanded into; longer results are cut.
constexpr size_t ExpandedCommandLimit = 520;

// Replaces each "%NAME%" whose NAME is set in the environment by its value;
// other '%' characters stay. The result is cut to ExpandedCommandLimit.
std::string ExpandEnvironmentStrings(const std::string& s);
// Splits a parameter string into arguments at blanks outside double quotes;
// the quotes themselves are dropped, backslashes are plain characters.
std::vector<std::string> SplitArguments(const std::string& parameters);

struct TProgramCall {
  bool Valid = false;  // false: the command cannot carry the file name
  std::string Program;
  std::vector<std::string> Args;
};
// The program and arguments that command (uncut, as registered) gives for
// fileName. The file name reaches the program as it is, as one argument (or
// part of one), whatever characters it holds.
TProgramCall BuildProgramCall(const std::string& command, const std::string& fileName);

}  // namespace content_types_detail

}  // namespace tessel
