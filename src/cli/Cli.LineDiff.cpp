#include "cli/Cli.LineDiff.h"

#include "diff/HashUnit.h"
#include "infra/Support.Format.h"

#include <vector>

namespace quillon::cli {

namespace {

// The engine needs something on both sides; one empty side is all additions or deletions.
QList<TDiffRow> OneSided(TChangeKind AKind, qsizetype ACount) {
  QList<TDiffRow> Rows;
  for (qint32 i = 0; i < ACount; ++i)
    Rows.append(AKind == ckAdd ? TDiffRow{ckAdd, -1, i} : TDiffRow{ckDelete, i, -1});
  return Rows;
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
                    const QString& ARightLabel) {
  const QStringList Left = SplitTextLines(ALeft);
  const QStringList Right = SplitTextLines(ARight);
  if (Left == Right)
    return QString();
  QStringList Removed;
  QStringList Added;
  QStringList Body;
  // A changed block reads best as all its old lines, then all its new ones.
  const auto FlushChanges = [&] {
    Body += Removed;
    Body += Added;
    Removed.clear();
    Added.clear();
  };
  for (const TDiffRow& Row : DiffRows(Left, Right)) {
    if (Row.Left >= 0 && Row.Kind != ckNone)
      Removed.append(u'-' + Left.at(Row.Left));
    if (Row.Right >= 0 && Row.Kind != ckNone)
      Added.append(u'+' + Right.at(Row.Right));
    if (Row.Kind == ckNone) {
      FlushChanges();
      Body.append(u' ' + Left.at(Row.Left));
    }
  }
  FlushChanges();
  const auto Range = [](qsizetype ACount) {
    return ACount == 0 ? QStringLiteral("0,0") : QStringLiteral("1,%1").arg(ACount);
  };
  QStringList Out{QStringLiteral("--- ") + ALeftLabel, QStringLiteral("+++ ") + ARightLabel,
                  QStringLiteral("@@ -%1 +%2 @@").arg(Range(Left.size()), Range(Right.size()))};
  Out += Body;
  return Out.join(u'\n') + u'\n';
}

}  // namespace quillon::cli
