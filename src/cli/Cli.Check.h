// The command line's checks of one database or snapshot, each a run of the check session, and its
// terminal progress line.
#pragma once

#include "report/Report.Drift.h"
#include "cli/Cli.Options.h"
#include "report/Report.Result.h"
#include "gold/Gold.Progress.h"

#include <QElapsedTimer>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace quillon {

class IDatabaseLoginDialog;
class TCheckSession;
class TDriftSide;
class TRepairScript;
class ILog;
}

namespace quillon::cli {

// Shows a run's progress (the status with the kind and its count, the percentage and the
// time so far) on one rewritten line of standard error; silent when that is no terminal.
// Targets checked on threads of their own may report to one progress at once.
class TTerminalProgress : public IDbProgress {
public:
  explicit TTerminalProgress(bool AEnabled);
  ~TTerminalProgress() override;

  void ShowStatus(const QString& AText) override;
  void ShowProgress(double AFraction) override;
  void ReportAnomaly(const QString& AText, TDatabaseObject* AObject) override {}
  // Ends the progress line, so that what follows starts on a line of its own.
  void EndLine();
  // From now on shows nothing: a run left behind on another thread must not write over what
  // follows an interrupt.
  void Silence() { FEnabled = false; }

private:
  void Print(const QString& ALine);

  std::mutex FLock;
  std::atomic<bool> FEnabled;
  QString FStatus;
  qint32 FLastPercent = -1;
  bool FLinePending = false;
  QElapsedTimer FTimer;
};

// True when standard error (standard output) is a terminal.
bool StdErrIsTerminal();
bool StdOutIsTerminal();

// What repair asks of a compare: the script (filled in with its header), and with Apply, that
// the script be run on the database once Confirm, shown the planned steps, agrees.
struct TRepairRequest {
  QString ScriptText;
  bool Apply = false;
  std::function<bool(const TRepairScript&)> Confirm;
};

// The commands on one database or snapshot, each a run of one check session. Every failure is
// raised as an exception whose message names what failed; nothing here writes to standard
// output.
class TChecker {
public:
  TChecker(const TCliOptions& AOptions, ILog* ALog, IDbProgress* AProgress);
  ~TChecker();

  // Connects, reads the version, loads the catalogue, writes the snapshot and compares. With
  // ARepair, also plans the repair of every anomaly and puts its script there, and when asked
  // runs it; the result then holds what became of each object.
  TTargetResult CompareDatabase(TRepairRequest* ARepair = nullptr);
  // Compares the snapshot file of the options with the gold standard of their version.
  TTargetResult CompareSnapshot();
  // Writes the snapshot (to --output when given) and returns its path.
  QString Snapshot();
  // Reads the target (the database, or the snapshot of --snapshot) and compares it with the
  // baseline under the options' filters and the ignore list.
  TDriftTargetResult Drift(const TDriftSide& ABaseline);
  // The same for a snapshot target and a report that lists only the drift: reads the two
  // files together, parsing only the objects whose elements differ.
  TDriftTargetResult DriftSnapshots();
  // Runs the publish mode; the log given at construction sees what was published or updated.
  void Publish();

  // From any thread: asks the run to stop before its next object; a repair sends no further
  // batch.
  void Cancel();
  // Whether a repair is sending its batches: an interrupt then lets the batch under way finish.
  bool Repairing() const;
  // From any thread: what the run has found so far, once its comparison is over: with a repair
  // under way, each object as the server answered for it and the rest not attempted;
  // ALeftRunning when the repair is left while a batch may still be with the server.
  std::optional<TTargetResult> ResultSoFar(bool ALeftRunning) const;

private:
  class TObserver;

  void Connect();
  QString SnapshotPath() const;

  const TCliOptions& FOptions;
  std::unique_ptr<TObserver> FObserver;
  std::unique_ptr<TCheckSession> FSession;
  std::unique_ptr<IDatabaseLoginDialog> FLogin;
};

// The password of a SQL Server login: the environment variable QUILLON_PASSWORD, else asked on
// the terminal without echo; raises when neither is available. Never taken from the command
// line, where every user of the machine could read it.
QString ReadPassword(const QString& AUserName);

// "server/database" for people, from the command line's settings.
QString TargetName(const TCliOptions& AOptions);

}  // namespace quillon::cli
