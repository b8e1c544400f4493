// Every report format rendered from one compare result and one drift result whose names try to
// rewrite, reverse or break the report: each format shows them by the same rule.
#include "report/Report.Drift.h"
#include "report/Report.Names.h"
#include "report/Report.Render.h"
#include "support/QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace quillon {
namespace {

// A name as the model makes it and as text and JUnit must show it.
struct THostileName {
  const char* What;
  QString FullName;
  QString Shown;
};

const QList<THostileName>& HostileNames() {
  static const QList<THostileName> Names{
      {"carriage return", QStringLiteral("[dbo].[Log\rOK]"), QStringLiteral("[dbo].[Log\u27E8U+000D\u27E9OK]")},
      {"right-to-left override", QStringLiteral("[dbo].[Order\u202Etxt]"), QStringLiteral("[dbo].[Order\u27E8U+202E\u27E9txt]")},
      {"bracket and markup", QStringLiteral("[dbo].[a]b<i>&c]"), QStringLiteral("[dbo].[a]]b<i>&c]")},
  };
  return Names;
}

// Each hostile name an anomaly of the first target; the second target failed. One anomaly is
// repaired, one object is on the ignore list, so that every kind of test case is written.
QList<TTargetResult> CompareResults() {
  TTargetResult Result;
  Result.Name = QStringLiteral("sql01/Shop");
  Result.Server = QStringLiteral("sql01");
  Result.Database = QStringLiteral("Shop");
  Result.Version = 12;
  for (const THostileName& Name : HostileNames()) {
    Result.Compared.append({Name.FullName, QStringLiteral("view")});
    Result.Anomalies.append({Name.FullName, QStringLiteral("view"), Name.FullName.toUpper(), QStringLiteral("SELECT 1"),
                             QStringLiteral("SELECT 2")});
  }
  Result.Compared.append({QStringLiteral("[dbo].[Ignored]"), QStringLiteral("routine")});
  Result.Ignored.append({QStringLiteral("[dbo].[Ignored]"), QStringLiteral("routine")});
  Result.RepairApplied = true;
  Result.Repairs.append({HostileNames().at(0).FullName, QStringLiteral("view"), QStringLiteral("repaired"), QString()});
  TTargetResult Failed;
  Failed.Name = QStringLiteral("sql02/Shop");
  Failed.Error = QStringLiteral("cannot connect");
  return {Result, Failed};
}

QList<TDriftTargetResult> DriftResults() {
  TDriftTargetResult Result;
  Result.Name = QStringLiteral("sql01/Shop");
  Result.Server = QStringLiteral("sql01");
  Result.Database = QStringLiteral("Shop");
  Result.BaselinePath = QStringLiteral("baseline.xml");
  const TDriftChange Changes[] = {TDriftChange::Changed, TDriftChange::Added, TDriftChange::Removed};
  for (qsizetype i = 0; i < HostileNames().size(); ++i) {
    const QString& FullName = HostileNames().at(i).FullName;
    Result.Drift.Compared.append({TDriftKind::View, FullName});
    Result.Drift.Items.append({TDriftKind::View, FullName, Changes[i],
                               {{QStringLiteral("VIEW_DEFINITION"), QStringLiteral("SELECT 1"), QStringLiteral("SELECT 2")}},
                               QStringLiteral("SELECT 1"), QStringLiteral("SELECT 2")});
  }
  Result.Drift.Compared.append({TDriftKind::View, QStringLiteral("[dbo].[Same]")});
  TDriftTargetResult Failed;
  Failed.Name = QStringLiteral("sql02/Shop");
  Failed.Error = QStringLiteral("cannot connect");
  return {Result, Failed};
}

// The compare and the drift report in AFormat.
QList<std::pair<const char*, QByteArray>> Reports(TReportFormat AFormat) {
  return {{"compare", RenderReport(AFormat, CompareResults(), true)},
          {"drift", RenderDriftReport(AFormat, DriftResults(), true)}};
}

// What no report but JSON may hold: the raw characters that rewrite or reverse a line.
void ExpectNoRawHiddenCharacters(const QString& AReport) {
  EXPECT_FALSE(AReport.contains(u'\r'));
  EXPECT_FALSE(AReport.contains(QChar(0x202E)));
}

TEST(ReportNames, BracketsQuotedAgainAndHiddenCharactersMarked) {
  const struct {
    const char* What;
    QString FullName;
    QString Shown;
  } Cases[] = {
      {"plain", QStringLiteral("[dbo].[Orders]"), QStringLiteral("[dbo].[Orders]")},
      {"a bracket in the name", QStringLiteral("[dbo].[a]b]"), QStringLiteral("[dbo].[a]]b]")},
      {"a bracket in the schema", QStringLiteral("[s]x].[t]"), QStringLiteral("[s]]x].[t]")},
      {"three parts, the table named T]", QStringLiteral("[dbo].[T]].[IX]"), QStringLiteral("[dbo].[T]]].[IX]")},
      {"one part", QStringLiteral("[SALES]]]"), QStringLiteral("[SALES]]]]]")},
      {"unbracketed column keeps its brackets", QStringLiteral("dbo.T].x.c"), QStringLiteral("dbo.T].x.c")},
      {"hidden characters", QStringLiteral("[dbo].[a\u200Bb\x01]"), QStringLiteral("[dbo].[a\u27E8U+200B\u27E9b\u27E8U+0001\u27E9]")},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    EXPECT_EQ(ReportName(Case.FullName), Case.Shown);
  }
  EXPECT_EQ(HtmlName(QStringLiteral("[dbo].[a]<b>&\u202E]")), QStringLiteral("[dbo].[a]]&lt;b&gt;&amp;\u27E8U+202E\u27E9]"));
}

TEST(ReportFormats, TextShowsEveryNameByTheOneRule) {
  for (const auto& [Which, Bytes] : Reports(TReportFormat::Text)) {
    SCOPED_TRACE(Which);
    const QString Report = QString::fromUtf8(Bytes);
    for (const THostileName& Name : HostileNames())
      EXPECT_TRUE(Report.contains(Name.Shown)) << Name.What << "\n" << Report.toStdString();
    ExpectNoRawHiddenCharacters(Report);
    EXPECT_TRUE(Report.contains(QStringLiteral("ERROR: cannot connect\n"))) << Report.toStdString();
  }
}

TEST(ReportFormats, HtmlShowsEveryNameEscapedByTheOneRule) {
  for (const auto& [Which, Bytes] : Reports(TReportFormat::Html)) {
    SCOPED_TRACE(Which);
    const QString Report = QString::fromUtf8(Bytes);
    for (const THostileName& Name : HostileNames())
      EXPECT_TRUE(Report.contains(Name.Shown.toHtmlEscaped())) << Name.What << "\n" << Report.toStdString();
    ExpectNoRawHiddenCharacters(Report);
    EXPECT_FALSE(Report.contains(QStringLiteral("<i>"))) << Report.toStdString();
    EXPECT_TRUE(Report.contains(QStringLiteral("<p class=\"failed\">cannot connect"))) << Report.toStdString();
  }
}

// The test cases' names as a CI server reads them.
QStringList TestCaseNames(const QByteArray& AReport) {
  QXmlStreamReader Xml(AReport);
  QStringList Names;
  while (!Xml.atEnd())
    if (Xml.readNext() == QXmlStreamReader::StartElement && Xml.name() == u"testcase")
      Names.append(Xml.attributes().value(QStringLiteral("name")).toString());
  EXPECT_FALSE(Xml.hasError()) << Xml.errorString().toStdString();
  return Names;
}

// xmllint's complaints about AReport against the strict JUnit schema; empty when it is valid.
QString SchemaErrors(const QByteArray& AReport) {
  QTemporaryDir Folder;
  const QString File = Folder.filePath(QStringLiteral("report.xml"));
  QFile Out(File);
  if (!Out.open(QIODevice::WriteOnly) || Out.write(AReport) != AReport.size())
    return QStringLiteral("cannot write ") + File;
  Out.close();
  QProcess Lint;
  Lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--schema"),
                                         QStringLiteral(QUILLON_JUNIT_SCHEMA), File});
  if (!Lint.waitForFinished(60000))
    return QStringLiteral("xmllint did not run: ") + Lint.errorString();
  return Lint.exitCode() == 0 ? QString() : QString::fromUtf8(Lint.readAllStandardError());
}

TEST(ReportFormats, JUnitShowsEveryNameByTheOneRuleAndPassesTheStrictSchema) {
  const QStringList Shown{HostileNames().at(0).Shown, HostileNames().at(1).Shown, HostileNames().at(2).Shown};
  const QList<std::pair<const char*, QStringList>> Expected{
      {"compare", QStringList{QStringLiteral("check")} + Shown + QStringList{QStringLiteral("[dbo].[Ignored]")}},
      {"drift", QStringList{QStringLiteral("drift")} + Shown + QStringList{QStringLiteral("[dbo].[Same]")}}};
  const QList<std::pair<const char*, QByteArray>> Rendered = Reports(TReportFormat::JUnit);
  for (qsizetype i = 0; i < Rendered.size(); ++i) {
    const auto& [Which, Report] = Rendered[i];
    SCOPED_TRACE(Which);
    // The failed target's error case comes after the first target's cases.
    QStringList Names = TestCaseNames(Report);
    std::rotate(Names.begin(), Names.end() - 1, Names.end());
    EXPECT_EQ(Names, Expected[i].second) << Report.toStdString();
    ExpectNoRawHiddenCharacters(QString::fromUtf8(Report));
    EXPECT_FALSE(Report.contains("<i>")) << Report.toStdString();
    EXPECT_EQ(SchemaErrors(Report), QString()) << Report.toStdString();
  }
}

// JSON is data: every name comes back as the model wrote it.
TEST(ReportFormats, JsonKeepsEveryNameIntact) {
  QStringList Raw;
  for (const THostileName& Name : HostileNames())
    Raw.append(Name.FullName);
  const QList<std::pair<const char*, QString>> Lists{{"compare", QStringLiteral("anomalies")},
                                                     {"drift", QStringLiteral("drift")}};
  const QList<std::pair<const char*, QByteArray>> Rendered = Reports(TReportFormat::Json);
  for (qsizetype i = 0; i < Rendered.size(); ++i) {
    SCOPED_TRACE(Rendered[i].first);
    QJsonParseError Error;
    const QJsonDocument Json = QJsonDocument::fromJson(Rendered[i].second, &Error);
    ASSERT_EQ(Error.error, QJsonParseError::NoError) << Error.errorString().toStdString();
    QStringList Names;
    for (const QJsonValue& Entry : Json[QStringLiteral("targets")][0][Lists[i].second].toArray())
      Names.append(Entry[QStringLiteral("fullName")].toString());
    EXPECT_EQ(Names, Raw);
  }
}

}  // namespace
}  // namespace quillon
