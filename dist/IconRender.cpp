// Renders the program's SVG icon to a square PNG of the given size, so the
// fixed-size icons of the desktop theme always match the scalable one.
// Usage: tessel_icon_render IN.svg OUT.png SIZE
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "Usage: tessel_icon_render IN.svg OUT.png SIZE\n");
    return 2;
  }
  const int size = std::atoi(argv[3]);
  if (size < 8 || size > 1024) {
    std::fprintf(stderr, "tessel_icon_render: size %s is not from 8 to 1024\n", argv[3]);
    return 2;
  }
  QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
  if (!svg.isValid()) {
    std::fprintf(stderr, "tessel_icon_render: %s is no valid SVG file\n", argv[1]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "tessel_icon_render: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
