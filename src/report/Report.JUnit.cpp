// The JUnit report of a compare and of a drift, in the shape of Ant's JUnit task: totals on
// <testsuites>; per target a <testsuite> with its totals, time stamp, host and properties, a
// test case per object and an error case for a target that failed.
#include "report/Report.Writers.h"

#include "infra/platform/Support.Exceptions.h"
#include "report/Report.LineDiff.h"
#include "report/Report.Names.h"

#include <QDateTime>
#include <QHash>
#include <QSysInfo>
#include <QXmlStreamWriter>

#include <algorithm>
#include <functional>

namespace quillon {

namespace {

bool IsXmlCharacter(char32_t C) {
  return C == u'\t' || C == u'\n' || C == u'\r' || (C >= 0x20 && C <= 0xD7FF) || (C >= 0xE000 && C <= 0xFFFD) ||
         C >= 0x10000;
}

// A text with every character XML 1.0 cannot carry (control characters, lone surrogates,
// U+FFFE and U+FFFF) written as a visible \uXXXX: dropping them would hide what the database
// holds, and a lone surrogate would stop Qt's writer from writing anything after it.
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

// Qt's writer with every attribute value and text made visible: reports pass names and texts
// from the database straight in. Hides the writer's own functions of those names.
class TJUnitXmlWriter : public QXmlStreamWriter {
public:
  using QXmlStreamWriter::QXmlStreamWriter;
  void writeAttribute(const QString& AName, const QString& AValue) {
    QXmlStreamWriter::writeAttribute(AName, XmlVisible(AValue));
  }
  void writeCharacters(const QString& AText) { QXmlStreamWriter::writeCharacters(XmlVisible(AText)); }
};

// What a <testsuite> says of one target; its test cases come from the writer of the result.
struct TSuite {
  QString Name;
  qsizetype Tests = 0;
  qsizetype Failures = 0;
  qsizetype Errors = 0;
  double Seconds = 0;
  QList<std::pair<QString, QString>> Properties;
  // For a target that failed: the error case's name and message.
  QString ErrorCase;
  QString Error;
  std::function<void(TJUnitXmlWriter&)> WriteCases;
};

void WriteTotals(TJUnitXmlWriter& AXml, const QList<TSuite>& ASuites) {
  qsizetype Tests = 0;
  qsizetype Failures = 0;
  qsizetype Errors = 0;
  double Seconds = 0;
  for (const TSuite& Suite : ASuites) {
    Tests += Suite.Tests;
    Failures += Suite.Failures;
    Errors += Suite.Errors;
    Seconds += Suite.Seconds;
  }
  AXml.writeAttribute(QStringLiteral("tests"), QString::number(Tests));
  AXml.writeAttribute(QStringLiteral("failures"), QString::number(Failures));
  AXml.writeAttribute(QStringLiteral("errors"), QString::number(Errors));
  AXml.writeAttribute(QStringLiteral("time"), QString::number(Seconds, 'f', 3));
}

void StartTestCase(TJUnitXmlWriter& AXml, const QString& ATarget, const QString& AKind, const QString& AFullName) {
  AXml.writeStartElement(QStringLiteral("testcase"));
  AXml.writeAttribute(QStringLiteral("classname"), ReportText(ATarget) + u'.' + AKind);
  AXml.writeAttribute(QStringLiteral("name"), ReportName(AFullName));
}

// The document every JUnit report is: the suites under <testsuites> named AName.
QByteArray JUnitDocument(const QString& AName, const QList<TSuite>& ASuites) {
  QByteArray Out;
  TJUnitXmlWriter Xml(&Out);
  Xml.setAutoFormatting(true);
  Xml.writeStartDocument();
  Xml.writeStartElement(QStringLiteral("testsuites"));
  Xml.writeAttribute(QStringLiteral("name"), AName);
  WriteTotals(Xml, ASuites);
  const QString Timestamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  for (const TSuite& Suite : ASuites) {
    Xml.writeStartElement(QStringLiteral("testsuite"));
    Xml.writeAttribute(QStringLiteral("name"), ReportText(Suite.Name));
    WriteTotals(Xml, {Suite});
    Xml.writeAttribute(QStringLiteral("timestamp"), Timestamp);
    Xml.writeAttribute(QStringLiteral("hostname"), QSysInfo::machineHostName());
    Xml.writeStartElement(QStringLiteral("properties"));
    for (const auto& [Name, Value] : Suite.Properties) {
      Xml.writeEmptyElement(QStringLiteral("property"));
      Xml.writeAttribute(QStringLiteral("name"), Name);
      Xml.writeAttribute(QStringLiteral("value"), ReportText(Value));
    }
    Xml.writeEndElement();
    if (!Suite.Error.isEmpty()) {
      Xml.writeStartElement(QStringLiteral("testcase"));
      Xml.writeAttribute(QStringLiteral("classname"), ReportText(Suite.Name));
      Xml.writeAttribute(QStringLiteral("name"), Suite.ErrorCase);
      Xml.writeEmptyElement(QStringLiteral("error"));
      Xml.writeAttribute(QStringLiteral("message"), Suite.Error);
      Xml.writeEndElement();
    }
    Suite.WriteCases(Xml);
    Xml.writeEndElement();
  }
  Xml.writeEndElement();
  Xml.writeEndDocument();
  if (Xml.hasError())
    throw Exception(QStringLiteral("The JUnit report could not be written"));
  return Out;
}

QList<std::pair<QString, QString>> FilterProperties(const QStringList& AIncludes, const QStringList& AExcludes) {
  QList<std::pair<QString, QString>> Properties;
  for (const QString& Pattern : AIncludes)
    Properties.append({QStringLiteral("include"), Pattern});
  for (const QString& Pattern : AExcludes)
    Properties.append({QStringLiteral("exclude"), Pattern});
  return Properties;
}

// The finding group a compared object belongs to, or nullptr.
const TFindingGroup* GroupOf(const TTargetResult& AResult, const TComparedObject& AObject) {
  for (const TFindingGroup& Group : FindingGroups())
    for (const TFindingRecord& Record : AResult.*Group.Records)
      if (Record.FullName == AObject.FullName && Record.Kind == AObject.Kind)
        return &Group;
  return nullptr;
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

// A failure while the anomaly remains; after a successful repair the case passes and says so.
void WriteAnomaly(TJUnitXmlWriter& AXml, const TTargetResult& AResult, const TAnomalyRecord& AAnomaly) {
  const TRepairRecord* Repair = AResult.RepairOf(AAnomaly);
  if (AResult.Remains(AAnomaly)) {
    AXml.writeStartElement(QStringLiteral("failure"));
    AXml.writeAttribute(QStringLiteral("type"), QStringLiteral("anomaly"));
    AXml.writeAttribute(QStringLiteral("message"),
                        Repair ? QStringLiteral("differs from the gold standard; repair: ") + RepairOutcomeLine(*Repair)
                               : QStringLiteral("differs from the gold standard"));
  } else {
    AXml.writeStartElement(QStringLiteral("system-out"));
    AXml.writeCharacters(QStringLiteral("Differed from the gold standard and was repaired:\n"));
  }
  AXml.writeCharacters(UnifiedDiff(AAnomaly.Expected, AAnomaly.Actual, QStringLiteral("expected"), QStringLiteral("actual")));
  AXml.writeEndElement();
}

void WriteCompareCases(TJUnitXmlWriter& AXml, const TTargetResult& AResult) {
  for (const TComparedObject& Object : AResult.Compared) {
    StartTestCase(AXml, AResult.Name, Object.Kind, Object.FullName);
    if (const TFindingGroup* Group = GroupOf(AResult, Object))
      WriteFinding(AXml, AResult, *Group);
    for (const TAnomalyRecord& Anomaly : AResult.Anomalies)
      if (Anomaly.FullName == Object.FullName && Anomaly.Kind == Object.Kind)
        WriteAnomaly(AXml, AResult, Anomaly);
    AXml.writeEndElement();
  }
  // Objects the comparison never saw as compared ones are test cases of their own.
  for (const TFindingGroup& Group : FindingGroups()) {
    if (Group.Records != &TTargetResult::MissingLocally && Group.Records != &TTargetResult::DuplicateNames)
      continue;
    for (const TFindingRecord& Record : AResult.*Group.Records) {
      StartTestCase(AXml, AResult.Name, Record.Kind, Record.FullName);
      WriteFinding(AXml, AResult, Group);
      AXml.writeEndElement();
    }
  }
}

TSuite CompareSuite(const TTargetResult& AResult) {
  TSuite Suite{AResult.Name,
               AResult.Failed() ? 1 : AResult.Compared.size() + AResult.MissingLocally.size() + AResult.DuplicateNames.size(),
               Failures(AResult),
               AResult.Failed() ? 1 : 0,
               AResult.Seconds,
               {{QStringLiteral("server"), AResult.Server},
                {QStringLiteral("database"), AResult.Database},
                {QStringLiteral("version"), QString::number(AResult.Version)},
                {QStringLiteral("snapshot"), AResult.SnapshotPath}},
               QStringLiteral("check"),
               AResult.Failed() ? AResult.Error + QStringLiteral(" (the comparison is incomplete)") : QString(),
               [&AResult](TJUnitXmlWriter& AXml) { WriteCompareCases(AXml, AResult); }};
  Suite.Properties += FilterProperties(AResult.Includes, AResult.Excludes);
  return Suite;
}

QString DriftFailureText(const TDriftItem& AItem) {
  QString Text;
  for (const TDriftField& Field : AItem.Fields)
    Text += IsTextField(Field.Field)
                ? Field.Field + QStringLiteral(":\n") +
                      UnifiedDiff(Field.Baseline, Field.Target, QStringLiteral("baseline"), QStringLiteral("target"))
                : QStringLiteral("%1: %2 -> %3\n").arg(Field.Field, Field.Baseline, Field.Target);
  return Text;
}

QString DriftObjectId(TDriftKind AKind, const QString& AFullName) { return DriftKindName(AKind) + u' ' + AFullName; }

void WriteDriftCases(TJUnitXmlWriter& AXml, const TDriftTargetResult& AResult) {
  QHash<QString, const TDriftItem*> Drifted;
  for (const TDriftItem& Item : AResult.Drift.Items)
    Drifted.insert(DriftObjectId(Item.Kind, Item.FullName), &Item);
  for (const TDriftObject& Object : AResult.Drift.Compared) {
    StartTestCase(AXml, AResult.Name, DriftKindName(Object.Kind), Object.FullName);
    if (const TDriftItem* Item = Drifted.value(DriftObjectId(Object.Kind, Object.FullName))) {
      AXml.writeStartElement(QStringLiteral("failure"));
      AXml.writeAttribute(QStringLiteral("type"), QStringLiteral("drift"));
      AXml.writeAttribute(QStringLiteral("message"), DriftChangeName(Item->Change));
      AXml.writeCharacters(DriftFailureText(*Item));
      AXml.writeEndElement();
    }
    AXml.writeEndElement();
  }
}

TSuite DriftSuite(const TDriftTargetResult& AResult) {
  TSuite Suite{AResult.Name,
               AResult.Failed() ? 1 : AResult.Drift.Compared.size(),
               AResult.Drift.Items.size(),
               AResult.Failed() ? 1 : 0,
               AResult.Seconds,
               {{QStringLiteral("server"), AResult.Server},
                {QStringLiteral("database"), AResult.Database},
                {QStringLiteral("version"), QString::number(AResult.Version)},
                {QStringLiteral("snapshot"), AResult.SnapshotPath},
                {QStringLiteral("baseline"), AResult.BaselinePath},
                {QStringLiteral("baselineServer"), AResult.BaselineServer},
                {QStringLiteral("baselineDatabase"), AResult.BaselineDatabase},
                {QStringLiteral("baselineVersion"), QString::number(AResult.BaselineVersion)}},
               QStringLiteral("drift"),
               AResult.Error,
               [&AResult](TJUnitXmlWriter& AXml) { WriteDriftCases(AXml, AResult); }};
  Suite.Properties += FilterProperties(AResult.Includes, AResult.Excludes);
  return Suite;
}

}  // namespace

QByteArray JUnitReport(const QList<TTargetResult>& AResults) {
  QList<TSuite> Suites;
  for (const TTargetResult& Result : AResults)
    Suites.append(CompareSuite(Result));
  return JUnitDocument(QStringLiteral("quillon"), Suites);
}

QByteArray JUnitReport(const QList<TDriftTargetResult>& AResults) {
  QList<TSuite> Suites;
  for (const TDriftTargetResult& Result : AResults)
    Suites.append(DriftSuite(Result));
  return JUnitDocument(QStringLiteral("quillon drift"), Suites);
}

}  // namespace quillon
