// The main window's compare panel: starts a compare run or a repair on the worker thread, shows
// the run's progress, its outcome and its failure, and cancels it.
#pragma once

#include "session/Session.Check.h"

#include <QObject>

namespace quillon {

class ILog;
class TMainWindowLayout;
class TRepairScript;
class TRunController;
struct TRepairResult;

class TRunPanel : public QObject {
  Q_OBJECT

public:
  enum TProgressState { psNormal, psError };

  TRunPanel(TMainWindowLayout& AControls, TCheckSession& ASession, TRunController& ARun, ILog* ALog);

  // Starts a compare run of ARequest; Finished says when its outcome is there.
  void Start(const TCompareRequest& ARequest);
  // Asks a run to stop after the object it is comparing.
  void Cancel();
  // Runs AScript on the worker while the caller's dialog stays modal; every outcome is recorded
  // in the run's result as it comes.
  QList<TRepairResult> Repair(const TRepairScript& AScript);
  bool Running() const;

  // What the last compare run found, and the repairs made since.
  const TCompareOutcome& Outcome() const { return FOutcome; }
  void CountRepaired(qint32 ACount) { FRepairedCount += ACount; }
  // Says how many anomalies there are (and how many were repaired), or how far a run that
  // stopped came; and what was compared and found besides anomalies.
  void ShowOutcome();
  TProgressState ProgressState() const { return FProgressState; }
  // The failure of the last compare run, empty after a run that ended well.
  QString RunFailure() const;

signals:
  // A compare run has ended and its outcome is in Outcome.
  void Finished();

private:
  void RunEnded();
  QString StatusText() const;
  void ShowError(const QString& AMessage);
  void SetProgressState(TProgressState AState);
  void ShowProgress(qint32 ACompared, qint32 ATotal);
  void RecordRepair(const TRepairRecord& ARecord);

  TMainWindowLayout& FControls;
  TCheckSession& FSession;
  TRunController& FRun;
  ILog* FLog;
  TCompareOutcome FOutcome;
  // The worker's until the run ends.
  TCompareOutcome FPendingOutcome;
  qint32 FRepairedCount = 0;
  TProgressState FProgressState = psNormal;
};

}  // namespace quillon
