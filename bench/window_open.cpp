// Opens one message file in a document window on the offscreen platform
// and prints the time from the start of loading until the structure view
// has painted completely, and the peak memory of the process.
//
// Usage: window_open FILE tree|panels
// One file and view per process, so the peak memory is that case's alone.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTreeWidget>
#include <cstdio>
#include <cstring>

#include "ui/window/MimeDocWindow.h"
#include "ui/window/PanelView.h"
#include "ui/window/Viewer.h"

namespace {

// Counts the paint events of one widget.
class TPaintCounter : public QObject {
public:
  int Paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[2], "tree") != 0 && std::strcmp(argv[2], "panels") != 0)) {
    std::fprintf(stderr, "Usage: window_open FILE tree|panels\n");
    return 2;
  }
  bool panels = std::strcmp(argv[2], "panels") == 0;
  tessel::UseOffscreenDefaults();
  int qargc = 1;
  QApplication app(qargc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

  tessel::TDocWindow doc;
  doc.resize(1100, 700);
  doc.SetViewMode(panels);
  doc.show();
  QApplication::processEvents();
  QWidget* view = panels ? static_cast<QWidget*>(doc.Panels()->viewport()) : doc.Tree()->viewport();
  TPaintCounter counter;
  view->installEventFilter(&counter);

  QElapsedTimer timer;
  timer.start();
  doc.OpenFile(QString::fromLocal8Bit(argv[1]));
  double loaded = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  doc.SetViewMode(panels);
  // Everything queued by the load (layout, the update of the view) runs;
  // the paint that follows is the first complete picture.
  view->update();
  while (counter.Paints == 0) QApplication::processEvents(QEventLoop::AllEvents, 50);
  double painted = static_cast<double>(timer.nsecsElapsed()) / 1e9;

  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%s\t%s\tparts-in-view=%d\tload=%.3fs\tfirst-paint=%.3fs\tpeak-rss=%.1fMB%s\n", argv[1], argv[2],
              doc.Panels()->BoxCount(), loaded, painted, static_cast<double>(usage.ru_maxrss) / 1024.0,
              doc.Message() ? "" : "\t(not a message)");
  return doc.Message() ? 0 : 1;
}
