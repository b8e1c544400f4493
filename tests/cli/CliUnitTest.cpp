#include "cli/Cli.Fleet.h"
#include "cli/Cli.Options.h"
#include "cli/Cli.Reports.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon::cli {
namespace {

TEST(ReportsTest, TextReportColoursItsDiffOnlyWhenAsked) {
  TTargetResult Result;
  Result.Name = QStringLiteral("sql01.Shop");
  Result.Server = QStringLiteral("sql01");
  Result.Database = QStringLiteral("Shop");
  Result.Version = 523;
  Result.Anomalies.append(TAnomalyRecord{QStringLiteral("[sales].[usp_PlaceOrder]\u202E"), QStringLiteral("routine"),
                                         QString(), QStringLiteral("SET Total = 1.13"), QStringLiteral("SET Total = 1.15")});
  const QString Plain = QString::fromUtf8(RenderReport(TReportFormat::Text, {Result}, false, {true, false}));
  EXPECT_TRUE(Plain.startsWith(QStringLiteral("ROUTINE [sales].[usp_PlaceOrder]\u27E8U+202E\u27E9: differs from the gold "
                                              "standard\n--- Gold standard, version 523\n+++ Local, Shop on sql01\n"
                                              "@@ -1,1 +1,1 @@\n-SET Total = 1.13\n+SET Total = 1.15\n")))
      << Plain.toStdString();
  const QString Coloured = QString::fromUtf8(RenderReport(TReportFormat::Text, {Result}, false, {true, true}));
  EXPECT_TRUE(Coloured.contains(QStringLiteral("\x1B[31m-SET Total = 1.\x1B[7m13\x1B[0m\x1B[31m\x1B[0m\n")))
      << Coloured.toStdString();
  const QString OneLine = QString::fromUtf8(RenderReport(TReportFormat::Text, {Result}, false, {false, true}));
  EXPECT_FALSE(OneLine.contains(QStringLiteral("@@")));
  EXPECT_FALSE(OneLine.contains(u'\x1B'));
}

TEST(OptionsTest, RefusesCombinationsThatCannotWork) {
  struct TCase {
    QStringList Arguments;
    QString Message;
  };
  const QList<TCase> Cases{
      {{}, QStringLiteral("no command given")},
      {{QStringLiteral("snapshot"), QStringLiteral("--snapshot"), QStringLiteral("f.xml")},
       QStringLiteral("--snapshot works only with compare")},
      {{QStringLiteral("compare"), QStringLiteral("--version"), QStringLiteral("3")},
       QStringLiteral("--version takes no value and no other argument")},
      {{QStringLiteral("compare"), QStringLiteral("--gold-version"), QStringLiteral("3")},
       QStringLiteral("--gold-version works only with --snapshot")},
      {{QStringLiteral("compare"), QStringLiteral("--force")}, QStringLiteral("--force works only with publish")},
      {{QStringLiteral("compare"), QStringLiteral("--no-diff"), QStringLiteral("--format"), QStringLiteral("json")},
       QStringLiteral("--no-diff works only with compare and the text format")},
      {{QStringLiteral("compare"), QStringLiteral("--output"), QStringLiteral("x")},
       QStringLiteral("--output works only with snapshot")},
      {{QStringLiteral("compare"), QStringLiteral("--fleet"), QStringLiteral("f"), QStringLiteral("Server=s")},
       QStringLiteral("with --fleet the targets come from the fleet file")},
      {{QStringLiteral("compare"), QStringLiteral("--fleet"), QStringLiteral("f"), QStringLiteral("--snapshot"),
        QStringLiteral("s"), QStringLiteral("--gold-version=1")},
       QStringLiteral("--snapshot and --fleet cannot be combined")},
      {{QStringLiteral("compare"), QStringLiteral("--jobs"), QStringLiteral("0")}, QStringLiteral("--jobs must lie")},
      {{QStringLiteral("compare"), QStringLiteral("--jobs"), QStringLiteral("many")}, QStringLiteral("needs a whole number")},
      {{QStringLiteral("compare"), QStringLiteral("--report")}, QStringLiteral("--report needs a value")},
      {{QStringLiteral("compare"), QStringLiteral("--fleet-member=1")}, QStringLiteral("takes no value")},
      {{QStringLiteral("compare"), QStringLiteral("publish")}, QStringLiteral("unexpected argument \"publish\"")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Arguments.join(u' ').toStdString());
    try {
      ParseOptions(Case.Arguments);
      ADD_FAILURE() << "accepted";
    } catch (const EUsageError& E) {
      EXPECT_TRUE(E.Message().contains(Case.Message)) << E.Message().toStdString();
    }
  }
}

TEST(OptionsTest, VersionAloneAsksForTheProgramsVersion) {
  EXPECT_EQ(ParseOptions({QStringLiteral("--version")}).Command, TCommand::ShowVersion);
  const TCliOptions Snapshot = ParseOptions({QStringLiteral("compare"), QStringLiteral("--snapshot"), QStringLiteral("s.xml"),
                                             QStringLiteral("--gold-version"), QStringLiteral("12"),
                                             QStringLiteral("--fail-on"), QStringLiteral("Unknown, missing")});
  EXPECT_EQ(Snapshot.Command, TCommand::Compare);
  EXPECT_EQ(Snapshot.GoldVersion, 12);
  EXPECT_EQ(Snapshot.FailOn, unsigned{failOnUnknown | failOnMissing});
  const TCliOptions Kinds = ParseOptions({QStringLiteral("compare"), QStringLiteral("--kinds=Views, routines")});
  EXPECT_EQ(Kinds.Kinds, unsigned{kindViews | kindRoutines});
}

TEST(FleetFileTest, MalformedLinesFailAloneByLineNumber) {
  QTemporaryDir Dir;
  const QString Fleet = Dir.filePath(QStringLiteral("fleet.txt"));
  QFile File(Fleet);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write("# comment\n"
             "Name=a Server=s1 Database=d1 User=u  # trailing comment\n"
             "  \n"
             "Server=s2 Database=d2\n"
             "Server=s3 d3\n"
             "Server=s4 Database=d4 Password=x\n"
             "Server=s5\n");
  File.close();
  QStringList Outcomes;
  for (const TFleetTarget& Target : ReadFleetFile(Fleet))
    Outcomes.append(QStringLiteral("%1|%2|%3|%4").arg(Target.Line).arg(Target.Name, Target.Settings.join(u' '), Target.Error));
  EXPECT_EQ(Outcomes, QStringList({QStringLiteral("2|a|Server=s1 Database=d1 User=u|"),
                                   QStringLiteral("4|s2/d2|Server=s2 Database=d2|"),
                                   QStringLiteral("5|line 5|Server=s3|fleet file line 5: \"d3\" is not a key=value setting"),
                                   QStringLiteral("6|s4/d4|Server=s4 Database=d4|fleet file line 6: unknown setting \"Password\""),
                                   QStringLiteral("7|line 7|Server=s5|fleet file line 7: a target needs both Server= and Database=")}));
}

}  // namespace
}  // namespace quillon::cli
