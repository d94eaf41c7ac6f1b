// Times every event the user-interface thread handles while a document
// window goes through what a user does with a message: open it, switch to
// the panels and back, look at parts, expand every embedded message and
// S/MIME layer, reload it. For each step it prints the longest single event
// and how much of it ran without the wait cursor, and it lists every event
// that kept the thread busy for more than 100 ms without it.
//
// Usage: ui_steps FILE [PARTS]   (PARTS: how many parts to show, default 60)
// On the display of $DISPLAY when there is one, else off screen.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ui/window/MimeDocWindow.h"
#include "ui/window/Viewer.h"
#include "util/system/WaitCursor.h"

namespace {

constexpr qint64 kLimitNs = 100'000'000;

QElapsedTimer Clock;
int WaitDepth = 0;
qint64 WaitSince = 0;
qint64 Covered = 0;  // wait-cursor time inside the current top-level event

void ShowWait() {
  if (WaitDepth++ == 0) WaitSince = Clock.nsecsElapsed();
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void RestoreWait() {
  QApplication::restoreOverrideCursor();
  if (--WaitDepth == 0) Covered += Clock.nsecsElapsed() - WaitSince;
}

struct TStepStats {
  std::string Name;
  qint64 Total = 0, Longest = 0, LongestUncovered = 0;
  int Events = 0;
};

class TTimedApplication : public QApplication {
public:
  using QApplication::QApplication;
  TStepStats* Step = nullptr;
  std::vector<std::string> Slow;

  bool notify(QObject* receiver, QEvent* event) override {
    if (Depth_++ > 0) {
      bool r = QApplication::notify(receiver, event);
      --Depth_;
      return r;
    }
    Covered = 0;
    const int type = event->type();
    const std::string target = receiver->metaObject()->className();
    const qint64 start = Clock.nsecsElapsed();
    bool result = QApplication::notify(receiver, event);
    const qint64 spent = Clock.nsecsElapsed() - start;
    --Depth_;
    const qint64 uncovered = spent - Covered;
    if (Step) {
      Step->Total += spent;
      ++Step->Events;
      if (spent > Step->Longest) Step->Longest = spent;
      if (uncovered > Step->LongestUncovered) Step->LongestUncovered = uncovered;
      if (uncovered > kLimitNs)
        Slow.push_back(Step->Name + ": event " + std::to_string(type) + " to " + target + " took " +
                       std::to_string(spent / 1'000'000) + " ms, " + std::to_string(uncovered / 1'000'000) +
                       " ms of it without the wait cursor");
    }
    return result;
  }

private:
  int Depth_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "Usage: ui_steps FILE [PARTS]\n");
    return 2;
  }
  const int partLimit = argc == 3 ? std::atoi(argv[2]) : 60;
  if (qEnvironmentVariableIsEmpty("DISPLAY")) tessel::UseOffscreenDefaults();
  int qargc = 1;
  TTimedApplication app(qargc, argv);
  Clock.start();
  tessel::TWaitCursor::SetHooks(ShowWait, RestoreWait);

  tessel::TDocWindow doc;
  doc.resize(1100, 700);
  doc.SetViewMode(false);
  doc.show();
  QApplication::processEvents();

  std::vector<TStepStats> steps;
  // Each step runs as an event of its own, as a menu command or a click
  // would, and is followed by everything it queued (layout, paints).
  auto step = [&](const char* name, std::function<void()> action) {
    steps.push_back(TStepStats{name});
    app.Step = &steps.back();
    QTimer::singleShot(0, &doc, action);
    QElapsedTimer quiet;
    quiet.start();
    int seen = -1;
    while (quiet.elapsed() < 300) {
      if (steps.back().Events != seen) {
        seen = steps.back().Events;
        quiet.restart();
      }
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    app.Step = nullptr;
  };

  steps.reserve(8);
  const QString file = QString::fromLocal8Bit(argv[1]);
  step("open", [&] { doc.OpenFile(file); });
  if (!doc.Message()) {
    std::fprintf(stderr, "ui_steps: %s did not open as a message\n", argv[1]);
    return 1;
  }
  step("view as panels", [&] { doc.SetViewMode(true); });
  step("view as tree", [&] { doc.SetViewMode(false); });
  step("show parts", [&] {
    int shown = 0;
    for (QTreeWidgetItemIterator it(doc.Tree()); *it && shown < partLimit; ++it, ++shown)
      doc.Tree()->setCurrentItem(*it);
  });
  step("expand all", [&] { doc.ExpandAll(); });
  step("reload", [&] { doc.Reload(); });

  std::printf("%s\n", argv[1]);
  for (const TStepStats& s : steps)
    std::printf("  %-15s %5d events, %7.1f ms in all, longest %7.1f ms, longest without wait cursor %7.1f ms\n",
                s.Name.c_str(), s.Events, static_cast<double>(s.Total) / 1e6, static_cast<double>(s.Longest) / 1e6,
                static_cast<double>(s.LongestUncovered) / 1e6);
  for (const std::string& line : app.Slow) std::printf("  SLOW %s\n", line.c_str());
  if (app.Slow.empty()) std::printf("  nothing over 100 ms without the wait cursor\n");
  return 0;
}
