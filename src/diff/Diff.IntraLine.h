// The changes within one modified line: the runs of characters each side changed.
#pragma once

#include "diff/Diff.h"

#include <QHash>
#include <QList>
#include <QStringView>

namespace quillon {

// A run of UTF-16 code units within a line.
struct TTextRange {
  qint32 Start;
  qint32 Length;

  bool operator==(const TTextRange&) const = default;
};

struct TIntraLineMarks {
  QList<TTextRange> Left;
  QList<TTextRange> Right;

  bool operator==(const TIntraLineMarks&) const = default;
};

// What differs within a pair of lines the line diff paired as modified. The lines are split
// into tokens (a run of letters, digits and _ @ # $; a run of blanks; any other character on
// its own) and the tokens are diffed, so a changed identifier or number is marked whole while
// a changed quote, operator or bracket is marked alone: in T-SQL a word is the unit a reader
// compares, and a few common letters inside two different names would only scatter the marks.
//
// The common start and end are set aside first, in linear time. When what is left is longer
// than MaxSearchedUnits code units or MaxSearchedTokens tokens on either side, it is marked
// whole without a search, so a pathological pair (megabytes on one line, all different) costs
// a scan and not a quadratic search.
class TIntraLineDiff {
public:
  static constexpr qint32 MaxSearchedUnits = 20000;
  static constexpr qint32 MaxSearchedTokens = 2000;

  TIntraLineMarks Marks(QStringView ALeft, QStringView ARight);

private:
  TDiff fDiffer;
  QHash<QStringView, qint32> fTokenIds;
};

}  // namespace quillon
