// The HTML report of a compare and of a drift: one self-contained page with a summary table,
// then per target its findings and a side-by-side diff of every object that differs.
#include "report/Report.Writers.h"

#include "report/Report.HtmlDiff.h"
#include "report/Report.Names.h"

#include <optional>

namespace quillon {

namespace {

const char* const HtmlStyle = R"(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; }
table.summary td, table.summary th { border: 1px solid #bbb; padding: 2px 8px; text-align: left; }
.failed { color: #b00; font-weight: bold; }
span.added { color: #070; } span.removed { color: #b00; } span.changed { color: #850; }
)";

// The page up to the summary table's header: "Quillon <AWhat> report", the columns between
// Database and Status as given.
QString PageStart(const QString& AWhat, const QStringList& AColumns) {
  QString Header;
  for (const QString& Column : QStringList{QStringLiteral("Target"), QStringLiteral("Server"), QStringLiteral("Database")} +
                                   AColumns + QStringList{QStringLiteral("Status"), QStringLiteral("Time")})
    Header += QStringLiteral("<th>%1</th>").arg(Column);
  return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                        "<title>Quillon %1 report</title><style>%2%3</style></head><body>\n"
                        "<h1>Quillon %1 report</h1>\n<table class=\"summary\"><tr>%4</tr>\n")
      .arg(AWhat, QString::fromLatin1(HtmlStyle), HtmlDiffStyle(), Header);
}

QString PageEnd() { return QStringLiteral("</body></html>\n"); }

// A row of the summary table: the target, its counts and status.
template <typename TResult>
QString SummaryRow(const TResult& AResult, const QList<qsizetype>& ACounts) {
  QString Row = QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td>")
                    .arg(HtmlText(AResult.Name), HtmlText(AResult.Server), HtmlText(AResult.Database));
  for (const qsizetype Count : ACounts)
    Row += QStringLiteral("<td>%1</td>").arg(Count);
  return Row + QStringLiteral("<td class=\"%1\">%2</td><td>%3</td></tr>\n")
                   .arg(AResult.Failed() ? QStringLiteral("failed") : QString(), StatusWord(AResult), Seconds(AResult.Seconds));
}

QString TargetHeading(const QString& AName) { return QStringLiteral("<h2>%1</h2>\n").arg(HtmlText(AName)); }

QString FailedParagraph(const QString& AText) { return QStringLiteral("<p class=\"failed\">%1</p>\n").arg(HtmlText(AText)); }

// "VIEW [dbo].[V]"
QString KindAndName(const QString& AKind, const QString& AFullName) {
  return HtmlText(AKind.toUpper()) + u' ' + HtmlName(AFullName);
}

QString AnomalyAnchor(qsizetype ATarget, qsizetype AAnomaly) {
  return QStringLiteral("t%1-a%2").arg(ATarget + 1).arg(AAnomaly + 1);
}

// Every anomaly of every target, each linked to its diff.
QString AnomalyLinks(const QList<TTargetResult>& AResults) {
  QString Out;
  for (qsizetype t = 0; t < AResults.size(); ++t)
    for (qsizetype a = 0; a < AResults[t].Anomalies.size(); ++a)
      Out += QStringLiteral("<li><a href=\"#%1\">%2: %3</a></li>\n")
                 .arg(AnomalyAnchor(t, a), HtmlText(AResults[t].Name),
                      KindAndName(AResults[t].Anomalies[a].Kind, AResults[t].Anomalies[a].FullName));
  return Out.isEmpty() ? Out : QStringLiteral("<h2>Anomalies</h2>\n<ul class=\"anomalies\">\n%1</ul>\n").arg(Out);
}

QString CompareTarget(const TTargetResult& AResult, qsizetype AIndex) {
  QString Out = TargetHeading(AResult.Name);
  if (AResult.Failed())
    Out += FailedParagraph(AResult.Error + QStringLiteral(" The comparison is incomplete."));
  else if (AResult.Anomalies.isEmpty())
    Out += QStringLiteral("<p>No anomalies.</p>\n");
  if (!AResult.ComparedText.isEmpty())
    Out += QStringLiteral("<p>%1</p>\n").arg(HtmlText(AResult.ComparedText));
  if (!AResult.FilterText().isEmpty())
    Out += QStringLiteral("<p class=\"filters\">%1</p>\n").arg(HtmlText(AResult.FilterText()));
  for (const TFindingGroup& Group : FindingGroups()) {
    const QList<TFindingRecord>& Records = AResult.*Group.Records;
    if (Records.isEmpty())
      continue;
    Out += QStringLiteral("<h3>%1</h3>\n<ul>\n").arg(HtmlText(Group.Title));
    for (const TFindingRecord& Record : Records)
      Out += QStringLiteral("<li>%1</li>\n").arg(KindAndName(Record.Kind, Record.FullName));
    Out += QStringLiteral("</ul>\n");
  }
  if (AResult.RepairApplied) {
    Out += QStringLiteral("<h3>Repair</h3>\n<ul>\n");
    for (const TRepairRecord& Repair : AResult.Repairs)
      Out += QStringLiteral("<li>%1: %2</li>\n").arg(KindAndName(Repair.Kind, Repair.FullName), HtmlText(RepairOutcomeLine(Repair)));
    Out += QStringLiteral("</ul>\n");
  }
  if (!AResult.SnapshotPath.isEmpty())
    Out += QStringLiteral("<p>Snapshot: %1</p>\n").arg(HtmlText(AResult.SnapshotPath));
  for (qsizetype a = 0; a < AResult.Anomalies.size(); ++a) {
    const TAnomalyRecord& Anomaly = AResult.Anomalies[a];
    Out += QStringLiteral("<h3 id=\"%1\">%2</h3>\n").arg(AnomalyAnchor(AIndex, a), KindAndName(Anomaly.Kind, Anomaly.FullName)) +
           HtmlSideBySideDiff(Anomaly.Expected, Anomaly.Actual, GoldCaption(AResult), LocalCaption(AResult));
  }
  return Out;
}

QString DriftFields(const TDriftItem& AItem) {
  if (AItem.Fields.isEmpty())
    return QString();
  QString Out = QStringLiteral("<ul>\n");
  for (const TDriftField& Field : AItem.Fields)
    Out += IsTextField(Field.Field)
               ? QStringLiteral("<li>%1 differs</li>\n").arg(HtmlText(Field.Field))
               : QStringLiteral("<li>%1: %2 &rarr; %3</li>\n")
                     .arg(HtmlText(Field.Field), HtmlText(Field.Baseline), HtmlText(Field.Target));
  return Out + QStringLiteral("</ul>\n");
}

QString DriftTarget(const TDriftTargetResult& AResult) {
  QString Out = TargetHeading(AResult.Name) +
                QStringLiteral("<p>Baseline: %1</p>\n").arg(HtmlText(BaselineDescription(AResult)));
  if (AResult.Failed())
    return Out + FailedParagraph(AResult.Error);
  for (const QString& Note : AResult.Drift.Notes)
    Out += QStringLiteral("<p class=\"note\">%1</p>\n").arg(HtmlText(Note));
  if (AResult.Drift.Items.isEmpty())
    Out += QStringLiteral("<p>No drift.</p>\n");
  std::optional<TDriftKind> Kind;
  for (const TDriftItem& Item : AResult.Drift.Items) {
    if (Kind != Item.Kind) {
      Kind = Item.Kind;
      Out += QStringLiteral("<h3>%1</h3>\n").arg(HtmlText(DriftKindName(Item.Kind)));
    }
    Out += QStringLiteral("<h4><span class=\"%1\">%1</span> %2</h4>\n").arg(DriftChangeName(Item.Change), HtmlName(Item.FullName)) +
           DriftFields(Item) +
           HtmlSideBySideDiff(Item.BaselineText, Item.TargetText, QStringLiteral("Baseline"), QStringLiteral("Target"));
  }
  return Out;
}

}  // namespace

QString HtmlReport(const QList<TTargetResult>& AResults) {
  QString Out = PageStart(QStringLiteral("compare"), {QStringLiteral("Version"), QStringLiteral("Compared"),
                                                      QStringLiteral("Anomalies")});
  for (const TTargetResult& Result : AResults)
    Out += SummaryRow(Result, {Result.Version, Result.Compared.size(), Result.Anomalies.size()});
  Out += QStringLiteral("</table>\n") + AnomalyLinks(AResults) + HtmlDiffLegend(QStringLiteral("gold"), QStringLiteral("local"));
  for (qsizetype t = 0; t < AResults.size(); ++t)
    Out += CompareTarget(AResults[t], t);
  return Out + PageEnd();
}

QString HtmlReport(const QList<TDriftTargetResult>& AResults) {
  QString Out = PageStart(QStringLiteral("drift"), {QStringLiteral("Added"), QStringLiteral("Removed"),
                                                    QStringLiteral("Changed")});
  for (const TDriftTargetResult& Result : AResults)
    Out += SummaryRow(Result, {CountOf(Result, TDriftChange::Added), CountOf(Result, TDriftChange::Removed),
                               CountOf(Result, TDriftChange::Changed)});
  Out += QStringLiteral("</table>\n<p>Tables, keys, indexes, privileges and schemata are shown as generated T-SQL "
                        "texts that describe what the catalogue reads; they are not migration scripts.</p>\n") +
         HtmlDiffLegend(QStringLiteral("baseline"), QStringLiteral("target"));
  for (const TDriftTargetResult& Result : AResults)
    Out += DriftTarget(Result);
  return Out + PageEnd();
}

}  // namespace quillon
