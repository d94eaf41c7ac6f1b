// The one error net of the windows. Every command and event handler that
// can raise runs inside Guarded, which hands the exception's text to the
// reporter; TTesselApplication::notify is the last net for anything that
// escapes a handler. The reporter shows a message box; tests swap it for
// one that records, so an error never blocks a test on a modal box.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace tessel {

using TErrorReporter = std::function<void(const QString& text)>;

// Installs reporter and returns the one it replaces. An empty reporter
// restores the message box.
TErrorReporter SetErrorReporter(TErrorReporter reporter);
void ReportError(const QString& text);
// The text of the exception being handled ("Unknown error" for one that
// is not a std::exception).
QString CurrentExceptionText();

// Runs fn; an exception is reported and false returned.
template <class F>
bool Guarded(F&& fn) {
  try {
    fn();
    return true;
  } catch (...) {
    ReportError(CurrentExceptionText());
  }
  return false;
}

class TTesselApplication : public QApplication {
public:
  TTesselApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tessel
