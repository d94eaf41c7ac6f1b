#include "config/ConfigLocation.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tessel {

std::string ConfigNameBesideProgram(const std::string& programFile) {
  size_t slash = programFile.rfind('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = programFile.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) return programFile + ".ini.xml";
  return programFile.substr(0, dot) + ".ini.xml";
}

bool InSystemProgramFolder(const std::string& programFile) {
  for (const char* root : {"/usr/", "/bin/", "/sbin/", "/lib/", "/snap/", "/app/"})
    if (programFile.rfind(root, 0) == 0) return true;
  return false;
}

std::string ConfigFileNameFor(const std::string& programFile, bool programFolderWritable, const char* xdgConfigHome,
                              const char* home) {
  // An installed program never writes beside itself, even when the user
  // (root) could: its folder is the system's.
  if (!programFile.empty() && programFolderWritable && !InSystemProgramFolder(programFile))
    return ConfigNameBesideProgram(programFile);
  std::string base;
  // Relative values of XDG_CONFIG_HOME are invalid by its own rules and ignored.
  if (xdgConfigHome && xdgConfigHome[0] == '/') {
    base = xdgConfigHome;
  } else {
    base = home && home[0] ? home : "";
    if (!base.empty() && base.back() == '/') base.pop_back();
    base += "/.config";
  }
  if (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/tessel/tessel.ini.xml";
}

namespace {

std::string& ProgramFileOverride() {
  static std::string name;
  return name;
}

}  // namespace

void SetProgramFileName(const std::string& programFile) { ProgramFileOverride() = programFile; }

std::string ProgramFileName() {
  if (!ProgramFileOverride().empty()) return ProgramFileOverride();
  std::vector<char> buf(1024);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

namespace {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && home[0]) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return std::string();
}

}  // namespace

std::string ChooseConfigFileName(const std::string& overrideName) {
  if (!overrideName.empty()) return overrideName;
  std::string program = ProgramFileName();
  bool writable = false;
  if (!program.empty()) {
    size_t slash = program.rfind('/');
    std::string folder = slash == 0 ? std::string("/") : program.substr(0, slash);
    writable = ::access(folder.c_str(), W_OK) == 0;
  }
  std::string home = HomeDirectory();
  return ConfigFileNameFor(program, writable, std::getenv("XDG_CONFIG_HOME"), home.c_str());
}

}  // namespace tessel
