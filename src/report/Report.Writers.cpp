// The words every report writer shares: status, time, the captions of the two sides.
#include "report/Report.Writers.h"

#include <algorithm>

namespace quillon {

namespace {

QString StatusWord(bool ACancelled, bool AFailed, const QString& AFinished) {
  if (ACancelled)
    return QStringLiteral("CANCELLED");
  if (AFailed)
    return QStringLiteral("FAILED");
  return AFinished;
}

}  // namespace

QString StatusWord(const TTargetResult& AResult) {
  if (!AResult.Anomalies.isEmpty())
    return StatusWord(AResult.Cancelled(), AResult.Failed(), QStringLiteral("anomalies"));
  return StatusWord(AResult.Cancelled(), AResult.Failed(),
                    AResult.ExitCode() == 0 ? QStringLiteral("ok") : QStringLiteral("findings"));
}

QString StatusWord(const TDriftTargetResult& AResult) {
  return StatusWord(AResult.Cancelled(), AResult.Failed(),
                    AResult.Drift.Items.isEmpty() ? QStringLiteral("ok") : QStringLiteral("drift"));
}

QString Seconds(double ASeconds) { return QString::number(ASeconds, 'f', 1) + u's'; }

QString GoldCaption(const TTargetResult& AResult) {
  return QStringLiteral("Gold standard, version %1").arg(AResult.Version);
}

QString LocalCaption(const TTargetResult& AResult) {
  return QStringLiteral("Local, %1 on %2").arg(AResult.Database, AResult.Server);
}

QString RepairOutcomeLine(const TRepairRecord& ARepair) {
  return ARepair.Message.isEmpty() ? ARepair.Outcome
                                   : QStringLiteral("%1 (%2)").arg(ARepair.Outcome, ARepair.Message.simplified());
}

bool IsTextField(const QString& AField) {
  return AField == QLatin1String("VIEW_DEFINITION") || AField == QLatin1String("ROUTINE_DEFINITION") ||
         AField == QLatin1String("CHECK_CLAUSE");
}

qsizetype CountOf(const TDriftTargetResult& AResult, TDriftChange AChange) {
  return std::count_if(AResult.Drift.Items.begin(), AResult.Drift.Items.end(),
                       [AChange](const TDriftItem& AItem) { return AItem.Change == AChange; });
}

QString BaselineDescription(const TDriftTargetResult& AResult) {
  return QStringLiteral("%1 (%2 on %3, version %4)")
      .arg(AResult.BaselinePath, AResult.BaselineDatabase, AResult.BaselineServer)
      .arg(AResult.BaselineVersion);
}

}  // namespace quillon
