// One check of one database or snapshot: connect, read the catalogue, write the snapshot,
// compare with the gold standard, drift from a baseline, plan and run a repair, publish.
#pragma once

#include "gold/Compare.RunStatus.h"
#include "repair/Repair.Script.h"
#include "drift/Drift.Engine.h"
#include "infra/text/Support.Glob.h"
#include "report/Report.Result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace quillon {

class ILog;
class ISessionObserver;
class TDatabaseDescriber;
class TDatabaseObject;
class TDatabaseObjectIgnoreList;
class TDriftSide;
class TSimpleDatabase;

// What the database says of itself once connected.
struct TDatabaseInfo {
  QString Server;
  QString DatabaseName;
  qint32 Version = 0;
  // The SQL login; empty for integrated security.
  QString Login;
};

// What a compare run is asked to do.
struct TCompareRequest {
  // TKindFlag bits: the kinds compared with the gold standard, and those a baseline compares.
  unsigned Kinds = 0;
  QStringList Includes;
  QStringList Excludes;
  unsigned FailOn = failOnAnomalies;
  // What the reports call the target.
  QString TargetName;
  bool WriteSnapshot = true;
  // Where the snapshot goes; empty for its usual name in the snapshot folder.
  QString SnapshotPath;
  // The snapshot the kinds only a baseline compares are compared with; empty for none.
  QString BaselinePath;
};

// What a compare run says of the kinds only a baseline compares.
struct TBaselineDrift {
  // The drift of those kinds, in the baseline comparison's order.
  QList<TDriftItem> Items;
  // For people: the count and the comparison's notes, why no drift was compared, or that the
  // snapshot was not written over the baseline.
  QStringList Lines;
};

// Everything a compare run found, as values the front ends show and the reports render.
struct TCompareOutcome {
  TTargetResult Result;
  // The findings in the order the run met them and the objects compared per kind.
  TCompareRunStatus RunStatus;
  // The objects of Result.Anomalies, in the same order: the session's own, valid until its
  // next run.
  QList<TDatabaseObject*> AnomalyObjects;
  TBaselineDrift Drift;
  // Whether the run stopped because Cancel asked it to.
  bool Cancelled = false;
};

// Owns the connection, the ignore list and the loaded model of one database, and runs the
// checks on them. A session runs one thing at a time, on any one thread; Cancel may be called
// from any thread while it runs. Steps raise Exception with the step named in front of the
// reason; the composed runs (RunCompare) never raise: their outcome says what failed.
class TCheckSession {
public:
  TCheckSession(ILog* ALog, ISessionObserver* AObserver);
  ~TCheckSession();
  TCheckSession(const TCheckSession&) = delete;
  TCheckSession& operator=(const TCheckSession&) = delete;

  TSimpleDatabase& Database() const { return *FDatabase; }
  // The model the last run loaded: its objects, texts and gold standards.
  TDatabaseDescriber& Model() const { return *FDescriber; }
  const TDatabaseObjectIgnoreList& IgnoreList() const { return *FIgnoreList; }
  // Connected, and the database's information read.
  bool Ready() const;
  const TDatabaseInfo& Info() const { return FInfo; }

  // Connects (a login dialog given to the database answers when a login is needed) and reads
  // the database's version and name.
  const TDatabaseInfo& Connect();
  // Reads the version and name of the database the connection is open to; a front end that
  // connects itself (to ask again for a login the server refused) calls it after connecting.
  const TDatabaseInfo& ReadDatabaseInfo();

  // Reads the whole catalogue; AKinds chooses what a comparison then compares.
  void Load(unsigned AKinds);
  // Reads a snapshot file into the model instead; its Database element says what it is of, and
  // AVersion, when not 0, overrides its version.
  void LoadSnapshot(const QString& AFileName, unsigned AKinds, qint32 AVersion = 0);
  // Writes the model as a snapshot: to AFileName, or under its usual name in the snapshot folder.
  QString WriteSnapshot(const QString& AFileName = QString());
  // Compares the loaded kinds with the gold standard under AFilter; ABase names the target. A
  // comparison that stops part-way still gives what it found, with Error saying where and why.
  TCompareOutcome CompareWithGold(TTargetResult ABase, const TNameFilter& AFilter);
  // The loaded model as one side of a drift comparison; it borrows the model's objects.
  TDriftSide ModelSide() const;

  // The whole compare run: reads a baseline first (before anything is written), loads, writes
  // the snapshot (never over the baseline), compares with the gold standard and, when the run
  // was complete, compares the kinds only a baseline compares. Needs a connected session.
  TCompareOutcome RunCompare(const TCompareRequest& ARequest);

  // The repair of AObjects (anomalies of this session's last run); an indexed view is altered
  // only with AAllowIndexLoss.
  TRepairScript PlanRepair(const QList<TDatabaseObject*>& AObjects, bool AAllowIndexLoss) const;
  // Runs AScript on the database: each object's outcome goes to the observer as soon as it is
  // known; a cancel stops it before the next object, the rest then not attempted.
  QList<TRepairResult> Repair(const TRepairScript& AScript);

  // Sends the loaded routines, views, checks, schemata and referential constraints to the gold
  // standard of the database's version; AForce sends routines unchanged since the last publish.
  void Publish(bool AForce);

  // Asks the run in progress to stop before its next object or request. Any thread.
  void Cancel() { FCancel = true; }

private:
  ILog* FLog;
  ISessionObserver* FObserver;
  std::unique_ptr<TSimpleDatabase> FDatabase;
  std::unique_ptr<TDatabaseObjectIgnoreList> FIgnoreList;
  std::unique_ptr<TDatabaseDescriber> FDescriber;
  TDatabaseInfo FInfo;
  bool FInfoRead = false;
  std::atomic<bool> FCancel = false;
};

// Compares ATarget with ABaseline, saying so to AObserver first.
TDriftResult DriftBetween(const TDriftSide& ABaseline, const TDriftSide& ATarget, const TDriftOptions& AOptions,
                          ISessionObserver* AObserver);

}  // namespace quillon
