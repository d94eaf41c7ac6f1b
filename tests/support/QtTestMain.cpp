// main of the window tests: GoogleTest inside a QApplication.
//
// The tests must run, and be listed at build time, without a display, and
// their pixel checks must not depend on the desktop they run on: the
// offscreen platform (unless QT_QPA_PLATFORM names another), a scale of
// exactly 1 and the Fusion style.
#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

// Fontconfig and the platform plugin keep caches for the life of the
// process; the leak checker of sanitizer builds must not count them.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libglib\n";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_SCALE_FACTOR", "1");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  qunsetenv("QT_SCREEN_SCALE_FACTORS");
  qunsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
  qunsetenv("QT_FONT_DPI");
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(QApplication::style()->standardPalette());
  return RUN_ALL_TESTS();
}
