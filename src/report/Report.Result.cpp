#include "report/Report.Result.h"

#include "report/Report.LineDiff.h"

#include <QJsonArray>

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

QJsonObject ResultToJson(const TTargetResult& AResult) {
  QJsonArray Anomalies;
  for (const TAnomalyRecord& Anomaly : AResult.Anomalies)
    Anomalies.append(QJsonObject{{QStringLiteral("fullName"), Anomaly.FullName},
                                 {QStringLiteral("kind"), Anomaly.Kind},
                                 {QStringLiteral("key"), Anomaly.Key},
                                 {QStringLiteral("expected"), Anomaly.Expected},
                                 {QStringLiteral("actual"), Anomaly.Actual},
                                 {QStringLiteral("diff"), UnifiedDiff(Anomaly.Expected, Anomaly.Actual,
                                                                      QStringLiteral("expected"),
                                                                      QStringLiteral("actual"))}});
  QJsonArray Compared;
  for (const TComparedObject& Object : AResult.Compared)
    Compared.append(QJsonObject{{QStringLiteral("fullName"), Object.FullName}, {QStringLiteral("kind"), Object.Kind}});
  QJsonObject Json{{QStringLiteral("name"), AResult.Name},
                   {QStringLiteral("status"), AResult.StatusName()},
                   {QStringLiteral("error"), AResult.Failed() ? QJsonValue(AResult.Error) : QJsonValue()},
                   {QStringLiteral("complete"), !AResult.Failed()},
                   {QStringLiteral("comparedKinds"), AResult.ComparedText},
                   {QStringLiteral("filters"), QJsonObject{{QStringLiteral("include"), QJsonArray::fromStringList(AResult.Includes)},
                                                           {QStringLiteral("exclude"), QJsonArray::fromStringList(AResult.Excludes)}}},
                   {QStringLiteral("server"), AResult.Server},
                   {QStringLiteral("database"), AResult.Database},
                   {QStringLiteral("version"), AResult.Version > 0 ? QJsonValue(AResult.Version) : QJsonValue()},
                   {QStringLiteral("snapshot"), AResult.SnapshotPath},
                   {QStringLiteral("seconds"), AResult.Seconds},
                   {QStringLiteral("anomalyCount"), AResult.Anomalies.size()},
                   {QStringLiteral("comparedCount"), AResult.Compared.size()},
                   {QStringLiteral("anomalies"), Anomalies},
                   {QStringLiteral("compared"), Compared}};
  for (const TFindingGroup& Group : FindingGroups()) {
    QJsonArray Records;
    for (const TFindingRecord& Record : AResult.*Group.Records)
      Records.append(QJsonObject{{QStringLiteral("fullName"), Record.FullName}, {QStringLiteral("kind"), Record.Kind}});
    Json.insert(Group.JsonKey, Records);
  }
  if (AResult.RepairApplied) {
    QJsonArray Repairs;
    for (const TRepairRecord& Repair : AResult.Repairs)
      Repairs.append(QJsonObject{{QStringLiteral("fullName"), Repair.FullName},
                                 {QStringLiteral("kind"), Repair.Kind},
                                 {QStringLiteral("outcome"), Repair.Outcome},
                                 {QStringLiteral("message"), Repair.Message}});
    Json.insert(QStringLiteral("repairs"), Repairs);
  }
  return Json;
}

TTargetResult ResultFromJson(const QJsonObject& AObject) {
  TTargetResult Result;
  Result.Name = AObject.value(QStringLiteral("name")).toString();
  Result.Server = AObject.value(QStringLiteral("server")).toString();
  Result.Database = AObject.value(QStringLiteral("database")).toString();
  Result.Version = AObject.value(QStringLiteral("version")).toInt();
  Result.SnapshotPath = AObject.value(QStringLiteral("snapshot")).toString();
  Result.Seconds = AObject.value(QStringLiteral("seconds")).toDouble();
  Result.Error = AObject.value(QStringLiteral("error")).toString();
  Result.ComparedText = AObject.value(QStringLiteral("comparedKinds")).toString();
  const QJsonObject Filters = AObject.value(QStringLiteral("filters")).toObject();
  for (const auto& [Key, Patterns] : {std::pair{QStringLiteral("include"), &Result.Includes},
                                      std::pair{QStringLiteral("exclude"), &Result.Excludes}})
    for (const QJsonValue& Pattern : Filters.value(Key).toArray())
      Patterns->append(Pattern.toString());
  for (const TFindingGroup& Group : FindingGroups())
    for (const QJsonValue& Value : AObject.value(Group.JsonKey).toArray())
      (Result.*Group.Records)
          .append(TFindingRecord{Value.toObject().value(QStringLiteral("fullName")).toString(),
                                 Value.toObject().value(QStringLiteral("kind")).toString()});
  for (const QJsonValue& Value : AObject.value(QStringLiteral("anomalies")).toArray()) {
    const QJsonObject Anomaly = Value.toObject();
    Result.Anomalies.append(TAnomalyRecord{Anomaly.value(QStringLiteral("fullName")).toString(),
                                           Anomaly.value(QStringLiteral("kind")).toString(),
                                           Anomaly.value(QStringLiteral("key")).toString(),
                                           Anomaly.value(QStringLiteral("expected")).toString(),
                                           Anomaly.value(QStringLiteral("actual")).toString()});
  }
  Result.RepairApplied = AObject.contains(QStringLiteral("repairs"));
  for (const QJsonValue& Value : AObject.value(QStringLiteral("repairs")).toArray()) {
    const QJsonObject Repair = Value.toObject();
    Result.Repairs.append(TRepairRecord{Repair.value(QStringLiteral("fullName")).toString(),
                                        Repair.value(QStringLiteral("kind")).toString(),
                                        Repair.value(QStringLiteral("outcome")).toString(),
                                        Repair.value(QStringLiteral("message")).toString()});
  }
  for (const QJsonValue& Value : AObject.value(QStringLiteral("compared")).toArray()) {
    const QJsonObject Object = Value.toObject();
    Result.Compared.append(TComparedObject{Object.value(QStringLiteral("fullName")).toString(),
                                           Object.value(QStringLiteral("kind")).toString()});
  }
  return Result;
}


}  // namespace quillon
