#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace quillon::cli {

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

// Everything the reports need to know about the check of one database (or one snapshot).
struct TTargetResult {
  QString Name;  // what the fleet file calls the target; server/database otherwise
  QString Server;
  QString Database;
  qint32 Version = 0;
  QString SnapshotPath;
  QList<TComparedObject> Compared;
  QList<TAnomalyRecord> Anomalies;
  // Empty when the check ran to its end; otherwise the one line that says what failed.
  QString Error;
  double Seconds = 0;

  bool Failed() const { return !Error.isEmpty(); }
  // 2 on a failure, 1 with anomalies, 0 otherwise.
  int ExitCode() const;
};

// The worst of the targets' exit codes, so that one failure is never hidden by clean results.
int CombinedExitCode(const QList<TTargetResult>& AResults);

// The result as the JSON report writes it: every anomaly with its unified line diff.
QJsonObject ResultToJson(const TTargetResult& AResult);
// Reads back what ResultToJson wrote (the diffs are recomputed when needed, not read).
TTargetResult ResultFromJson(const QJsonObject& AObject);

}  // namespace quillon::cli
