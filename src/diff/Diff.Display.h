// Characters a line holds without showing them, and how the diff displays them.
#pragma once

#include "diff/Diff.IntraLine.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace quillon {

// Characters that change how a line reads without being seen: bidirectional controls, zero-
// width characters, line and paragraph separators, C0 and C1 controls other than tab, and
// lone surrogates. Reviewed code that holds one may mean something other than it shows, so
// every view of a text shows them as a marker and never lets them act.
bool IsHiddenCharacter(char32_t ACode);
// "⟨U+202E⟩": the code point in at least four upper-case hexadecimal digits.
QString HiddenCharacterMarker(char32_t ACode);
bool HasHiddenCharacters(QStringView AText);
// The text with every hidden character replaced by its marker.
QString ShowHiddenCharacters(QStringView AText);

// The columns a monospaced view gives ALine: tabs stop every ATabWidth columns, a hidden
// character takes its marker's width and any other code point one column.
qint32 DisplayColumns(QStringView ALine, qint32 ATabWidth);

// A piece of a line as a view draws it: marked as changed or not, and either plain text or the
// marker of one hidden character.
struct TDisplaySegment {
  QString Text;
  bool Changed;
  bool Hidden;

  bool operator==(const TDisplaySegment&) const = default;
};

// ALine cut into segments by the changed ranges (sorted, not overlapping) and its hidden
// characters.
QList<TDisplaySegment> DisplaySegments(QStringView ALine, const QList<TTextRange>& AChanged);

}  // namespace quillon
