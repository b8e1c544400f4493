// The JSON report of a compare (packaging/report.schema.json) and of a drift
// (packaging/drift-report.schema.json): data, so every string is written as it is.
#include "report/Report.Writers.h"

#include "report/Report.LineDiff.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace quillon {

namespace {

QJsonObject ResultToJson(const TDriftTargetResult& AResult) {
  QJsonArray Drift;
  for (const TDriftItem& Item : AResult.Drift.Items) {
    QJsonArray Fields;
    for (const TDriftField& Field : Item.Fields)
      Fields.append(QJsonObject{{QStringLiteral("field"), Field.Field},
                                {QStringLiteral("baseline"), Field.Baseline},
                                {QStringLiteral("target"), Field.Target}});
    Drift.append(QJsonObject{{QStringLiteral("kind"), DriftKindName(Item.Kind)},
                             {QStringLiteral("fullName"), Item.FullName},
                             {QStringLiteral("change"), DriftChangeName(Item.Change)},
                             {QStringLiteral("fields"), Fields}});
  }
  QJsonObject Object{{QStringLiteral("name"), AResult.Name},
                     {QStringLiteral("server"), AResult.Server},
                     {QStringLiteral("database"), AResult.Database},
                     {QStringLiteral("version"), AResult.Version > 0 ? QJsonValue(AResult.Version) : QJsonValue()},
                     {QStringLiteral("error"), AResult.Failed() ? QJsonValue(AResult.Error) : QJsonValue()},
                     {QStringLiteral("baseline"), QJsonObject{{QStringLiteral("file"), AResult.BaselinePath},
                                                              {QStringLiteral("server"), AResult.BaselineServer},
                                                              {QStringLiteral("database"), AResult.BaselineDatabase},
                                                              {QStringLiteral("version"), AResult.BaselineVersion}}},
                     {QStringLiteral("filters"), QJsonObject{{QStringLiteral("include"), QJsonArray::fromStringList(AResult.Includes)},
                                                             {QStringLiteral("exclude"), QJsonArray::fromStringList(AResult.Excludes)}}},
                     {QStringLiteral("notes"), QJsonArray::fromStringList(AResult.Drift.Notes)},
                     {QStringLiteral("drift"), Drift},
                     {QStringLiteral("seconds"), AResult.Seconds},
                     {QStringLiteral("status"), AResult.Cancelled()          ? QStringLiteral("cancelled")
                                                : AResult.Failed()              ? QStringLiteral("error")
                                                : AResult.Drift.Items.isEmpty() ? QStringLiteral("ok")
                                                                                : QStringLiteral("drift")},
                     {QStringLiteral("exitCode"), AResult.ExitCode()}};
  if (!AResult.SnapshotPath.isEmpty())
    Object.insert(QStringLiteral("snapshot"), AResult.SnapshotPath);
  return Object;
}

// The format version grows when a field changes its meaning or goes away.
template <typename TResult>
QByteArray JsonReportOfAll(const QList<TResult>& AResults) {
  QJsonArray Targets;
  for (const TResult& Result : AResults)
    Targets.append(ResultToJson(Result));
  return JsonText(QJsonObject{{QStringLiteral("formatVersion"), JsonReportFormatVersion},
                              {QStringLiteral("targets"), Targets},
                              {QStringLiteral("exitCode"), CombinedExitCode(AResults)}});
}

}  // namespace

QByteArray JsonReport(const QList<TTargetResult>& AResults) { return JsonReportOfAll(AResults); }

QByteArray JsonReport(const QList<TDriftTargetResult>& AResults) { return JsonReportOfAll(AResults); }

// Qt's JSON reader decodes each string as UTF-8 the way a whole file is decoded, so a U+FEFF
// at the start of a value is taken for a byte-order mark and lost. Written as an escape it
// survives; outside strings JSON holds no such character, so every one can be replaced.
QByteArray JsonText(const QJsonObject& AObject) {
  return QJsonDocument(AObject).toJson(QJsonDocument::Indented).replace("\xEF\xBB\xBF", "\\ufeff");
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
