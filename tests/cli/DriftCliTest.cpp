#include "database/Database.Simple.h"
#include "support/FixedLogin.h"
#include "support/RecordingLog.h"
#include "support/TdsServer.h"
#include "JsonReportSchema.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TTdsServer;

const QString Login = QStringLiteral("drifter");
const QString Password = QStringLiteral("Dr1ft-pw");

struct TRun {
  int ExitCode = -1;
  QByteArray Out;
  QByteArray Err;
};

TRun RunCli(const QStringList& AArguments) {
  QProcess Process;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QUILLON_PASSWORD"), Password);
  Process.setProcessEnvironment(Environment);
  Process.start(QStringLiteral(QUILLON_CLI), AArguments);
  Process.closeWriteChannel();
  EXPECT_TRUE(Process.waitForFinished(120000)) << AArguments.join(u' ').toStdString();
  return TRun{Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1, Process.readAllStandardOutput(),
              Process.readAllStandardError()};
}

// A drift JSON report, checked against its schema.
QJsonObject ValidDriftReport(const QByteArray& AReport) {
  return test::ValidJsonReport(AReport, QUILLON_DRIFT_REPORT_SCHEMA);
}

// Each drift entry of a single target's JSON report as "kind change name field...".
QStringList DriftOf(const QByteArray& AReport) {
  QStringList Lines;
  const QJsonArray Targets = ValidDriftReport(AReport).value(QStringLiteral("targets")).toArray();
  EXPECT_EQ(Targets.size(), 1);
  for (const QJsonValue& Item : Targets.at(0)[QStringLiteral("drift")].toArray()) {
    QString Line = Item[QStringLiteral("kind")].toString() + u' ' + Item[QStringLiteral("change")].toString() + u' ' +
                   Item[QStringLiteral("fullName")].toString();
    for (const QJsonValue& Field : Item[QStringLiteral("fields")].toArray())
      Line += u' ' + Field[QStringLiteral("field")].toString();
    Lines.append(Line);
  }
  return Lines;
}

class DriftCliTest : public ::testing::Test {
protected:
  QStringList Target() const {
    return {QStringLiteral("Server=") + FServer.DataSource(), QStringLiteral("Database=Tellwick"),
            QStringLiteral("User=") + Login};
  }

  void Execute(const QString& ASql) {
    test::TRecordingLog Log;
    test::TFixedLogin Dialog(Login, Password);
    TSimpleDatabase Database(&Log);
    Database.SetLoginDialog(&Dialog);
    Database.SetConnectionString(FServer.ConnectionString(QStringLiteral("Tellwick")));
    Database.Connect();
    Database.ExecuteCommand(ASql);
  }

  TTdsServer FServer{QStringLiteral("compare_catalogue.xml"), {Login + u':' + Password}};
  QTemporaryDir FTemp;
};

TEST_F(DriftCliTest, LiveDatabaseAgainstASnapshotOfItselfThenAfterDdl) {
  const QString Baseline = FTemp.filePath(QStringLiteral("baseline.xml"));
  const TRun Snapshot = RunCli(QStringList{QStringLiteral("snapshot"), QStringLiteral("--output"), Baseline} + Target());
  ASSERT_EQ(Snapshot.ExitCode, 0) << Snapshot.Err.toStdString();

  const QStringList Drift = QStringList{QStringLiteral("drift"), QStringLiteral("--baseline"), Baseline,
                                        QStringLiteral("--format"), QStringLiteral("json")} + Target();
  const TRun Clean = RunCli(Drift);
  EXPECT_EQ(Clean.ExitCode, 0) << Clean.Err.toStdString();
  EXPECT_EQ(DriftOf(Clean.Out), QStringList());

  Execute(QStringLiteral("ALTER VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders"));
  Execute(QStringLiteral("ALTER TABLE [dbo].[OrderLines] DROP CONSTRAINT [CK_Diff]"));
  Execute(QStringLiteral("ALTER TABLE [dbo].[OrderLines] ADD CONSTRAINT [CK_Diff] CHECK ([Price]>(0))"));
  const TRun Drifted = RunCli(Drift);
  EXPECT_EQ(Drifted.ExitCode, 1) << Drifted.Err.toStdString();
  EXPECT_EQ(DriftOf(Drifted.Out), (QStringList{QStringLiteral("check changed [dbo].[CK_Diff] CHECK_CLAUSE"),
                                               QStringLiteral("view changed [dbo].[V_Diff] VIEW_DEFINITION")}));

  // The other formats of the same drift.
  const TRun Text = RunCli(Drift.mid(0, 3) + Target());
  EXPECT_EQ(Text.ExitCode, 1);
  EXPECT_TRUE(Text.Out.contains("CHECK\n  changed  [dbo].[CK_Diff]\n      CHECK_CLAUSE:\n")) << Text.Out.toStdString();
  const TRun JUnit = RunCli(Drift.mid(0, 3) + Target() + QStringList{QStringLiteral("--format=junit")});
  EXPECT_EQ(JUnit.ExitCode, 1);
  EXPECT_TRUE(JUnit.Out.contains("failures=\"2\"")) << JUnit.Out.toStdString();
  EXPECT_TRUE(JUnit.Out.contains("<testcase classname=\"")) << JUnit.Out.toStdString();
  const TRun Html = RunCli(Drift.mid(0, 3) + Target() + QStringList{QStringLiteral("--format=html")});
  EXPECT_EQ(Html.ExitCode, 1);
  EXPECT_TRUE(Html.Out.contains("<h4><span class=\"changed\">changed</span> [dbo].[V_Diff]</h4>")) << Html.Out.toStdString();
  EXPECT_TRUE(Html.Out.contains("<tr class=\"modify\"><td class=\"no\">1</td><td class=\"text\">CREATE VIEW dbo.V_Diff AS "
                                "SELECT Id"))
      << Html.Out.toStdString();
}

TEST_F(DriftCliTest, FleetAndBadInput) {
  const QString Baseline = FTemp.filePath(QStringLiteral("baseline.xml"));
  ASSERT_EQ(RunCli(QStringList{QStringLiteral("snapshot"), QStringLiteral("--output"), Baseline} + Target()).ExitCode, 0);
  const QString Fleet = FTemp.filePath(QStringLiteral("fleet.txt"));
  QFile File(Fleet);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(QStringLiteral("Name=good Server=%1 Database=Tellwick User=%2\nName=broken Server=%1\n")
                 .arg(FServer.DataSource(), Login)
                 .toUtf8());
  File.close();
  const TRun Run = RunCli({QStringLiteral("drift"), QStringLiteral("--baseline"), Baseline, QStringLiteral("--fleet"),
                           Fleet, QStringLiteral("--format"), QStringLiteral("json")});
  EXPECT_EQ(Run.ExitCode, 2) << Run.Err.toStdString();
  const QJsonArray Targets = ValidDriftReport(Run.Out).value(QStringLiteral("targets")).toArray();
  ASSERT_EQ(Targets.size(), 2) << Run.Out.toStdString();
  EXPECT_EQ(Targets[0][QStringLiteral("exitCode")].toInt(), 0);
  EXPECT_EQ(Targets[1][QStringLiteral("exitCode")].toInt(), 2);

  const QString NotASnapshot = FTemp.filePath(QStringLiteral("page.xml"));
  QFile Page(NotASnapshot);
  ASSERT_TRUE(Page.open(QIODevice::WriteOnly));
  Page.write("<html/>");
  Page.close();
  const struct {
    QStringList Arguments;
    const char* Message;
  } Cases[] = {
      {{QStringLiteral("drift"), QStringLiteral("--snapshot"), Baseline}, "drift needs --baseline FILE"},
      {{QStringLiteral("drift"), QStringLiteral("--baseline"), NotASnapshot, QStringLiteral("--snapshot"), Baseline},
       "page.xml is not a snapshot"},
      {{QStringLiteral("drift"), QStringLiteral("--baseline"), Baseline, QStringLiteral("--snapshot"), NotASnapshot},
       "page.xml is not a snapshot"},
      {{QStringLiteral("publish"), QStringLiteral("--include"), QStringLiteral("dbo.*")}, "only with compare, drift and repair"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Message);
    const TRun Bad = RunCli(Case.Arguments);
    EXPECT_EQ(Bad.ExitCode, 2);
    EXPECT_TRUE(Bad.Err.contains(Case.Message)) << Bad.Err.toStdString();
  }

  // A baseline that cannot be read fails the run, and every report says so: none of an earlier
  // run is left behind.
  QStringList Failing{QStringLiteral("drift"),    QStringLiteral("--baseline"), NotASnapshot,
                      QStringLiteral("--snapshot"), Baseline,                     QStringLiteral("--exclude"),
                      QStringLiteral("tmp.*")};
  const struct {
    const char* Format;
    const char* Says;
  } Reports[] = {{"text", "ERROR: page.xml is not a snapshot"},
                 {"json", R"~("status": "error")~"},
                 {"junit", "<error message=\"page.xml is not a snapshot"},
                 {"html", "<p class=\"failed\">page.xml is not a snapshot"}};
  for (const auto& Report : Reports) {
    const QString File = FTemp.filePath(QStringLiteral("failed.") + QLatin1String(Report.Format));
    QFile Stale(File);
    ASSERT_TRUE(Stale.open(QIODevice::WriteOnly));
    Stale.write("stale");
    Stale.close();
    Failing << QStringLiteral("--report") << QLatin1String(Report.Format) + u':' + File;
  }
  const TRun Failed = RunCli(Failing);
  EXPECT_EQ(Failed.ExitCode, 2);
  EXPECT_TRUE(Failed.Err.contains("page.xml is not a snapshot")) << Failed.Err.toStdString();
  for (const auto& Report : Reports) {
    QFile Written(FTemp.filePath(QStringLiteral("failed.") + QLatin1String(Report.Format)));
    ASSERT_TRUE(Written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(Written.readAll().contains(Report.Says)) << Report.Format;
  }
  QFile Json(FTemp.filePath(QStringLiteral("failed.json")));
  ASSERT_TRUE(Json.open(QIODevice::ReadOnly));
  const QJsonObject Target = ValidDriftReport(Json.readAll()).value(QStringLiteral("targets")).toArray().at(0).toObject();
  EXPECT_EQ(Target.value(QStringLiteral("status")).toString(), QStringLiteral("error"));
  EXPECT_TRUE(Target.value(QStringLiteral("version")).isNull());
  const QJsonObject Filters = Target.value(QStringLiteral("filters")).toObject();
  EXPECT_EQ(Filters.value(QStringLiteral("exclude")).toArray(), QJsonArray{QStringLiteral("tmp.*")});
}

}  // namespace
}  // namespace quillon
