#pragma once

#include "cli/Cli.Result.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamWriter>
#include <QList>
#include <QString>

namespace quillon::cli {

enum class TReportFormat { Text, Json, JUnit, Html };

// "text", "json", "junit" or "html"; false for anything else.
bool ReportFormatFromName(const QString& AName, TReportFormat& AFormat);

// The report of one check, or of a fleet check when AFleet is set: text for people (one line
// per anomaly, then a summary), JSON, JUnit XML (one test case per compared object, anomalies
// as failures, a failed target as an error) or one self-contained HTML page with a
// side-by-side line diff of every anomaly.
QByteArray RenderReport(TReportFormat AFormat, const QList<TTargetResult>& AResults, bool AFleet);

// A report's JSON document, indented, every string intact (see the definition).
QByteArray JsonText(const QJsonObject& AObject);

// The JSON report of one target as AToJson gives it, or of a fleet: {"targets": [...],
// "exitCode": the worst exit code}.
template <class TResult, class FToJson>
QByteArray JsonTargets(const QList<TResult>& AResults, bool AFleet, FToJson AToJson) {
  if (!AFleet && AResults.size() == 1)
    return JsonText(AToJson(AResults.first()));
  QJsonArray Targets;
  for (const TResult& Result : AResults)
    Targets.append(AToJson(Result));
  return JsonText(QJsonObject{{QStringLiteral("targets"), Targets}, {QStringLiteral("exitCode"), CombinedExitCode(AResults)}});
}

// Qt's writer with every attribute value and text made visible: reports pass names and texts
// from the database straight in. Hides the writer's own functions of those names.
class TJUnitXmlWriter : public QXmlStreamWriter {
public:
  using QXmlStreamWriter::QXmlStreamWriter;
  void writeAttribute(const QString& AName, const QString& AValue);
  void writeCharacters(const QString& AText);
};

// Opens the <testsuite> element of one target of a JUnit report.
void WriteTestSuiteStart(TJUnitXmlWriter& AXml, const QString& AName, qsizetype ATests, qsizetype AFailures,
                         bool AFailed, double ASeconds);

// The style sheet of the HTML reports.
QString HtmlStyleSheet();
// A side-by-side line diff of two texts as an HTML table, added, deleted and modified lines
// marked.
QString HtmlSideBySide(const QString& ALeftTitle, const QString& ARightTitle, const QString& ALeft,
                       const QString& ARight);

// The fleet's summary table: target, version, anomalies, status and time, one row a target.
QString SummaryTable(const QList<TTargetResult>& AResults);

}  // namespace quillon::cli
