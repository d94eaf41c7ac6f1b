#include "util/system/ContentTypes.h"

#include <cstdlib>

#include "util/system/ExternalProgram.h"

#ifndef TESSEL_VERSION
#define TESSEL_VERSION "1.0.0.0"
#endif

namespace tessel {

namespace {

// Used until a real database is set (headless commands, a build without the
// desktop backend): nothing is registered, so every part goes to xdg-open.
class TEmptyContentTypeDatabase : public TContentTypeDatabase {
public:
  std::string ContentTypeExtension(const std::string&) override { return std::string(); }
  std::string ExtensionFileType(const std::string&) override { return std::string(); }
  std::string FileTypeDefaultVerb(const std::string&) override { return std::string(); }
  std::string VerbCommand(const std::string&, const std::string&) override { return std::string(); }
  bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
    return StartDetachedProgram(program, args);
  }
  void OpenWithDefaultHandler(const std::string& fileNameOrUrl) override {
    StartDetachedProgram("xdg-open", {fileNameOrUrl});
  }
};

std::unique_ptr<TContentTypeDatabase>& CurrentDatabase() {
  static std::unique_ptr<TContentTypeDatabase> db;
  return db;
}

TEmptyContentTypeDatabase& EmptyDatabase() {
  static TEmptyContentTypeDatabase db;
  return db;
}

// The registered command line of an extension's file type, uncut; "" when
// any step of the chain is missing.
std::string GetExtensionCommandLine(const std::string& extension) {
  if (extension.empty()) return std::string();
  TContentTypeDatabase& db = ContentTypeDatabase();
  std::string fileType = db.ExtensionFileType(extension);
  if (fileType.empty()) return std::string();
  std::string verb = db.FileTypeDefaultVerb(fileType);
  if (verb.empty()) verb = "open";
  return db.VerbCommand(fileType, verb);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

void ReplaceAll(std::string& s, const std::string& what, const std::string& with) {
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + with.size()))
    s.replace(p, what.size(), with);
}

bool IsEnvironmentName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if (c == '=' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

}  // namespace

TContentTypeDatabase& ContentTypeDatabase() {
  std::unique_ptr<TContentTypeDatabase>& db = CurrentDatabase();
  if (db) return *db;
  return EmptyDatabase();
}

std::unique_ptr<TContentTypeDatabase> SetContentTypeDatabase(std::unique_ptr<TContentTypeDatabase> db) {
  std::unique_ptr<TContentTypeDatabase> previous = std::move(CurrentDatabase());
  CurrentDatabase() = std::move(db);
  return previous;
}

std::string GetContentTypeExtension(const std::string& contentType) {
  if (contentType.empty()) return std::string();
  return ContentTypeDatabase().ContentTypeExtension(contentType);
}

std::string GetExtensionCommand(const std::string& extension) {
  std::string command = GetExtensionCommandLine(extension);
  size_t placeholder = command.find("%1");
  if (placeholder != std::string::npos) command.resize(placeholder);
  if (!command.empty() && command.back() == '"') command.pop_back();
  return command;
}

std::string GetContentTypeCommand(const std::string& contentType) {
  std::string extension = GetContentTypeExtension(contentType);
  if (extension.empty()) return std::string();
  return GetExtensionCommand(extension);
}

bool ExecuteWithContentType(const std::string& fileName, const std::string& contentType) {
  std::string command = GetExtensionCommandLine(GetContentTypeExtension(contentType));
  if (!command.empty()) {
    content_types_detail::TProgramCall call = content_types_detail::BuildProgramCall(command, fileName);
    if (call.Valid && ContentTypeDatabase().StartProgram(call.Program, call.Args)) return true;
  }
  // No usable association, or its program would not start: the file still
  // opens, with whatever the desktop does for it.
  ShellOpen(fileName);
  return false;
}

void ShellOpen(const std::string& fileNameOrUrl) {
  if (fileNameOrUrl.empty()) return;
  ContentTypeDatabase().OpenWithDefaultHandler(fileNameOrUrl);
}

std::string GetFileVersionString() { return TESSEL_VERSION; }

std::string CommandProgramName(const std::string& command) {
  std::string program = TrimBlanks(command);
  if (!program.empty() && program[0] == '"') {
    program.erase(0, 1);
    size_t close = program.find('"');
    if (close != std::string::npos) program.resize(close);
  }
  size_t slash = program.find_last_of("/\\");
  if (slash != std::string::npos) program.erase(0, slash + 1);
  program = TrimBlanks(program);
  size_t dot = program.rfind('.');
  if (dot != std::string::npos && dot > 0) program.resize(dot);
  return program;
}

namespace content_types_detail {

std::string ExpandEnvironmentStrings(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '%') {
      size_t close = s.find('%', i + 1);
      if (close != std::string::npos) {
        std::string name = s.substr(i + 1, close - i - 1);
        const char* value = IsEnvironmentName(name) ? std::getenv(name.c_str()) : nullptr;
        if (value) {
          out += value;
          i = close + 1;
          continue;
        }
      }
      // Not a reference: the '%' stays, and the closing one may still open
      // the next reference ("%UNSET%%HOME%").
    }
    out += s[i++];
  }
  if (out.size() > ExpandedCommandLimit) out.resize(ExpandedCommandLimit);
  return out;
}

std::vector<std::string> SplitArguments(const std::string& parameters) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, inArgument = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;  // "" is an empty argument
    } else if (IsBlank(c) && !quoted) {
      if (inArgument) args.push_back(current);
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) args.push_back(current);
  return args;
}

TProgramCall BuildProgramCall(const std::string& command, const std::string& fileName) {
  // The command's own quoting and splitting rules are worked out with a
  // marker in place of the file name, which goes in only at the very end:
  // so a name with blanks, quotes, '%' or shell syntax stays one literal
  // argument, it is never expanded as an environment reference, and no
  // length limit can cut into it.
  std::string marker = "\x01";
  while (command.find(marker) != std::string::npos) marker += '\x01';

  std::string cmd = command;
  size_t enclosed = cmd.find("\"%1\"");
  size_t bare = cmd.find("%1");
  if (enclosed != std::string::npos)
    cmd.replace(enclosed + 1, 2, marker);
  else if (bare != std::string::npos)
    cmd.replace(bare, 2, "\"" + marker + "\"");
  else
    cmd += " \"" + marker + "\"";

  cmd = ExpandEnvironmentStrings(cmd);
  TProgramCall call;
  if (cmd.find(marker) == std::string::npos) return call;  // cut away by the limit

  std::string parameters;
  if (cmd[0] == '"') {
    size_t close = cmd.find('"', 1);
    if (close == std::string::npos) {
      call.Program = cmd.substr(1);
    } else {
      call.Program = cmd.substr(1, close - 1);
      // Skips the closing quote and the blank after it.
      if (close + 2 < cmd.size()) parameters = cmd.substr(close + 2);
    }
  } else {
    // The program ends at the blank in front of the first quote (there is
    // one: the file name's, at the latest).
    size_t quote = cmd.find('"');
    if (quote == std::string::npos) {
      call.Program = TrimBlanks(cmd);
    } else {
      call.Program = TrimBlanks(cmd.substr(0, quote - 1));
      parameters = cmd.substr(quote);
    }
  }
  call.Args = SplitArguments(parameters);
  // A command whose split loses the file name would start the program on
  // nothing: it is not used.
  bool carried = call.Program.find(marker) != std::string::npos;
  for (const std::string& a : call.Args) carried = carried || a.find(marker) != std::string::npos;
  ReplaceAll(call.Program, marker, fileName);
  for (std::string& a : call.Args) ReplaceAll(a, marker, fileName);
  call.Valid = carried && !call.Program.empty();
  return call;
}

}  // namespace content_types_detail

}  // namespace tessel
