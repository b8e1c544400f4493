#pragma once

#include "diff/Diff.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillon::cli {

// One row of a side-by-side line diff: the line numbers (from 0) on each side, -1 where the
// side has no line in that row.
struct TDiffRow {
  TChangeKind Kind;
  qint32 Left;
  qint32 Right;

  bool operator==(const TDiffRow&) const = default;
};

// The rows the diff engine gives for two texts compared line by line (lines compared exactly).
QList<TDiffRow> DiffRows(const QStringList& ALeft, const QStringList& ARight);

// A unified diff of the two texts with one hunk covering both whole texts, headed
// "--- ALeftLabel" and "+++ ARightLabel"; empty when the texts have the same lines.
QString UnifiedDiff(const QString& ALeft, const QString& ARight, const QString& ALeftLabel,
                    const QString& ARightLabel);

}  // namespace quillon::cli
