#include "app/UnixSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
int SignalPipe[2] = {-1, -1};

void OnSignal(int iSignal)
{
  // Only async-signal-safe work here: hand the number to the event loop.
  const unsigned char number = static_cast<unsigned char>(iSignal);
  [[maybe_unused]] const ssize_t written = ::write(SignalPipe[0], &number, 1);
}
} // namespace

TUnixSignals::TUnixSignals(QObject* iParent) : QObject(iParent)
{
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalPipe) != 0)
    return;
  fNotifier = new QSocketNotifier(SignalPipe[1], QSocketNotifier::Read, this);
  connect(fNotifier, &QSocketNotifier::activated, this,
          [this]
          {
            unsigned char number = 0;
            if (::read(SignalPipe[1], &number, 1) == 1)
              emit CloseRequested(number);
          });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

TUnixSignals::~TUnixSignals()
{
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  if (SignalPipe[0] >= 0)
  {
    ::close(SignalPipe[0]);
    ::close(SignalPipe[1]);
    SignalPipe[0] = SignalPipe[1] = -1;
  }
}
