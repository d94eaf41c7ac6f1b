#include "ui/SignalClose.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace tessel {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int Pipe[2] = {-1, -1};
struct sigaction Previous[3];

void Handler(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a wake-up; the byte may be dropped.
  [[maybe_unused]] ssize_t written = write(Pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TCloseOnSignals::TCloseOnSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), OnSignal_(std::move(onSignal)) {
  if (pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    Pipe[0] = Pipe[1] = -1;
    return;  // without the pipe the signals keep their default action
  }
  Notifier_ = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
  connect(Notifier_, &QSocketNotifier::activated, this, &TCloseOnSignals::Drain);
  struct sigaction action {};
  action.sa_handler = Handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &Previous[i]);
}

TCloseOnSignals::~TCloseOnSignals() {
  if (Pipe[0] < 0) return;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &Previous[i], nullptr);
  delete Notifier_;
  close(Pipe[0]);
  close(Pipe[1]);
  Pipe[0] = Pipe[1] = -1;
}

void TCloseOnSignals::Drain() {
  char buffer[64];
  while (read(Pipe[0], buffer, sizeof buffer) > 0) {
  }
  if (OnSignal_) OnSignal_();
}

}  // namespace tessel
