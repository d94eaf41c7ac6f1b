// Times ShowPartDetails over every part of one message, the way moving the
// pointer down the structure view calls it: each part once in tree order
// (the first visit, which builds a part's S/MIME rows), then twice more
// (later visits). Prints, per round, the slowest part and the median.
//
// Usage: part_details FILE
#include <QApplication>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "mime/bodypart.h"
#include "ui/window/MimeDocWindow.h"
#include "ui/window/PartDetails.h"
#include "ui/window/Viewer.h"

namespace {

struct TTiming {
  double Ms;
  tessel::TBodyPart* Part;
};

std::string Describe(const tessel::TBodyPart& part) {
  return part.ContentTypeKey() + " (" + std::to_string(part.BodyEnd - part.HeaderStart) + " bytes)";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: part_details FILE\n");
    return 2;
  }
  tessel::UseOffscreenDefaults();
  int qargc = 1;
  QApplication app(qargc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

  tessel::TDocWindow doc;
  doc.resize(1100, 700);
  doc.show();
  QApplication::processEvents();
  doc.OpenFile(QString::fromLocal8Bit(argv[1]));
  if (!doc.Message()) {
    std::fprintf(stderr, "part_details: %s: not a message\n", argv[1]);
    return 1;
  }
  doc.ExpandAll();
  std::vector<tessel::TBodyPart*> parts;
  for (QTreeWidgetItemIterator it(doc.Tree()); *it; ++it)
    if (auto* part = reinterpret_cast<tessel::TBodyPart*>((*it)->data(0, Qt::UserRole).value<quintptr>()))
      parts.push_back(part);
  // Start from nothing shown and nothing cached (loading showed the first
  // root), so round 1 is every part's first visit.
  doc.ShowPartDetails(nullptr);
  doc.Details().Forget();
  QApplication::processEvents();

  std::printf("%s: %zu parts\n", argv[1], parts.size());
  for (int round = 1; round <= 3; ++round) {
    std::vector<TTiming> timings;
    for (tessel::TBodyPart* part : parts) {
      QElapsedTimer timer;
      timer.start();
      doc.ShowPartDetails(part);
      timings.push_back({static_cast<double>(timer.nsecsElapsed()) / 1e6, part});
      // What the window paints between two pointer moves is not timed.
      QApplication::processEvents();
    }
    // Leaving the last part, so the next round shows it afresh.
    doc.ShowPartDetails(nullptr);
    std::vector<TTiming> sorted = timings;
    std::sort(sorted.begin(), sorted.end(), [](const TTiming& a, const TTiming& b) { return a.Ms < b.Ms; });
    const TTiming& worst = sorted.back();
    std::printf("round %d (%s): max %.2f ms [%s], median %.2f ms\n", round, round == 1 ? "first visit" : "later visit",
                worst.Ms, Describe(*worst.Part).c_str(), sorted[sorted.size() / 2].Ms);
  }
  return 0;
}
