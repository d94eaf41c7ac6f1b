#include "ui/MainEntry.h"

#include <QApplication>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "ui/RecentFiles.h"
#include "ui/SignalClose.h"
#include "ui/SingleInstance.h"

namespace tessel {

int RunMainWindow(const std::vector<std::string>& files, TQXConfigFile& config, const TDocumentFactory& factory,
                  std::ostream& err) {
  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  std::vector<std::string> names;
  for (const std::string& file : files) names.push_back(CanonicalFileName(file, error ? "/" : cwd.string()));

  TInstanceServer server;
  QString problem;
  switch (ClaimInstance(server, InstanceSocketName(), names, &problem)) {
    case TStartRole::Forwarded: return 0;
    case TStartRole::Failed:
      err << "tessel: running without the single-instance socket: " << problem.toStdString() << "\n";
      break;
    case TStartRole::Serve: break;
  }
  int status = 0;
  {
    TKelTesselMainWindow window(config, factory);
    server.OnRaise = [&window] { window.BringToFront(); };
    server.OnOpen = [&window](const std::string& name) { window.OpenFile(name); };
    TCloseOnSignals closer([&window] { window.close(); });
    // Every name, not only the first: a desktop passes all selected files.
    window.SetStartFiles(names);
    window.show();
    status = QApplication::exec();
    server.OnRaise = nullptr;
    server.OnOpen = nullptr;
  }
  return status;
}

}  // namespace tessel
