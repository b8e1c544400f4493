#include "database/Database.Simple.h"
#include "support/FixedLogin.h"
#include "support/RecordingLog.h"
#include "support/TdsServer.h"
#include "JsonReportSchema.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>

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

void StartCli(QProcess& AProcess, const QStringList& AArguments) {
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QUILLON_PASSWORD"), Password);
  AProcess.setProcessEnvironment(Environment);
  AProcess.start(QStringLiteral(QUILLON_CLI), AArguments);
  AProcess.closeWriteChannel();
}

TRun RunCli(const QStringList& AArguments) {
  QProcess Process;
  StartCli(Process, AArguments);
  EXPECT_TRUE(Process.waitForFinished(120000)) << AArguments.join(u' ').toStdString();
  return TRun{Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1, Process.readAllStandardOutput(),
              Process.readAllStandardError()};
}

// A drift JSON report, checked against its schema.
QJsonObject ValidDriftReport(const QByteArray& AReport) {
  return test::ValidJsonReport(AReport, QUILLON_DRIFT_REPORT_SCHEMA);
}

// Each drift entry of one target of a JSON report as "kind change name field...".
QStringList DriftOf(const QJsonValue& ATarget) {
  QStringList Lines;
  for (const QJsonValue& Item : ATarget[QStringLiteral("drift")].toArray()) {
    QString Line = Item[QStringLiteral("kind")].toString() + u' ' + Item[QStringLiteral("change")].toString() + u' ' +
                   Item[QStringLiteral("fullName")].toString();
    for (const QJsonValue& Field : Item[QStringLiteral("fields")].toArray())
      Line += u' ' + Field[QStringLiteral("field")].toString();
    Lines.append(Line);
  }
  return Lines;
}

// The same for the one target of a single target's report.
QStringList DriftOf(const QByteArray& AReport) {
  const QJsonArray Targets = ValidDriftReport(AReport).value(QStringLiteral("targets")).toArray();
  EXPECT_EQ(Targets.size(), 1);
  return DriftOf(Targets.at(0));
}

QByteArray ReadFile(const QString& AFileName) {
  QFile File(AFileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// How many statements ADatabase received that contain AText.
qsizetype Received(TTdsServer& ADatabase, const QString& AText) {
  const QList<TTdsServer::TStatement> Statements = ADatabase.Statements();
  return std::count_if(Statements.begin(), Statements.end(),
                       [&](const TTdsServer::TStatement& AStatement) { return AStatement.Sql.contains(AText); });
}

// Waits (ten seconds at most) until ADatabase has received ACount statements containing AText.
bool AwaitStatements(TTdsServer& ADatabase, const QString& AText, qsizetype ACount) {
  for (int i = 0; i < 200 && Received(ADatabase, AText) < ACount; ++i)
    usleep(50000);
  return Received(ADatabase, AText) >= ACount;
}

// Each target of a drift JSON report as "name status".
QStringList StatusesOf(const QByteArray& AReport) {
  QStringList Statuses;
  for (const QJsonValue& Target : ValidDriftReport(AReport)[QStringLiteral("targets")].toArray())
    Statuses.append(Target[QStringLiteral("name")].toString() + u' ' + Target[QStringLiteral("status")].toString());
  return Statuses;
}

const QString DatabaseInfo = QStringLiteral("GetDatabaseInfo");

class DriftCliTest : public ::testing::Test {
protected:
  static QStringList TargetOn(const TTdsServer& AServer) {
    return {QStringLiteral("Server=") + AServer.DataSource(), QStringLiteral("Database=Tellwick"),
            QStringLiteral("User=") + Login};
  }
  QStringList Target() const { return TargetOn(FServer); }

  // A baseline snapshot of FServer as it is now.
  QString TakeBaseline() {
    const QString Baseline = FTemp.filePath(QStringLiteral("baseline.xml"));
    const TRun Snapshot = RunCli(QStringList{QStringLiteral("snapshot"), QStringLiteral("--output"), Baseline} + Target());
    EXPECT_EQ(Snapshot.ExitCode, 0) << Snapshot.Err.toStdString();
    return Baseline;
  }

  // A fleet file of one line per "name server" pair (a null server gives a line without a
  // database).
  QString WriteFleet(const QList<std::pair<QString, const TTdsServer*>>& ATargets) const {
    const QString Fleet = FTemp.filePath(QStringLiteral("fleet.txt"));
    QFile File(Fleet);
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    for (const auto& [Name, Server] : ATargets)
      File.write((Server ? QStringLiteral("Name=%1 Server=%2 Database=Tellwick User=%3\n").arg(Name, Server->DataSource(), Login)
                         : QStringLiteral("Name=%1 Server=%2\n").arg(Name, FServer.DataSource()))
                     .toUtf8());
    return Fleet;
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
  const QString Baseline = TakeBaseline();
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
  const QString Baseline = TakeBaseline();
  const TRun Run = RunCli({QStringLiteral("drift"), QStringLiteral("--baseline"), Baseline, QStringLiteral("--fleet"),
                           WriteFleet({{QStringLiteral("good"), &FServer}, {QStringLiteral("broken"), nullptr}}),
                           QStringLiteral("--format"), QStringLiteral("json")});
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

// An interrupted drift writes every report it was asked for, with what finished kept and the
// rest cancelled, so that no earlier run's report survives it; then it ends with 128 + the
// signal.
TEST_F(DriftCliTest, InterruptedDriftWritesCancelledReports) {
  const QString Baseline = TakeBaseline();
  TTdsServer Held{QStringLiteral("compare_catalogue.xml"), {Login + u':' + Password}};
  const QString Reports = FTemp.filePath(QStringLiteral("reports"));
  ASSERT_TRUE(QDir().mkpath(Reports));
  const struct {
    const char* Name;
    QStringList Target;
    int Signal;
    const char* SignalName;
    QStringList Statuses;
  } Cases[] = {
      {"one target", TargetOn(Held), SIGTERM, "SIGTERM", {Held.DataSource() + QStringLiteral("/Tellwick cancelled")}},
      {"a fleet one at a time, the first finished",
       {QStringLiteral("--fleet"),
        WriteFleet({{QStringLiteral("a"), &FServer}, {QStringLiteral("b"), &Held}, {QStringLiteral("c"), &FServer}}),
        QStringLiteral("--jobs=1")},
       SIGINT,
       "SIGINT",
       {QStringLiteral("a ok"), QStringLiteral("b cancelled"), QStringLiteral("c cancelled")}},
  };
  const QStringList Formats{QStringLiteral("html"), QStringLiteral("json"), QStringLiteral("junit"), QStringLiteral("text")};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Held.Clear();
    Held.Forget();
    Held.Hold(DatabaseInfo);
    QStringList Arguments{QStringLiteral("drift"), QStringLiteral("--baseline"), Baseline};
    for (const QString& Format : Formats) {
      QFile Stale(Reports + QStringLiteral("/drift.") + Format);
      ASSERT_TRUE(Stale.open(QIODevice::WriteOnly));
      Stale.write("stale");
      Arguments << QStringLiteral("--report") << Format + u':' + Stale.fileName();
    }
    QProcess Process;
    StartCli(Process, Arguments + Case.Target);
    ASSERT_TRUE(AwaitStatements(Held, DatabaseInfo, 1));
    kill(static_cast<pid_t>(Process.processId()), Case.Signal);
    ASSERT_TRUE(Process.waitForFinished(10000));
    EXPECT_EQ(Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Process.exitCode(), 128 + Case.Signal);
    EXPECT_EQ(Process.readAllStandardError(), "quillon-cli: interrupted\n");
    QStringList Written;
    for (const QString& Format : Formats)
      Written.append(QStringLiteral("drift.") + Format);
    EXPECT_EQ(QDir(Reports).entryList(QDir::Files | QDir::Hidden), Written);
    const QByteArray Json = ReadFile(Reports + QStringLiteral("/drift.json"));
    EXPECT_EQ(StatusesOf(Json), Case.Statuses);
    EXPECT_EQ(ValidDriftReport(Json)[QStringLiteral("exitCode")].toInt(), 128 + Case.Signal);
    const QByteArray Said =
        QByteArray("cancelled: the run was stopped by ") + Case.SignalName + " before this target finished";
    EXPECT_TRUE(ReadFile(Reports + QStringLiteral("/drift.text")).contains("ERROR: " + Said));
    EXPECT_TRUE(ReadFile(Reports + QStringLiteral("/drift.junit")).contains("<error message=\"" + Said));
    EXPECT_TRUE(ReadFile(Reports + QStringLiteral("/drift.html")).contains("CANCELLED"));
  }
  Held.Clear();
}

// A fleet's targets are checked --jobs at a time: the second thread checks two targets while
// the first waits on its server. The results keep the fleet file's order all the same, each
// target with its own drift; a column every target differs in has its table's text made from
// the one baseline the threads share.
TEST_F(DriftCliTest, FleetTargetsAreCheckedSideBySideAndReportedInFileOrder) {
  const QString Baseline = TakeBaseline();
  QFile BaselineFile(Baseline);
  ASSERT_TRUE(BaselineFile.open(QIODevice::ReadWrite));
  QByteArray Snapshot = BaselineFile.readAll();
  ASSERT_TRUE(Snapshot.contains(R"(COLUMN_NAME="Qty" DATA_TYPE="int")"));
  Snapshot.replace(R"(COLUMN_NAME="Qty" DATA_TYPE="int")", R"(COLUMN_NAME="Qty" DATA_TYPE="bigint")");
  BaselineFile.resize(0);
  BaselineFile.write(Snapshot);
  BaselineFile.close();
  Execute(QStringLiteral("ALTER VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders"));
  FServer.Forget();
  TTdsServer Held{QStringLiteral("compare_catalogue.xml"), {Login + u':' + Password}};
  Held.Hold(DatabaseInfo);
  QProcess Process;
  StartCli(Process, {QStringLiteral("drift"), QStringLiteral("--baseline"), Baseline, QStringLiteral("--fleet"),
                     WriteFleet({{QStringLiteral("a"), &Held},
                                 {QStringLiteral("b"), &FServer},
                                 {QStringLiteral("c"), &FServer},
                                 {QStringLiteral("d"), nullptr}}),
                     QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--format"), QStringLiteral("json")});
  EXPECT_TRUE(AwaitStatements(FServer, DatabaseInfo, 2)) << "b and c were not checked while a waited";
  Held.Clear();
  ASSERT_TRUE(Process.waitForFinished(60000));
  const QByteArray Report = Process.readAllStandardOutput();
  EXPECT_EQ(Process.exitCode(), 2) << Process.readAllStandardError().toStdString();
  EXPECT_EQ(StatusesOf(Report), (QStringList{QStringLiteral("a drift"), QStringLiteral("b drift"),
                                             QStringLiteral("c drift"), QStringLiteral("d error")}));
  const QJsonArray Targets = QJsonDocument::fromJson(Report)[QStringLiteral("targets")].toArray();
  const QString Column = QStringLiteral("column changed dbo.OrderLines.Qty DATA_TYPE");
  const QString View = QStringLiteral("view changed [dbo].[V_Diff] VIEW_DEFINITION");
  EXPECT_EQ(DriftOf(Targets[0]), QStringList{Column});
  EXPECT_EQ(DriftOf(Targets[1]), (QStringList{Column, View}));
  EXPECT_EQ(DriftOf(Targets[2]), (QStringList{Column, View}));
  EXPECT_TRUE(Targets[3][QStringLiteral("error")].toString().startsWith(QLatin1String("fleet file line 4: ")))
      << Report.toStdString();
}

}  // namespace
}  // namespace quillon
