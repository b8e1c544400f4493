#include "report/Report.Drift.h"

#include "report/Report.HtmlDiff.h"
#include "report/Report.Render.h"
#include "report/Report.LineDiff.h"
#include "infra/text/Support.Format.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamWriter>

#include <algorithm>
#include <optional>

namespace quillon {

namespace {

// Fields that hold a whole text; a report shows them as a diff rather than as two values.
bool IsTextField(const QString& AField) {
  return AField == QLatin1String("VIEW_DEFINITION") || AField == QLatin1String("ROUTINE_DEFINITION") ||
         AField == QLatin1String("CHECK_CLAUSE");
}

QString Seconds(double ASeconds) { return QString::number(ASeconds, 'f', 1) + u's'; }

QString Status(const TDriftTargetResult& AResult) {
  if (AResult.Cancelled())
    return QStringLiteral("CANCELLED");
  if (AResult.Failed())
    return QStringLiteral("FAILED");
  return AResult.Drift.Items.isEmpty() ? QStringLiteral("ok") : QStringLiteral("drift");
}

QString BaselineDescription(const TDriftTargetResult& AResult) {
  return QStringLiteral("%1 (%2 on %3, version %4)")
      .arg(AResult.BaselinePath, AResult.BaselineDatabase, AResult.BaselineServer)
      .arg(AResult.BaselineVersion);
}

qsizetype CountOf(const TDriftTargetResult& AResult, TDriftChange AChange) {
  return std::count_if(AResult.Drift.Items.begin(), AResult.Drift.Items.end(),
                       [AChange](const TDriftItem& AItem) { return AItem.Change == AChange; });
}

QString Indented(const QString& AText, const QString& AIndent) {
  QString Out;
  for (const QString& Line : SplitTextLines(AText))
    Out += AIndent + Line + u'\n';
  return Out;
}

QString TextReport(const TDriftTargetResult& AResult, bool AFleet) {
  QString Out;
  if (AFleet)
    Out += QStringLiteral("== %1 ==\n").arg(AResult.Name);
  if (AResult.Failed())
    return Out + QStringLiteral("ERROR: %1\n").arg(AResult.Error);
  for (const QString& Note : AResult.Drift.Notes)
    Out += QStringLiteral("NOTE: %1\n").arg(Note);
  std::optional<TDriftKind> Kind;
  for (const TDriftItem& Item : AResult.Drift.Items) {
    if (Kind != Item.Kind) {
      Kind = Item.Kind;
      Out += DriftKindName(Item.Kind).toUpper() + u'\n';
    }
    Out += QStringLiteral("  %1 %2\n").arg(DriftChangeName(Item.Change).leftJustified(8), Item.FullName);
    for (const TDriftField& Field : Item.Fields) {
      if (IsTextField(Field.Field))
        Out += QStringLiteral("      %1:\n").arg(Field.Field) +
               Indented(UnifiedDiff(Field.Baseline, Field.Target, QStringLiteral("baseline"), QStringLiteral("target")),
                        QStringLiteral("        "));
      else
        Out += QStringLiteral("      %1: %2 -> %3\n").arg(Field.Field, Field.Baseline, Field.Target);
    }
  }
  Out += QStringLiteral("%1 objects drifted (%2 added, %3 removed, %4 changed) in %5 on %6 against %7 in %8\n")
             .arg(AResult.Drift.Items.size())
             .arg(CountOf(AResult, TDriftChange::Added))
             .arg(CountOf(AResult, TDriftChange::Removed))
             .arg(CountOf(AResult, TDriftChange::Changed))
             .arg(AResult.Database, AResult.Server, BaselineDescription(AResult), Seconds(AResult.Seconds));
  return Out;
}

QJsonObject ResultToJson(const TDriftTargetResult& AResult) {
  QJsonArray Drift;
  for (const TDriftItem& Item : AResult.Drift.Items) {
    QJsonArray Fields;
    for (const TDriftField& Field : Item.Fields)
      Fields.append(QJsonObject{{QStringLiteral("field"), Field.Field},
                                {QStringLiteral("baseline"), Field.Baseline},
                                {QStringLiteral("target"), Field.Target}});
    Drift.append(QJsonObject{{QStringLiteral("kind"), DriftKindName(Item.Kind)},
                             {QStringLiteral("fullName"), Item.FullName},
                             {QStringLiteral("change"), DriftChangeName(Item.Change)},
                             {QStringLiteral("fields"), Fields}});
  }
  QJsonObject Object{{QStringLiteral("name"), AResult.Name},
                     {QStringLiteral("server"), AResult.Server},
                     {QStringLiteral("database"), AResult.Database},
                     {QStringLiteral("version"), AResult.Version > 0 ? QJsonValue(AResult.Version) : QJsonValue()},
                     {QStringLiteral("error"), AResult.Failed() ? QJsonValue(AResult.Error) : QJsonValue()},
                     {QStringLiteral("baseline"), QJsonObject{{QStringLiteral("file"), AResult.BaselinePath},
                                                              {QStringLiteral("server"), AResult.BaselineServer},
                                                              {QStringLiteral("database"), AResult.BaselineDatabase},
                                                              {QStringLiteral("version"), AResult.BaselineVersion}}},
                     {QStringLiteral("filters"), QJsonObject{{QStringLiteral("include"), QJsonArray::fromStringList(AResult.Includes)},
                                                             {QStringLiteral("exclude"), QJsonArray::fromStringList(AResult.Excludes)}}},
                     {QStringLiteral("notes"), QJsonArray::fromStringList(AResult.Drift.Notes)},
                     {QStringLiteral("drift"), Drift},
                     {QStringLiteral("seconds"), AResult.Seconds},
                     {QStringLiteral("status"), AResult.Cancelled()          ? QStringLiteral("cancelled")
                                                : AResult.Failed()              ? QStringLiteral("error")
                                                : AResult.Drift.Items.isEmpty() ? QStringLiteral("ok")
                                                                                : QStringLiteral("drift")},
                     {QStringLiteral("exitCode"), AResult.ExitCode()}};
  if (!AResult.SnapshotPath.isEmpty())
    Object.insert(QStringLiteral("snapshot"), AResult.SnapshotPath);
  return Object;
}

QString ObjectId(TDriftKind AKind, const QString& AFullName) { return DriftKindName(AKind) + u' ' + AFullName; }

QString FailureText(const TDriftItem& AItem) {
  QString Text;
  for (const TDriftField& Field : AItem.Fields)
    Text += IsTextField(Field.Field)
                ? Field.Field + QStringLiteral(":\n") +
                      UnifiedDiff(Field.Baseline, Field.Target, QStringLiteral("baseline"), QStringLiteral("target"))
                : QStringLiteral("%1: %2 -> %3\n").arg(Field.Field, Field.Baseline, Field.Target);
  return Text;
}

void WriteTestCase(TJUnitXmlWriter& AXml, const TDriftTargetResult& AResult, TDriftKind AKind,
                   const QString& AFullName, const TDriftItem* AItem) {
  AXml.writeStartElement(QStringLiteral("testcase"));
  AXml.writeAttribute(QStringLiteral("classname"), AResult.Name + u'.' + DriftKindName(AKind));
  AXml.writeAttribute(QStringLiteral("name"), AFullName);
  if (AItem) {
    AXml.writeStartElement(QStringLiteral("failure"));
    AXml.writeAttribute(QStringLiteral("type"), QStringLiteral("drift"));
    AXml.writeAttribute(QStringLiteral("message"), DriftChangeName(AItem->Change));
    AXml.writeCharacters(FailureText(*AItem));
    AXml.writeEndElement();
  }
  AXml.writeEndElement();
}

QByteArray JUnitReport(const QList<TDriftTargetResult>& AResults) {
  QByteArray Out;
  TJUnitXmlWriter Xml(&Out);
  StartJUnitReport(Xml, QStringLiteral("quillon drift"));
  for (const TDriftTargetResult& Result : AResults) {
    Xml.writeStartElement(QStringLiteral("testsuite"));
    Xml.writeAttribute(QStringLiteral("name"), Result.Name);
    Xml.writeAttribute(QStringLiteral("tests"), QString::number(Result.Failed() ? 1 : Result.Drift.Compared.size()));
    Xml.writeAttribute(QStringLiteral("failures"), QString::number(Result.Drift.Items.size()));
    Xml.writeAttribute(QStringLiteral("errors"), QString::number(Result.Failed() ? 1 : 0));
    Xml.writeAttribute(QStringLiteral("time"), QString::number(Result.Seconds, 'f', 3));
    if (Result.Failed())
      WriteJUnitError(Xml, Result.Name, QStringLiteral("drift"), Result.Error);
    QHash<QString, const TDriftItem*> Drifted;
    for (const TDriftItem& Item : Result.Drift.Items)
      Drifted.insert(ObjectId(Item.Kind, Item.FullName), &Item);
    for (const TDriftObject& Object : Result.Drift.Compared)
      WriteTestCase(Xml, Result, Object.Kind, Object.FullName, Drifted.value(ObjectId(Object.Kind, Object.FullName)));
    Xml.writeEndElement();
  }
  Xml.writeEndElement();
  Xml.writeEndDocument();
  return Out;
}

QString HtmlTarget(const TDriftTargetResult& AResult) {
  QString Out = QStringLiteral("<h2>%1</h2>\n<p>Baseline: %2</p>\n")
                    .arg(AResult.Name.toHtmlEscaped(), BaselineDescription(AResult).toHtmlEscaped());
  if (AResult.Failed())
    return Out + QStringLiteral("<p class=\"failed\">%1</p>\n").arg(AResult.Error.toHtmlEscaped());
  for (const QString& Note : AResult.Drift.Notes)
    Out += QStringLiteral("<p class=\"note\">%1</p>\n").arg(Note.toHtmlEscaped());
  if (AResult.Drift.Items.isEmpty())
    Out += QStringLiteral("<p>No drift.</p>\n");
  std::optional<TDriftKind> Kind;
  for (const TDriftItem& Item : AResult.Drift.Items) {
    if (Kind != Item.Kind) {
      Kind = Item.Kind;
      Out += QStringLiteral("<h3>%1</h3>\n").arg(DriftKindName(Item.Kind).toHtmlEscaped());
    }
    Out += QStringLiteral("<h4><span class=\"%1\">%1</span> %2</h4>\n")
               .arg(DriftChangeName(Item.Change), Item.FullName.toHtmlEscaped());
    if (!Item.Fields.isEmpty()) {
      Out += QStringLiteral("<ul>\n");
      for (const TDriftField& Field : Item.Fields)
        Out += IsTextField(Field.Field)
                   ? QStringLiteral("<li>%1 differs</li>\n").arg(Field.Field.toHtmlEscaped())
                   : QStringLiteral("<li>%1: %2 &rarr; %3</li>\n")
                         .arg(Field.Field.toHtmlEscaped(), Field.Baseline.toHtmlEscaped(), Field.Target.toHtmlEscaped());
      Out += QStringLiteral("</ul>\n");
    }
    Out += HtmlSideBySideDiff(Item.BaselineText, Item.TargetText, QStringLiteral("Baseline"), QStringLiteral("Target"));
  }
  return Out;
}

QByteArray HtmlReport(const QList<TDriftTargetResult>& AResults) {
  QString Out = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                               "<title>Quillon drift report</title><style>%1"
                               "body { font-family: sans-serif; margin: 1.5em; color: #222; }\n"
                               "table.summary td, table.summary th { border: 1px solid #bbb; padding: 2px 8px; }\n"
                               "table.summary { border-collapse: collapse; } .failed { color: #b00; font-weight: bold; }\n"
                               "span.added { color: #070; } span.removed { color: #b00; } span.changed { color: #850; }\n"
                               "</style></head><body>\n<h1>Quillon drift report</h1>\n"
                               "<table class=\"summary\"><tr><th>Target</th><th>Server</th><th>Database</th>"
                               "<th>Added</th><th>Removed</th><th>Changed</th><th>Status</th><th>Time</th></tr>\n")
                    .arg(HtmlDiffStyle());
  for (const TDriftTargetResult& Result : AResults)
    Out += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td>"
                          "<td class=\"%7\">%8</td><td>%9</td></tr>\n")
               .arg(Result.Name.toHtmlEscaped(), Result.Server.toHtmlEscaped(), Result.Database.toHtmlEscaped())
               .arg(CountOf(Result, TDriftChange::Added))
               .arg(CountOf(Result, TDriftChange::Removed))
               .arg(CountOf(Result, TDriftChange::Changed))
               .arg(Result.Failed() ? QStringLiteral("failed") : QString(), Status(Result), Seconds(Result.Seconds));
  Out += QStringLiteral("</table>\n<p>Tables, keys, indexes, privileges and schemata are shown as generated T-SQL "
                        "texts that describe what the catalogue reads; they are not migration scripts.</p>\n");
  for (const TDriftTargetResult& Result : AResults)
    Out += HtmlTarget(Result);
  return (Out + QStringLiteral("</body></html>\n")).toUtf8();
}

}  // namespace

int TDriftTargetResult::ExitCode() const {
  if (Cancelled())
    return 128 + InterruptSignal;
  if (Failed())
    return 2;
  return Drift.Items.isEmpty() ? 0 : 1;
}

int CombinedExitCode(const QList<TDriftTargetResult>& AResults) {
  int Code = 0;
  for (const TDriftTargetResult& Result : AResults)
    Code = std::max(Code, Result.ExitCode());
  return Code;
}

TDriftTargetResult CancelledDriftResult(TDriftTargetResult AResult, int ASignal) {
  AResult.InterruptSignal = ASignal;
  AResult.Error = CancelledText(ASignal);
  return AResult;
}

QByteArray RenderDriftReport(TReportFormat AFormat, const QList<TDriftTargetResult>& AResults, bool AFleet) {
  if (AFormat == TReportFormat::Json) {
    QJsonArray Targets;
    for (const TDriftTargetResult& Result : AResults)
      Targets.append(ResultToJson(Result));
    return JsonText(QJsonObject{{QStringLiteral("formatVersion"), JsonReportFormatVersion},
                                {QStringLiteral("targets"), Targets},
                                {QStringLiteral("exitCode"), CombinedExitCode(AResults)}});
  }
  if (AFormat == TReportFormat::JUnit)
    return JUnitReport(AResults);
  if (AFormat == TReportFormat::Html)
    return HtmlReport(AResults);
  QStringList Texts;
  for (const TDriftTargetResult& Result : AResults)
    Texts.append(TextReport(Result, AFleet));
  return Texts.join(QString()).toUtf8();
}

}  // namespace quillon
