#include "ui/window/PartImages.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

#include "ui/window/PartPresentation.h"

namespace tessel {

namespace {

const char* const kImageFiles[kPartImageCount] = {"00-plain",
                                                  "01-enveloped",
                                                  "02-signed",
                                                  "03-attachment",
                                                  "04-text",
                                                  "05-multipart",
                                                  "06-signature",
                                                  "07-signed-attachment",
                                                  "08-multipart-signed",
                                                  "09-enveloped-attachment",
                                                  "10-related",
                                                  "11-mixed",
                                                  "12-message"};

QIcon Render(const char* name) {
  QSvgRenderer svg(QStringLiteral(":/images/%1.svg").arg(QLatin1String(name)));
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

const QIcon& PartImage(int index) {
  static std::array<QIcon, kPartImageCount> icons;
  static bool made = false;
  if (!made) {
    for (int i = 0; i < kPartImageCount; ++i) icons[static_cast<size_t>(i)] = Render(kImageFiles[i]);
    made = true;
  }
  if (index < 0 || index >= kPartImageCount) index = piPlain;
  return icons[static_cast<size_t>(index)];
}

}  // namespace tessel
