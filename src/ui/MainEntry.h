// The viewer's start: hand the files to the user's running viewer, or
// become that viewer and run the main window until it closes.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "ui/MainWindow.h"

namespace tessel {

// files: the names on the command line, made absolute here, against this
// process's working directory (the running viewer has its own). Returns the
// exit status: 0 after forwarding, else the event loop's. A start that
// cannot claim the socket runs a viewer of its own and says so on err.
// config must outlive the call; it is saved by the caller, after the
// window and its documents are gone.
int RunMainWindow(const std::vector<std::string>& files, TQXConfigFile& config, const TDocumentFactory& factory,
                  std::ostream& err);

}  // namespace tessel
