// The owner of the ten lists, driving their load, snapshot and comparison with the gold standard as
// a whole.
#pragma once

#include "model/Xml.Snapshot.h"
#include "gold/Compare.RunStatus.h"
#include "gold/Gold.Progress.h"
#include "infra/text/Support.Glob.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace quillon {

class ILog;
class ISQL;
class TDatabaseObject;
class TDatabaseObjectIgnoreList;

// The "schema.name" the --include and --exclude patterns look at: a schema's own name; a
// column, index or constraint goes by its table; any other object by its own name.
QString FilterName(const TDatabaseObject& AObject);

// Owns one list per catalogue kind and drives them as a whole: loads them from one
// connection, writes them as one snapshot, compares the selected kinds with the gold standard
// of one version, and relays every report of a compare run to its owner (the comparison of each
// list reports to the describer, which it is handed).
class TDatabaseDescriber : public IDbProgress, public ISourceDatabaseInfo, public IRunFindings {
public:
  // The ignore list is borrowed; ALog is handed to every list.
  TDatabaseDescriber(TDatabaseObjectIgnoreList* AIgnoreList, ILog* ALog);
  ~TDatabaseDescriber() override;
  TDatabaseDescriber(const TDatabaseDescriber&) = delete;
  TDatabaseDescriber& operator=(const TDatabaseDescriber&) = delete;

  // Loads all ten lists, whatever the Compare flags say; a failing list ends the load and the
  // lists after it keep what they held. A publish run reads the routines' last alterations over
  // ASQL, which must outlive it. On a database whose collation tells names apart by
  // case, names that differ only in case are separate objects. ARowsRead, when given, hears
  // each list's kind and the rows read of it so far, as the list reads them (ADone at its end).
  void Load(ISQL* ASQL, const std::function<void(const QString& AKind, qint64 ARows, bool ADone)>& ARowsRead = {});
  void LoadFromXml(const QString& AFileName);
  // Writes the snapshot "<server>.<database>.<version>.xml" into the snapshot folder (made if
  // missing) and returns its full path.
  QString SaveToFile(const QString& AServerName, const QString& ADatabaseName, qint32 AVerNo);
  // The lists a snapshot holds, for a snapshot written under a name of the caller's choosing.
  TSnapshotLists SnapshotLists() const;
  // Takes out of the compared kinds every object AFilter does not accept, so that a compare run
  // never asks the service about it, and keeps such routines of the gold standard out of those
  // reported missing. Called after the snapshot is written: a snapshot records the whole
  // database. An index, check or referential constraint goes by its table, a schema by its name.
  void NarrowTo(const TNameFilter& AFilter);
  // Compares the selected kinds with the gold standard of AVerNo over one service client, in
  // the order schemata, check constraints, views, routines, referential constraints, indices.
  // A failure ends the run at once and reaches the caller; what was reported stays reported,
  // and RunStatus says where and why the run stopped.
  void CompareToService(const QString& ADbName, qint32 AVerNo);
  // What the last compare run compared and found besides anomalies (the ignore list applied).
  const TCompareRunStatus& RunStatus() const { return FRunStatus; }
  TCompareRunStatus& RunStatus() { return FRunStatus; }
  // Writes routines, check constraints, referential constraints and views into a store
  // database.
  void SaveToDb(ISQL* ASQL, qint32 AVerNo);
  bool IgnoreObject(TDatabaseObject* AObject);

  void ShowStatus(const QString& AText) override;
  void ShowProgress(double AFraction) override;
  void ReportAnomaly(const QString& AText, TDatabaseObject* AObject) override;
  void ReportFinding(const TFinding& AFinding) override;
  void ObjectCompared(const QString& AKind) override;
  bool StopRequested() const override { return FStop != nullptr && *FStop; }
  // The flag that stops a compare run before its next object; RunStatus then says
  // "Cancelled". Borrowed; nullptr for a run nobody stops.
  void SetStopRequest(const std::atomic<bool>* AStop) { FStop = AStop; }

  QString DbName() override { return fSourceDbName; }
  qint32 DbVer() override { return fSourceDbVersion; }

  TDatabaseSchemaList* Schemata() const { return FSchemata.get(); }
  TDatabaseTableList* Tables() const { return FTables.get(); }
  TDatabaseColumnList* Columns() const { return FColumns.get(); }
  TDatabaseIndexList* Indices() const { return FIndices.get(); }
  TDatabaseViewList* Views() const { return FViews.get(); }
  TDatabaseRoutineList* Routines() const { return FRoutines.get(); }
  TCheckConstraintList* CheckConstraints() const { return FCheckConstraints.get(); }
  TForeignKeyList* ForeignKeys() const { return FForeignKeys.get(); }
  TTablePrivilegeList* TablePrivileges() const { return FTablePrivileges.get(); }
  TRoutinePrivilegeList* RoutinePrivileges() const { return FRoutinePrivileges.get(); }
  IDbProgress* Progress() const { return fProgress; }
  void SetProgress(IDbProgress* Value) { fProgress = Value; }
  bool Publish() const { return fPublish; }
  void SetPublish(bool Value) { fPublish = Value; }
  // The server the lists were loaded from: a publish run remembers what it sent per service,
  // server and database.
  void SetSourceServer(const QString& Value) { fSourceServer = Value; }
  // A forced publish run sends every readable routine, whatever earlier runs sent.
  void SetForcePublish(bool Value) { fForcePublish = Value; }

  // What the next compare run takes part in; tables have no comparison.
  bool CompareSchemata = true;
  bool CompareTables = false;
  bool CompareViews = true;
  bool CompareIndices = true;
  bool CompareRoutines = true;
  bool CompareCheckConstraints = true;
  bool CompareForeignKeys = true;

private:
  // The ten lists in the order they are created and loaded.
  QList<TDatabaseObjectList*> AllLists() const;
  // The kinds the next compare run takes part in, each with its number of objects.
  QList<TCompareRunStatus::TKindCount> SelectedKinds() const;
  void RunComparisons(const QString& ADbName);

  ILog* FLog;
  TDatabaseObjectIgnoreList* FIgnoreList;
  // The connection of the last catalogue load; nullptr before one, or after a snapshot was read.
  ISQL* FSQL = nullptr;
  std::unique_ptr<TDatabaseSchemaList> FSchemata;
  std::unique_ptr<TDatabaseTableList> FTables;
  std::unique_ptr<TDatabaseIndexList> FIndices;
  std::unique_ptr<TDatabaseViewList> FViews;
  std::unique_ptr<TDatabaseRoutineList> FRoutines;
  std::unique_ptr<TCheckConstraintList> FCheckConstraints;
  std::unique_ptr<TForeignKeyList> FForeignKeys;
  std::unique_ptr<TDatabaseColumnList> FColumns;
  std::unique_ptr<TTablePrivilegeList> FTablePrivileges;
  std::unique_ptr<TRoutinePrivilegeList> FRoutinePrivileges;
  bool fPublish = false;
  bool fForcePublish = false;
  QString fSourceServer;
  QString fSourceDbName;
  qint32 fSourceDbVersion = 0;
  IDbProgress* fProgress = nullptr;
  TCompareRunStatus FRunStatus;
  TNameFilter FFilter;
  const std::atomic<bool>* FStop = nullptr;
};

}  // namespace quillon
