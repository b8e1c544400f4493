// The report renderers. The input, cut at 0xFF bytes into UTF-16 texts, names a target, its
// server and database (also the objects of its findings), and one anomaly's object, gold text
// and local text; a second target
// fails with a text of the input. Whatever the texts hold: the JSON report parses and gives
// every text back, the JUnit report is well-formed XML, the HTML report has no "<" that came
// from a text, and the unified diff applied to the gold text gives the local one.
#include "FuzzSupport.h"

#include "infra/text/Support.Format.h"
#include "report/Report.LineDiff.h"
#include "report/Report.Render.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QXmlStreamReader>

using namespace quillon;

namespace {

QList<TTargetResult> Results(const QStringList& ATexts) {
  const auto Text = [&](qsizetype AIndex) { return AIndex < ATexts.size() ? ATexts.at(AIndex) : QString(); };
  TTargetResult Checked;
  Checked.Name = Text(0);
  Checked.Server = Text(1);
  Checked.Database = Text(2);
  Checked.Compared = {{Text(3), QStringLiteral("view")}};
  Checked.Anomalies = {{Text(3), QStringLiteral("view"), Text(3), Text(4), Text(5)}};
  Checked.Unknown = {{Text(0), QStringLiteral("check")}};
  Checked.MissingLocally = {{Text(1), QStringLiteral("routine")}};
  Checked.Unreadable = {{Text(2), QStringLiteral("view")}};
  Checked.FailOn = failOnAnomalies | failOnUnknown | failOnMissing | failOnUnreadable;
  TTargetResult Failed;
  Failed.Name = Text(2);
  Failed.Error = Text(1) + QStringLiteral(" failed");
  return {Checked, Failed};
}

void CheckJson(const QList<TTargetResult>& AResults) {
  QJsonParseError Error;
  const QJsonDocument Json = QJsonDocument::fromJson(RenderReport(TReportFormat::Json, AResults, true), &Error);
  fuzz::Check("the JSON report does not parse", Error.error == QJsonParseError::NoError);
  const QJsonArray Targets = Json.object().value(QStringLiteral("targets")).toArray();
  fuzz::Check("the JSON report lost a target", Targets.size() == AResults.size());
  for (qsizetype I = 0; I < AResults.size(); ++I) {
    const TTargetResult Back = ResultFromJson(Targets.at(I).toObject());
    const TTargetResult& Given = AResults.at(I);
    fuzz::CheckSame("a name changed in JSON", Back.Name, Given.Name);
    fuzz::CheckSame("a server changed in JSON", Back.Server, Given.Server);
    fuzz::CheckSame("a database changed in JSON", Back.Database, Given.Database);
    fuzz::CheckSame("an error changed in JSON", Back.Error, Given.Error);
    fuzz::Check("an anomaly changed in JSON", Back.Anomalies == Given.Anomalies);
    fuzz::Check("a finding changed in JSON", Back.Unknown == Given.Unknown && Back.MissingLocally == Given.MissingLocally &&
                                                 Back.Unreadable == Given.Unreadable);
  }
}

void CheckJUnit(const QList<TTargetResult>& AResults) {
  const QByteArray Report = RenderReport(TReportFormat::JUnit, AResults, true);
  QXmlStreamReader Xml(Report);
  while (!Xml.atEnd())
    Xml.readNext();
  if (Xml.hasError())
    fuzz::Fail("the JUnit report is not well-formed", Xml.errorString().toStdString(), Report.toStdString());
}

// The "<" of the HTML report are all its own when their number does not change as the texts'
// own "<" become another character none of them holds.
void CheckHtml(const QList<TTargetResult>& AResults, const QStringList& ATexts) {
  const QChar Stand(0xE000);
  for (const QString& Text : ATexts)
    if (Text.contains(Stand))
      return;
  QStringList Replaced;
  for (const QString& Text : ATexts)
    Replaced.append(QString(Text).replace(u'<', Stand));
  const QString Html = QString::fromUtf8(RenderReport(TReportFormat::Html, AResults, true));
  const QString Plain = QString::fromUtf8(RenderReport(TReportFormat::Html, Results(Replaced), true));
  if (Html.count(u'<') != Plain.count(u'<'))
    fuzz::Fail("a \"<\" of a text reached the HTML report", Html.toStdString(), Plain.toStdString());
}

// Applies the one hunk the diff holds to the gold text's lines.
void CheckUnifiedDiff(const QString& AExpected, const QString& AActual) {
  const QStringList Expected = SplitTextLines(AExpected);
  const QStringList Actual = SplitTextLines(AActual);
  const QString Diff = UnifiedDiff(AExpected, AActual, QStringLiteral("expected"), QStringLiteral("actual"));
  if (Diff.isEmpty()) {
    fuzz::Check("an empty diff between texts of other lines", Expected == Actual);
    return;
  }
  QStringList Lines = Diff.split(u'\n');
  fuzz::Check("the diff does not end its last line", Lines.takeLast().isEmpty());
  fuzz::Check("the diff has no header and hunk", Lines.size() >= 3 && Lines.at(2).startsWith(QStringLiteral("@@ ")));
  QStringList Patched;
  qsizetype Next = 0;
  for (const QString& Line : Lines.mid(3)) {
    const QString Text = Line.mid(1);
    if (Line.startsWith(u'+')) {
      Patched.append(Text);
      continue;
    }
    if (Next >= Expected.size() || Expected.at(Next) != Text)
      fuzz::Fail("the diff does not match the gold text", Diff.toStdString(), AExpected.toStdString());
    ++Next;
    if (Line.startsWith(u' '))
      Patched.append(Text);
    else
      fuzz::Check("a diff line is neither context, removal nor addition", Line.startsWith(u'-'));
  }
  fuzz::Check("the diff leaves gold lines out", Next == Expected.size());
  if (Patched != Actual)
    fuzz::Fail("the diff applied to the gold text does not give the local text", Diff.toStdString(),
               AActual.toStdString());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  QStringList Texts;
  for (const QByteArray& Part : fuzz::Parts(AData, ASize, '\xFF', 6))
    Texts.append(fuzz::Utf16(reinterpret_cast<const uint8_t*>(Part.constData()), size_t(Part.size())));
  const QList<TTargetResult> Given = Results(Texts);
  CheckJson(Given);
  CheckJUnit(Given);
  CheckHtml(Given, Texts);
  CheckUnifiedDiff(Given.first().Anomalies.first().Expected, Given.first().Anomalies.first().Actual);
  RenderReport(TReportFormat::Text, Given, true);
  return 0;
}
