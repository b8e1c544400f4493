// The result of a drift check of one target against a baseline, and the drift reports' entry
// point.
#pragma once

#include "drift/Drift.Engine.h"
#include "report/Report.Render.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace quillon {

// The drift of one target (a database or a snapshot) against the baseline.
struct TDriftTargetResult {
  QString Name;  // what the fleet file calls the target; server/database or the file otherwise
  QString Server;
  QString Database;
  qint32 Version = 0;  // the target's schema version; 0 when not known
  QString SnapshotPath;  // the target's snapshot when it was one
  QString BaselinePath;
  QString BaselineServer;
  QString BaselineDatabase;
  qint32 BaselineVersion = 0;
  TDriftResult Drift;
  // The run's --include and --exclude patterns.
  QStringList Includes;
  QStringList Excludes;
  // Empty when the target was read and compared; otherwise what failed.
  QString Error;
  double Seconds = 0;
  // The signal (SIGINT, SIGTERM, SIGHUP) that stopped the run before this target finished; 0
  // for a target that finished. A cancelled target is failed too, with Error saying so.
  int InterruptSignal = 0;

  bool Failed() const { return !Error.isEmpty(); }
  bool Cancelled() const { return InterruptSignal != 0; }
  // 128 + the signal for a cancelled target, 2 when the target could not be read, 1 with
  // drift, 0 otherwise.
  int ExitCode() const;
};

int CombinedExitCode(const QList<TDriftTargetResult>& AResults);

// A target the run stopped by ASignal did not finish: cancelled, with what it is called.
TDriftTargetResult CancelledDriftResult(TDriftTargetResult AResult, int ASignal);

// The drift report: text (grouped by kind, one line per object, its field changes under it),
// JSON ({formatVersion, targets, exitCode} as compare's, per target an array "drift" of
// {kind, fullName, change, fields}; packaging/drift-report.schema.json), JUnit (a test case
// per object of both sides, drift as failures) or HTML (grouped by kind, each drifted object
// with a side-by-side diff of its texts).
QByteArray RenderDriftReport(TReportFormat AFormat, const QList<TDriftTargetResult>& AResults, bool AFleet);

}  // namespace quillon
