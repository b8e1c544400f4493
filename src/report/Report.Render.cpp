#include "report/Report.Render.h"

#include "diff/Diff.Display.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "report/Report.HtmlDiff.h"
#include "report/Report.LineDiff.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSysInfo>
#include <QJsonDocument>
#include <QXmlStreamWriter>

#include <algorithm>

namespace quillon {

namespace {

QString Status(const TTargetResult& AResult) {
  if (AResult.Cancelled())
    return QStringLiteral("CANCELLED");
  if (AResult.Failed())
    return QStringLiteral("FAILED");
  if (!AResult.Anomalies.isEmpty())
    return QStringLiteral("anomalies");
  return AResult.ExitCode() == 0 ? QStringLiteral("ok") : QStringLiteral("findings");
}

// The finding group a compared object belongs to, or nullptr.
const TFindingGroup* GroupOf(const TTargetResult& AResult, const TComparedObject& AObject) {
  for (const TFindingGroup& Group : FindingGroups())
    for (const TFindingRecord& Record : AResult.*Group.Records)
      if (Record.FullName == AObject.FullName && Record.Kind == AObject.Kind)
        return &Group;
  return nullptr;
}

// "repaired", or the outcome with the server's message or the refusal after it.
QString RepairOutcomeLine(const TRepairRecord& ARepair) {
  return ARepair.Message.isEmpty() ? ARepair.Outcome
                                   : QStringLiteral("%1 (%2)").arg(ARepair.Outcome, ARepair.Message.simplified());
}

QString Seconds(double ASeconds) { return QString::number(ASeconds, 'f', 1) + u's'; }

// The names of the two sides of a diff: "Gold standard, version 523" and "Local, Shop on sql01".
QString GoldCaption(const TTargetResult& AResult) {
  return QStringLiteral("Gold standard, version %1").arg(AResult.Version);
}

QString LocalCaption(const TTargetResult& AResult) {
  return QStringLiteral("Local, %1 on %2").arg(AResult.Database, AResult.Server);
}

QString TextReport(const TTargetResult& AResult, bool AFleet, const TTextReportOptions& AOptions) {
  QString Out;
  if (AFleet)
    Out += QStringLiteral("== %1 ==\n").arg(AResult.Name);
  const TUnifiedDiffOptions DiffOptions{3, true, AOptions.Colour};
  for (const TAnomalyRecord& Anomaly : AResult.Anomalies) {
    Out += QStringLiteral("%1 %2: differs from the gold standard\n")
               .arg(Anomaly.Kind.toUpper(), ShowHiddenCharacters(Anomaly.FullName));
    if (AOptions.Diff)
      Out += UnifiedDiff(Anomaly.Expected, Anomaly.Actual, GoldCaption(AResult), LocalCaption(AResult), DiffOptions);
  }
  for (const TFindingGroup& Group : FindingGroups()) {
    const QList<TFindingRecord>& Records = AResult.*Group.Records;
    if (Records.isEmpty())
      continue;
    Out += QStringLiteral("%1:\n").arg(Group.Title);
    for (const TFindingRecord& Record : Records)
      Out += QStringLiteral("  %1 %2\n").arg(Record.Kind.toUpper(), ShowHiddenCharacters(Record.FullName));
  }
  if (AResult.RepairApplied) {
    Out += QStringLiteral("Repair:\n");
    for (const TRepairRecord& Repair : AResult.Repairs)
      Out += QStringLiteral("  %1 %2: %3\n")
                 .arg(Repair.Kind.toUpper(), ShowHiddenCharacters(Repair.FullName), RepairOutcomeLine(Repair));
  }
  if (AResult.Failed()) {
    Out += QStringLiteral("ERROR: %1\nThe comparison is incomplete.\n").arg(AResult.Error);
    return Out;
  }
  // One arg() for all: a name holding "%1" must never be taken for a placeholder.
  Out += QStringLiteral("%1 anomalies in %2 on %3 (version %4) in %5\n")
             .arg(QString::number(AResult.Anomalies.size()), AResult.Database, AResult.Server,
                  QString::number(AResult.Version), Seconds(AResult.Seconds));
  if (!AResult.ComparedText.isEmpty())
    Out += AResult.ComparedText + u'\n';
  if (!AResult.FilterText().isEmpty())
    Out += AResult.FilterText() + u'\n';
  if (!AResult.SnapshotPath.isEmpty())
    Out += QStringLiteral("Snapshot: %1\n").arg(AResult.SnapshotPath);
  return Out;
}


// One shape for a single check and a fleet, so that a consumer reads both alike; the format
// version grows when a field changes its meaning or goes away.
QByteArray JsonReport(const QList<TTargetResult>& AResults) {
  QJsonArray Targets;
  for (const TTargetResult& Result : AResults)
    Targets.append(ResultToJson(Result));
  return JsonText(QJsonObject{{QStringLiteral("formatVersion"), JsonReportFormatVersion},
                              {QStringLiteral("targets"), Targets},
                              {QStringLiteral("exitCode"), CombinedExitCode(AResults)}});
}

qsizetype Failures(const TTargetResult& AResult) {
  qsizetype Count = (AResult.FailOn & failOnAnomalies)
                        ? std::count_if(AResult.Anomalies.begin(), AResult.Anomalies.end(),
                                        [&](const TAnomalyRecord& A) { return AResult.Remains(A); })
                        : 0;
  for (const TFindingGroup& Group : FindingGroups())
    if (AResult.FailOn & Group.FailOn)
      Count += (AResult.*Group.Records).size();
  return Count;
}

bool IsXmlCharacter(char32_t C) {
  return C == u'\t' || C == u'\n' || C == u'\r' || (C >= 0x20 && C <= 0xD7FF) || (C >= 0xE000 && C <= 0xFFFD) ||
         C >= 0x10000;
}

// A name or text with every character XML 1.0 cannot carry (control characters, lone
// surrogates, U+FFFE and U+FFFF) written as a visible \uXXXX: dropping them would hide what the
// database holds, and a lone surrogate would stop Qt's writer from writing anything after it.
QString XmlVisible(const QString& AText) {
  QString Out;
  Out.reserve(AText.size());
  for (qsizetype I = 0; I < AText.size(); ++I) {
    const QChar C = AText.at(I);
    if (C.isHighSurrogate() && I + 1 < AText.size() && AText.at(I + 1).isLowSurrogate()) {
      Out += C;
      Out += AText.at(++I);
    } else if (C.isSurrogate() || !IsXmlCharacter(C.unicode())) {
      Out += QStringLiteral("\\u") + QStringLiteral("%1").arg(C.unicode(), 4, 16, QChar(u'0')).toUpper();
    } else {
      Out += C;
    }
  }
  return Out;
}


// A finding of a test case: a failure when --fail-on names its group, skipped otherwise.
void WriteFinding(TJUnitXmlWriter& AXml, const TTargetResult& AResult, const TFindingGroup& AGroup) {
  if (AResult.FailOn & AGroup.FailOn) {
    AXml.writeEmptyElement(QStringLiteral("failure"));
    AXml.writeAttribute(QStringLiteral("type"), AGroup.JsonKey);
  } else {
    AXml.writeEmptyElement(QStringLiteral("skipped"));
  }
  AXml.writeAttribute(QStringLiteral("message"), AGroup.Title);
}

qsizetype TestCount(const TTargetResult& AResult) {
  return AResult.Failed() ? 1 : AResult.Compared.size() + AResult.MissingLocally.size() + AResult.DuplicateNames.size();
}

// The counts a CI server shows for a suite, and for all of them on <testsuites>.
void WriteTotals(QXmlStreamWriter& AXml, const QList<TTargetResult>& AResults) {
  qsizetype Tests = 0;
  qsizetype FailureCount = 0;
  qsizetype Errors = 0;
  double Seconds = 0;
  for (const TTargetResult& Result : AResults) {
    Tests += TestCount(Result);
    FailureCount += Failures(Result);
    Errors += Result.Failed() ? 1 : 0;
    Seconds += Result.Seconds;
  }
  AXml.writeAttribute(QStringLiteral("tests"), QString::number(Tests));
  AXml.writeAttribute(QStringLiteral("failures"), QString::number(FailureCount));
  AXml.writeAttribute(QStringLiteral("errors"), QString::number(Errors));
  AXml.writeAttribute(QStringLiteral("time"), QString::number(Seconds, 'f', 3));
}

QByteArray JUnitReport(const QList<TTargetResult>& AResults) {
  QByteArray Out;
  TJUnitXmlWriter Xml(&Out);
  StartJUnitReport(Xml, QStringLiteral("quillon"));
  WriteTotals(Xml, AResults);
  const QString Timestamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  for (const TTargetResult& Result : AResults) {
    Xml.writeStartElement(QStringLiteral("testsuite"));
    Xml.writeAttribute(QStringLiteral("name"), Result.Name);
    WriteTotals(Xml, {Result});
    Xml.writeAttribute(QStringLiteral("timestamp"), Timestamp);
    Xml.writeAttribute(QStringLiteral("hostname"), QSysInfo::machineHostName());
    Xml.writeStartElement(QStringLiteral("properties"));
    QList<std::pair<QString, QString>> Properties{{QStringLiteral("server"), Result.Server},
                                                  {QStringLiteral("database"), Result.Database},
                                                  {QStringLiteral("version"), QString::number(Result.Version)},
                                                  {QStringLiteral("snapshot"), Result.SnapshotPath}};
    for (const QString& Pattern : Result.Includes)
      Properties.append({QStringLiteral("include"), Pattern});
    for (const QString& Pattern : Result.Excludes)
      Properties.append({QStringLiteral("exclude"), Pattern});
    for (const auto& [Name, Value] : Properties) {
      Xml.writeEmptyElement(QStringLiteral("property"));
      Xml.writeAttribute(QStringLiteral("name"), Name);
      Xml.writeAttribute(QStringLiteral("value"), Value);
    }
    Xml.writeEndElement();
    if (Result.Failed())
      WriteJUnitError(Xml, Result.Name, QStringLiteral("check"),
                      Result.Error + QStringLiteral(" (the comparison is incomplete)"));
    const auto WriteMissing = [&](const TFindingGroup& AGroup) {
      for (const TFindingRecord& Record : Result.*AGroup.Records) {
        Xml.writeStartElement(QStringLiteral("testcase"));
        Xml.writeAttribute(QStringLiteral("classname"), Result.Name + u'.' + Record.Kind);
        Xml.writeAttribute(QStringLiteral("name"), Record.FullName);
        WriteFinding(Xml, Result, AGroup);
        Xml.writeEndElement();
      }
    };
    for (const TComparedObject& Object : Result.Compared) {
      Xml.writeStartElement(QStringLiteral("testcase"));
      Xml.writeAttribute(QStringLiteral("classname"), Result.Name + u'.' + Object.Kind);
      Xml.writeAttribute(QStringLiteral("name"), Object.FullName);
      if (const TFindingGroup* Group = GroupOf(Result, Object))
        WriteFinding(Xml, Result, *Group);
      for (const TAnomalyRecord& Anomaly : Result.Anomalies) {
        if (Anomaly.FullName != Object.FullName || Anomaly.Kind != Object.Kind)
          continue;
        const QString Diff = UnifiedDiff(Anomaly.Expected, Anomaly.Actual, QStringLiteral("expected"), QStringLiteral("actual"));
        const TRepairRecord* Repair = Result.RepairOf(Anomaly);
        if (Result.Remains(Anomaly)) {
          Xml.writeStartElement(QStringLiteral("failure"));
          Xml.writeAttribute(QStringLiteral("type"), QStringLiteral("anomaly"));
          Xml.writeAttribute(QStringLiteral("message"),
                             Repair ? QStringLiteral("differs from the gold standard; repair: ") + RepairOutcomeLine(*Repair)
                                    : QStringLiteral("differs from the gold standard"));
        } else {
          Xml.writeStartElement(QStringLiteral("system-out"));
          Xml.writeCharacters(QStringLiteral("Differed from the gold standard and was repaired:\n"));
        }
        Xml.writeCharacters(Diff);
        Xml.writeEndElement();
      }
      Xml.writeEndElement();
    }
    for (const TFindingGroup& Group : FindingGroups())
      if (Group.Records == &TTargetResult::MissingLocally || Group.Records == &TTargetResult::DuplicateNames)
        WriteMissing(Group);
    Xml.writeEndElement();
  }
  Xml.writeEndElement();
  Xml.writeEndDocument();
  if (Xml.hasError())
    throw Exception(QStringLiteral("The JUnit report could not be written"));
  return Out;
}

const char* const HtmlStyle = R"(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; }
table.summary td, table.summary th { border: 1px solid #bbb; padding: 2px 8px; text-align: left; }
.failed { color: #b00; font-weight: bold; }
)";

QString AnomalyAnchor(qsizetype ATarget, qsizetype AAnomaly) {
  return QStringLiteral("t%1-a%2").arg(ATarget + 1).arg(AAnomaly + 1);
}

QString HtmlDiff(const TTargetResult& AResult, const TAnomalyRecord& AAnomaly, const QString& AAnchor) {
  return QStringLiteral("<h3 id=\"%1\">%2 %3</h3>\n")
             .arg(AAnchor, HtmlText(AAnomaly.Kind.toUpper()), HtmlText(AAnomaly.FullName)) +
         HtmlSideBySideDiff(AAnomaly.Expected, AAnomaly.Actual, GoldCaption(AResult), LocalCaption(AResult));
}

// Every anomaly of every target, each linked to its diff.
QString HtmlAnomalyLinks(const QList<TTargetResult>& AResults) {
  QString Out;
  for (qsizetype t = 0; t < AResults.size(); ++t)
    for (qsizetype a = 0; a < AResults[t].Anomalies.size(); ++a)
      Out += QStringLiteral("<li><a href=\"#%1\">%2: %3 %4</a></li>\n")
                 .arg(AnomalyAnchor(t, a), HtmlText(AResults[t].Name), HtmlText(AResults[t].Anomalies[a].Kind.toUpper()),
                      HtmlText(AResults[t].Anomalies[a].FullName));
  return Out.isEmpty() ? Out : QStringLiteral("<h2>Anomalies</h2>\n<ul class=\"anomalies\">\n%1</ul>\n").arg(Out);
}

QByteArray HtmlReport(const QList<TTargetResult>& AResults) {
  QString Out = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                               "<title>Quillon compare report</title><style>%1%2</style></head><body>\n"
                               "<h1>Quillon compare report</h1>\n<table class=\"summary\"><tr><th>Target</th>"
                               "<th>Server</th><th>Database</th><th>Version</th><th>Compared</th>"
                               "<th>Anomalies</th><th>Status</th><th>Time</th></tr>\n")
                    .arg(QString::fromLatin1(HtmlStyle), HtmlDiffStyle());
  for (const TTargetResult& Result : AResults)
    Out += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td>"
                          "<td class=\"%7\">%8</td><td>%9</td></tr>\n")
               .arg(HtmlText(Result.Name), HtmlText(Result.Server), HtmlText(Result.Database),
                    QString::number(Result.Version), QString::number(Result.Compared.size()),
                    QString::number(Result.Anomalies.size()), Result.Failed() ? QStringLiteral("failed") : QString(),
                    Status(Result), Seconds(Result.Seconds));
  Out += QStringLiteral("</table>\n") + HtmlAnomalyLinks(AResults);
  Out += HtmlDiffLegend(QStringLiteral("gold"), QStringLiteral("local"));
  for (qsizetype t = 0; t < AResults.size(); ++t) {
    const TTargetResult& Result = AResults[t];
    Out += QStringLiteral("<h2>%1</h2>\n").arg(HtmlText(Result.Name));
    if (Result.Failed())
      Out += QStringLiteral("<p class=\"failed\">%1 The comparison is incomplete.</p>\n").arg(HtmlText(Result.Error));
    else if (Result.Anomalies.isEmpty())
      Out += QStringLiteral("<p>No anomalies.</p>\n");
    if (!Result.ComparedText.isEmpty())
      Out += QStringLiteral("<p>%1</p>\n").arg(HtmlText(Result.ComparedText));
    if (!Result.FilterText().isEmpty())
      Out += QStringLiteral("<p class=\"filters\">%1</p>\n").arg(HtmlText(Result.FilterText()));
    for (const TFindingGroup& Group : FindingGroups()) {
      const QList<TFindingRecord>& Records = Result.*Group.Records;
      if (Records.isEmpty())
        continue;
      Out += QStringLiteral("<h3>%1</h3>\n<ul>\n").arg(HtmlText(Group.Title));
      for (const TFindingRecord& Record : Records)
        Out += QStringLiteral("<li>%1 %2</li>\n").arg(HtmlText(Record.Kind.toUpper()), HtmlText(Record.FullName));
      Out += QStringLiteral("</ul>\n");
    }
    if (Result.RepairApplied) {
      Out += QStringLiteral("<h3>Repair</h3>\n<ul>\n");
      for (const TRepairRecord& Repair : Result.Repairs)
        Out += QStringLiteral("<li>%1 %2: %3</li>\n")
                   .arg(HtmlText(Repair.Kind.toUpper()), HtmlText(Repair.FullName), HtmlText(RepairOutcomeLine(Repair)));
      Out += QStringLiteral("</ul>\n");
    }
    if (!Result.SnapshotPath.isEmpty())
      Out += QStringLiteral("<p>Snapshot: %1</p>\n").arg(HtmlText(Result.SnapshotPath));
    for (qsizetype a = 0; a < Result.Anomalies.size(); ++a)
      Out += HtmlDiff(Result, Result.Anomalies[a], AnomalyAnchor(t, a));
  }
  Out += QStringLiteral("</body></html>\n");
  return Out.toUtf8();
}

}  // namespace

// Qt's JSON reader decodes each string as UTF-8 the way a whole file is decoded, so a U+FEFF
// at the start of a value is taken for a byte-order mark and lost. Written as an escape it
// survives; outside strings JSON holds no such character, so every one can be replaced.
QByteArray JsonText(const QJsonObject& AObject) {
  return QJsonDocument(AObject).toJson(QJsonDocument::Indented).replace("\xEF\xBB\xBF", "\\ufeff");
}

void TJUnitXmlWriter::writeAttribute(const QString& AName, const QString& AValue) {
  QXmlStreamWriter::writeAttribute(AName, XmlVisible(AValue));
}

void TJUnitXmlWriter::writeCharacters(const QString& AText) { QXmlStreamWriter::writeCharacters(XmlVisible(AText)); }

void StartJUnitReport(TJUnitXmlWriter& AXml, const QString& AName) {
  AXml.setAutoFormatting(true);
  AXml.writeStartDocument();
  AXml.writeStartElement(QStringLiteral("testsuites"));
  AXml.writeAttribute(QStringLiteral("name"), AName);
}

void WriteJUnitError(TJUnitXmlWriter& AXml, const QString& AClassName, const QString& AName, const QString& AMessage) {
  AXml.writeStartElement(QStringLiteral("testcase"));
  AXml.writeAttribute(QStringLiteral("classname"), AClassName);
  AXml.writeAttribute(QStringLiteral("name"), AName);
  AXml.writeEmptyElement(QStringLiteral("error"));
  AXml.writeAttribute(QStringLiteral("message"), AMessage);
  AXml.writeEndElement();
}

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
    case TReportFormat::Html: return HtmlReport(AResults);
    case TReportFormat::Text: break;
  }
  QString Out;
  for (const TTargetResult& Result : AResults)
    Out += TextReport(Result, AFleet, ATextOptions);
  return Out.toUtf8();
}

QString SummaryTable(const QList<TTargetResult>& AResults) {
  const QStringList Header{QStringLiteral("TARGET"), QStringLiteral("VERSION"), QStringLiteral("ANOMALIES"),
                           QStringLiteral("STATUS"), QStringLiteral("TIME")};
  QList<QStringList> Rows{Header};
  for (const TTargetResult& Result : AResults)
    Rows.append({Result.Name, Result.Failed() ? QStringLiteral("-") : QString::number(Result.Version),
                 Result.Failed() ? QStringLiteral("-") : QString::number(Result.Anomalies.size()),
                 Status(Result), Seconds(Result.Seconds)});
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
      Out += QStringLiteral("%1: %2\n").arg(Result.Name, Result.Error);
  return Out;
}

}  // namespace quillon
