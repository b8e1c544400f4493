// quillon-cli repair: the script it writes, repairs applied target by target, the question on
// a terminal and the indexed views it leaves alone.
#include "CliRun.h"
#include "JsonReportSchema.h"
#include "support/QtPrinters.h"

#include <QDomDocument>
#include <QJsonArray>
#include <QMap>

#include <gtest/gtest.h>

namespace quillon::cli_test {
namespace {

using test::ValidJsonReport;

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

}  // namespace
}  // namespace quillon::cli_test
