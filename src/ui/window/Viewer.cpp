#include "ui/window/Viewer.h"

#include <QApplication>
#include <QPixmap>
#include <QStyleFactory>
#include <QTreeWidget>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <ostream>

#include "ui/CertificateDialog.h"
#include "ui/window/ErrorNet.h"
#include "ui/window/MainDocument.h"
#include "ui/MainEntry.h"
#include "config/QXConf.h"
#include "ui/window/MimeDocWindow.h"
#include "ui/window/ViewerWindow.h"
#include "ui/cli/Command.h"
#include "mime/PartPath.h"
#include "util/system/WaitCursor.h"

namespace tessel {

namespace {

// Off screen, the platform's notes (no window manager hints, no runtime
// directory) are noise in a command's output; real trouble still shows.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "tessel: %s\n", qPrintable(text));
}

void ShowWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
void RestoreCursor() { QApplication::restoreOverrideCursor(); }

// What the windows need while they exist.
class TWindowSession {
public:
  TWindowSession() {
    TWaitCursor::SetHooks(ShowWaitCursor, RestoreCursor);
    InstallCertificateDialog();
  }
  ~TWindowSession() {
    SetCertificateDisplayHook(nullptr);
    TWaitCursor::SetHooks(nullptr, nullptr);
  }
  TWindowSession(const TWindowSession&) = delete;
  TWindowSession& operator=(const TWindowSession&) = delete;
};

// The part at a part path, expanding the nodes on the way so the part has
// a node and a box.
TBodyPart* ShowPartAt(TDocWindow& doc, const std::string& text, std::ostream& err, int& status) {
  std::vector<int32_t> path;
  if (!ParsePartPath(text, path)) {
    err << "tessel: not a part path: " << text << "\n";
    status = cli::ExitUsage;
    return nullptr;
  }
  TMessage* message = doc.Message();
  TBodyPart* part = nullptr;
  if (message && path[0] <= message->RootCount()) part = message->Roots(path[0] - 1);
  for (size_t i = 1; part && i < path.size(); ++i) {
    if (part->ChildCount() == 0) {
      doc.ExpandPart(part);
      TBodyPart* inner = nullptr;
      try {
        inner = part->InnerRoot();
      } catch (const std::exception& e) {
        err << "tessel: " << text << ": " << e.what() << "\n";
        status = cli::ExitNotParsed;
        return nullptr;
      }
      part = path[i] == 1 ? inner : nullptr;
    } else {
      part = part->Children(path[i] - 1);
    }
  }
  if (!part || !doc.NodeOf(part)) {
    err << "tessel: no such part: " << text << "\n";
    status = cli::ExitNoSuchPart;
    return nullptr;
  }
  return part;
}

}  // namespace

void UseOffscreenDefaults() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  qputenv("QT_SCALE_FACTOR", "1");
}

int RunViewer(int argc, char** argv, const std::vector<std::string>& files) {
  // Without a display Qt would abort the program; say why instead.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fprintf(stderr,
                 "tessel: no display to open the viewer on (DISPLAY and WAYLAND_DISPLAY are unset); "
                 "tessel --help lists the commands that need none\n");
    return cli::ExitUsage;
  }
  TTesselApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tessel"));
  TWindowSession session;
  int status = 0;
  {
    // The main window, or the hand-over of the files to the user's running one.
    if (ConfigFile == nullptr) InitConfigFile();
    status = RunMainWindow(files, *ConfigFile, DocWindowFactory(kRememberSigners), std::cerr);
  }
  return status;
}

bool ParseScreenshotArgs(std::vector<std::string> args, TScreenshotOptions& o, std::ostream& err) {
  bool bad = false;
  o.Output = cli::TakeOption(args, "--screenshot", bad);
  std::string view = cli::TakeOption(args, "--view", bad);
  o.Select = cli::TakeOption(args, "--select", bad);
  o.Lock = cli::TakeOption(args, "--lock", bad);
  std::string size = cli::TakeOption(args, "--size", bad);
  o.ExpandAll = cli::TakeFlag(args, "--expand-all");
  if (!view.empty() && view != "tree" && view != "panels") bad = true;
  o.Panels = view == "panels";
  if (!size.empty()) {
    int w = 0, h = 0;
    char x = 0, rest = 0;
    if (std::sscanf(size.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || x != 'x' || w < 200 || h < 150 || w > 8000 ||
        h > 8000)
      bad = true;
    o.Width = w;
    o.Height = h;
  }
  if (bad || o.Output.empty() || args.size() != 1 || args[0].empty() || args[0][0] == '-') {
    err << "Usage: tessel --screenshot OUT.png [--view tree|panels] [--select PART] [--lock PART] "
           "[--expand-all] [--size WxH] FILE\n"
           "  (--size from 200x150 to 8000x8000)\n";
    return false;
  }
  o.File = args[0];
  return true;
}

int RunScreenshot(const TScreenshotOptions& o, std::ostream& err) {
  if (!std::ifstream(o.File, std::ios::binary)) {
    err << "tessel: cannot read " << o.File << "\n";
    return cli::ExitUnreadable;
  }
  UseOffscreenDefaults();
  qInstallMessageHandler(QuietMessages);
  static int argc = 1;
  static char name[] = "tessel";
  static char* argv[] = {name, nullptr};
  TTesselApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  TWindowSession session;
  // No one can answer a message box here: errors go to the error stream.
  TErrorReporter previous =
      SetErrorReporter([&err](const QString& text) { err << "tessel: " << text.toStdString() << "\n"; });
  int status = cli::ExitDone;
  {
    TViewerWindow window;
    window.resize(o.Width, o.Height);
    window.show();
    TDocWindow* doc = window.OpenFile(QString::fromStdString(o.File));
    if (!doc->Message()) {
      err << "tessel: " << o.File << ": " << doc->LoadError().toStdString() << "\n";
      status = cli::ExitNotParsed;
    }
    if (o.ExpandAll) doc->ExpandAll();
    QApplication::processEvents();
    window.SetViewMode(o.Panels);
    QApplication::processEvents();
    if (status == cli::ExitDone && !o.Select.empty())
      if (TBodyPart* part = ShowPartAt(*doc, o.Select, err, status)) {
        doc->SetCurrent(part, false);
        doc->ShowPartDetails(part);
      }
    if (status == cli::ExitDone && !o.Lock.empty())
      if (TBodyPart* part = ShowPartAt(*doc, o.Lock, err, status)) {
        doc->SetCurrent(part, false);
        doc->SetLocked(part, true);
        doc->ShowPartDetails(part);
      }
    QApplication::processEvents();
    if (status == cli::ExitDone || status == cli::ExitNotParsed) {
      if (!window.grab().save(QString::fromStdString(o.Output), "PNG")) {
        err << "tessel: cannot write " << o.Output << "\n";
        status = cli::ExitUnreadable;
      }
    }
  }
  SetErrorReporter(previous);
  return status;
}

}  // namespace tessel
