// How a quillon-cli run ends when something goes wrong: failed logins and bad input, interrupted
// and failed runs with their reports, unusual report destinations, and a password kept secret.
#include "CliRun.h"
#include "JsonReportSchema.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

namespace quillon::cli_test {
namespace {

using test::ValidJsonReport;

TEST_F(CliTest, LoginAndConnectionFailuresGiveOneClearLine) {
  struct TCase {
    const char* Name;
    QStringList Arguments;
    QString Password;
    QString Expected;
  };
  const QList<TCase> Cases{
      {"wrong password", Compare(), QStringLiteral("not-it"), QStringLiteral("Login failed for user 'checker'")},
      {"no password", Compare(), QString(), QStringLiteral("no password for login \"checker\"")},
      {"unreachable", QStringList{QStringLiteral("compare")} + Target(QStringLiteral("127.0.0.1,%1").arg(ClosedPort())),
       Password, QStringLiteral("cannot connect to 127.0.0.1,")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TCliRun Run = RunCli(Case.Arguments, Case.Password);
    EXPECT_EQ(Run.ExitCode, 2);
    ASSERT_EQ(Run.ErrLines().size(), 1) << Run.Err.toStdString();
    EXPECT_TRUE(Run.ErrLines().first().startsWith(QLatin1String("quillon-cli: ")));
    EXPECT_TRUE(Run.ErrLines().first().contains(Case.Expected)) << Run.Err.toStdString();
    // The report on standard output says the check failed, and why.
    EXPECT_TRUE(Run.Out.startsWith("ERROR: ") && Run.Out.contains(Case.Expected.toUtf8())) << Run.Out.toStdString();
  }
}

TEST_F(CliTest, BadInputGivesOneLineAndExitCodeTwo) {
  const QString NotASnapshot =
      WriteFile(Temp, QStringLiteral("other.xml"), "<?xml version=\"1.0\"?><Settings Server=\"x\"/>");
  const QString Unversioned = WriteFile(Temp, QStringLiteral("unversioned.xml"),
                                        "<?xml version=\"1.0\"?><Database Server=\"x\" DatabaseName=\"Tellwick\"/>");
  const QString Snapshot = QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml");
  const auto SnapshotCompare = [&](const QStringList& AOptions) {
    return QStringList{QStringLiteral("compare"), QStringLiteral("--snapshot"), Snapshot, ServiceSetting()} + AOptions;
  };
  const QString Unwritable = Temp.filePath(QStringLiteral("missing/report.json"));
  struct TCase {
    QStringList Arguments;
    QString Expected;
  };
  const QList<TCase> Cases{
      {{QStringLiteral("compare"), QStringLiteral("--frobnicate")}, QStringLiteral("unknown option \"--frobnicate\"")},
      {Compare({QStringLiteral("--kinds"), QStringLiteral("views,tables")}), QStringLiteral("unknown kind \"tables\"")},
      {Compare({QStringLiteral("--format"), QStringLiteral("pdf")}), QStringLiteral("unknown report format \"pdf\"")},
      {{QStringLiteral("compare"), QStringLiteral("Databse=x")}, QStringLiteral("unknown setting \"Databse\"")},
      {{QStringLiteral("compare"), QStringLiteral("--snapshot"), NotASnapshot},
       NotASnapshot + QStringLiteral(" is not a snapshot")},
      {{QStringLiteral("compare"), QStringLiteral("--snapshot"), Unversioned, ServiceSetting()},
       QStringLiteral("carries no schema version (Version attribute \"\"): give --gold-version N")},
      // "--version $V" with $V empty, or with a version meant for the gold standard.
      {SnapshotCompare({QStringLiteral("--version")}), QStringLiteral("--version takes no value and no other argument")},
      {SnapshotCompare({QStringLiteral("--version"), QStringLiteral("12")}), QStringLiteral("--version takes no value")},
      {{QStringLiteral("--version"), QStringLiteral("compare")}, QStringLiteral("--version takes no value")},
      {SnapshotCompare({QStringLiteral("--gold-version"), QStringLiteral("0")}),
       QStringLiteral("--gold-version needs a whole number of at least 1, not \"0\"")},
      {SnapshotCompare({QStringLiteral("--gold-version=-3")}), QStringLiteral("not \"-3\"")},
      {SnapshotCompare({QStringLiteral("--gold-version"), QStringLiteral("v7")}), QStringLiteral("not \"v7\"")},
      {Compare({QStringLiteral("--gold-version"), QStringLiteral("12")}), QStringLiteral("--gold-version works only with --snapshot")},
      {SnapshotCompare({QStringLiteral("--fail-on"), QString()}), QStringLiteral("--fail-on names no kind of result")},
      {SnapshotCompare({QStringLiteral("--fail-on"), QStringLiteral("anomalies,drift")}),
       QStringLiteral("unknown result kind for --fail-on \"drift\" (known: anomalies, unknown, missing, unreadable)")},
      {QStringList{QStringLiteral("publish")} + Target() + QStringList{QStringLiteral("--fail-on"), QStringLiteral("missing")},
       QStringLiteral("--fail-on works only with compare")},
      {{QStringLiteral("compare"), QStringLiteral("--fleet"), Temp.filePath(QStringLiteral("none.txt"))},
       QStringLiteral("cannot read the fleet file")},
      {Compare({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--report"), Unwritable}),
       QStringLiteral("cannot write the report ") + Unwritable + QStringLiteral(": the folder ")},
      {Compare({QStringLiteral("--report"), QStringLiteral("junit:r.xml"), QStringLiteral("--report"), QStringLiteral("html:") + Unwritable}),
       QStringLiteral("cannot write the report ") + Unwritable},
      {Compare({QStringLiteral("--report"), QStringLiteral("json:") + Temp.path()}), QStringLiteral("it is a folder")},
      {Compare({QStringLiteral("--report"), QStringLiteral(":x")}), QStringLiteral("--report :x names no format")},
      {QStringList{QStringLiteral("repair")} + Target() + QStringList{QStringLiteral("--script"), Unwritable},
       QStringLiteral("cannot write the script ") + Unwritable + QStringLiteral(": the folder ")},
      {QStringList{QStringLiteral("repair")} + Target(), QStringLiteral("repair needs --script FILE")},
      // Standard input is not a terminal here: nobody could be asked.
      {QStringList{QStringLiteral("repair")} + Target() + QStringList{QStringLiteral("--apply")},
       QStringLiteral("give --yes when standard input is not a terminal")},
      {QStringList{QStringLiteral("repair")} + Target() + QStringList{QStringLiteral("--script"), QStringLiteral("-"), QStringLiteral("--yes")},
       QStringLiteral("--yes works only with repair --apply")},
      {Compare({QStringLiteral("--snapshot-dir"), QFileInfo(Unwritable).absolutePath()}),
       QStringLiteral("cannot write snapshots to --snapshot-dir: the folder ")},
      {Compare({QStringLiteral("--report"), QStringLiteral("xml:r.xml")}), QStringLiteral("unknown report format \"xml\"")},
      {Compare({QStringLiteral("--include"), QStringLiteral("*")}), QStringLiteral("--include \"*\" matches every object")},
      {Compare({QStringLiteral("--exclude"), QString()}), QStringLiteral("--exclude needs a pattern")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Arguments.join(u' ').toStdString());
    const qsizetype CallsBefore = Service->Calls().size();
    const TCliRun Run = RunCli(Case.Arguments);
    EXPECT_EQ(Run.ExitCode, 2);
    ASSERT_EQ(Run.ErrLines().size(), 1) << Run.Err.toStdString();
    EXPECT_TRUE(Run.ErrLines().first().contains(Case.Expected)) << Run.Err.toStdString();
    EXPECT_EQ(Service->Calls().size(), CallsBefore) << "bad input writes nothing to the service";
  }
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(Unwritable).absolutePath()));
}

// An interrupted run still writes every report it was asked for, with the target cancelled, so
// that no earlier run's report survives it; then it ends with 128 + the signal.
TEST_F(CliTest, InterruptedRunWritesCancelledReports) {
  const QString Html = Temp.filePath(QStringLiteral("report.html"));
  const QString Junit = Temp.filePath(QStringLiteral("report.xml"));
  const QString Json = Temp.filePath(QStringLiteral("report.json"));
  for (const auto& [Signal, ExitCode, Name] : {std::tuple{SIGINT, 130, "SIGINT"}, std::tuple{SIGTERM, 143, "SIGTERM"}}) {
    SCOPED_TRACE(Signal);
    Service->Reset();
    Service->Fail(QStringLiteral("GetDbRoutine"), QStringLiteral("slow"), 0, 5);
    // Yesterday's green report must not pass for this run's.
    WriteFile(Temp, QStringLiteral("report.xml"), "<testsuites/>");
    QProcess Process;
    StartCli(Process, Compare({QStringLiteral("--report"), QStringLiteral("html:") + Html,
                                                        QStringLiteral("--report"), QStringLiteral("junit:") + Junit,
                                                        QStringLiteral("--report"), QStringLiteral("json:") + Json}));
    ASSERT_TRUE(Process.waitForStarted());
    // Wait until the run is inside the slow service call.
    for (int i = 0; i < 100 && Service->Calls(QStringLiteral("GetDbRoutine")).isEmpty(); ++i)
      usleep(50000);
    kill(static_cast<pid_t>(Process.processId()), Signal);
    ASSERT_TRUE(Process.waitForFinished(10000));
    EXPECT_EQ(Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Process.exitCode(), ExitCode);
    EXPECT_EQ(Process.readAllStandardError(), "quillon-cli: interrupted\n");
    EXPECT_EQ(QDir(Temp.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("report.html"), QStringLiteral("report.json"), QStringLiteral("report.xml")}));
    const QJsonObject Report = ValidJsonReport(ReadFile(Json));
    EXPECT_EQ(Report[QStringLiteral("exitCode")].toInt(), ExitCode);
    const QJsonObject Target = Report[QStringLiteral("targets")][0].toObject();
    EXPECT_EQ(Target[QStringLiteral("status")].toString(), QStringLiteral("cancelled"));
    EXPECT_TRUE(Target[QStringLiteral("error")].toString().contains(QLatin1String(Name))) << ReadFile(Json).toStdString();
    EXPECT_TRUE(ReadFile(Junit).contains("<error message=\"cancelled: the run was stopped by")) << ReadFile(Junit).toStdString();
    EXPECT_TRUE(ReadFile(Html).contains("CANCELLED")) << ReadFile(Html).toStdString();
  }
}

// An interrupted repair sends no further batch, lets the one with the server finish, and reports
// each object as the server answered for it: the rest not attempted.
TEST_F(CliTest, InterruptedRepairReportsEveryOutcomeItHad) {
  TTdsServer Held(Catalogue, QStringList{Login + u':' + Password});
  Held.Hold(QStringLiteral("ALTER VIEW"));
  const QString Json = Temp.filePath(QStringLiteral("repair.json"));
  QProcess Process;
  StartCli(Process, QStringList{QStringLiteral("repair")} + Target(Held.DataSource()) +
                        QStringList{QStringLiteral("--apply"), QStringLiteral("--yes"), QStringLiteral("--no-snapshot"),
                                    QStringLiteral("--report"), QStringLiteral("json:") + Json});
  ASSERT_TRUE(Process.waitForStarted());
  const auto Sent = [&Held](const QString& AText) {
    const QList<TTdsServer::TStatement> Statements = Held.Statements();
    return std::any_of(Statements.begin(), Statements.end(),
                       [&](const TTdsServer::TStatement& AStatement) { return AStatement.Sql.contains(AText); });
  };
  const auto ViewAltered = [&Sent] { return Sent(QStringLiteral("ALTER VIEW")); };
  for (int i = 0; i < 200 && !ViewAltered(); ++i)
    usleep(50000);
  ASSERT_TRUE(ViewAltered());
  kill(static_cast<pid_t>(Process.processId()), SIGINT);
  // The batch with the server goes on once the server is free again.
  usleep(200000);
  Held.Clear();
  ASSERT_TRUE(Process.waitForFinished(20000));
  EXPECT_EQ(Process.exitCode(), 130);
  const QJsonObject Report = ValidJsonReport(ReadFile(Json));
  const QJsonObject Target = Report[QStringLiteral("targets")][0].toObject();
  EXPECT_EQ(Target[QStringLiteral("status")].toString(), QStringLiteral("cancelled"));
  QStringList Outcomes;
  for (const QJsonValue& Repair : Target[QStringLiteral("repairs")].toArray())
    Outcomes.append(Repair[QStringLiteral("fullName")].toString() + u' ' + Repair[QStringLiteral("outcome")].toString());
  EXPECT_EQ(Outcomes, (QStringList{"[dbo].[CK_Diff] repaired", "[dbo].[V_Diff] repaired",
                                   "[sales].[V_Blank] cannot be repaired", "[dbo].[P_Diff] not attempted",
                                   "[dbo].[OrderLines].[IX_Diff] cannot be repaired",
                                   "[dbo].[Orders].[IX_Unknown] cannot be repaired"}))
      << ReadFile(Json).toStdString();
  EXPECT_FALSE(Sent(QStringLiteral("ALTER PROCEDURE")));
}

// An interrupted fleet keeps the result of each target that finished, reports the rest as
// cancelled and leaves no member running.
TEST_F(CliTest, InterruptedFleetKeepsWhatFinishedCancelsTheRestAndLeavesNoMember) {
  const QString Json = Temp.filePath(QStringLiteral("fleet.json"));
  const auto Lines = [](const QString& ANames) {
    QString Text;
    for (const QChar Name : ANames)
      Text += QStringLiteral("Name=") + Name + QStringLiteral(" Server=%1 Database=Tellwick User=%2\n");
    return Text;
  };
  struct TCase {
    const char* Name;
    QString Lines;
    QStringList Options;
    // The routine lookups answered at once; every later one hangs.
    qint32 AnsweredLookups;
    qsizetype Running;
    QStringList Statuses;
  };
  const QList<TCase> Cases{
      {"one at a time, the first finished", Lines(QStringLiteral("abc")), {QStringLiteral("--jobs=1")}, 4, 1,
       {QStringLiteral("a anomalies"), QStringLiteral("b cancelled"), QStringLiteral("c cancelled")}},
      {"both running", Lines(QStringLiteral("ab")), {}, 0, 2, {QStringLiteral("a cancelled"), QStringLiteral("b cancelled")}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Service->Reset();
    Service->Fail(QStringLiteral("GetDbRoutine"), QStringLiteral("slow"), Case.AnsweredLookups, 5);
    QProcess Process;
    StartCli(Process, QStringList{QStringLiteral("compare"), QStringLiteral("--fleet"), TwoTargetFleet(Case.Lines),
                                  ServiceSetting(), QStringLiteral("--report"), QStringLiteral("json:") + Json} +
                          Case.Options);
    ASSERT_TRUE(Process.waitForStarted());
    for (int i = 0; i < 200 && Service->Calls(QStringLiteral("GetDbRoutine")).size() < Case.AnsweredLookups + Case.Running; ++i)
      usleep(50000);
    const QList<pid_t> Members = ChildrenOf(Process.processId());
    ASSERT_EQ(Members.size(), Case.Running);
    kill(static_cast<pid_t>(Process.processId()), SIGINT);
    ASSERT_TRUE(Process.waitForFinished(10000));
    EXPECT_EQ(Process.exitCode(), 130);
    EXPECT_TRUE(Process.readAllStandardError().endsWith("quillon-cli: interrupted\n"));
    const QJsonObject Report = ValidJsonReport(ReadFile(Json));
    QStringList Statuses;
    for (const QJsonValue& Target : Report[QStringLiteral("targets")].toArray())
      Statuses.append(Target[QStringLiteral("name")].toString() + u' ' + Target[QStringLiteral("status")].toString());
    EXPECT_EQ(Statuses, Case.Statuses);
    EXPECT_EQ(Report[QStringLiteral("exitCode")].toInt(), 130);
    for (const pid_t Member : Members)
      EXPECT_NE(kill(Member, 0), 0) << "member " << Member << " still runs";
  }
}

// Where a report goes follows the path: a FIFO's reader and standard output get it in place,
// a symlink keeps pointing at the report it names.
TEST_F(CliTest, ReportsGoToFifosSymlinksAndStandardOutputInOneRun) {
  const QString Fifo = Temp.filePath(QStringLiteral("junit.fifo"));
  ASSERT_EQ(mkfifo(QFile::encodeName(Fifo).constData(), 0600), 0);
  const QString Real = WriteFile(Temp, QStringLiteral("real.html"), "old");
  const QString Link = Temp.filePath(QStringLiteral("link.html"));
  ASSERT_TRUE(QFile::link(Real, Link));
  QByteArray FromFifo;
  std::thread Reader([&] {
    QFile File(Fifo);
    if (File.open(QIODevice::ReadOnly))
      FromFifo = File.readAll();
  });
  const auto RecordedAnomalies = [&] {
    QStringList Recorded;
    for (const TGoldService::TCall& Call : Service->Calls(QStringLiteral("SaveDbAnomaly")))
      Recorded.append(Call.Params.value(QStringLiteral("ObjectKey")).toString());
    return Recorded;
  };
  ASSERT_EQ(RunCli(Compare()).ExitCode, 1);
  const QStringList OneReport = RecordedAnomalies();
  Service->Reset();
  const TCliRun Run = RunCli(Compare({QStringLiteral("--report"), QStringLiteral("junit:") + Fifo,
                                      QStringLiteral("--report"), QStringLiteral("html:") + Link,
                                      QStringLiteral("--report"), QStringLiteral("json:-")}));
  Reader.join();
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  EXPECT_EQ(AnomaliesOf(SingleTarget(Run.Out)), ExpectedAnomalies);
  QDomDocument Xml;
  EXPECT_TRUE(Xml.setContent(FromFifo)) << FromFifo.toStdString();
  EXPECT_TRUE(QFileInfo(Fifo).isFile() == false && QFileInfo(Fifo).exists()) << "the FIFO stays a FIFO";
  EXPECT_EQ(QFileInfo(Link).symLinkTarget(), Real);
  EXPECT_TRUE(ReadFile(Real).startsWith("<!DOCTYPE html>")) << ReadFile(Real).left(200).toStdString();
  // Three reports, one run: the service recorded what a run with one report records.
  EXPECT_EQ(RecordedAnomalies(), OneReport);
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("-")));
}

// A check that fails writes every report it was asked for, saying so; none of the previous
// run's reports survives.
TEST_F(CliTest, FailedRunWritesFailedReports) {
  const QStringList Formats{QStringLiteral("json"), QStringLiteral("junit"), QStringLiteral("html"), QStringLiteral("text")};
  QStringList Options;
  for (const QString& Format : Formats) {
    WriteFile(Temp, QStringLiteral("r.") + Format, "stale green report");
    Options << QStringLiteral("--report") << Format + u':' + Temp.filePath(QStringLiteral("r.") + Format);
  }
  const TCliRun Run =
      RunCli(QStringList{QStringLiteral("compare")} + Target(QStringLiteral("127.0.0.1,%1").arg(ClosedPort())) + Options);
  EXPECT_EQ(Run.ExitCode, 2);
  ASSERT_EQ(Run.ErrLines().size(), 1) << Run.Err.toStdString();
  EXPECT_TRUE(Run.ErrLines().first().startsWith(QStringLiteral("quillon-cli: cannot connect to 127.0.0.1,")));
  const QJsonObject Json = ValidJsonReport(ReadFile(Temp.filePath(QStringLiteral("r.json"))));
  EXPECT_EQ(Json[QStringLiteral("exitCode")].toInt(), 2);
  const QJsonObject Target = Json[QStringLiteral("targets")].toArray().at(0).toObject();
  EXPECT_EQ(Target[QStringLiteral("status")].toString(), QStringLiteral("error"));
  EXPECT_TRUE(Target[QStringLiteral("version")].isNull());
  EXPECT_TRUE(Target[QStringLiteral("error")].toString().startsWith(QStringLiteral("cannot connect to")));
  EXPECT_TRUE(ReadFile(Temp.filePath(QStringLiteral("r.junit"))).contains("<error message=\"cannot connect to"));
  EXPECT_TRUE(ReadFile(Temp.filePath(QStringLiteral("r.html"))).contains("<p class=\"failed\">cannot connect to"));
  EXPECT_TRUE(ReadFile(Temp.filePath(QStringLiteral("r.text"))).startsWith("ERROR: cannot connect to"));
}

TEST_F(CliTest, AWriteErrorOnStandardOutputIsAnError) {
  QProcess Process;
  Process.setStandardOutputFile(QStringLiteral("/dev/full"));
  Process.start(QStringLiteral(QUILLON_CLI),
                {QStringLiteral("compare"), QStringLiteral("--snapshot"),
                 QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml"), ServiceSetting()});
  ASSERT_TRUE(Process.waitForFinished(60000));
  EXPECT_EQ(Process.exitCode(), 2);
  EXPECT_EQ(Process.readAllStandardError(), "quillon-cli: cannot write to standard output: No space left on device\n");

  // A closed standard output is no place for the report either.
  QProcess Closed;
  Closed.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --version >&-"),
                                          QStringLiteral(QUILLON_CLI)});
  ASSERT_TRUE(Closed.waitForFinished(60000));
  EXPECT_EQ(Closed.exitCode(), 2);
  EXPECT_EQ(Closed.readAllStandardError(), "quillon-cli: cannot write to standard output: Bad file descriptor\n");
}

TEST_F(CliTest, PasswordAppearsNowhere) {
  // The log file is written only when the LOGS folder beside the program exists.
  const QString Logs = QFileInfo(QStringLiteral(QUILLON_CLI)).absolutePath() + QStringLiteral("/LOGS");
  const bool Created = !QDir(Logs).exists() && QDir().mkpath(Logs);
  QByteArray Everything;
  for (const char* Format : {"text", "json", "junit", "html"}) {
    const QString Report = Temp.filePath(QStringLiteral("report.") + QLatin1String(Format));
    const TCliRun Run = RunCli(Compare({QStringLiteral("--format"), QLatin1String(Format), QStringLiteral("--report"), Report}));
    EXPECT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
    Everything += Run.Out + Run.Err + ReadFile(Report);
    Everything += ReadFile(QDir(Logs).filePath(QDir(Logs).entryList(QDir::Files).value(0)));
  }
  const TCliRun Refused = RunCli(Compare(), Password + QStringLiteral("x"));
  Everything += Refused.Out + Refused.Err;
  const QStringList LogFiles = QDir(Logs).entryList(QDir::Files);
  ASSERT_FALSE(LogFiles.isEmpty()) << "no log file was written";
  Everything += ReadFile(QDir(Logs).filePath(LogFiles.first()));
  if (Created)
    QDir(Logs).removeRecursively();
  EXPECT_TRUE(Everything.contains("Login failed")) << "the outputs were read";
  EXPECT_FALSE(Everything.contains(Password.toUtf8()));
}

}  // namespace
}  // namespace quillon::cli_test
