// The text report for people, of a compare and of a drift: a heading per target in a fleet,
// a line per object, an error line for a target that failed, then a summary line.
#include "report/Report.Writers.h"

#include "infra/text/Support.Format.h"
#include "report/Report.LineDiff.h"
#include "report/Report.Names.h"

#include <algorithm>
#include <optional>

namespace quillon {

namespace {

QString Heading(const QString& AName, bool AFleet) {
  return AFleet ? QStringLiteral("== %1 ==\n").arg(ReportText(AName)) : QString();
}

QString ErrorLine(const QString& AError) { return QStringLiteral("ERROR: %1\n").arg(AError); }

// "VIEW [dbo].[V]"
QString KindAndName(const QString& AKind, const QString& AFullName) {
  return AKind.toUpper() + u' ' + ReportName(AFullName);
}

QString TextReport(const TTargetResult& AResult, bool AFleet, const TTextReportOptions& AOptions) {
  QString Out = Heading(AResult.Name, AFleet);
  const TUnifiedDiffOptions DiffOptions{3, true, AOptions.Colour};
  for (const TAnomalyRecord& Anomaly : AResult.Anomalies) {
    Out += KindAndName(Anomaly.Kind, Anomaly.FullName) + QStringLiteral(": differs from the gold standard\n");
    if (AOptions.Diff)
      Out += UnifiedDiff(Anomaly.Expected, Anomaly.Actual, GoldCaption(AResult), LocalCaption(AResult), DiffOptions);
  }
  for (const TFindingGroup& Group : FindingGroups()) {
    const QList<TFindingRecord>& Records = AResult.*Group.Records;
    if (Records.isEmpty())
      continue;
    Out += QStringLiteral("%1:\n").arg(Group.Title);
    for (const TFindingRecord& Record : Records)
      Out += QStringLiteral("  ") + KindAndName(Record.Kind, Record.FullName) + u'\n';
  }
  if (AResult.RepairApplied) {
    Out += QStringLiteral("Repair:\n");
    for (const TRepairRecord& Repair : AResult.Repairs)
      Out += QStringLiteral("  ") + KindAndName(Repair.Kind, Repair.FullName) + QStringLiteral(": ") +
             RepairOutcomeLine(Repair) + u'\n';
  }
  if (AResult.Failed())
    return Out + ErrorLine(AResult.Error) + QStringLiteral("The comparison is incomplete.\n");
  // One arg() for all: a name holding "%1" must never be taken for a placeholder.
  Out += QStringLiteral("%1 anomalies in %2 on %3 (version %4) in %5\n")
             .arg(QString::number(AResult.Anomalies.size()), ReportText(AResult.Database), ReportText(AResult.Server),
                  QString::number(AResult.Version), Seconds(AResult.Seconds));
  if (!AResult.ComparedText.isEmpty())
    Out += AResult.ComparedText + u'\n';
  if (!AResult.FilterText().isEmpty())
    Out += AResult.FilterText() + u'\n';
  if (!AResult.SnapshotPath.isEmpty())
    Out += QStringLiteral("Snapshot: %1\n").arg(ReportText(AResult.SnapshotPath));
  return Out;
}

QString Indented(const QString& AText, const QString& AIndent) {
  QString Out;
  for (const QString& Line : SplitTextLines(AText))
    Out += AIndent + Line + u'\n';
  return Out;
}

QString FieldLines(const TDriftField& AField) {
  if (!IsTextField(AField.Field))
    return QStringLiteral("      %1: %2 -> %3\n")
        .arg(AField.Field, ReportText(AField.Baseline), ReportText(AField.Target));
  TUnifiedDiffOptions DiffOptions;
  DiffOptions.ShowHidden = true;
  return QStringLiteral("      %1:\n").arg(AField.Field) +
         Indented(UnifiedDiff(AField.Baseline, AField.Target, QStringLiteral("baseline"), QStringLiteral("target"),
                              DiffOptions),
                  QStringLiteral("        "));
}

QString TextReport(const TDriftTargetResult& AResult, bool AFleet) {
  QString Out = Heading(AResult.Name, AFleet);
  if (AResult.Failed())
    return Out + ErrorLine(AResult.Error);
  for (const QString& Note : AResult.Drift.Notes)
    Out += QStringLiteral("NOTE: %1\n").arg(Note);
  std::optional<TDriftKind> Kind;
  for (const TDriftItem& Item : AResult.Drift.Items) {
    if (Kind != Item.Kind) {
      Kind = Item.Kind;
      Out += DriftKindName(Item.Kind).toUpper() + u'\n';
    }
    Out += QStringLiteral("  ") + DriftChangeName(Item.Change).leftJustified(8) + u' ' + ReportName(Item.FullName) + u'\n';
    for (const TDriftField& Field : Item.Fields)
      Out += FieldLines(Field);
  }
  Out += QStringLiteral("%1 objects drifted (%2 added, %3 removed, %4 changed) in %5 on %6 against %7 in %8\n")
             .arg(QString::number(AResult.Drift.Items.size()), QString::number(CountOf(AResult, TDriftChange::Added)),
                  QString::number(CountOf(AResult, TDriftChange::Removed)),
                  QString::number(CountOf(AResult, TDriftChange::Changed)), ReportText(AResult.Database),
                  ReportText(AResult.Server), ReportText(BaselineDescription(AResult)), Seconds(AResult.Seconds));
  return Out;
}

template <typename TResult, typename... TOptions>
QString TextReportOfAll(const QList<TResult>& AResults, bool AFleet, const TOptions&... AOptions) {
  QString Out;
  for (const TResult& Result : AResults)
    Out += TextReport(Result, AFleet, AOptions...);
  return Out;
}

}  // namespace

QString TextReport(const QList<TTargetResult>& AResults, bool AFleet, const TTextReportOptions& AOptions) {
  return TextReportOfAll(AResults, AFleet, AOptions);
}

QString TextReport(const QList<TDriftTargetResult>& AResults, bool AFleet) { return TextReportOfAll(AResults, AFleet); }

QString SummaryTable(const QList<TTargetResult>& AResults) {
  const QStringList Header{QStringLiteral("TARGET"), QStringLiteral("VERSION"), QStringLiteral("ANOMALIES"),
                           QStringLiteral("STATUS"), QStringLiteral("TIME")};
  QList<QStringList> Rows{Header};
  for (const TTargetResult& Result : AResults)
    Rows.append({ReportText(Result.Name), Result.Failed() ? QStringLiteral("-") : QString::number(Result.Version),
                 Result.Failed() ? QStringLiteral("-") : QString::number(Result.Anomalies.size()),
                 StatusWord(Result), Seconds(Result.Seconds)});
  QList<qsizetype> Widths(Header.size(), 0);
  for (const QStringList& Row : Rows)
    for (qsizetype c = 0; c < Row.size(); ++c)
      Widths[c] = std::max(Widths[c], Row.at(c).size());
  QString Out;
  for (const QStringList& Row : Rows) {
    QStringList Cells;
    for (qsizetype c = 0; c < Row.size(); ++c)
      Cells.append(c == Row.size() - 1 ? Row.at(c) : Row.at(c).leftJustified(Widths[c]));
    Out += Cells.join(QStringLiteral("  ")).trimmed() + u'\n';
  }
  for (const TTargetResult& Result : AResults)
    if (Result.Failed())
      Out += QStringLiteral("%1: %2\n").arg(ReportText(Result.Name), Result.Error);
  return Out;
}

}  // namespace quillon
