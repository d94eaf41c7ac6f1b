// Where the program keeps its configuration file.
//
// A portable install (the program's folder is writable by the user) keeps the
// file beside the program file, named after it with ".ini.xml" in place of its
// extension; an install the user cannot write to keeps it under
// $XDG_CONFIG_HOME/tessel/ (default ~/.config/tessel/) as "tessel.ini.xml".
// A program installed in the system's folders (/usr, /bin, /sbin, /lib, and
// the snap and flatpak roots) is never portable, even for root, who can
// write there.
// A file named on the command line overrides both.
#pragma once

#include <string>

namespace tessel {

// programFile with ".ini.xml" in place of its extension ("/opt/t/view.exe"
// gives "/opt/t/view.ini.xml"); a name without extension gets ".ini.xml"
// appended. A leading dot does not start an extension.
std::string ConfigNameBesideProgram(const std::string& programFile);

// The rule above as a pure function, so every branch can be tested: xdgConfigHome
// and home may be null or empty when the variables are unset.
bool InSystemProgramFolder(const std::string& programFile);
std::string ConfigFileNameFor(const std::string& programFile, bool programFolderWritable, const char* xdgConfigHome,
                              const char* home);

// The running program's file (/proc/self/exe); '' when it cannot be read.
// A program started in the place of another (exec) names that one with
// SetProgramFileName, so settings stay where the user's program has them.
std::string ProgramFileName();
void SetProgramFileName(const std::string& programFile);

// The configuration file to use: overrideName when it is not empty (the
// "--config FILE" option), else the file chosen by ConfigFileNameFor for
// this program, this user and this environment. The result is a plain file
// name; relative names are made absolute when the file is read or written.
std::string ChooseConfigFileName(const std::string& overrideName);

}  // namespace tessel
