// The side-by-side line diff of the HTML reports.
#include "report/Report.HtmlDiff.h"

#include "diff/Diff.Display.h"
#include "diff/Diff.IntraLine.h"
#include "infra/text/Support.Format.h"
#include "report/Report.LineDiff.h"

namespace quillon {

namespace {

QString KindClass(TChangeKind AKind) {
  switch (AKind) {
    case ckAdd: return QStringLiteral("add");
    case ckDelete: return QStringLiteral("delete");
    case ckModify: return QStringLiteral("modify");
    case ckNone: break;
  }
  return QStringLiteral("same");
}

QString MarkedLine(QStringView ALine, const QList<TTextRange>& AChanged) {
  QString Out;
  for (const TDisplaySegment& Segment : DisplaySegments(ALine, AChanged)) {
    QString Text = Segment.Text.toHtmlEscaped();
    if (Segment.Hidden)
      Text = QStringLiteral("<span class=\"hid\">%1</span>").arg(Text);
    Out += Segment.Changed ? QStringLiteral("<span class=\"chg\">%1</span>").arg(Text) : Text;
  }
  return Out;
}

QString Cells(const QStringList& ALines, qint32 AIndex, const QList<TTextRange>& AChanged) {
  if (AIndex < 0)
    return QStringLiteral("<td class=\"no\"></td><td class=\"text absent\"></td>");
  const QString& Line = ALines.at(AIndex);
  const bool Hidden = HasHiddenCharacters(Line);
  return QStringLiteral("<td class=\"no%1\"%2>%3</td><td class=\"text\">%4</td>")
      .arg(Hidden ? QStringLiteral(" hidden") : QString(),
           Hidden ? QStringLiteral(" title=\"This line holds hidden characters\"") : QString())
      .arg(AIndex + 1)
      .arg(MarkedLine(Line, AChanged));
}

}  // namespace

QString HtmlDiffStyle() {
  return QStringLiteral(R"(
table.diff { width: 100%; table-layout: fixed; border-collapse: collapse; font-family: monospace; font-size: 90%; margin-bottom: 1.5em; }
table.diff td { white-space: pre-wrap; overflow-wrap: break-word; vertical-align: top; padding: 0 4px; }
table.diff td.no { color: #888; text-align: right; background: #f4f4f4; white-space: nowrap; }
table.diff td.no.hidden { color: #800080; background: #ffd65c; font-weight: bold; }
table.diff th { text-align: left; background: #e8e8e8; padding: 2px 4px; overflow-wrap: break-word; }
tr.add td.text, .legend .add { background: #b4efeb; }
tr.delete td.text, .legend .delete { background: #fec0c2; }
tr.modify td.text, .legend .modify { background: #dcf1b5; }
tr.add .chg { background: #5ec9c1; }
tr.delete .chg { background: #f37c82; }
tr.modify .chg, .legend .chg { background: #a3d450; }
.hid { color: #800080; background: #ffd65c; }
td.absent { background: #eee; }
.legend span { display: inline-block; font-family: monospace; padding: 0 6px; margin-right: 2px; border: 1px solid #bbb; }
)");
}

QString HtmlDiffLegend(const QString& ALeftSide, const QString& ARightSide) {
  return QStringLiteral("<p class=\"legend\"><span class=\"modify\">Ab</span> Changed &nbsp; "
                        "<span class=\"chg\">Ab</span> Changed characters &nbsp; "
                        "<span class=\"delete\">Ab</span> Only on the %1 side &nbsp; "
                        "<span class=\"add\">Ab</span> Only on the %2 side &nbsp; "
                        "<span class=\"hid\">Ab</span> Hidden character</p>\n")
      .arg(HtmlText(ALeftSide), HtmlText(ARightSide));
}

QString HtmlText(QStringView AText) {
  return ShowHiddenCharacters(AText).toHtmlEscaped();
}

QString HtmlSideBySideDiff(const QString& ALeft, const QString& ARight, const QString& ALeftCaption,
                           const QString& ARightCaption) {
  const QStringList Left = SplitTextLines(ALeft);
  const QStringList Right = SplitTextLines(ARight);
  // A number column fits its widest number and the cell's padding, whatever the table's width.
  const qsizetype Digits = QString::number(std::max<qsizetype>({Left.size(), Right.size(), 1})).size();
  const QString NumberCol = QStringLiteral("<col style=\"width: calc(%1ch + 8px)\">").arg(Digits);
  QString Out = QStringLiteral("<table class=\"diff\"><colgroup>%1<col>%1<col></colgroup>\n"
                               "<tr><th></th><th>%2</th><th></th><th>%3</th></tr>\n")
                    .arg(NumberCol, HtmlText(ALeftCaption), HtmlText(ARightCaption));
  TIntraLineDiff IntraLine;
  for (const TDiffRow& Row : DiffRows(Left, Right)) {
    const TIntraLineMarks Marks =
        Row.Kind == ckModify ? IntraLine.Marks(Left.at(Row.Left), Right.at(Row.Right)) : TIntraLineMarks{};
    Out += QStringLiteral("<tr class=\"%1\">%2%3</tr>\n")
               .arg(KindClass(Row.Kind), Cells(Left, Row.Left, Marks.Left), Cells(Right, Row.Right, Marks.Right));
  }
  return Out + QStringLiteral("</table>\n");
}

}  // namespace quillon
