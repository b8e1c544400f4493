// Ends the message loop in order when the program is asked to stop by a signal.
#include "gui/App.Termination.h"

#include "infra/platform/Support.Exceptions.h"

#include <QCoreApplication>

#include <sys/socket.h>
#include <unistd.h>

namespace quillon {

namespace {

const int Signals[] = {SIGTERM, SIGHUP, SIGINT};

// A signal handler may only write to a descriptor; the loop reads the other end.
int SignalSockets[2] = {-1, -1};

void OnSignal(int) {
  const char Byte = 1;
  [[maybe_unused]] const ssize_t Written = ::write(SignalSockets[0], &Byte, 1);
}

}  // namespace

TTerminationSignals::TTerminationSignals() {
  Assert(SignalSockets[0] < 0, QStringLiteral("Termination signals are already handled"));
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalSockets) != 0)
    throw Exception(QStringLiteral("Cannot create the socket pair for termination signals"));
  FNotifier = std::make_unique<QSocketNotifier>(SignalSockets[1], QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [] {
    char Byte;
    [[maybe_unused]] const ssize_t Read = ::read(SignalSockets[1], &Byte, 1);
    QCoreApplication::quit();
  });
  struct sigaction Action {};
  Action.sa_handler = OnSignal;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = SA_RESTART;
  for (int I = 0; I < 3; ++I)
    ::sigaction(Signals[I], &Action, &FPrevious[I]);
}

TTerminationSignals::~TTerminationSignals() {
  for (int I = 0; I < 3; ++I)
    ::sigaction(Signals[I], &FPrevious[I], nullptr);
  FNotifier.reset();
  ::close(SignalSockets[0]);
  ::close(SignalSockets[1]);
  SignalSockets[0] = SignalSockets[1] = -1;
}

}  // namespace quillon
