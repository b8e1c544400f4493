// The result of checking one database against the gold standard: what makes it fail, its exit
// code and status.
#include "report/Report.Result.h"

#include <algorithm>
#include <cstring>

namespace quillon {

const QList<TFindingGroup>& FindingGroups() {
  static const QList<TFindingGroup> Groups{
      {QStringLiteral("unknown"), QStringLiteral("Unknown to the gold standard"), failOnUnknown, &TTargetResult::Unknown},
      {QStringLiteral("missingLocally"), QStringLiteral("Missing locally"), failOnMissing, &TTargetResult::MissingLocally},
      {QStringLiteral("unreadable"), QStringLiteral("Unreadable (encrypted or no VIEW DEFINITION permission)"),
       failOnUnreadable, &TTargetResult::Unreadable},
      {QStringLiteral("duplicateNames"), QStringLiteral("Hidden by another object of the same name"), 0,
       &TTargetResult::DuplicateNames},
      {QStringLiteral("ignored"), QStringLiteral("Differs, but on the ignore list"), 0, &TTargetResult::Ignored}};
  return Groups;
}

const TRepairRecord* TTargetResult::RepairOf(const TAnomalyRecord& AAnomaly) const {
  const auto Found = std::find_if(Repairs.begin(), Repairs.end(),
                                  [&](const TRepairRecord& R) { return R.FullName == AAnomaly.FullName && R.Kind == AAnomaly.Kind; });
  return RepairApplied && Found != Repairs.end() ? &*Found : nullptr;
}

bool TTargetResult::Remains(const TAnomalyRecord& AAnomaly) const {
  const TRepairRecord* Repair = RepairOf(AAnomaly);
  return !Repair || !Repair->Repaired();
}

int TTargetResult::ExitCode() const {
  if (Cancelled())
    return 128 + InterruptSignal;
  if (Failed())
    return 2;
  const bool AnomaliesRemain =
      std::any_of(Anomalies.begin(), Anomalies.end(), [this](const TAnomalyRecord& A) { return Remains(A); });
  if ((FailOn & failOnAnomalies) && AnomaliesRemain)
    return 1;
  for (const TFindingGroup& Group : FindingGroups())
    if ((FailOn & Group.FailOn) && !(this->*Group.Records).isEmpty())
      return 1;
  return 0;
}

QString TTargetResult::FilterText() const {
  QStringList Parts;
  if (!Includes.isEmpty())
    Parts.append(QStringLiteral("Only objects matching %1").arg(Includes.join(QStringLiteral(", "))));
  if (!Excludes.isEmpty())
    Parts.append(QStringLiteral("%1 those matching %2")
                     .arg(Includes.isEmpty() ? QStringLiteral("Leaving out") : QStringLiteral("leaving out"),
                          Excludes.join(QStringLiteral(", "))));
  return Parts.join(QStringLiteral("; "));
}

QString TTargetResult::StatusName() const {
  if (Cancelled())
    return QStringLiteral("cancelled");
  if (Failed())
    return QStringLiteral("error");
  return Anomalies.isEmpty() && ExitCode() == 0 ? QStringLiteral("ok") : QStringLiteral("anomalies");
}

QString CancelledText(int ASignal) {
  const char* Name = sigabbrev_np(ASignal);
  return QStringLiteral("cancelled: the run was stopped by %1 before this target finished")
      .arg(Name ? QStringLiteral("SIG") + QString::fromLatin1(Name) : QStringLiteral("signal %1").arg(ASignal));
}

TTargetResult CancelledResult(TTargetResult AResult, int ASignal) {
  AResult.InterruptSignal = ASignal;
  AResult.Error = CancelledText(ASignal);
  return AResult;
}

int CombinedExitCode(const QList<TTargetResult>& AResults) {
  int Code = 0;
  for (const TTargetResult& Result : AResults)
    Code = std::max(Code, Result.ExitCode());
  return Code;
}

}  // namespace quillon
