#include "cli/Cli.Fleet.h"
#include "cli/Cli.Options.h"
#include "report/Report.Render.h"
#include "support/QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QXmlStreamReader>

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
      {{QStringLiteral("compare"), QStringLiteral("--fleet=f"), QStringLiteral("--jobs"), QStringLiteral("0")}, QStringLiteral("--jobs must lie")},
      {{QStringLiteral("compare"), QStringLiteral("--fleet=f"), QStringLiteral("--jobs"), QStringLiteral("many")}, QStringLiteral("needs a whole number")},
      {{QStringLiteral("compare"), QStringLiteral("--report")}, QStringLiteral("--report needs a value")},
      {{QStringLiteral("compare"), QStringLiteral("--fleet-member=1")}, QStringLiteral("takes no value")},
      {{QStringLiteral("compare"), QStringLiteral("publish")}, QStringLiteral("unexpected argument \"publish\"")},
      {{QStringLiteral("compare"), QStringLiteral("--report"), QStringLiteral("--format"), QStringLiteral("json")},
       QStringLiteral("--report needs a value")},
      {{QStringLiteral("compare"), QStringLiteral("--kinds=views"), QStringLiteral("--kinds=routines")},
       QStringLiteral("--kinds is given twice")},
      {{QStringLiteral("compare"), QStringLiteral("-q"), QStringLiteral("--quiet")}, QStringLiteral("--quiet is given twice")},
      {{QStringLiteral("compare"), QStringLiteral("-q"), QStringLiteral("-v")}, QStringLiteral("cannot be combined")},
      {{QStringLiteral("compare"), QStringLiteral("--report=a.txt"), QStringLiteral("--report=b.txt")},
       QStringLiteral("--report FILE is given twice")},
      {{QStringLiteral("compare"), QStringLiteral("--report=json:-"), QStringLiteral("--report=text:-")},
       QStringLiteral("only one report can go to standard output")},
      {{QStringLiteral("compare"), QStringLiteral("--report=json:r"), QStringLiteral("--report=html:r")},
       QStringLiteral("two reports name the file r")},
      {{QStringLiteral("compare"), QStringLiteral("--report=json:"), QStringLiteral("--report=html:r")},
       QStringLiteral("--report json: names no file")},
      {{QStringLiteral("compare"), QStringLiteral("--format=json"), QStringLiteral("--report=html:r")},
       QStringLiteral("--format applies to --report FILE")},
      {{QStringLiteral("compare"), QStringLiteral("Server=a"), QStringLiteral("Database=b"), QStringLiteral("server=c")},
       QStringLiteral("server= is given twice")},
      {{QStringLiteral("compare"), QStringLiteral("Server="), QStringLiteral("Database=b")}, QStringLiteral("Server= has no value")},
      {{QStringLiteral("compare"), QStringLiteral("Server=a")}, QStringLiteral("Server= and Database= go together")},
      {{QStringLiteral("compare"), QStringLiteral("Server=a\x1c"), QStringLiteral("Database=b")},
       QStringLiteral("Server= holds a control character")},
      {{QStringLiteral("compare"), QStringLiteral("--jobs=2")}, QStringLiteral("--jobs works only with --fleet")},
      {{QStringLiteral("compare"), QStringLiteral("-V")}, QStringLiteral("-V takes no value and no other argument")},
      // A pattern that cannot narrow anything is a mistake, on every command that takes one.
      {{QStringLiteral("compare"), QStringLiteral("--include"), QString()}, QStringLiteral("--include needs a pattern")},
      {{QStringLiteral("repair"), QStringLiteral("--apply"), QStringLiteral("--exclude"), QStringLiteral(" ")},
       QStringLiteral("--exclude needs a pattern")},
      {{QStringLiteral("compare"), QStringLiteral("--include=*")}, QStringLiteral("--include \"*\" matches every object")},
      {{QStringLiteral("drift"), QStringLiteral("--baseline=b.xml"), QStringLiteral("--exclude=*.*")},
       QStringLiteral("--exclude \"*.*\" matches every object")},
      {{QStringLiteral("compare"), QStringLiteral("--include=?*.?*")}, QStringLiteral("matches every object")},
      {{QStringLiteral("compare"), QStringLiteral("--include=sales\x01")}, QStringLiteral("holds a control character")},
      {{QStringLiteral("publish"), QStringLiteral("--include=sales.*")},
       QStringLiteral("--include and --exclude work only with compare, drift and repair")},
      {{QStringLiteral("snapshot"), QStringLiteral("--exclude=sales.*")}, QStringLiteral("work only with compare, drift and repair")},
      {{QStringLiteral("compare"), QStringLiteral("--allow-index-loss")}, QStringLiteral("--allow-index-loss works only with repair")},
      {{QStringLiteral("repair"), QStringLiteral("--apply"), QStringLiteral("--fleet=f")}, QStringLiteral("give --yes")},
      {{QStringLiteral("repair"), QStringLiteral("--script=s.sql"), QStringLiteral("--fleet=f")},
       QStringLiteral("repair --fleet needs --apply and no --script")},
      {{QStringLiteral("repair"), QStringLiteral("--apply"), QStringLiteral("--yes"), QStringLiteral("--fleet=f"), QStringLiteral("--jobs=2")},
       QStringLiteral("targets are repaired one at a time")},
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

TEST(OptionsTest, ConventionsOfCommandLines) {
  for (const QStringList& Arguments : QList<QStringList>{{QStringLiteral("--version")}, {QStringLiteral("-V")}})
    EXPECT_EQ(ParseOptions(Arguments).Command, TCommand::ShowVersion);
  for (const QStringList& Arguments : QList<QStringList>{{QStringLiteral("help")}, {QStringLiteral("-h")},
                                                          {QStringLiteral("compare"), QStringLiteral("--help")}})
    EXPECT_EQ(ParseOptions(Arguments).Command, TCommand::Help);
  // After "--" nothing is an option: a setting may start with a dash.
  const TCliOptions Ended = ParseOptions({QStringLiteral("compare"), QStringLiteral("--"), QStringLiteral("Server=-s"),
                                          QStringLiteral("Database=--d")});
  EXPECT_EQ(Ended.Settings, QStringList({QStringLiteral("Server=-s"), QStringLiteral("Database=--d")}));
  EXPECT_EQ(ParseOptions({QStringLiteral("compare"), QStringLiteral("-v")}).Verbosity, TVerbosity::Verbose);
  EXPECT_EQ(ParseOptions({QStringLiteral("compare"), QStringLiteral("--quiet")}).Verbosity, TVerbosity::Quiet);
  const TCliOptions Filtered = ParseOptions({QStringLiteral("compare"), QStringLiteral("--include=sales.*"),
                                             QStringLiteral("--include"), QStringLiteral("*.usp_*"),
                                             QStringLiteral("--exclude=*.tmp"), QStringLiteral("--exclude=x.?")});
  EXPECT_EQ(Filtered.Includes, QStringList({QStringLiteral("sales.*"), QStringLiteral("*.usp_*")}));
  EXPECT_EQ(Filtered.Excludes, QStringList({QStringLiteral("*.tmp"), QStringLiteral("x.?")}));
}

TEST(OptionsTest, ReportsNameTheirFormatOrTakeFormatAsShorthand) {
  struct TCase {
    QStringList Arguments;
    QList<TReportRequest> Reports;
  };
  const QList<TCase> Cases{
      {{}, {{TReportFormat::Text, QStringLiteral("-")}}},
      {{QStringLiteral("--format"), QStringLiteral("json")}, {{TReportFormat::Json, QStringLiteral("-")}}},
      {{QStringLiteral("--report"), QStringLiteral("r.xml"), QStringLiteral("--format=junit")},
       {{TReportFormat::JUnit, QStringLiteral("r.xml")}}},
      {{QStringLiteral("--report"), QStringLiteral("junit:r.xml"), QStringLiteral("--report=html:r.html"),
        QStringLiteral("--report"), QStringLiteral("json:-")},
       {{TReportFormat::JUnit, QStringLiteral("r.xml")}, {TReportFormat::Html, QStringLiteral("r.html")},
        {TReportFormat::Json, QStringLiteral("-")}}},
      // A colon after a slash is part of the file's name.
      {{QStringLiteral("--report"), QStringLiteral("out/a:b.txt")}, {{TReportFormat::Text, QStringLiteral("out/a:b.txt")}}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Arguments.join(u' ').toStdString());
    EXPECT_EQ(ParseOptions(QStringList{QStringLiteral("compare")} + Case.Arguments).Reports, Case.Reports);
  }
}

// A name with "%1" in it is written as it is, never taken for a placeholder.
TEST(ReportsTest, NamesWithPercentSignsAreReportedAsWritten) {
  TTargetResult Result;
  Result.Name = QStringLiteral("eu%1-target");
  Result.Server = QStringLiteral("srv%1%2");
  Result.Database = QStringLiteral("Shop%4");
  Result.Version = 3;
  for (const TReportFormat Format : {TReportFormat::Text, TReportFormat::Html, TReportFormat::JUnit, TReportFormat::Json}) {
    const QString Report = QString::fromUtf8(RenderReport(Format, {Result}, true));
    SCOPED_TRACE(Report.toStdString());
    for (const QString& Name : {Result.Name, Result.Server, Result.Database})
      EXPECT_TRUE(Report.contains(Name)) << Name.toStdString();
  }
  EXPECT_TRUE(QString::fromUtf8(RenderReport(TReportFormat::Text, {Result}, false))
                  .startsWith(QStringLiteral("0 anomalies in Shop%4 on srv%1%2 (version 3) in 0.0s\n")));
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
             "Server=s5\n"
             "Server=s6 Database=d6 Driver=\"ODBC Driver 18 for SQL Server\"\n"
             "Server=\"s7 Database=d7\n"
             "Server=s8 Server=s9 Database=d8\n"
             "Server=s10 Database=d10\x01\n"
             "Name=n Name=m Server=s11 Database=d11\n");
  File.close();
  QStringList Outcomes;
  for (const TFleetTarget& Target : ReadFleetFile(Fleet))
    Outcomes.append(QStringLiteral("%1|%2|%3|%4").arg(QString::number(Target.Line), Target.Name, Target.Settings.join(u' '), Target.Error));
  EXPECT_EQ(Outcomes, QStringList({QStringLiteral("2|a|Server=s1 Database=d1 User=u|"),
                                   QStringLiteral("4|s2/d2|Server=s2 Database=d2|"),
                                   QStringLiteral("5|line 5|Server=s3|fleet file line 5: \"d3\" is not a key=value setting"),
                                   QStringLiteral("6|s4/d4|Server=s4 Database=d4 Password=x|fleet file line 6: unknown setting "
                                                  "\"Password\" (known: Server, Database, User, Service, Driver)"),
                                   QStringLiteral("7|line 7|Server=s5|fleet file line 7: Server= and Database= go together: "
                                                  "give both, or neither to use the data-link file"),
                                   QStringLiteral("8|s6/d6|Server=s6 Database=d6 Driver=ODBC Driver 18 for SQL Server|"),
                                   QStringLiteral("9|line 9||fleet file line 9: a double quote is not closed"),
                                   QStringLiteral("10|s9/d8|Server=s8 Server=s9 Database=d8|fleet file line 10: Server= is given twice"),
                                   QStringLiteral("11|s10/d10\x01|Server=s10 Database=d10\x01|fleet file line 11: Database= holds a "
                                                  "control character"),
                                   QStringLiteral("12|n||fleet file line 12: Name= is given twice")}));
}

// Names and texts as a database may hold them: control characters, lone surrogates at the
// start, in the middle and at the end, a leading U+FEFF, the two non-characters XML refuses.
// A text keeps each character XML cannot carry as a \uXXXX escape; a name shows each hidden
// character as its marker, as every report does, and only the non-characters as escapes.
TEST(ReportsTest, EveryFormatStaysValidAndKeepsEveryCharacterWhateverTheNamesHold) {
  struct TCase {
    const char* Name;
    QString Text;
    QString InXml;
    QString NameInXml;
  };
  const QChar Lone(0xD800);
  const QList<TCase> Cases{
      {"control characters only", QStringLiteral("\x01\x02\x03"), QStringLiteral("\\u0001\\u0002\\u0003"),
       QStringLiteral("\u27E8U+0001\u27E9\u27E8U+0002\u27E9\u27E8U+0003\u27E9")},
      {"lone surrogate first", Lone + QStringLiteral("ab"), QStringLiteral("\\uD800ab"), QStringLiteral("\u27E8U+D800\u27E9ab")},
      {"lone surrogate inside", QStringLiteral("a") + QChar(0xDC01) + QStringLiteral("b"), QStringLiteral("a\\uDC01b"),
       QStringLiteral("a\u27E8U+DC01\u27E9b")},
      {"lone surrogate last", QStringLiteral("ab") + Lone, QStringLiteral("ab\\uD800"), QStringLiteral("ab\u27E8U+D800\u27E9")},
      {"pair kept", QStringLiteral("a\U0001F600b"), QStringLiteral("a\U0001F600b"), QStringLiteral("a\U0001F600b")},
      {"byte-order mark first", QChar(0xFEFF) + QStringLiteral("v"), QChar(0xFEFF) + QStringLiteral("v"),
       QStringLiteral("\u27E8U+FEFF\u27E9v")},
      {"non-characters", QStringLiteral("\uFFFE\uFFFF"), QStringLiteral("\\uFFFE\\uFFFF"), QStringLiteral("\\uFFFE\\uFFFF")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TTargetResult Result;
    Result.Name = Case.Text;
    Result.Server = QStringLiteral("srv");
    Result.Database = Case.Text;
    Result.Compared = {{Case.Text, QStringLiteral("view")}, {QStringLiteral("dbo.After"), QStringLiteral("view")}};
    Result.Anomalies = {{Case.Text, QStringLiteral("view"), Case.Text, QStringLiteral("SELECT 1"),
                         QStringLiteral("SELECT '") + Case.Text + u'\''}};
    Result.MissingLocally = {{Case.Text, QStringLiteral("routine")}};
    TTargetResult Failed;
    Failed.Name = QStringLiteral("second");
    Failed.Error = Case.Text;

    QXmlStreamReader Xml(RenderReport(TReportFormat::JUnit, {Result, Failed}, true));
    QStringList TestCases;
    QString Failure;
    QString Error;
    while (!Xml.atEnd()) {
      if (Xml.readNext() != QXmlStreamReader::StartElement)
        continue;
      if (Xml.name() == u"testcase")
        TestCases.append(Xml.attributes().value(QStringLiteral("name")).toString());
      else if (Xml.name() == u"failure")
        Failure = Xml.readElementText();
      else if (Xml.name() == u"error")
        Error = Xml.attributes().value(QStringLiteral("message")).toString();
    }
    EXPECT_FALSE(Xml.hasError()) << Xml.errorString().toStdString();
    EXPECT_EQ(TestCases, QStringList({Case.NameInXml, QStringLiteral("dbo.After"), Case.NameInXml, QStringLiteral("check")}));
    EXPECT_TRUE(Failure.contains(QStringLiteral("+SELECT '") + Case.InXml + u'\'')) << Failure.toStdString();
    EXPECT_EQ(Error, Case.InXml + QStringLiteral(" (the comparison is incomplete)"));

    QJsonParseError JsonError;
    const QJsonDocument Json = QJsonDocument::fromJson(RenderReport(TReportFormat::Json, {Result}, false), &JsonError);
    ASSERT_EQ(JsonError.error, QJsonParseError::NoError) << JsonError.errorString().toStdString();
    const TTargetResult Back = ResultFromJson(Json.object()[QStringLiteral("targets")].toArray().at(0).toObject());
    EXPECT_EQ(Back.Name, Result.Name);
    EXPECT_EQ(Back.Database, Result.Database);
    EXPECT_EQ(Back.Anomalies, Result.Anomalies);
    EXPECT_EQ(Back.MissingLocally, Result.MissingLocally);
  }
}

}  // namespace
}  // namespace quillon::cli
