#include "cli/Cli.Result.h"

#include "cli/Cli.LineDiff.h"

#include <QJsonArray>

#include <algorithm>

namespace quillon::cli {

const QList<TFindingGroup>& FindingGroups() {
  static const QList<TFindingGroup> Groups{
      {QStringLiteral("unknown"), QStringLiteral("Unknown to the gold standard"), failOnUnknown, &TTargetResult::Unknown},
      {QStringLiteral("missingLocally"), QStringLiteral("Missing locally"), failOnMissing, &TTargetResult::MissingLocally},
      {QStringLiteral("unreadable"), QStringLiteral("Unreadable (encrypted or no VIEW DEFINITION permission)"),
       failOnUnreadable, &TTargetResult::Unreadable},
      {QStringLiteral("duplicateNames"), QStringLiteral("Hidden by another object of the same name"), 0,
       &TTargetResult::DuplicateNames}};
  return Groups;
}

int TTargetResult::ExitCode() const {
  if (Failed())
    return 2;
  if ((FailOn & failOnAnomalies) && !Anomalies.isEmpty())
    return 1;
  for (const TFindingGroup& Group : FindingGroups())
    if ((FailOn & Group.FailOn) && !(this->*Group.Records).isEmpty())
      return 1;
  return 0;
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
                   {QStringLiteral("complete"), !AResult.Failed()},
                   {QStringLiteral("comparedKinds"), AResult.ComparedText},
                   {QStringLiteral("server"), AResult.Server},
                   {QStringLiteral("database"), AResult.Database},
                   {QStringLiteral("version"), AResult.Version},
                   {QStringLiteral("snapshot"), AResult.SnapshotPath},
                   {QStringLiteral("seconds"), AResult.Seconds},
                   {QStringLiteral("anomalyCount"), AResult.Anomalies.size()},
                   {QStringLiteral("anomalies"), Anomalies},
                   {QStringLiteral("compared"), Compared}};
  for (const TFindingGroup& Group : FindingGroups()) {
    QJsonArray Records;
    for (const TFindingRecord& Record : AResult.*Group.Records)
      Records.append(QJsonObject{{QStringLiteral("fullName"), Record.FullName}, {QStringLiteral("kind"), Record.Kind}});
    Json.insert(Group.JsonKey, Records);
  }
  if (AResult.Failed())
    Json.insert(QStringLiteral("error"), AResult.Error);
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
  for (const QJsonValue& Value : AObject.value(QStringLiteral("compared")).toArray()) {
    const QJsonObject Object = Value.toObject();
    Result.Compared.append(TComparedObject{Object.value(QStringLiteral("fullName")).toString(),
                                           Object.value(QStringLiteral("kind")).toString()});
  }
  return Result;
}

}  // namespace quillon::cli
