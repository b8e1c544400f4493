#include "support/GoldService.h"
#include "support/QtPrinters.h"
#include "support/TdsServer.h"
#include "JsonReportSchema.h"

#include <QDateTime>
#include <QDir>
#include <QSysInfo>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include <sys/stat.h>

namespace quillon {
namespace {

using test::TGoldService;
using test::ValidJsonReport;
using test::TTdsServer;

const QString Login = QStringLiteral("checker");
const QString Password = QStringLiteral("Zq9-s3cret-pw");
const QString Catalogue = QStringLiteral("compare_catalogue.xml");

// What compare_catalogue.xml differs in from compare_gold.json once the ignore list has taken
// out the database's own helper routines.
const QSet<QString> ExpectedAnomalies{
    QStringLiteral("check [dbo].[CK_Diff]"),   QStringLiteral("view [dbo].[V_Diff]"),
    QStringLiteral("view [sales].[V_Blank]"),  QStringLiteral("routine [dbo].[P_Diff]"),
    QStringLiteral("index [dbo].[OrderLines].[IX_Diff]"), QStringLiteral("index [dbo].[Orders].[IX_Unknown]")};

struct TCliRun {
  int ExitCode = -1;
  QByteArray Out;
  QByteArray Err;

  QStringList ErrLines() const { return QString::fromUtf8(Err).split(u'\n', Qt::SkipEmptyParts); }
};

TCliRun RunCli(const QStringList& AArguments, const QString& APassword = Password) {
  QProcess Process;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.remove(QStringLiteral("QUILLON_PASSWORD"));
  if (!APassword.isNull())
    Environment.insert(QStringLiteral("QUILLON_PASSWORD"), APassword);
  Process.setProcessEnvironment(Environment);
  Process.start(QStringLiteral(QUILLON_CLI), AArguments);
  Process.closeWriteChannel();
  EXPECT_TRUE(Process.waitForFinished(120000)) << AArguments.join(u' ').toStdString();
  return TCliRun{Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1,
                 Process.readAllStandardOutput(), Process.readAllStandardError()};
}

QByteArray ReadFile(const QString& AFileName) {
  QFile File(AFileName);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

QString WriteFile(const QTemporaryDir& ADir, const QString& AName, const QByteArray& AData) {
  const QString FileName = ADir.filePath(AName);
  QFile File(FileName);
  EXPECT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(AData);
  return FileName;
}

// A loopback port nobody listens on.
quint16 ClosedPort() {
  const int Socket = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
  socklen_t Length = sizeof Address;
  getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length);
  close(Socket);
  return ntohs(Address.sin_port);
}

// The one target of a single check's JSON report.
QJsonObject SingleTarget(const QByteArray& AReport) {
  const QJsonArray Targets = ValidJsonReport(AReport)[QStringLiteral("targets")].toArray();
  EXPECT_EQ(Targets.size(), 1) << AReport.toStdString();
  return Targets.at(0).toObject();
}

QSet<QString> AnomaliesOf(const QJsonObject& AReport) {
  QSet<QString> Names;
  for (const QJsonValue& Anomaly : AReport.value(QStringLiteral("anomalies")).toArray())
    Names.insert(Anomaly[QStringLiteral("kind")].toString() + u' ' + Anomaly[QStringLiteral("fullName")].toString());
  return Names;
}

class CliTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Database = std::make_unique<TTdsServer>(Catalogue, QStringList{Login + u':' + Password});
    Service = std::make_unique<TGoldService>(QStringLiteral("compare_gold.json"));
  }
  static void TearDownTestSuite() {
    Database.reset();
    Service.reset();
  }
  void SetUp() override { Service->Reset(); }

  static QString ServiceSetting() { return QStringLiteral("Service=") + Service->BaseAddress(); }
  static QStringList Target(const QString& ADataSource = Database->DataSource()) {
    return {QStringLiteral("Server=") + ADataSource, QStringLiteral("Database=Tellwick"), QStringLiteral("User=") + Login,
            ServiceSetting()};
  }
  static QStringList Compare(const QStringList& AOptions = {}) {
    return QStringList{QStringLiteral("compare")} + Target() + AOptions;
  }

  // A fleet file whose lines name the test database as %1 and the login as %2.
  QString TwoTargetFleet(const QString& ALines) const {
    return WriteFile(Temp, QStringLiteral("fleet.txt"), ALines.arg(Database->DataSource(), Login).toUtf8());
  }

  static inline std::unique_ptr<TTdsServer> Database;
  static inline std::unique_ptr<TGoldService> Service;
  QTemporaryDir Temp;
};

TEST_F(CliTest, ExitCodeSaysWhetherAnythingDiffers) {
  struct TCase {
    const char* Name;
    QStringList Arguments;
    int ExitCode;
  };
  const QList<TCase> Cases{
      {"anomalies", Compare(), 1},
      {"kinds without anomalies", Compare({QStringLiteral("--kinds"), QStringLiteral("schemata,foreignkeys")}), 0},
      {"one kind", Compare({QStringLiteral("--kinds=routines")}), 1},
      {"unreachable server",
       QStringList{QStringLiteral("compare")} + Target(QStringLiteral("127.0.0.1,%1").arg(ClosedPort())), 2},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TCliRun Run = RunCli(Case.Arguments);
    EXPECT_EQ(Run.ExitCode, Case.ExitCode) << Run.Err.toStdString();
  }
}

TEST_F(CliTest, TextReportShowsADiffUnderEachAnomalyAndNoColourIntoAPipe) {
  const TCliRun Run = RunCli(Compare());
  ASSERT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  const QString Out = QString::fromUtf8(Run.Out);
  EXPECT_TRUE(Out.contains(QStringLiteral("ROUTINE [dbo].[P_Diff]: differs from the gold standard\n--- Gold standard, "
                                          "version ")))
      << Run.Out.toStdString();
  EXPECT_TRUE(Out.contains(QStringLiteral("\n+++ Local, Tellwick on "))) << Run.Out.toStdString();
  EXPECT_TRUE(Out.contains(QStringLiteral("\n-SELECT 20\n+SELECT 2\n"))) << Run.Out.toStdString();
  EXPECT_FALSE(Out.contains(u'\x1B'));

  const TCliRun Short = RunCli(Compare({QStringLiteral("--no-diff")}));
  ASSERT_EQ(Short.ExitCode, 1) << Short.Err.toStdString();
  const QString ShortOut = QString::fromUtf8(Short.Out);
  EXPECT_TRUE(ShortOut.contains(QStringLiteral("ROUTINE [dbo].[P_Diff]: differs from the gold standard\n")));
  EXPECT_FALSE(ShortOut.contains(QStringLiteral("@@"))) << Short.Out.toStdString();
}

TEST_F(CliTest, JsonReportHoldsEveryAnomalyWithItsDiff) {
  const TCliRun Run = RunCli(Compare({QStringLiteral("--format"), QStringLiteral("json")}));
  ASSERT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  const QJsonObject Report = SingleTarget(Run.Out);
  EXPECT_EQ(AnomaliesOf(Report), ExpectedAnomalies);
  EXPECT_EQ(Report[QStringLiteral("status")].toString(), QStringLiteral("anomalies"));
  EXPECT_EQ(Report[QStringLiteral("database")].toString(), QStringLiteral("Tellwick"));
  EXPECT_EQ(Report[QStringLiteral("server")].toString(), QStringLiteral("GOLDTEST"));
  EXPECT_EQ(Report[QStringLiteral("version")].toInt(), 12);
  EXPECT_TRUE(QFileInfo::exists(Report[QStringLiteral("snapshot")].toString()));
  for (const QJsonValue& Anomaly : Report[QStringLiteral("anomalies")].toArray()) {
    if (Anomaly[QStringLiteral("fullName")].toString() != QLatin1String("[dbo].[P_Diff]"))
      continue;
    EXPECT_EQ(Anomaly[QStringLiteral("expected")].toString(), QStringLiteral("CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 20"));
    EXPECT_EQ(Anomaly[QStringLiteral("diff")].toString(),
              QStringLiteral("--- expected\n+++ actual\n@@ -1,2 +1,2 @@\n CREATE PROCEDURE dbo.P_Diff AS\n"
                             "-SELECT 20\n+SELECT 2\n"));
  }
}

TEST_F(CliTest, JUnitReportHasOneCasePerObjectAndFailsTheAnomalies) {
  const QString File = Temp.filePath(QStringLiteral("report.xml"));
  const TCliRun Run = RunCli(Compare({QStringLiteral("--format"), QStringLiteral("junit"), QStringLiteral("--report"), File}));
  ASSERT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  QDomDocument Xml;
  ASSERT_TRUE(Xml.setContent(ReadFile(File)));
  const QDomElement Suite = Xml.documentElement().firstChildElement(QStringLiteral("testsuite"));
  const QDomNodeList Cases = Suite.elementsByTagName(QStringLiteral("testcase"));
  QSet<QString> Failed;
  QSet<QString> Ignored;
  QSet<QString> Names;
  for (int i = 0; i < Cases.size(); ++i) {
    const QDomElement Case = Cases.at(i).toElement();
    const QString Name = Case.attribute(QStringLiteral("classname")).section(u'.', -1) + u' ' + Case.attribute(QStringLiteral("name"));
    Names.insert(Name);
    if (!Case.firstChildElement(QStringLiteral("failure")).isNull())
      Failed.insert(Name);
    if (Case.firstChildElement(QStringLiteral("skipped")).attribute(QStringLiteral("message")).contains(QStringLiteral("ignore list")))
      Ignored.insert(Name);
  }
  // Objects named like the database's own helpers differ but are on the ignore list: skipped,
  // not passed.
  EXPECT_EQ(Ignored, QSet<QString>({QStringLiteral("routine [dbo].[GetDatabaseInfo]"), QStringLiteral("check [dbo].[GetDatabaseInfo]"),
                                    QStringLiteral("view [dbo].[FnEventTimeToNum]")}));
  EXPECT_EQ(Failed, ExpectedAnomalies);
  EXPECT_EQ(Suite.attribute(QStringLiteral("tests")).toInt(), Cases.size());
  EXPECT_EQ(Suite.attribute(QStringLiteral("failures")).toInt(), ExpectedAnomalies.size());
  const QDomElement Root = Xml.documentElement();
  for (const char* Total : {"tests", "failures", "errors"})
    EXPECT_EQ(Root.attribute(QLatin1String(Total)), Suite.attribute(QLatin1String(Total))) << Total;
  EXPECT_TRUE(QDateTime::fromString(Suite.attribute(QStringLiteral("timestamp")), Qt::ISODate).isValid());
  EXPECT_EQ(Suite.attribute(QStringLiteral("hostname")), QSysInfo::machineHostName());
  EXPECT_TRUE(Names.contains(QStringLiteral("view [dbo].[V_Equal]"))) << "an equal object is a passing case";
}

TEST_F(CliTest, HtmlReportShowsEveryAnomalyOnOneSelfContainedPage) {
  const QString File = Temp.filePath(QStringLiteral("report.html"));
  const TCliRun Run = RunCli(Compare({QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--report"), File}));
  ASSERT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  const QString Html = QString::fromUtf8(ReadFile(File));
  // Each anomaly has a heading with an anchor, and the list at the top links to it.
  for (const QString& Anomaly : ExpectedAnomalies) {
    const QRegularExpression Heading(QStringLiteral("<h3 id=\"(t1-a\\d+)\">%1 %2</h3>")
                                         .arg(QRegularExpression::escape(Anomaly.section(u' ', 0, 0).toUpper()),
                                              QRegularExpression::escape(Anomaly.section(u' ', 1))));
    const QRegularExpressionMatch Match = Heading.match(Html);
    ASSERT_TRUE(Match.hasMatch()) << Anomaly.toStdString();
    EXPECT_TRUE(Html.contains(QStringLiteral("<a href=\"#%1\">").arg(Match.captured(1)))) << Anomaly.toStdString();
  }
  // The changed routine line is on both sides of one row, its changed number marked; the
  // unchanged one is not.
  EXPECT_TRUE(Html.contains(QStringLiteral("<tr class=\"modify\"><td class=\"no\">2</td><td class=\"text\">SELECT "
                                           "<span class=\"chg\">20</span></td><td class=\"no\">2</td>"
                                           "<td class=\"text\">SELECT <span class=\"chg\">2</span></td></tr>")));
  EXPECT_TRUE(Html.contains(QStringLiteral("<td class=\"text\">([Price]&gt;(0))</td>")));
  for (const char* External : {"src=", "href=\"http", "href=\"/", "@import", "url("})
    EXPECT_FALSE(Html.contains(QLatin1String(External))) << External;
}

TEST_F(CliTest, ComparesASnapshotFileWithoutADatabase) {
  // The snapshot says its own version (12).
  const TCliRun Run = RunCli({QStringLiteral("compare"), QStringLiteral("--snapshot"),
                              QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml"), ServiceSetting(),
                              QStringLiteral("--format"), QStringLiteral("json")});
  ASSERT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  const QJsonObject Report = SingleTarget(Run.Out);
  EXPECT_EQ(AnomaliesOf(Report), ExpectedAnomalies);
  EXPECT_EQ(Report[QStringLiteral("version")].toInt(), 12);
  // --gold-version overrides it: at version 9 the gold standard knows fewer objects.
  const TCliRun Older = RunCli({QStringLiteral("compare"), QStringLiteral("--snapshot"),
                                QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml"), ServiceSetting(),
                                QStringLiteral("--gold-version"), QStringLiteral("9"), QStringLiteral("--format"),
                                QStringLiteral("json")});
  EXPECT_EQ(SingleTarget(Older.Out)[QStringLiteral("version")].toInt(), 9) << Older.Err.toStdString();
}

TEST_F(CliTest, SnapshotCommandWritesWhereItIsTold) {
  const QString File = Temp.filePath(QStringLiteral("shot.xml"));
  const TCliRun Run = RunCli(QStringList{QStringLiteral("snapshot")} + Target() + QStringList{QStringLiteral("--output"), File});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Err.toStdString();
  EXPECT_EQ(Run.Out.trimmed(), File.toUtf8());
  QDomDocument Xml;
  ASSERT_TRUE(Xml.setContent(ReadFile(File)));
  EXPECT_EQ(Xml.documentElement().attribute(QStringLiteral("DatabaseName")), QStringLiteral("Tellwick"));
  EXPECT_TRUE(Service->Calls().isEmpty()) << "a snapshot asks the service nothing";
}

TEST_F(CliTest, PublishWritesTheGoldStandardAndSaysWhat) {
  const TCliRun Run = RunCli(QStringList{QStringLiteral("publish")} + Target());
  ASSERT_EQ(Run.ExitCode, 0) << Run.Err.toStdString();
  EXPECT_TRUE(Run.Out.contains("VIEW [dbo].[V_Diff]: Updated for version 12")) << Run.Out.toStdString();
  EXPECT_EQ(Service->Calls(QStringLiteral("SaveDbAnomaly")).size(), 0);
  EXPECT_FALSE(Service->Calls(QStringLiteral("SaveDbView")).isEmpty());
}

TEST_F(CliTest, FleetChecksEveryTargetAndOneFailureStopsNoOther) {
  const quint16 Closed = ClosedPort();
  const QString Fleet = WriteFile(Temp, QStringLiteral("fleet.txt"), QStringLiteral("# the fleet\n"
                            "Name=good Server=%1 Database=Tellwick User=%2\n"
                            "\n"
                            "Name=gone Server=127.0.0.1,%3 Database=Tellwick User=%2  # switched off\n"
                            "Name=broken Server=%1 Tellwick\n"
                            "Name=again Server=%1 Database=Tellwick User=%2\n")
                 .arg(Database->DataSource(), Login)
                 .arg(Closed)
                 .toUtf8());
  const TCliRun Run = RunCli({QStringLiteral("compare"), QStringLiteral("--fleet"), Fleet, QStringLiteral("--jobs"),
                              QStringLiteral("2"), ServiceSetting(), QStringLiteral("--format"), QStringLiteral("json")});
  EXPECT_EQ(Run.ExitCode, 2);
  const QJsonArray Targets = ValidJsonReport(Run.Out)[QStringLiteral("targets")].toArray();
  ASSERT_EQ(Targets.size(), 4) << Run.Out.toStdString();
  EXPECT_EQ(Targets.at(1)[QStringLiteral("status")].toString(), QStringLiteral("error"));
  EXPECT_TRUE(Targets.at(1)[QStringLiteral("version")].isNull());
  QStringList Outcomes;
  for (const QJsonValue& Target : Targets)
    Outcomes.append(Target[QStringLiteral("name")].toString() + u' ' +
                    (Target[QStringLiteral("error")].toString().isEmpty()
                         ? QString::number(AnomaliesOf(Target.toObject()).size())
                         : Target[QStringLiteral("error")].toString().section(u':', 0, 0)));
  EXPECT_EQ(Outcomes, QStringList({QStringLiteral("good 6"),
                                   QStringLiteral("gone cannot connect to 127.0.0.1,%1/Tellwick").arg(Closed),
                                   QStringLiteral("broken fleet file line 5"), QStringLiteral("again 6")}));
  // The summary table goes to standard error when standard output carries JSON.
  const QString Table = QString::fromUtf8(Run.Err);
  EXPECT_TRUE(Table.contains(QRegularExpression(QStringLiteral("good\\s+12\\s+6\\s+anomalies"))));
  EXPECT_TRUE(Table.contains(QRegularExpression(QStringLiteral("gone\\s+-\\s+-\\s+FAILED"))));
}

// Two fleet lines for one database keep a snapshot each; --no-snapshot writes none.
TEST_F(CliTest, SnapshotsGoToTheSnapshotFolderWithoutOverwritingEachOther) {
  const QString Fleet = TwoTargetFleet(QStringLiteral("Name=first Server=%1 Database=Tellwick User=%2\n"
                                                      "Name=second server=%1 database=TELLWICK User=%2\n"));
  QTemporaryDir Snapshots;
  const TCliRun Run = RunCli({QStringLiteral("compare"), QStringLiteral("--fleet"), Fleet, ServiceSetting(),
                              QStringLiteral("--snapshot-dir"), Snapshots.path(), QStringLiteral("--report"),
                              QStringLiteral("json:-")});
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  QStringList Written;
  for (const QJsonValue& Target : ValidJsonReport(Run.Out)[QStringLiteral("targets")].toArray())
    Written.append(QFileInfo(Target[QStringLiteral("snapshot")].toString()).fileName());
  EXPECT_EQ(Written, QStringList({QStringLiteral("GOLDTEST.Tellwick.12.first.xml"), QStringLiteral("GOLDTEST.Tellwick.12.second.xml")}));
  EXPECT_EQ(QDir(Snapshots.path()).entryList(QDir::Files), Written);

  const TCliRun None = RunCli(Compare({QStringLiteral("--no-snapshot"), QStringLiteral("--format=json")}));
  EXPECT_EQ(SingleTarget(None.Out)[QStringLiteral("snapshot")].toString(), QString());
}

// repair --script writes what the window's repair would send, and changes nothing.
TEST_F(CliTest, RepairWritesTheScriptWithoutChangingTheDatabase) {
  const QString Script = Temp.filePath(QStringLiteral("repair.sql"));
  const TCliRun Run = RunCli(QStringList{QStringLiteral("repair")} + Target() +
                             QStringList{QStringLiteral("--script"), Script, QStringLiteral("--report"), QStringLiteral("json:-")});
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  EXPECT_EQ(AnomaliesOf(SingleTarget(Run.Out)), ExpectedAnomalies);
  const QString Text = QString::fromUtf8(ReadFile(Script));
  EXPECT_TRUE(Text.startsWith(QStringLiteral("-- Repair script for database Tellwick on server GOLDTEST (schema version 12)\r\n")))
      << Text.toStdString();
  EXPECT_TRUE(Text.contains(QStringLiteral("\r\nGO\r\n"))) << Text.toStdString();
  EXPECT_TRUE(Text.contains(QStringLiteral("ALTER PROCEDURE dbo.P_Diff AS\r\nSELECT 20"))) << Text.toStdString();
  EXPECT_EQ(RunCli(Compare()).ExitCode, 1) << "the database still differs";
}

// repair --apply runs the script object by object on a database of its own; what it repaired the
// next compare no longer finds, what it cannot repair keeps the exit code at 1.
TEST_F(CliTest, RepairApplyAltersTheDatabaseAndReportsEachObject) {
  const TTdsServer Scratch(Catalogue, QStringList{Login + u':' + Password});
  const QString Text = Temp.filePath(QStringLiteral("repair.txt"));
  const QString Html = Temp.filePath(QStringLiteral("repair.html"));
  const QString Junit = Temp.filePath(QStringLiteral("repair.xml"));
  const TCliRun Run = RunCli(QStringList{QStringLiteral("repair")} + Target(Scratch.DataSource()) +
                             QStringList{QStringLiteral("--apply"), QStringLiteral("--yes"), QStringLiteral("--no-snapshot"), QStringLiteral("--report"),
                                         QStringLiteral("json:-"), QStringLiteral("--report"), QStringLiteral("text:") + Text,
                                         QStringLiteral("--report"), QStringLiteral("html:") + Html,
                                         QStringLiteral("--report"), QStringLiteral("junit:") + Junit});
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  const QJsonObject Report = SingleTarget(Run.Out);
  EXPECT_EQ(AnomaliesOf(Report), ExpectedAnomalies);
  QMap<QString, QString> Outcomes;
  for (const QJsonValue& Repair : Report[QStringLiteral("repairs")].toArray())
    Outcomes.insert(Repair[QStringLiteral("fullName")].toString(), Repair[QStringLiteral("outcome")].toString());
  const QString Cannot = QStringLiteral("cannot be repaired");
  const QString Repaired = QStringLiteral("repaired");
  const QMap<QString, QString> Expected{{"[dbo].[CK_Diff]", Repaired}, {"[dbo].[V_Diff]", Repaired},
                                        {"[sales].[V_Blank]", Cannot}, {"[dbo].[P_Diff]", Repaired},
                                        {"[dbo].[OrderLines].[IX_Diff]", Cannot}, {"[dbo].[Orders].[IX_Unknown]", Cannot}};
  EXPECT_EQ(Outcomes, Expected) << Run.Out.toStdString();
  EXPECT_TRUE(ReadFile(Text).contains("  ROUTINE [dbo].[P_Diff]: repaired\n")) << ReadFile(Text).toStdString();
  EXPECT_TRUE(ReadFile(Html).contains("<li>INDEX [dbo].[Orders].[IX_Unknown]: cannot be repaired (")) << ReadFile(Html).toStdString();
  // JUnit: a repaired anomaly passes and says so; one that remains fails with its outcome.
  QDomDocument Xml;
  ASSERT_TRUE(Xml.setContent(ReadFile(Junit)));
  const QDomElement Suite = Xml.documentElement().firstChildElement(QStringLiteral("testsuite"));
  EXPECT_EQ(Suite.attribute(QStringLiteral("failures")), QStringLiteral("3"));
  QMap<QString, QString> JunitOutcomes;
  const QDomNodeList Cases = Suite.elementsByTagName(QStringLiteral("testcase"));
  for (int i = 0; i < Cases.size(); ++i) {
    const QDomElement Case = Cases.at(i).toElement();
    const QDomElement Failure = Case.firstChildElement(QStringLiteral("failure"));
    if (!Failure.isNull())
      JunitOutcomes.insert(Case.attribute(QStringLiteral("name")), Failure.attribute(QStringLiteral("message")).section(u'(', 0, 0).trimmed());
    else if (Case.firstChildElement(QStringLiteral("system-out")).text().startsWith(QStringLiteral("Differed from the gold standard and was repaired")))
      JunitOutcomes.insert(Case.attribute(QStringLiteral("name")), QStringLiteral("passed, repaired"));
  }
  QMap<QString, QString> ExpectedInJunit;
  for (auto Entry = Expected.begin(); Entry != Expected.end(); ++Entry)
    ExpectedInJunit.insert(Entry.key(), Entry.value() == Repaired ? QStringLiteral("passed, repaired")
                                                                  : QStringLiteral("differs from the gold standard; repair: ") + Entry.value());
  EXPECT_EQ(JunitOutcomes, ExpectedInJunit) << ReadFile(Junit).toStdString();

  const QStringList NextCompare = QStringList{QStringLiteral("compare")} + Target(Scratch.DataSource()) +
                                  QStringList{QStringLiteral("--no-snapshot"), QStringLiteral("--format=json")};
  EXPECT_EQ(AnomaliesOf(SingleTarget(RunCli(NextCompare).Out)),
            (QSet<QString>{QStringLiteral("view [sales].[V_Blank]"), QStringLiteral("index [dbo].[OrderLines].[IX_Diff]"),
                           QStringLiteral("index [dbo].[Orders].[IX_Unknown]")}));

  // Where everything chosen can be repaired, the repair ends at exit 0 and leaves nothing behind.
  const TTdsServer Fresh(Catalogue, QStringList{Login + u':' + Password});
  const QStringList Kinds{QStringLiteral("--kinds"), QStringLiteral("checks,routines"), QStringLiteral("--no-snapshot")};
  const TCliRun All = RunCli(QStringList{QStringLiteral("repair")} + Target(Fresh.DataSource()) + Kinds +
                             QStringList{QStringLiteral("--apply"), QStringLiteral("--yes")});
  EXPECT_EQ(All.ExitCode, 0) << All.Out.toStdString() << All.Err.toStdString();
  EXPECT_TRUE(All.Out.contains("  CHECK [dbo].[CK_Diff]: repaired\n")) << All.Out.toStdString();
  const TCliRun After = RunCli(QStringList{QStringLiteral("compare")} + Target(Fresh.DataSource()) + Kinds +
                               QStringList{QStringLiteral("--format=json")});
  EXPECT_EQ(After.ExitCode, 0) << After.Out.toStdString();
  EXPECT_EQ(SingleTarget(After.Out)[QStringLiteral("anomalyCount")].toInt(), 0);

  // The first failure stops the repair: the server's message, and what came after is left alone.
  TTdsServer Failing(Catalogue, QStringList{Login + u':' + Password});
  Failing.Fail(QStringLiteral("ALTER TABLE"));
  const TCliRun Stopped = RunCli(QStringList{QStringLiteral("repair")} + Target(Failing.DataSource()) + Kinds +
                                 QStringList{QStringLiteral("--apply"), QStringLiteral("--yes"), QStringLiteral("--format=json")});
  EXPECT_EQ(Stopped.ExitCode, 1) << Stopped.Err.toStdString();
  const QJsonArray Repairs = SingleTarget(Stopped.Out)[QStringLiteral("repairs")].toArray();
  ASSERT_EQ(Repairs.size(), 2) << Stopped.Out.toStdString();
  EXPECT_EQ(Repairs[0][QStringLiteral("outcome")].toString(), QStringLiteral("failed"));
  EXPECT_TRUE(Repairs[0][QStringLiteral("message")].toString().contains(QStringLiteral("Forced failure of: ALTER TABLE")))
      << Stopped.Out.toStdString();
  EXPECT_EQ(Repairs[1][QStringLiteral("fullName")].toString(), QStringLiteral("[dbo].[P_Diff]"));
  EXPECT_EQ(Repairs[1][QStringLiteral("outcome")].toString(), QStringLiteral("not attempted"));
}

// --include and --exclude narrow the objects before the service is asked: an object left out is
// never looked up, and no report lists it; the snapshot still records the whole database.
TEST_F(CliTest, FiltersNarrowWhatIsAskedOfTheServiceAndEveryReportSaysSo) {
  const QString Junit = Temp.filePath(QStringLiteral("filtered.xml"));
  const QString Text = Temp.filePath(QStringLiteral("filtered.txt"));
  const QString Html = Temp.filePath(QStringLiteral("filtered.html"));
  const TCliRun Run = RunCli(Compare({QStringLiteral("--include"), QStringLiteral("SALES.*"), QStringLiteral("--include=*.p_d*"),
                                      QStringLiteral("--exclude=*.V_Equal"), QStringLiteral("--snapshot-dir"), Temp.path(),
                                      QStringLiteral("--report"), QStringLiteral("json:-"), QStringLiteral("--report"),
                                      QStringLiteral("junit:") + Junit, QStringLiteral("--report"), QStringLiteral("text:") + Text,
                                      QStringLiteral("--report"), QStringLiteral("html:") + Html}));
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  const QJsonObject Report = SingleTarget(Run.Out);
  EXPECT_EQ(AnomaliesOf(Report), (QSet<QString>{QStringLiteral("view [sales].[V_Blank]"), QStringLiteral("routine [dbo].[P_Diff]")}));
  QSet<QString> Compared;
  for (const QJsonValue& Object : Report[QStringLiteral("compared")].toArray())
    Compared.insert(Object[QStringLiteral("fullName")].toString());
  EXPECT_EQ(Compared, (QSet<QString>{QStringLiteral("[sales].[V_Blank]"), QStringLiteral("[dbo].[P_Diff]")}));
  EXPECT_TRUE(Report[QStringLiteral("missingLocally")].toArray().isEmpty()) << "P_GoldOnly is not included";
  EXPECT_EQ(Report[QStringLiteral("filters")].toObject(),
            (QJsonObject{{QStringLiteral("include"), QJsonArray{QStringLiteral("SALES.*"), QStringLiteral("*.p_d*")}},
                         {QStringLiteral("exclude"), QJsonArray{QStringLiteral("*.V_Equal")}}}));
  QStringList Asked;
  for (const TGoldService::TCall& Call : Service->Calls())
    if (Call.Operation.startsWith(QLatin1String("GetDb")))
      Asked.append(Call.Operation + u' ' + Call.Params.value(QStringLiteral("SchemaName")).toString() + u'.' +
                   Call.Params.value(QStringLiteral("ViewName"), Call.Params.value(QStringLiteral("RoutineName"))).toString());
  Asked.sort();
  EXPECT_EQ(Asked, QStringList({QStringLiteral("GetDbRoutine dbo.P_Diff"), QStringLiteral("GetDbView sales.V_Blank")}));
  const QString Line = QStringLiteral("Only objects matching SALES.*, *.p_d*; leaving out those matching *.V_Equal");
  EXPECT_TRUE(QString::fromUtf8(ReadFile(Text)).contains(Line + u'\n')) << ReadFile(Text).toStdString();
  EXPECT_TRUE(QString::fromUtf8(ReadFile(Html)).contains(Line)) << ReadFile(Html).toStdString();
  EXPECT_TRUE(ReadFile(Junit).contains("<property name=\"include\" value=\"*.p_d*\"/>")) << ReadFile(Junit).toStdString();
  EXPECT_TRUE(ReadFile(Junit).contains("<property name=\"exclude\" value=\"*.V_Equal\"/>"));

  // The snapshot is the record of the database, filters or not; a compare of it narrows alike.
  const QString Snapshot = Report[QStringLiteral("snapshot")].toString();
  EXPECT_TRUE(ReadFile(Snapshot).contains("V_Equal")) << Snapshot.toStdString();
  const TCliRun FromSnapshot = RunCli({QStringLiteral("compare"), QStringLiteral("--snapshot"), Snapshot, ServiceSetting(),
                                       QStringLiteral("--exclude=dbo.*"), QStringLiteral("--format=json")});
  EXPECT_EQ(AnomaliesOf(SingleTarget(FromSnapshot.Out)), QSet<QString>{QStringLiteral("view [sales].[V_Blank]")})
      << FromSnapshot.Out.toStdString();

  // The repair script holds only what the filters let through; an index or a check constraint
  // goes by its table.
  const QString Script = Temp.filePath(QStringLiteral("repair.sql"));
  const TCliRun Repair = RunCli(QStringList{QStringLiteral("repair")} + Target() +
                                QStringList{QStringLiteral("--script"), Script, QStringLiteral("--no-snapshot"),
                                            QStringLiteral("--include=dbo.P_Diff"), QStringLiteral("--include=dbo.OrderLines"),
                                            QStringLiteral("--format=json")});
  EXPECT_EQ(AnomaliesOf(SingleTarget(Repair.Out)),
            (QSet<QString>{QStringLiteral("routine [dbo].[P_Diff]"), QStringLiteral("check [dbo].[CK_Diff]"),
                           QStringLiteral("index [dbo].[OrderLines].[IX_Diff]")}));
  EXPECT_TRUE(ReadFile(Script).contains("ALTER PROCEDURE dbo.P_Diff")) << ReadFile(Script).toStdString();
  EXPECT_TRUE(ReadFile(Script).contains("CK_Diff")) << ReadFile(Script).toStdString();
  EXPECT_FALSE(ReadFile(Script).contains("V_Diff")) << ReadFile(Script).toStdString();
}

// Runs the program on a pseudo-terminal, as a person at a terminal would, and answers its
// question with AAnswer; what the terminal showed is in Out.
TCliRun RunOnTerminal(const QStringList& AArguments, const QString& AAnswer) {
  QProcess Process;
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QUILLON_PASSWORD"), Password);
  Environment.insert(QStringLiteral("ANSWER"), AAnswer);
  Process.setProcessEnvironment(Environment);
  Process.start(QStringLiteral("python3"),
                QStringList{QStringLiteral("-c"),
                            QStringLiteral("import os, pty, select, sys\n"
                                           "pid, fd = pty.fork()\n"
                                           "if pid == 0:\n"
                                           "    os.execv(sys.argv[1], sys.argv[1:])\n"
                                           "seen, answered = b'', False\n"
                                           "while select.select([fd], [], [], 60)[0]:\n"
                                           "    try:\n"
                                           "        data = os.read(fd, 4096)\n"
                                           "    except OSError:\n"
                                           "        break\n"
                                           "    if not data:\n"
                                           "        break\n"
                                           "    seen += data\n"
                                           "    if not answered and b'[y/N]' in seen:\n"
                                           "        os.write(fd, os.environ['ANSWER'].encode() + b'\\n')\n"
                                           "        answered = True\n"
                                           "sys.stdout.buffer.write(seen)\n"
                                           "sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))\n"),
                            QStringLiteral(QUILLON_CLI)} +
                    AArguments);
  EXPECT_TRUE(Process.waitForFinished(120000));
  return TCliRun{Process.exitCode(), Process.readAllStandardOutput(), Process.readAllStandardError()};
}

// Without --yes on a terminal, repair --apply shows what it would do and alters only after "y".
TEST_F(CliTest, RepairApplyOnATerminalAsksFirst) {
  const QStringList Kinds{QStringLiteral("--kinds"), QStringLiteral("checks,routines"), QStringLiteral("--no-snapshot"),
                          QStringLiteral("--report"), QStringLiteral("json:") + Temp.filePath(QStringLiteral("report.json"))};
  const TTdsServer Asked(Catalogue, QStringList{Login + u':' + Password});
  const TCliRun No = RunOnTerminal(QStringList{QStringLiteral("repair"), QStringLiteral("--apply")} + Target(Asked.DataSource()) + Kinds,
                                   QStringLiteral("n"));
  EXPECT_EQ(No.ExitCode, 1) << No.Out.toStdString() << No.Err.toStdString();
  EXPECT_TRUE(No.Out.contains("CHECK CONSTRAINT [dbo].[CK_Diff]: will be altered")) << No.Out.toStdString();
  EXPECT_TRUE(No.Out.contains("Repair 2 of 2 objects in the database now? [y/N]")) << No.Out.toStdString();
  EXPECT_EQ(RunCli(QStringList{QStringLiteral("compare")} + Target(Asked.DataSource()) + Kinds).ExitCode, 1) << "nothing altered";

  const TCliRun Yes = RunOnTerminal(QStringList{QStringLiteral("repair"), QStringLiteral("--apply")} + Target(Asked.DataSource()) + Kinds,
                                    QStringLiteral("y"));
  EXPECT_EQ(Yes.ExitCode, 0) << Yes.Out.toStdString() << Yes.Err.toStdString();
  EXPECT_EQ(RunCli(QStringList{QStringLiteral("compare")} + Target(Asked.DataSource()) + Kinds).ExitCode, 0) << "both altered";
}

// On a terminal the catalogue's lists are shown as they are read, with their rows; into a pipe
// nothing is shown.
TEST_F(CliTest, ProgressShowsTheRowsOfEachCatalogueListOnlyOnATerminal) {
  const TCliRun OnTerminal = RunOnTerminal(Compare({QStringLiteral("--no-snapshot"), QStringLiteral("--report"),
                                                    QStringLiteral("json:") + Temp.filePath(QStringLiteral("r.json"))}),
                                           QString());
  EXPECT_EQ(OnTerminal.ExitCode, 1) << OnTerminal.Out.toStdString();
  for (const char* Shown : {"Reading the catalogue of Tellwick (column list)... 0 rows",
                            "Reading the catalogue of Tellwick (routine list)... 0 rows", "Connecting to "})
    EXPECT_TRUE(OnTerminal.Out.contains(Shown)) << Shown << "\n" << OnTerminal.Out.toStdString();
  EXPECT_TRUE(QString::fromUtf8(OnTerminal.Out).contains(QRegularExpression(QStringLiteral("\\(view list\\)\\.\\.\\. [1-9][0-9]* rows"))))
      << OnTerminal.Out.toStdString();
  const TCliRun Piped = RunCli(Compare({QStringLiteral("--no-snapshot"), QStringLiteral("--format=json")}));
  EXPECT_FALSE(Piped.Err.contains("Reading")) << Piped.Err.toStdString();
}

// A fleet is repaired target by target; a target whose repair fails stops no other, and every
// target's repairs are in the report.
TEST_F(CliTest, RepairApplyFleetRepairsTargetByTarget) {
  const TTdsServer First(Catalogue, QStringList{Login + u':' + Password});
  TTdsServer Second(Catalogue, QStringList{Login + u':' + Password});
  Second.Fail(QStringLiteral("ALTER TABLE"));
  const QString Fleet = WriteFile(Temp, QStringLiteral("fleet.txt"),
                                  QStringLiteral("Name=second Server=%1 Database=Tellwick User=%3\n"
                                                 "Name=first Server=%2 Database=Tellwick User=%3\n")
                                      .arg(Second.DataSource(), First.DataSource(), Login)
                                      .toUtf8());
  const QStringList Kinds{QStringLiteral("--kinds"), QStringLiteral("checks,routines"), QStringLiteral("--no-snapshot")};
  const TCliRun Run = RunCli(QStringList{QStringLiteral("repair"), QStringLiteral("--apply"), QStringLiteral("--yes"),
                                         QStringLiteral("--fleet"), Fleet, ServiceSetting(), QStringLiteral("--format=json")} +
                             Kinds);
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err.toStdString();
  const QJsonArray Targets = ValidJsonReport(Run.Out)[QStringLiteral("targets")].toArray();
  ASSERT_EQ(Targets.size(), 2) << Run.Out.toStdString();
  QMap<QString, QStringList> Outcomes;
  for (const QJsonValue& Target : Targets)
    for (const QJsonValue& Repair : Target[QStringLiteral("repairs")].toArray())
      Outcomes[Target[QStringLiteral("name")].toString()].append(Repair[QStringLiteral("outcome")].toString());
  EXPECT_EQ(Outcomes, (QMap<QString, QStringList>{{"second", {"failed", "not attempted"}}, {"first", {"repaired", "repaired"}}}))
      << Run.Out.toStdString();
  const TCliRun After = RunCli(QStringList{QStringLiteral("compare"), QStringLiteral("--format=json")} + Target(First.DataSource()) + Kinds);
  EXPECT_EQ(After.ExitCode, 0) << After.Out.toStdString();

  // Once nothing remains on any target, the fleet's repair ends at 0.
  Second.Clear();
  const TCliRun Again = RunCli(QStringList{QStringLiteral("repair"), QStringLiteral("--apply"), QStringLiteral("--yes"),
                                           QStringLiteral("--fleet"), Fleet, ServiceSetting(), QStringLiteral("--format=json")} +
                               Kinds);
  EXPECT_EQ(Again.ExitCode, 0) << Again.Out.toStdString() << Again.Err.toStdString();
}

// Altering an indexed view drops its indexes: repair leaves it alone, and says how to allow it,
// unless --allow-index-loss is given.
TEST_F(CliTest, AnIndexedViewIsRepairedOnlyWithAllowIndexLoss) {
  const TTdsServer Indexed(QStringLiteral("schema_catalogue.xml"), QStringList{Login + u':' + Password});
  const QString Gold = WriteFile(Temp, QStringLiteral("gold.json"),
                                 R"({"gold": [{"kind": "VIEW", "schema": "dbo", "name": "OrderSummary", "version": 42,
                                     "definition": "CREATE VIEW dbo.OrderSummary AS SELECT Id FROM dbo.Orders"}]})");
  const TGoldService ViewGold(Gold);
  const QStringList Target{QStringLiteral("Server=") + Indexed.DataSource(), QStringLiteral("Database=Tellwick"),
                           QStringLiteral("User=") + Login, QStringLiteral("Service=") + ViewGold.BaseAddress(),
                           QStringLiteral("--kinds=views"), QStringLiteral("--include=dbo.OrderSummary"),
                           QStringLiteral("--no-snapshot")};
  const QStringList Apply{QStringLiteral("repair"), QStringLiteral("--apply"), QStringLiteral("--yes"), QStringLiteral("--format=json")};
  const QString Script = Temp.filePath(QStringLiteral("repair.sql"));

  const TCliRun Refused = RunCli(Apply + Target + QStringList{QStringLiteral("--script"), Script});
  EXPECT_EQ(Refused.ExitCode, 1) << Refused.Err.toStdString();
  const QJsonArray Repairs = SingleTarget(Refused.Out)[QStringLiteral("repairs")].toArray();
  ASSERT_EQ(Repairs.size(), 1) << Refused.Out.toStdString();
  EXPECT_EQ(Repairs[0][QStringLiteral("outcome")].toString(), QStringLiteral("cannot be repaired"));
  EXPECT_TRUE(Repairs[0][QStringLiteral("message")].toString().contains(QStringLiteral("indexed view")));
  EXPECT_TRUE(Repairs[0][QStringLiteral("message")].toString().contains(QStringLiteral("--allow-index-loss")));
  const QString RefusedScript = QString::fromUtf8(ReadFile(Script));
  EXPECT_TRUE(RefusedScript.contains(QStringLiteral("Give --allow-index-loss"))) << RefusedScript.toStdString();
  EXPECT_FALSE(RefusedScript.contains(QStringLiteral("ALTER VIEW"))) << RefusedScript.toStdString();

  const TCliRun Allowed = RunCli(Apply + Target + QStringList{QStringLiteral("--allow-index-loss"), QStringLiteral("--script"), Script});
  EXPECT_EQ(Allowed.ExitCode, 0) << Allowed.Out.toStdString() << Allowed.Err.toStdString();
  EXPECT_EQ(SingleTarget(Allowed.Out)[QStringLiteral("repairs")][0][QStringLiteral("outcome")].toString(), QStringLiteral("repaired"));
  const QString AllowedScript = QString::fromUtf8(ReadFile(Script));
  EXPECT_TRUE(AllowedScript.contains(QStringLiteral("this ALTER drops all its indexes"))) << AllowedScript.toStdString();
  EXPECT_TRUE(AllowedScript.contains(QStringLiteral("ALTER VIEW dbo.OrderSummary AS SELECT Id FROM dbo.Orders")));
  const TCliRun After = RunCli(QStringList{QStringLiteral("compare"), QStringLiteral("--format=json")} + Target);
  EXPECT_EQ(After.ExitCode, 0) << After.Out.toStdString();
}

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

// Starts the program with the test login's password, for a test that signals it as it runs.
void StartCli(QProcess& AProcess, const QStringList& AArguments) {
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QUILLON_PASSWORD"), Password);
  AProcess.setProcessEnvironment(Environment);
  AProcess.start(QStringLiteral(QUILLON_CLI), AArguments);
}

// The kernel's list of a process's children.
QList<pid_t> ChildrenOf(qint64 APid) {
  QList<pid_t> Children;
  for (const QByteArray& Pid : ReadFile(QStringLiteral("/proc/%1/task/%1/children").arg(APid)).split(' '))
    if (!Pid.trimmed().isEmpty())
      Children.append(static_cast<pid_t>(Pid.trimmed().toInt()));
  return Children;
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

// A case-sensitive database (findings_catalogue.xml) with an encrypted view and routine, a view
// the gold standard (findings_gold.json) lacks, routines only the gold standard has and two
// views whose names differ only in case.
class CliFindingsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Database = std::make_unique<TTdsServer>(QStringLiteral("findings_catalogue.xml"), QStringList{Login + u':' + Password});
    Service = std::make_unique<TGoldService>(QStringLiteral("findings_gold.json"));
  }
  static void TearDownTestSuite() {
    Database.reset();
    Service.reset();
  }
  void SetUp() override { Service->Reset(); }

  static QStringList Run(const QString& ACommand, const QStringList& AOptions = {},
                         const TGoldService& AService = *Service, const QString& AUser = Login) {
    return QStringList{ACommand, QStringLiteral("Server=") + Database->DataSource(), QStringLiteral("Database=Tellwick"),
                       QStringLiteral("User=") + AUser, QStringLiteral("Service=") + AService.BaseAddress()} +
           AOptions;
  }
  // "kind fullName" of each entry of a report's array.
  static QSet<QString> Entries(const QJsonObject& AReport, const QString& AArray) {
    QSet<QString> Names;
    for (const QJsonValue& Entry : AReport.value(AArray).toArray())
      Names.insert(Entry[QStringLiteral("kind")].toString() + u' ' + Entry[QStringLiteral("fullName")].toString());
    return Names;
  }
  static QStringList NamesSentTo(const TGoldService& AService, const QString& AOperation, const QString& ANameKey) {
    QStringList Names;
    for (const TGoldService::TCall& Call : AService.Calls(AOperation))
      Names.append(Call.Params.value(ANameKey).toString());
    return Names;
  }

  static inline std::unique_ptr<TTdsServer> Database;
  static inline std::unique_ptr<TGoldService> Service;
  QTemporaryDir Temp;
};

TEST_F(CliFindingsTest, UnknownMissingAndUnreadableObjectsAreResultsNotAnomalies) {
  const TCliRun Json = RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--format"), QStringLiteral("json")}));
  ASSERT_EQ(Json.ExitCode, 1) << Json.Err.toStdString();
  const QJsonObject Report = SingleTarget(Json.Out);
  // Names that differ only in case are two objects, each compared under its own name.
  EXPECT_EQ(AnomaliesOf(Report), QSet<QString>({QStringLiteral("view [dbo].[ORDERS2]"),
                                                QStringLiteral("routine [dbo].[P_Changed]")}));
  EXPECT_TRUE(NamesSentTo(*Service, QStringLiteral("GetDbView"), QStringLiteral("ViewName")).contains(QStringLiteral("Orders2")));
  EXPECT_EQ(Entries(Report, QStringLiteral("unknown")), QSet<QString>{QStringLiteral("view [dbo].[V_LocalOnly]")});
  EXPECT_EQ(Entries(Report, QStringLiteral("missingLocally")),
            QSet<QString>({QStringLiteral("routine [dbo].[P_GoldOnly]"), QStringLiteral("routine [dbo].[Отчёт [old] \"q\"]")}));
  EXPECT_EQ(Entries(Report, QStringLiteral("unreadable")),
            QSet<QString>({QStringLiteral("view [dbo].[V_Secret]"), QStringLiteral("routine [dbo].[P_Crypt]")}));
  EXPECT_EQ(Entries(Report, QStringLiteral("duplicateNames")), QSet<QString>());
  EXPECT_TRUE(Report[QStringLiteral("complete")].toBool());
  EXPECT_TRUE(Report[QStringLiteral("comparedKinds")].toString().contains(QStringLiteral("3 views, 2 routines")))
      << Report[QStringLiteral("comparedKinds")].toString().toStdString();
  EXPECT_EQ(NamesSentTo(*Service, QStringLiteral("SaveDbAnomaly"), QStringLiteral("ObjectKey")),
            QStringList({QStringLiteral("[dbo].[ORDERS2]"), QStringLiteral("[dbo].[P_Changed]")}));

  struct TCase {
    QStringList Options;
    int ExitCode;
  };
  const QList<TCase> Cases{
      {{QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"), QStringLiteral("unknown")}, 0},
      {{QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"), QStringLiteral("missing")}, 1},
      {{QStringLiteral("--kinds"), QStringLiteral("views"), QStringLiteral("--fail-on"), QStringLiteral("missing")}, 0},
      {{QStringLiteral("--kinds"), QStringLiteral("views"), QStringLiteral("--fail-on"), QStringLiteral("unknown")}, 1},
      {{QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"), QStringLiteral("unreadable")}, 1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Options.join(u' ').toStdString());
    EXPECT_EQ(RunCli(Run(QStringLiteral("compare"), Case.Options)).ExitCode, Case.ExitCode);
  }
}

TEST_F(CliFindingsTest, EveryReportFormatShowsTheFindings) {
  const TCliRun Text = RunCli(Run(QStringLiteral("compare")));
  EXPECT_TRUE(Text.Out.contains("Unknown to the gold standard:\n  VIEW [dbo].[V_LocalOnly]\n")) << Text.Out.toStdString();
  EXPECT_TRUE(Text.Out.contains("Missing locally:\n")) << Text.Out.toStdString();
  EXPECT_TRUE(Text.Out.contains("  ROUTINE [dbo].[P_Crypt]\n")) << Text.Out.toStdString();

  const QString Html = Temp.filePath(QStringLiteral("report.html"));
  RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--report"), Html}));
  const QString Page = QString::fromUtf8(ReadFile(Html));
  EXPECT_TRUE(Page.contains(QStringLiteral("<h3>Missing locally</h3>\n<ul>\n<li>ROUTINE [dbo].[P_GoldOnly]</li>")))
      << Page.toStdString();
  EXPECT_TRUE(Page.contains(QStringLiteral("<li>VIEW [dbo].[V_Secret]</li>")));

  // A finding is a skipped case, or a failure when --fail-on names its kind.
  for (const auto& [FailOn, Element] : {std::pair{QStringLiteral("anomalies"), QStringLiteral("skipped")},
                                        std::pair{QStringLiteral("missing,unreadable"), QStringLiteral("failure")}}) {
    SCOPED_TRACE(FailOn.toStdString());
    const QString File = Temp.filePath(QStringLiteral("report.xml"));
    RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--format"),
                                           QStringLiteral("junit"), QStringLiteral("--report"), File,
                                           QStringLiteral("--fail-on"), FailOn}));
    QDomDocument Xml;
    ASSERT_TRUE(Xml.setContent(ReadFile(File)));
    QMap<QString, QString> Outcomes;
    const QDomNodeList Cases = Xml.elementsByTagName(QStringLiteral("testcase"));
    for (int i = 0; i < Cases.size(); ++i) {
      const QDomElement Case = Cases.at(i).toElement();
      const QDomElement Outcome = Case.firstChildElement();
      Outcomes.insert(Case.attribute(QStringLiteral("name")),
                      Outcome.isNull() ? QStringLiteral("passed") : Outcome.tagName() + u' ' + Outcome.attribute(QStringLiteral("message")));
    }
    EXPECT_EQ(Outcomes.value(QStringLiteral("[dbo].[P_GoldOnly]")), Element + QStringLiteral(" Missing locally"));
    EXPECT_TRUE(Outcomes.value(QStringLiteral("[dbo].[P_Crypt]")).startsWith(Element + QStringLiteral(" Unreadable")));
    EXPECT_EQ(Outcomes.value(QStringLiteral("[dbo].[P_Same]")), QStringLiteral("passed"));
  }
}

TEST_F(CliFindingsTest, UnreadableDefinitionsAreNeverSentAndReadBackFromTheSnapshot) {
  for (const auto& [User, UserPassword] : {std::pair{Login, Password}, std::pair{QStringLiteral("blind"), QStringLiteral("Bl1nd-pw")}}) {
    SCOPED_TRACE(User.toStdString());
    Service->Reset();
    const TCliRun Publish = RunCli(Run(QStringLiteral("publish"), {}, *Service, User), UserPassword);
    ASSERT_EQ(Publish.ExitCode, 0) << Publish.Err.toStdString();
    EXPECT_TRUE(Publish.Out.contains("VIEW [dbo].[V_Secret]: Skipped, its definition is unreadable")) << Publish.Out.toStdString();
    EXPECT_TRUE(Publish.Out.contains("PROCEDURE [dbo].[P_Crypt]: Skipped")) << Publish.Out.toStdString();
    for (const TGoldService::TCall& Call : Service->Calls(QStringLiteral("SaveDbView")))
      EXPECT_FALSE(Call.Params.value(QStringLiteral("ViewDefinition")).toString().trimmed().isEmpty());
    EXPECT_FALSE(NamesSentTo(*Service, QStringLiteral("SaveDbView"), QStringLiteral("ViewName")).contains(QStringLiteral("V_Secret")));
    EXPECT_FALSE(NamesSentTo(*Service, QStringLiteral("SaveDbRoutine"), QStringLiteral("RoutineName")).contains(QStringLiteral("P_Crypt")));
  }
  // Without VIEW DEFINITION nothing at all is readable, so nothing is sent.
  EXPECT_TRUE(Service->Calls(QStringLiteral("SaveDbView")).isEmpty());
  EXPECT_TRUE(Service->Calls(QStringLiteral("SaveDbRoutine")).isEmpty());

  const QString File = Temp.filePath(QStringLiteral("shot.xml"));
  ASSERT_EQ(RunCli(Run(QStringLiteral("snapshot"), {QStringLiteral("--output"), File})).ExitCode, 0);
  QDomDocument Xml;
  ASSERT_TRUE(Xml.setContent(ReadFile(File)));
  QStringList Unreadable;
  for (const QString& Tag : {QStringLiteral("VIEW"), QStringLiteral("ROUTINE")})
    for (QDomElement E = Xml.documentElement().elementsByTagName(Tag).at(0).toElement(); !E.isNull(); E = E.nextSiblingElement(Tag))
      if (E.attribute(QStringLiteral("DEFINITION_UNREADABLE")) == QLatin1String("true"))
        Unreadable.append(E.attribute(QStringLiteral("TABLE_NAME"), E.attribute(QStringLiteral("ROUTINE_NAME"))));
  EXPECT_EQ(Unreadable, QStringList({QStringLiteral("V_Secret"), QStringLiteral("P_Crypt")}));
  Service->Reset();
  const TCliRun FromSnapshot =
      RunCli({QStringLiteral("compare"), QStringLiteral("--snapshot"), File, QStringLiteral("Service=") + Service->BaseAddress(),
              QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--fail-on"), QStringLiteral("unreadable")});
  EXPECT_EQ(FromSnapshot.ExitCode, 1) << FromSnapshot.Err.toStdString();
  EXPECT_EQ(Entries(SingleTarget(FromSnapshot.Out), QStringLiteral("unreadable")),
            QSet<QString>({QStringLiteral("view [dbo].[V_Secret]"), QStringLiteral("routine [dbo].[P_Crypt]")}));
}

TEST_F(CliFindingsTest, PublishRemembersWhatItSentPerServiceAndForceSendsAgain) {
  QFile::remove(QFileInfo(QStringLiteral(QUILLON_CLI)).absolutePath() + QStringLiteral("/quillon-cli.publish.ini"));
  const TGoldService Other(QStringLiteral("findings_gold.json"));
  const auto SentChanged = [](const TGoldService& AService) {
    return NamesSentTo(AService, QStringLiteral("SaveDbRoutine"), QStringLiteral("RoutineName")).count(QStringLiteral("P_Changed"));
  };
  struct TStep {
    const char* Name;
    const TGoldService* To;
    QStringList Options;
    qsizetype Sent;
  };
  const QList<TStep> Steps{{"first run", Service.get(), {}, 1},
                           {"nothing changed since", Service.get(), {}, 0},
                           {"another service", &Other, {}, 1},
                           {"forced", Service.get(), {QStringLiteral("--force")}, 1}};
  for (const TStep& Step : Steps) {
    SCOPED_TRACE(Step.Name);
    Step.To->Reset();
    const TCliRun Publish = RunCli(Run(QStringLiteral("publish"), Step.Options, *Step.To));
    ASSERT_EQ(Publish.ExitCode, 0) << Publish.Err.toStdString();
    EXPECT_EQ(SentChanged(*Step.To), Step.Sent);
    EXPECT_EQ(Publish.Out.contains("PROCEDURE [dbo].[P_Changed]: Updated for version 12"), Step.Sent == 1)
        << Publish.Out.toStdString();
  }
}

TEST_F(CliFindingsTest, AFleetChecksFailOnAsEachTargetWould) {
  const QString Fleet = WriteFile(Temp, QStringLiteral("fleet.txt"),
                                  QStringLiteral("Name=cs Server=%1 Database=Tellwick User=%2\n")
                                      .arg(Database->DataSource(), Login)
                                      .toUtf8());
  const auto FleetRun = [&](const QStringList& AOptions) {
    return RunCli(QStringList{QStringLiteral("compare"), QStringLiteral("--fleet"), Fleet,
                              QStringLiteral("Service=") + Service->BaseAddress(), QStringLiteral("--format"),
                              QStringLiteral("json")} +
                  AOptions);
  };
  const TCliRun Missing = FleetRun({QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"),
                                    QStringLiteral("missing")});
  EXPECT_EQ(Missing.ExitCode, 1) << Missing.Err.toStdString();
  const QJsonObject Target = ValidJsonReport(Missing.Out)[QStringLiteral("targets")].toArray().at(0).toObject();
  EXPECT_EQ(Entries(Target, QStringLiteral("missingLocally")).size(), 2) << Missing.Out.toStdString();
  // P_Changed differs, but anomalies are not what --fail-on names here.
  EXPECT_EQ(FleetRun({QStringLiteral("--kinds"), QStringLiteral("routines"), QStringLiteral("--fail-on"),
                      QStringLiteral("unknown")})
                .ExitCode,
            0);
}

TEST_F(CliFindingsTest, ARunThatStopsPartWaySaysSoAndKeepsWhatItFound) {
  Service->Fail(QStringLiteral("GetDbRoutine"), QStringLiteral("fault"), 0, 0,
                {{QStringLiteral("RoutineName"), QStringLiteral("P_Crypt")}});
  const TCliRun Stopped = RunCli(Run(QStringLiteral("compare"), {QStringLiteral("--format"), QStringLiteral("json")}));
  EXPECT_EQ(Stopped.ExitCode, 2);
  ASSERT_EQ(Stopped.ErrLines().size(), 1) << Stopped.Err.toStdString();
  EXPECT_TRUE(Stopped.ErrLines().first().startsWith(QStringLiteral("quillon-cli: Stopped after 6 of 8 objects: ")))
      << Stopped.Err.toStdString();
  const QJsonObject Report = SingleTarget(Stopped.Out);
  EXPECT_FALSE(Report[QStringLiteral("complete")].toBool(true));
  EXPECT_EQ(Report[QStringLiteral("status")].toString(), QStringLiteral("error"));
  // The five views and the first routine were compared; P_Crypt's lookup failed.
  EXPECT_EQ(AnomaliesOf(Report), QSet<QString>({QStringLiteral("view [dbo].[ORDERS2]"),
                                                QStringLiteral("routine [dbo].[P_Changed]")}));

  // A service that cannot be reached stops the run before its first object.
  const TCliRun Unreachable = RunCli(Run(QStringLiteral("compare")).mid(0, 4) +
                                     QStringList{QStringLiteral("Service=http://127.0.0.1:%1").arg(ClosedPort())});
  EXPECT_EQ(Unreachable.ExitCode, 2);
  EXPECT_TRUE(Unreachable.Err.contains("Stopped after 0 of 8 objects: ")) << Unreachable.Err.toStdString();
  EXPECT_TRUE(Unreachable.Out.contains("The comparison is incomplete.")) << Unreachable.Out.toStdString();
}

}  // namespace
}  // namespace quillon
