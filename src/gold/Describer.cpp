// The owner of the ten lists, driving their load, snapshot and comparison with the gold standard as
// a whole.
#include "gold/Describer.h"

#include "catalogue/Catalogue.Read.h"
#include "catalogue/Catalogue.Store.h"
#include "model/Xml.Snapshot.h"
#include "database/Database.Interfaces.h"
#include "gold/Gold.Compare.h"
#include "gold/Gold.Publish.h"
#include "gold/Sync.IgnoreList.h"
#include "infra/text/Support.Format.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "service/OstrelService.h"
#include "service/Service.Config.h"
#include "service/Service.Pages.h"

#include <QDir>

#include <tuple>

namespace quillon {

QString FilterName(const TDatabaseObject& AObject) {
  if (const auto* Schema = dynamic_cast<const TDatabaseSchema*>(&AObject))
    return Schema->SchemaName();
  if (const auto* Column = dynamic_cast<const TDatabaseColumn*>(&AObject))
    return AObject.SchemaName() + u'.' + Column->TableName();
  if (const auto* Index = dynamic_cast<const TDatabaseIndex*>(&AObject))
    return AObject.SchemaName() + u'.' + Index->TableName();
  if (const auto* Constraint = dynamic_cast<const TDatabaseConstraint*>(&AObject))
    return Constraint->TableSchema() + u'.' + Constraint->TableName();
  return AObject.SchemaName() + u'.' + AObject.ObjectName();
}

TDatabaseDescriber::TDatabaseDescriber(TDatabaseObjectIgnoreList* AIgnoreList, ILog* ALog)
    : FLog(ALog), FIgnoreList(AIgnoreList) {
  FSchemata = std::make_unique<TDatabaseSchemaList>(FLog);
  FTables = std::make_unique<TDatabaseTableList>(FLog);
  FColumns = std::make_unique<TDatabaseColumnList>(FLog);
  FViews = std::make_unique<TDatabaseViewList>(FLog);
  FIndices = std::make_unique<TDatabaseIndexList>(FLog);
  FRoutines = std::make_unique<TDatabaseRoutineList>(FLog);
  FCheckConstraints = std::make_unique<TCheckConstraintList>(FLog);
  FForeignKeys = std::make_unique<TForeignKeyList>(FLog);
  FTablePrivileges = std::make_unique<TTablePrivilegeList>(FLog);
  FRoutinePrivileges = std::make_unique<TRoutinePrivilegeList>(FLog);
}

TDatabaseDescriber::~TDatabaseDescriber() {
  FRoutinePrivileges.reset();
  FTablePrivileges.reset();
  FForeignKeys.reset();
  FCheckConstraints.reset();
  FRoutines.reset();
  FIndices.reset();
  FViews.reset();
  FColumns.reset();
  FTables.reset();
  FSchemata.reset();
}

QList<TDatabaseObjectList*> TDatabaseDescriber::AllLists() const {
  return {FSchemata.get(), FTables.get(), FColumns.get(), FViews.get(), FIndices.get(), FRoutines.get(),
          FCheckConstraints.get(), FForeignKeys.get(), FTablePrivileges.get(), FRoutinePrivileges.get()};
}

void TDatabaseDescriber::Load(ISQL* ASQL, const std::function<void(const QString& AKind, qint64 ARows, bool ADone)>& ARowsRead) {
  const bool CaseSensitive = CaseSensitiveNames(ASQL);
  FSQL = ASQL;
  for (TDatabaseObjectList* List : AllLists()) {
    List->SetCaseSensitiveKeys(CaseSensitive);
    if (ARowsRead)
      LoadFromCatalogue(*List, ASQL, [&](qint64 ARows, bool ADone) { ARowsRead(List->KindName(), ARows, ADone); });
    else
      LoadFromCatalogue(*List, ASQL);
  }
}

void TDatabaseDescriber::LoadFromXml(const QString& AFileName) {
  FSQL = nullptr;
  // One read and parse for all ten lists: a snapshot runs to tens of megabytes.
  ReadSnapshot(AllLists(), LoadXmlDocument(AFileName), AFileName);
}

QString TDatabaseDescriber::SaveToFile(const QString& AServerName, const QString& ADatabaseName, qint32 AVerNo) {
  const QString FileName = SnapshotFileName(AServerName, ADatabaseName, AVerNo);
  // The installed program's snapshot folder may not exist yet; a failure to make it shows as
  // the failure to write the file.
  QDir().mkpath(SnapshotFolder());
  SaveSnapshot(SnapshotLists(), FileName, AServerName, ADatabaseName, AVerNo);
  return FileName;
}

TSnapshotLists TDatabaseDescriber::SnapshotLists() const {
  return {FSchemata.get(),        FTables.get(),          FColumns.get(),         FIndices.get(),
          FCheckConstraints.get(), FForeignKeys.get(),     FTablePrivileges.get(), FRoutinePrivileges.get(),
          FViews.get(),            FRoutines.get()};
}

void TDatabaseDescriber::NarrowTo(const TNameFilter& AFilter) {
  FFilter = AFilter;
  if (AFilter.IsEmpty())
    return;
  for (TDatabaseObjectList* List : QList<TDatabaseObjectList*>{FSchemata.get(), FCheckConstraints.get(), FViews.get(),
                                                               FRoutines.get(), FForeignKeys.get(), FIndices.get()})
    for (const TDatabaseObject* Object : List->Values())
      if (!AFilter.Accepts(FilterName(*Object)))
        List->Remove(Object->Key());
}

void TDatabaseDescriber::CompareToService(const QString& ADbName, qint32 AVerNo) {
  ShowStatus(Format(QStringLiteral("Comparing %s to version %d"), {ADbName, AVerNo}));
  fSourceDbName = ADbName;
  fSourceDbVersion = AVerNo;
  FRunStatus.Start(SelectedKinds());
  for (TDatabaseObjectList* List : AllLists())
    for (const QString& Name : List->DuplicateNames())
      ReportFinding(TFinding{TFindingStatus::DuplicateKey, List->KindName(), Name, nullptr, QString()});
  try {
    RunComparisons(ADbName);
  } catch (const std::exception& E) {
    FRunStatus.Stop(QString::fromUtf8(E.what()));
    throw;
  }
  if (StopRequested())
    FRunStatus.Stop(QStringLiteral("Cancelled"));
}

QList<TCompareRunStatus::TKindCount> TDatabaseDescriber::SelectedKinds() const {
  const QList<std::tuple<bool, TDatabaseObjectList*, bool>> Kinds{
      {CompareSchemata, FSchemata.get(), false},         {CompareTables, FTables.get(), false},
      {CompareCheckConstraints, FCheckConstraints.get(), true}, {CompareViews, FViews.get(), true},
      {CompareRoutines, FRoutines.get(), true},          {CompareForeignKeys, FForeignKeys.get(), false},
      {CompareIndices, FIndices.get(), true}};
  QList<TCompareRunStatus::TKindCount> Result;
  for (const auto& [Selected, List, HeldByGold] : Kinds)
    if (Selected)
      Result.append({List->KindName(), 0, List->Count(), HeldByGold});
  return Result;
}

void TDatabaseDescriber::RunComparisons(const QString& ADbName) {
  const std::unique_ptr<OstrelServiceSoap> Service = GetServiceProxy();
  TRoutinePublisher Publisher(FLog);
  Publisher.SetPublishScope(PublishScope(TServiceConfig::Current().BaseAddress, fSourceServer, ADbName));
  Publisher.SetForcePublish(fForcePublish);
  if (ISQL* SQL = FSQL)
    Publisher.SetLastAlteredSource([SQL](const TDatabaseRoutine& ARoutine) { return LastAltered(SQL, ARoutine); });
  const TGoldRun Run{Service.get(), this, this, fPublish, false, &Publisher};
  const QList<std::pair<bool, TDatabaseObjectList*>> Order{
      {CompareSchemata, FSchemata.get()}, {CompareCheckConstraints, FCheckConstraints.get()},
      {CompareViews, FViews.get()},       {CompareRoutines, FRoutines.get()},
      {CompareForeignKeys, FForeignKeys.get()}, {CompareIndices, FIndices.get()}};
  for (const auto& [Selected, List] : Order)
    if (Selected && !StopRequested())
      CompareWithGold(*List, Run);
}

void TDatabaseDescriber::SaveToDb(ISQL* ASQL, qint32 AVerNo) {
  for (TDatabaseObjectList* List :
       QList<TDatabaseObjectList*>{FRoutines.get(), FCheckConstraints.get(), FForeignKeys.get(), FViews.get()})
    for (TDatabaseObject* Object : List->Values())
      SaveObjectToDb(ASQL, *Object, AVerNo);
}

bool TDatabaseDescriber::IgnoreObject(TDatabaseObject* AObject) { return FIgnoreList->ContainsName(AObject); }

void TDatabaseDescriber::ShowStatus(const QString& AText) {
  if (fProgress)
    fProgress->ShowStatus(AText);
}

void TDatabaseDescriber::ShowProgress(double AFraction) {
  if (fProgress)
    fProgress->ShowProgress(AFraction);
}

void TDatabaseDescriber::ReportAnomaly(const QString& AText, TDatabaseObject* AObject) {
  if (fProgress)
    fProgress->ReportAnomaly(AText, AObject);
}

void TDatabaseDescriber::ReportFinding(const TFinding& AFinding) {
  if (AFinding.Object && IgnoreObject(AFinding.Object))
    return;
  if (AFinding.Status == TFindingStatus::MissingLocally && AFinding.Object && !FFilter.Accepts(FilterName(*AFinding.Object)))
    return;
  TFinding Kept = AFinding;
  // A routine missing locally comes from the routine list and lives only for this call.
  if (Kept.Status == TFindingStatus::MissingLocally)
    Kept.Object = nullptr;
  FRunStatus.AddFinding(Kept);
}

void TDatabaseDescriber::ObjectCompared(const QString& AKind) { FRunStatus.ObjectCompared(AKind); }

}  // namespace quillon
