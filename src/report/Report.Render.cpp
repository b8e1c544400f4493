// The entry points of the reports: a format's name, and the writer of that format for a
// compare or a drift result list.
#include "report/Report.Render.h"

#include "report/Report.Writers.h"

namespace quillon {

bool ReportFormatFromName(const QString& AName, TReportFormat& AFormat) {
  static const QList<std::pair<QString, TReportFormat>> Names{{QStringLiteral("text"), TReportFormat::Text},
                                                              {QStringLiteral("json"), TReportFormat::Json},
                                                              {QStringLiteral("junit"), TReportFormat::JUnit},
                                                              {QStringLiteral("html"), TReportFormat::Html}};
  for (const auto& [Name, Format] : Names) {
    if (Name == AName) {
      AFormat = Format;
      return true;
    }
  }
  return false;
}

QByteArray RenderReport(TReportFormat AFormat, const QList<TTargetResult>& AResults, bool AFleet,
                        const TTextReportOptions& ATextOptions) {
  switch (AFormat) {
    case TReportFormat::Json: return JsonReport(AResults);
    case TReportFormat::JUnit: return JUnitReport(AResults);
    case TReportFormat::Html: return HtmlReport(AResults).toUtf8();
    case TReportFormat::Text: break;
  }
  return TextReport(AResults, AFleet, ATextOptions).toUtf8();
}

QByteArray RenderDriftReport(TReportFormat AFormat, const QList<TDriftTargetResult>& AResults, bool AFleet) {
  switch (AFormat) {
    case TReportFormat::Json: return JsonReport(AResults);
    case TReportFormat::JUnit: return JUnitReport(AResults);
    case TReportFormat::Html: return HtmlReport(AResults).toUtf8();
    case TReportFormat::Text: break;
  }
  return TextReport(AResults, AFleet).toUtf8();
}

}  // namespace quillon
