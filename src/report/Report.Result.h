// The result of a compare check of one target, as every report renders it.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace quillon {


// One object that differs from the gold standard and is not on the ignore list.
struct TAnomalyRecord {
  QString FullName;
  QString Kind;  // "view", "routine", "check", "index"
  QString Key;
  QString Expected;  // the gold standard
  QString Actual;    // the local definition

  bool operator==(const TAnomalyRecord&) const = default;
};

// One object that took part in the comparison, anomaly or not (a JUnit test case).
struct TComparedObject {
  QString FullName;
  QString Kind;

  bool operator==(const TComparedObject&) const = default;
};

// An object the comparison could not judge, or one the gold standard has that the database
// lacks.
struct TFindingRecord {
  QString FullName;
  QString Kind;

  bool operator==(const TFindingRecord&) const = default;
};

// What --fail-on can name: the kinds of result that make the exit code 1.
enum TFailOnFlag : unsigned { failOnAnomalies = 1, failOnUnknown = 2, failOnMissing = 4, failOnUnreadable = 8 };

struct TTargetResult;

// One group of findings as the reports show it.
struct TFindingGroup {
  QString JsonKey;   // "unknown", "missingLocally", "unreadable", "duplicateNames", "ignored"
  QString Title;     // "Unknown to the gold standard", ...
  unsigned FailOn;   // the --fail-on flag that turns the group into failures; 0 for none
  QList<TFindingRecord> TTargetResult::*Records;
};
const QList<TFindingGroup>& FindingGroups();

// What repair --apply did with one object: Outcome is "repaired", "failed", "not attempted" or
// "cannot be repaired"; Message is the server's message or why the object cannot be repaired.
struct TRepairRecord {
  QString FullName;
  QString Kind;
  QString Outcome;
  QString Message;

  bool Repaired() const { return Outcome == QLatin1String("repaired"); }
};

// Everything the reports need to know about the check of one database (or one snapshot).
struct TTargetResult {
  QString Name;  // what the fleet file calls the target; server/database otherwise
  QString Server;
  QString Database;
  qint32 Version = 0;
  QString SnapshotPath;
  QList<TComparedObject> Compared;
  QList<TAnomalyRecord> Anomalies;
  QList<TFindingRecord> Unknown;
  QList<TFindingRecord> MissingLocally;
  QList<TFindingRecord> Unreadable;
  // Objects of the database whose key another object took (on a case-insensitive reading).
  QList<TFindingRecord> DuplicateNames;
  // Objects that differ from the gold standard but are on the ignore list.
  QList<TFindingRecord> Ignored;
  // Per kind what was compared with the gold standard, and the kinds it does not hold.
  QString ComparedText;
  // The --include and --exclude patterns that narrowed the comparison.
  QStringList Includes;
  QStringList Excludes;
  // Empty when the check ran to its end; otherwise the one line that says what failed (for a
  // comparison that stopped part-way, "Stopped after N of M objects: <reason>").
  QString Error;
  double Seconds = 0;
  // The kinds of result that count as failing (TFailOnFlag bits).
  unsigned FailOn = failOnAnomalies;
  // Set when the anomalies' repair was run; then an anomaly counts as failing only when its
  // repair did not succeed.
  bool RepairApplied = false;
  QList<TRepairRecord> Repairs;
  // The signal (SIGINT, SIGTERM, SIGHUP) that stopped the run before this target finished; 0
  // for a target that finished. A cancelled target is failed too, with Error saying so.
  int InterruptSignal = 0;

  bool Failed() const { return !Error.isEmpty(); }
  bool Cancelled() const { return InterruptSignal != 0; }
  // The repair of AAnomaly when repair --apply ran; nullptr otherwise.
  const TRepairRecord* RepairOf(const TAnomalyRecord& AAnomaly) const;
  // Whether AAnomaly is still there: always, unless its repair succeeded.
  bool Remains(const TAnomalyRecord& AAnomaly) const;
  // "Only objects matching sales.*; leaving out those matching *.tmp" for people; empty when
  // no pattern applied.
  QString FilterText() const;
  // 128 + the signal for a cancelled target, 2 on a failure, 1 when a kind of result named by
  // FailOn is present, 0 otherwise.
  int ExitCode() const;
  // The JSON report's status: "cancelled" for a target the run did not finish, "error" for a
  // failed check, "anomalies" when anything differs or
  // --fail-on names a result that is present, "ok" otherwise.
  QString StatusName() const;
};

// A target the run stopped by ASignal did not finish: cancelled, with what it is called.
TTargetResult CancelledResult(TTargetResult AResult, int ASignal);
// What the reports say of a target that ASignal stopped: "cancelled: the run was stopped by
// SIGINT before this target finished".
QString CancelledText(int ASignal);

// The worst of the targets' exit codes, so that one failure is never hidden by clean results.
int CombinedExitCode(const QList<TTargetResult>& AResults);

// The result as the JSON report writes it: every anomaly with its unified line diff. The
// report's shape is documented in packaging/report.schema.json.
QJsonObject ResultToJson(const TTargetResult& AResult);
// Reads back what ResultToJson wrote (the diffs are recomputed when needed, not read).
TTargetResult ResultFromJson(const QJsonObject& AObject);

}  // namespace quillon
