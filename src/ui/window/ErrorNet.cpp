#include "ui/window/ErrorNet.h"

#include <QMessageBox>
#include <QWidget>
#include <utility>

namespace tessel {

namespace {

void ShowErrorBox(const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Tessel"), text);
}

TErrorReporter& Reporter() {
  static TErrorReporter reporter = ShowErrorBox;
  return reporter;
}

}  // namespace

TErrorReporter SetErrorReporter(TErrorReporter reporter) {
  if (!reporter) reporter = ShowErrorBox;
  return std::exchange(Reporter(), std::move(reporter));
}

void ReportError(const QString& text) {
  // A reporter that raises itself must not take the program down.
  try {
    Reporter()(text);
  } catch (...) {
  }
}

QString CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

TTesselApplication::TTesselApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TTesselApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportError(CurrentExceptionText());
  }
  return false;
}

}  // namespace tessel
