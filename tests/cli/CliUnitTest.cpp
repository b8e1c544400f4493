#include "cli/Cli.Fleet.h"
#include "cli/Cli.LineDiff.h"
#include "cli/Cli.Options.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon::cli {
namespace {

TEST(LineDiffTest, UnifiedDiffOfTypicalChanges) {
  struct TCase {
    const char* Name;
    QString Expected;
    QString Actual;
    QString Diff;
  };
  const QList<TCase> Cases{
      {"same lines, other line ends", QStringLiteral("a\r\nb"), QStringLiteral("a\nb\n"), QString()},
      {"gold empty", QString(), QStringLiteral("x\ny"),
       QStringLiteral("--- e\n+++ a\n@@ -0,0 +1,2 @@\n+x\n+y\n")},
      {"local empty", QStringLiteral("x"), QString(), QStringLiteral("--- e\n+++ a\n@@ -1,1 +0,0 @@\n-x\n")},
      {"changed block: old lines, then new", QStringLiteral("a\nb\nc\nd"), QStringLiteral("a\nB\nC\nd"),
       QStringLiteral("--- e\n+++ a\n@@ -1,4 +1,4 @@\n a\n-b\n-c\n+B\n+C\n d\n")},
      {"inserted line", QStringLiteral("a\nc"), QStringLiteral("a\nb\nc"),
       QStringLiteral("--- e\n+++ a\n@@ -1,2 +1,3 @@\n a\n+b\n c\n")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(UnifiedDiff(Case.Expected, Case.Actual, QStringLiteral("e"), QStringLiteral("a")), Case.Diff);
  }
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
