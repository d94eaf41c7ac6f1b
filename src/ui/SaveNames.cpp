// Save and execute rules of the document window; see SaveNames.h.
#include "ui/SaveNames.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "ui/PartPages.h"
#include "util/system/ContentTypes.h"

namespace tessel {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Length of the valid UTF-8 sequence at s[i], 0 when there is none.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len = c < 0x80                   ? 1
               : (c >= 0xC2 && c <= 0xDF) ? 2
               : (c >= 0xE0 && c <= 0xEF) ? 3
               : (c >= 0xF0 && c <= 0xF4) ? 4
                                          : 0;
  if (len == 0 || s.size() - i < len) return 0;
  return IsValidUtf8(s.substr(i, len)) ? len : 0;
}

// The longest prefix of s of at most max bytes that ends on a character.
std::string_view CutUtf8(std::string_view s, size_t max) {
  if (s.size() <= max) return s;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

}  // namespace

std::string PlainFileName(std::string_view name) {
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string out;
  for (size_t i = 0; i < name.size();) {
    const size_t len = Utf8SequenceLength(name, i);
    if (len == 0) {  // an invalid byte: dropped
      ++i;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(name[i]);
    // C0 controls, DEL and the C1 controls U+0080..U+009F.
    const bool control = (len == 1 && (c < 0x20 || c == 0x7F)) ||
                         (len == 2 && c == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0);
    if (!control) out.append(name.substr(i, len));
    i += len;
  }
  const size_t first = out.find_first_not_of('.');
  out.erase(0, first == std::string::npos ? out.size() : first);
  if (out.size() > kMaxPlainFileNameBytes) {
    std::string ext = FileExtension(out);
    if (ext.size() > kMaxPlainFileNameBytes / 4) ext.clear();
    std::string cut(CutUtf8(out, kMaxPlainFileNameBytes - ext.size()));
    out = cut + ext;
  }
  return out;
}

std::string FileExtension(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == fileName.size()) return {};
  const std::string_view ext = fileName.substr(dot + 1);
  for (unsigned char c : ext)
    if (!(std::isalnum(c) || c == '-' || c == '_' || c == '+')) return {};
  return std::string(fileName.substr(dot));
}

TSaveDialogSetup SaveDialogSetup(TSaveCommand command, std::string_view fileName,
                                 std::string_view registeredExtension) {
  static const char kAllFiles[] = "All files (*)";
  TSaveDialogSetup dialog;
  switch (command) {
    case TSaveCommand::Content: {
      dialog.Title = "Save bodypart content";
      const std::string plain = PlainFileName(fileName);
      std::string ext = FileExtension(plain);
      if (ext.empty()) ext = FileExtension(registeredExtension);
      dialog.InitialName = !plain.empty() ? plain : "*" + ext;
      dialog.Filter = ext.empty() ? kAllFiles : ext + " (*" + ext + ");;" + kAllFiles;
      break;
    }
    case TSaveCommand::RawContent:
      dialog.Title = "Save raw bodypart content";
      dialog.Filter = kAllFiles;
      break;
    case TSaveCommand::WholePart:
      dialog.Title = "Save bodypart";
      dialog.InitialName = "*.eml";
      dialog.Filter = std::string("EML files (*.eml);;") + kAllFiles;
      break;
  }
  return dialog;
}

std::string ExecuteCaption(std::string_view programCommand) {
  const std::string program = CommandProgramName(std::string(programCommand));
  return program.empty() ? "Execute..." : "Execute with " + program + "...";
}

bool RunsCode(std::string_view contentType, std::string_view fileName) {
  static const std::array<std::string_view, 26> kTypes = {"application/x-executable",
                                                          "application/x-sharedlib",
                                                          "application/x-pie-executable",
                                                          "application/x-elf",
                                                          "application/x-shellscript",
                                                          "application/x-sh",
                                                          "text/x-shellscript",
                                                          "text/x-sh",
                                                          "application/x-csh",
                                                          "application/x-desktop",
                                                          "application/x-java-archive",
                                                          "application/java-archive",
                                                          "application/x-java-jnlp-file",
                                                          "application/x-msdownload",
                                                          "application/x-ms-dos-executable",
                                                          "application/x-dosexec",
                                                          "application/vnd.microsoft.portable-executable",
                                                          "application/x-msi",
                                                          "application/x-ms-installer",
                                                          "application/x-ole-storage",
                                                          "application/x-bat",
                                                          "application/x-msdos-program",
                                                          "application/vnd.debian.binary-package",
                                                          "application/x-rpm",
                                                          "application/x-appimage",
                                                          "application/vnd.appimage"};
  static const std::array<std::string_view, 30> kExtensions = {
      ".exe", ".com",  ".bat", ".cmd", ".scr", ".pif", ".msi", ".msp",     ".jar",      ".jnlp",
      ".sh",  ".bash", ".zsh", ".csh", ".ksh", ".run", ".bin", ".desktop", ".appimage", ".deb",
      ".rpm", ".py",   ".pl",  ".rb",  ".js",  ".vbs", ".ps1", ".lnk",     ".reg",      ".hta"};
  std::string type = Lower(contentType);
  if (const size_t semi = type.find(';'); semi != std::string::npos) type.erase(semi);
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.pop_back();
  if (std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end()) return true;
  const std::string ext = Lower(FileExtension(PlainFileName(fileName)));
  return !ext.empty() && std::find(kExtensions.begin(), kExtensions.end(), ext) != kExtensions.end();
}

std::string RunsCodeQuestion(std::string_view fileName, std::string_view programName) {
  const std::string program =
      programName.empty() ? std::string("the desktop's default program") : std::string(programName);
  return "\"" + PlainFileName(fileName) + "\" came from the message's sender and can run code on this computer.\n" +
         "Open it with " + program + "?";
}

}  // namespace tessel
