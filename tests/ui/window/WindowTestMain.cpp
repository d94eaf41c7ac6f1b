// The window tests run on the offscreen platform (unless a platform is
// chosen), at scale 1, with the Fusion style, inside the program's own
// application class so the error net is the one the viewer has.
#include <gtest/gtest.h>

#include <QStyleFactory>

#include "ui/window/ErrorNet.h"
#include "ui/window/Viewer.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  tessel::UseOffscreenDefaults();
  tessel::TTesselApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  // No test may block on a message box.
  tessel::SetErrorReporter([](const QString& text) { ADD_FAILURE() << "unexpected error: " << text.toStdString(); });
  return RUN_ALL_TESTS();
}
