// The four report writers, each rendering a compare and a drift result list, and the words
// they share (status, time, captions). Report.Render.cpp chooses the writer for a format.
// A new format is a new Report.<Format>.cpp with both writers, a TReportFormat value and its
// name; every name it shows goes through report/Report.Names.h.
#pragma once

#include "report/Report.Drift.h"
#include "report/Report.Render.h"
#include "report/Report.Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace quillon {

QString TextReport(const QList<TTargetResult>& AResults, bool AFleet, const TTextReportOptions& AOptions);
QString TextReport(const QList<TDriftTargetResult>& AResults, bool AFleet);

// Both as {formatVersion, targets, exitCode}, one shape for a single check and a fleet.
QByteArray JsonReport(const QList<TTargetResult>& AResults);
QByteArray JsonReport(const QList<TDriftTargetResult>& AResults);

QByteArray JUnitReport(const QList<TTargetResult>& AResults);
QByteArray JUnitReport(const QList<TDriftTargetResult>& AResults);

QString HtmlReport(const QList<TTargetResult>& AResults);
QString HtmlReport(const QList<TDriftTargetResult>& AResults);

// The status a summary shows: "CANCELLED", "FAILED", or what the finished check found
// ("anomalies", "findings" or "ok"; "drift" or "ok").
QString StatusWord(const TTargetResult& AResult);
QString StatusWord(const TDriftTargetResult& AResult);

// "12.3s".
QString Seconds(double ASeconds);

// The names of the two sides of a compare diff: "Gold standard, version 523" and "Local, Shop
// on sql01".
QString GoldCaption(const TTargetResult& AResult);
QString LocalCaption(const TTargetResult& AResult);

// "repaired", or the outcome with the server's message or the refusal after it.
QString RepairOutcomeLine(const TRepairRecord& ARepair);

// Drift fields that hold a whole text; a report shows them as a diff rather than as two values.
bool IsTextField(const QString& AField);
qsizetype CountOf(const TDriftTargetResult& AResult, TDriftChange AChange);
// "baseline.xml (Shop on sql01, version 12)".
QString BaselineDescription(const TDriftTargetResult& AResult);

}  // namespace quillon
