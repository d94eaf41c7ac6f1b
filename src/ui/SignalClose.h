// Ending signals close the main window the normal way.
//
// A desktop session that ends sends SIGTERM or SIGHUP, Ctrl+C in a terminal
// sends SIGINT. Their default action kills the process before the settings
// are written; here the handler only writes one byte to a pipe, and the
// event loop, woken by it, runs the callback (which closes the main window,
// so that its settings are written as on "E&xit").
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tessel {

class TCloseOnSignals : public QObject {
  Q_OBJECT
public:
  // Installs the handlers; one object at a time. The destructor restores
  // the previous handlers.
  explicit TCloseOnSignals(std::function<void()> onSignal, QObject* parent = nullptr);
  ~TCloseOnSignals() override;

private:
  void Drain();

  std::function<void()> OnSignal_;
  QSocketNotifier* Notifier_ = nullptr;
};

}  // namespace tessel
