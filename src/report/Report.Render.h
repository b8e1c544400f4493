// The reports' formats and entry points: a compare result list rendered as text, JSON, JUnit or
// HTML (the drift entry point is in report/Report.Drift.h).
#pragma once

#include "report/Report.Result.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace quillon {

enum class TReportFormat { Text, Json, JUnit, Html };

constexpr int JsonReportFormatVersion = 1;

// "text", "json", "junit" or "html"; false for anything else.
bool ReportFormatFromName(const QString& AName, TReportFormat& AFormat);

struct TTextReportOptions {
  // A unified diff with three lines of context under each anomaly.
  bool Diff = true;
  // Terminal colours in that diff.
  bool Colour = false;
};

// The report of one check, or of a fleet check when AFleet is set: text for people (a line
// and a diff per anomaly, then a summary), JSON, JUnit XML (one test case per compared object,
// anomalies as failures, a failed target as an error) or one self-contained HTML page with a
// side-by-side line diff of every anomaly, linked from the summary.
QByteArray RenderReport(TReportFormat AFormat, const QList<TTargetResult>& AResults, bool AFleet,
                        const TTextReportOptions& ATextOptions = {});

// A report's JSON document, indented, every string intact.
QByteArray JsonText(const QJsonObject& AObject);

// The fleet's summary table: target, version, anomalies, status and time, one row a target.
QString SummaryTable(const QList<TTargetResult>& AResults);

}  // namespace quillon
