// Ends the message loop in order when the program is asked to stop by a signal.
#pragma once

#include <QSocketNotifier>

#include <csignal>
#include <memory>

namespace quillon {

// Ends the message loop when the session asks the program to stop (SIGTERM, SIGHUP) or the
// user presses Ctrl+C, so that shut-down runs in order and the log file is written instead of
// the process dying on the spot. Needs the application object; one at a time.
class TTerminationSignals {
public:
  TTerminationSignals();
  ~TTerminationSignals();
  TTerminationSignals(const TTerminationSignals&) = delete;
  TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
  std::unique_ptr<QSocketNotifier> FNotifier;
  struct sigaction FPrevious[3];
};

}  // namespace quillon
