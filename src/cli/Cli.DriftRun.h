// A drift run of the command line: the baseline read once, then one target or a fleet's targets on
// threads.
#pragma once

#include "report/Report.Drift.h"
#include "cli/Cli.Options.h"

#include <QList>
#include <QString>

#include <mutex>

namespace quillon {
class IDbProgress;
class ILog;
class TDriftSide;
}  // namespace quillon

namespace quillon::cli {

struct TFleetTarget;
class TTerminalProgress;

// A drift run: the baseline is read once, then the target of the command line, or every
// target of the fleet file, is compared with it.
//
// A fleet's targets are checked AOptions.Jobs at a time, each on a thread of this process, so
// that they share the one baseline (a process per target, as compare's fleet has, would read
// the whole baseline once per target). Reading a catalogue touches none of the process-wide
// state a compare run changes (the service client, the lists' progress receiver); what the
// threads do share takes one of them at a time: the log, the progress line, the baseline's
// table index and the opening of a connection whose FreeTDS configuration is its own.
class TDriftRun {
public:
  TDriftRun(const TCliOptions& AOptions, ILog* ALog, TTerminalProgress& AProgress);

  // Reads the baseline (and the fleet file) and checks the targets. Raises nothing: a run that
  // fails as a whole (the baseline or the fleet file cannot be read, the one target fails)
  // has that failure as its one result.
  void Execute();
  // The results in the fleet file's order. Callable from another
  // thread while Execute runs (after an interrupt): the targets that finished keep their
  // result, the others are cancelled by ASignal.
  QList<TDriftTargetResult> Results(int ASignal = 0) const;
  // Whether the results are a fleet's, one a line of the fleet file.
  bool Fleet() const;

private:
  void CheckFleet(const QList<TFleetTarget>& ATargets, const TDriftSide& ABaseline);
  TDriftTargetResult CheckFleetTarget(const TFleetTarget& ATarget, const TDriftSide& ABaseline,
                                      IDbProgress* AProgress) const;
  // From now on the run has these targets, none of them finished.
  void Expect(const QStringList& ANames, bool AFleet);
  void Finish(qsizetype AIndex, TDriftTargetResult AResult);

  const TCliOptions& FOptions;
  ILog* FLog;
  TTerminalProgress& FProgress;
  mutable std::mutex FLock;
  QList<TDriftTargetResult> FResults;
  QList<bool> FFinished;
  qsizetype FFinishedCount = 0;
  bool FFleet = false;
};

}  // namespace quillon::cli
