// The check session against the TDS test server and the gold-standard test service, as its
// observer hears it: the steps in order, a cancel between two objects, repairs as they happen.
#include "session/Session.Check.h"

#include "compare/Describer.h"
#include "database/Database.Simple.h"
#include "session/Session.Kinds.h"
#include "session/Session.Observer.h"
#include "support/FixedLogin.h"
#include "support/GoldService.h"
#include "support/RecordingLog.h"
#include "support/TdsServer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>

namespace quillon {
namespace {

using test::TGoldService;
using test::TTdsServer;

// Notes what the session says, one line a call, and lets a test act at a given call.
class TRecordingObserver : public ISessionObserver {
public:
  QStringList Lines;
  QList<qint32> Compared;
  QList<TRepairRecord> Repairs;
  std::function<void(qint32 ACompared)> OnProgress;
  std::function<void(const TRepairRecord&)> OnRepair;

  void StatusChanged(const QString& AText) override { Lines.append(QStringLiteral("status: ") + AText); }
  void CatalogueRead(const QString& ADatabaseName, const QString& AKind, qint64, bool ADone) override {
    if (AKind.isEmpty() || ADone)
      Lines.append(QStringLiteral("catalogue: %1 %2").arg(ADatabaseName, AKind).trimmed());
  }
  void ProgressChanged(double, qint32 ACompared, qint32) override {
    Compared.append(ACompared);
    if (OnProgress)
      OnProgress(ACompared);
  }
  void RepairDone(const TRepairRecord& ARecord) override {
    Repairs.append(ARecord);
    if (OnRepair)
      OnRepair(ARecord);
  }
};

class SessionTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Service = std::make_unique<TGoldService>(QStringLiteral("compare_gold.json")); }
  static void TearDownTestSuite() { Service.reset(); }
  void SetUp() override {
    Service->Reset();
    Service->Install();
    Session.Database().SetConnectionString(Tds.ConnectionString(QStringLiteral("Tellwick")));
    Session.Database().SetLoginDialog(&Login);
    Session.Connect();
  }

  TCompareRequest Request(unsigned AKinds = kindAll) const {
    TCompareRequest Result;
    Result.Kinds = AKinds;
    Result.TargetName = QStringLiteral("Tellwick");
    Result.SnapshotPath = Folder.filePath(QStringLiteral("snapshot.xml"));
    return Result;
  }

  static inline std::unique_ptr<TGoldService> Service;
  TTdsServer Tds{QStringLiteral("compare_catalogue.xml"), {QStringLiteral("quillon:pw")}};
  test::TFixedLogin Login{QStringLiteral("quillon"), QStringLiteral("pw")};
  test::TRecordingLog Log;
  TRecordingObserver Observer;
  TCheckSession Session{&Log, &Observer};
  QTemporaryDir Folder;
};

TEST_F(SessionTest, ACompareRunSaysEachStepInOrderAndGivesItsResultAsValues) {
  const TCompareOutcome Outcome = Session.RunCompare(Request());
  ASSERT_EQ(Outcome.Result.Error, QString());
  QStringList Steps;
  for (const QString& Line : Observer.Lines)
    if (!Line.startsWith(QStringLiteral("catalogue: Tellwick ")))
      Steps.append(Line);
  EXPECT_EQ(Steps, (QStringList{"status: Connecting to 127.0.0.1," + QString::number(Tds.Port()) + "/Tellwick...",
                                "catalogue: Tellwick", "status: Comparing Tellwick to version 12",
                                "status: Comparing 4 schemata...", "status: Comparing 4 check constraints...",
                                "status: Comparing 5 views...", "status: Comparing 4 routines...",
                                "status: Comparing 1 referential constraints..."}));
  // Every list read, each said once when done.
  EXPECT_EQ(Observer.Lines.filter(QStringLiteral("catalogue: Tellwick ")).size(), 10);
  EXPECT_TRUE(std::is_sorted(Observer.Compared.begin(), Observer.Compared.end()));
  EXPECT_EQ(Observer.Compared.last(), Outcome.RunStatus.Total());
  QStringList Anomalies;
  for (const TAnomalyRecord& Anomaly : Outcome.Result.Anomalies)
    Anomalies.append(Anomaly.Kind + u' ' + Anomaly.FullName);
  EXPECT_EQ(Anomalies, (QStringList{"check [dbo].[CK_Diff]", "view [dbo].[V_Diff]", "view [sales].[V_Blank]",
                                    "routine [dbo].[P_Diff]", "index [dbo].[OrderLines].[IX_Diff]",
                                    "index [dbo].[Orders].[IX_Unknown]"}));
  ASSERT_EQ(Outcome.AnomalyObjects.size(), Anomalies.size());
  EXPECT_EQ(Outcome.AnomalyObjects[3]->FullName(), QStringLiteral("[dbo].[P_Diff]"));
  EXPECT_EQ(Outcome.Result.SnapshotPath, Folder.filePath(QStringLiteral("snapshot.xml")));
  EXPECT_TRUE(QFile::exists(Outcome.Result.SnapshotPath));
}

// A cancel asked for while an object is compared stops the run before the next one: what was
// found stays, and the run says how far it came.
TEST_F(SessionTest, ACancelStopsTheRunBetweenTwoObjects) {
  Observer.OnProgress = [this](qint32 ACompared) {
    if (ACompared == 5)
      Session.Cancel();
  };
  const TCompareOutcome Outcome = Session.RunCompare(Request());
  EXPECT_TRUE(Outcome.Cancelled);
  EXPECT_EQ(Outcome.RunStatus.Compared(), 5);
  EXPECT_EQ(Outcome.Result.Error, QStringLiteral("Stopped after 5 of 17 objects: Cancelled"));
  EXPECT_TRUE(Outcome.Result.Failed());
  QStringList Anomalies;
  for (const TAnomalyRecord& Anomaly : Outcome.Result.Anomalies)
    Anomalies.append(Anomaly.FullName);
  EXPECT_EQ(Anomalies, QStringList{"[dbo].[CK_Diff]"});
  EXPECT_EQ(Service->Calls(QStringLiteral("GetDbRoutine")).size(), 0);

  // The next run starts afresh.
  Observer.OnProgress = nullptr;
  EXPECT_EQ(Session.RunCompare(Request()).Result.Error, QString());
}

// Each object's repair reaches the observer as the server answers for it; a cancel then sends
// no further batch.
TEST_F(SessionTest, RepairOutcomesArriveAsTheyHappenAndACancelStopsTheNextBatch) {
  const TCompareOutcome Outcome = Session.RunCompare(Request(kindChecks | kindViews | kindRoutines));
  const TRepairScript Script = Session.PlanRepair(Outcome.AnomalyObjects, false);
  Observer.OnRepair = [this](const TRepairRecord& ARecord) {
    if (ARecord.FullName == QLatin1String("[dbo].[V_Diff]"))
      Session.Cancel();
  };
  const QList<TRepairResult> Results = Session.Repair(Script);
  QStringList Heard;
  for (const TRepairRecord& Record : Observer.Repairs)
    Heard.append(QStringLiteral("%1 %2 %3").arg(Record.Kind, Record.FullName, Record.Outcome));
  EXPECT_EQ(Heard, (QStringList{"check [dbo].[CK_Diff] repaired", "view [dbo].[V_Diff] repaired",
                                "view [sales].[V_Blank] cannot be repaired", "routine [dbo].[P_Diff] not attempted"}));
  ASSERT_EQ(Results.size(), 4);
  EXPECT_EQ(Results[3].Outcome, TRepairOutcome::NotAttempted);
  for (const TTdsServer::TStatement& Statement : Tds.Statements())
    EXPECT_FALSE(Statement.Sql.contains(QStringLiteral("ALTER PROCEDURE"))) << Statement.Sql.toStdString();
}

}  // namespace
}  // namespace quillon
