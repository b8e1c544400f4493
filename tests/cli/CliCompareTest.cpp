// quillon-cli compare, snapshot and publish: exit codes, the report formats, fleets, filters
// and progress.
#include "CliRun.h"
#include "JsonReportSchema.h"
#include "support/QtPrinters.h"

#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSysInfo>

#include <gtest/gtest.h>

namespace quillon::cli_test {
namespace {

using test::ValidJsonReport;

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

}  // namespace
}  // namespace quillon::cli_test
