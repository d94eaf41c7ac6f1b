// Fills a property explorer with 10,000 rows between BeginUpdate and
// EndUpdate, then scrolls through them a page at a time, painting each page.
// Prints the fill time (median of five fills) and the time per repaint.
// Runs without a display (offscreen platform unless QT_QPA_PLATFORM says
// otherwise).
//   propexplorer_paint [ROWS]
#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "controls/PropExplorer.h"

namespace {

// Groups of one header row and 19 expanded children, like a long header
// with parameters: every row shown.
void Fill(tessel::TPropExplorer& pe, int rows) {
  pe.BeginUpdate();
  tessel::TPEItem* group = nullptr;
  for (int i = 0; i < rows; ++i) {
    std::string n = std::to_string(i);
    if (i % 20 == 0) {
      group = pe.Root().AddItem("Received " + n, "from mail" + n + ".example.org by mx.example.net; Sun, 6 Dec 2026");
      group->SetExpanded(true);
    } else {
      group->AddItem("param" + n, "value of parameter " + n + " with some text after it");
    }
  }
  pe.EndUpdate();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;

  std::vector<double> fills;
  std::unique_ptr<tessel::TPropExplorer> pe;
  for (int run = 0; run < 5; ++run) {
    pe = std::make_unique<tessel::TPropExplorer>();
    pe->resize(500, 700);
    pe->show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    Fill(*pe, rows);
    fills.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
  }
  QApplication::processEvents();

  const int page = std::max(1, tessel::FullRows(pe->Metrics()));
  std::vector<double> paints;
  QElapsedTimer total;
  total.start();
  for (;;) {
    QElapsedTimer t;
    t.start();
    pe->viewport()->repaint();
    paints.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    if (pe->ScrollPos() >= pe->MaxScroll()) break;
    pe->ScrollBy(page);
  }
  double sum = 0;
  for (double p : paints) sum += p;
  std::printf("rows %d (shown %d), page %d rows\n", rows, pe->Rows(), page);
  std::printf("fill: median %.2f ms (best %.2f ms) of %zu runs\n", Median(fills),
              *std::min_element(fills.begin(), fills.end()), fills.size());
  std::printf("repaint: %zu pages, mean %.3f ms, median %.3f ms, max %.3f ms; scroll and paint all %.1f ms\n",
              paints.size(), sum / static_cast<double>(paints.size()), Median(paints),
              *std::max_element(paints.begin(), paints.end()), static_cast<double>(total.nsecsElapsed()) / 1e6);
  return 0;
}
