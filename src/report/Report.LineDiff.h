// The unified line diff of the text and JSON reports.
#pragma once

#include "diff/Diff.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillon {

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

struct TUnifiedDiffOptions {
  static constexpr qint32 WholeText = -1;
  // Lines of context around each change; WholeText gives one hunk covering both whole texts.
  qint32 Context = WholeText;
  // Hidden characters as markers, so that what a reader sees is what the text holds.
  bool ShowHidden = false;
  // Colours for a terminal: removed lines red, added lines green, and within a modified line
  // the changed tokens in reverse video of the line's colour.
  bool Colour = false;
};

// A unified diff of the two texts headed "--- ALeftLabel" and "+++ ARightLabel"; empty when
// the texts have the same lines. Within a run of changed lines all old lines come first.
QString UnifiedDiff(const QString& ALeft, const QString& ARight, const QString& ALeftLabel,
                    const QString& ARightLabel, const TUnifiedDiffOptions& AOptions = {});

}  // namespace quillon
