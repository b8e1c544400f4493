// The unified line diff of the text and JSON reports.
#include "report/Report.LineDiff.h"

#include "diff/Diff.Display.h"
#include "diff/Diff.IntraLine.h"
#include "diff/HashUnit.h"
#include "infra/text/Support.Format.h"

#include <algorithm>
#include <vector>

namespace quillon {

namespace {

// The engine needs something on both sides; one empty side is all additions or deletions.
QList<TDiffRow> OneSided(TChangeKind AKind, qsizetype ACount) {
  QList<TDiffRow> Rows;
  for (qint32 i = 0; i < ACount; ++i)
    Rows.append(AKind == ckAdd ? TDiffRow{ckAdd, -1, i} : TDiffRow{ckDelete, i, -1});
  return Rows;
}

// One line of the diff's body: ' ', '-' or '+', the line, and its changed ranges.
struct TDiffLine {
  QChar Sign;
  QString Text;
  QList<TTextRange> Changed;
};

const QString Reset = QStringLiteral("\x1B[0m");
const QString Bold = QStringLiteral("\x1B[1m");
const QString Cyan = QStringLiteral("\x1B[36m");
const QString Red = QStringLiteral("\x1B[31m");
const QString Green = QStringLiteral("\x1B[32m");
const QString ChangedTone = QStringLiteral("\x1B[7m");
const QString HiddenTone = QStringLiteral("\x1B[1;35;47m");

QString RenderLine(const TDiffLine& ALine, const TUnifiedDiffOptions& AOptions) {
  if (!AOptions.ShowHidden && !AOptions.Colour)
    return ALine.Sign + ALine.Text;
  const QString LineColour = !AOptions.Colour ? QString() : ALine.Sign == u'-' ? Red : ALine.Sign == u'+' ? Green : QString();
  QString Out = LineColour + ALine.Sign;
  for (const TDisplaySegment& Segment : DisplaySegments(ALine.Text, ALine.Changed)) {
    if (!AOptions.Colour)
      Out += Segment.Text;
    else if (Segment.Hidden)
      Out += Reset + HiddenTone + Segment.Text + Reset + LineColour;
    else if (Segment.Changed)
      Out += ChangedTone + Segment.Text + Reset + LineColour;
    else
      Out += Segment.Text;
  }
  return LineColour.isEmpty() ? Out : Out + Reset;
}

}  // namespace

QList<TDiffRow> DiffRows(const QStringList& ALeft, const QStringList& ARight) {
  if (ALeft.isEmpty())
    return OneSided(ckAdd, ARight.size());
  if (ARight.isEmpty())
    return OneSided(ckDelete, ALeft.size());
  const std::vector<qint32> Left = LineHashes(ALeft, false, false);
  const std::vector<qint32> Right = LineHashes(ARight, false, false);
  TDiff Diff;
  Diff.Execute(Left.data(), Right.data(), static_cast<qint32>(Left.size()), static_cast<qint32>(Right.size()));
  QList<TDiffRow> Rows;
  Rows.reserve(Diff.Count());
  for (qint32 r = 0; r < Diff.Count(); ++r) {
    const TCompareRec Rec = Diff.Compares(r);
    Rows.append(TDiffRow{Rec.Kind, Rec.Kind != ckAdd ? Rec.oldIndex1 : -1, Rec.Kind != ckDelete ? Rec.oldIndex2 : -1});
  }
  return Rows;
}

QString UnifiedDiff(const QString& ALeft, const QString& ARight, const QString& ALeftLabel,
                    const QString& ARightLabel, const TUnifiedDiffOptions& AOptions) {
  const QStringList Left = SplitTextLines(ALeft);
  const QStringList Right = SplitTextLines(ARight);
  if (Left == Right)
    return QString();
  std::vector<TDiffLine> Body;
  std::vector<TDiffLine> Removed;
  std::vector<TDiffLine> Added;
  const auto FlushChanges = [&] {
    Body.insert(Body.end(), Removed.begin(), Removed.end());
    Body.insert(Body.end(), Added.begin(), Added.end());
    Removed.clear();
    Added.clear();
  };
  TIntraLineDiff IntraLine;
  for (const TDiffRow& Row : DiffRows(Left, Right)) {
    if (Row.Kind == ckNone) {
      FlushChanges();
      Body.push_back(TDiffLine{u' ', Left.at(Row.Left), {}});
      continue;
    }
    const TIntraLineMarks Marks = AOptions.Colour && Row.Kind == ckModify
                                      ? IntraLine.Marks(Left.at(Row.Left), Right.at(Row.Right))
                                      : TIntraLineMarks{};
    if (Row.Left >= 0)
      Removed.push_back(TDiffLine{u'-', Left.at(Row.Left), Marks.Left});
    if (Row.Right >= 0)
      Added.push_back(TDiffLine{u'+', Right.at(Row.Right), Marks.Right});
  }
  FlushChanges();

  const auto Size = static_cast<qint32>(Body.size());
  const qint32 Context = AOptions.Context == TUnifiedDiffOptions::WholeText ? Size : AOptions.Context;
  const auto IsChange = [&Body](qint32 AIndex) { return Body[static_cast<size_t>(AIndex)].Sign != u' '; };
  const auto Header = [&AOptions](const QString& AText) {
    return AOptions.Colour ? Bold + AText + Reset : AText;
  };
  QStringList Out{Header(QStringLiteral("--- ") + ALeftLabel), Header(QStringLiteral("+++ ") + ARightLabel)};
  qint32 LeftBefore = 0;
  qint32 RightBefore = 0;
  qint32 Counted = 0;
  qint32 Next = 0;
  while (Next < Size) {
    while (Next < Size && !IsChange(Next))
      ++Next;
    if (Next >= Size)
      break;
    const qint32 Start = std::max(Counted, Next - Context);
    qint32 LastChange = Next;
    for (qint32 i = Next + 1; i < Size && i <= LastChange + 2 * Context + 1; ++i)
      if (IsChange(i))
        LastChange = i;
    const qint32 End = std::min(Size, LastChange + Context + 1);
    for (; Counted < Start; ++Counted) {
      LeftBefore += 1;
      RightBefore += 1;
    }
    qint32 LeftCount = 0;
    qint32 RightCount = 0;
    QStringList Lines;
    for (qint32 i = Start; i < End; ++i) {
      const TDiffLine& Line = Body[static_cast<size_t>(i)];
      LeftCount += Line.Sign != u'+' ? 1 : 0;
      RightCount += Line.Sign != u'-' ? 1 : 0;
      Lines.append(RenderLine(Line, AOptions));
    }
    const auto Range = [](qint32 ABefore, qint32 ACount) {
      return QStringLiteral("%1,%2").arg(ACount == 0 ? ABefore : ABefore + 1).arg(ACount);
    };
    const QString Hunk = QStringLiteral("@@ -%1 +%2 @@").arg(Range(LeftBefore, LeftCount), Range(RightBefore, RightCount));
    Out.append(AOptions.Colour ? Cyan + Hunk + Reset : Hunk);
    Out += Lines;
    LeftBefore += LeftCount;
    RightBefore += RightCount;
    Counted = End;
    Next = End;
  }
  return Out.join(u'\n') + u'\n';
}

}  // namespace quillon
