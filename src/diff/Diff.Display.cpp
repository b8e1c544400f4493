// Characters a line holds without showing them, and how the diff displays them.
#include "diff/Diff.Display.h"

#include <QChar>

namespace quillon {

namespace {

qint32 CodeUnitsAt(QStringView AText, qint32 APos, char32_t& ACode) {
  const QChar First = AText[APos];
  if (First.isHighSurrogate() && APos + 1 < AText.size() && AText[APos + 1].isLowSurrogate()) {
    ACode = QChar::surrogateToUcs4(First, AText[APos + 1]);
    return 2;
  }
  ACode = First.unicode();
  return 1;
}

}  // namespace

bool IsHiddenCharacter(char32_t ACode) {
  if (ACode == u'\t')
    return false;
  return ACode < 0x20 || (ACode >= 0x7F && ACode <= 0x9F) || ACode == 0x061C || (ACode >= 0x200B && ACode <= 0x200F) ||
         (ACode >= 0x2028 && ACode <= 0x202E) || (ACode >= 0x2066 && ACode <= 0x2069) || ACode == 0xFEFF ||
         QChar::isSurrogate(ACode);
}

QString HiddenCharacterMarker(char32_t ACode) {
  return QStringLiteral("\u27E8U+%1\u27E9").arg(static_cast<uint>(ACode), 4, 16, QLatin1Char('0')).toUpper();
}

bool HasHiddenCharacters(QStringView AText) {
  qint32 Pos = 0;
  while (Pos < AText.size()) {
    char32_t Code = 0;
    Pos += CodeUnitsAt(AText, Pos, Code);
    if (IsHiddenCharacter(Code))
      return true;
  }
  return false;
}

QString ShowHiddenCharacters(QStringView AText) {
  QString Result;
  for (const TDisplaySegment& Segment : DisplaySegments(AText, {}))
    Result += Segment.Text;
  return Result;
}

qint32 DisplayColumns(QStringView ALine, qint32 ATabWidth) {
  qint32 Columns = 0;
  qint32 Pos = 0;
  while (Pos < ALine.size()) {
    char32_t Code = 0;
    Pos += CodeUnitsAt(ALine, Pos, Code);
    if (Code == u'\t')
      Columns = (Columns / ATabWidth + 1) * ATabWidth;
    else
      Columns += IsHiddenCharacter(Code) ? static_cast<qint32>(HiddenCharacterMarker(Code).size()) : 1;
  }
  return Columns;
}

QList<TDisplaySegment> DisplaySegments(QStringView ALine, const QList<TTextRange>& AChanged) {
  QList<TDisplaySegment> Segments;
  const auto Append = [&Segments](QStringView AText, bool AChangedText) {
    if (!AText.isEmpty() && !Segments.isEmpty() && !Segments.last().Hidden && Segments.last().Changed == AChangedText)
      Segments.last().Text += AText;
    else if (!AText.isEmpty())
      Segments.append(TDisplaySegment{AText.toString(), AChangedText, false});
  };
  qsizetype NextRange = 0;
  qint32 Pos = 0;
  const auto Size = static_cast<qint32>(ALine.size());
  while (Pos < Size) {
    while (NextRange < AChanged.size() && AChanged[NextRange].Start + AChanged[NextRange].Length <= Pos)
      ++NextRange;
    const bool InRange = NextRange < AChanged.size() && AChanged[NextRange].Start <= Pos;
    const qint32 RunEnd = NextRange >= AChanged.size() ? Size
                          : InRange ? std::min(Size, AChanged[NextRange].Start + AChanged[NextRange].Length)
                                    : std::min(Size, AChanged[NextRange].Start);
    qint32 PlainStart = Pos;
    while (Pos < RunEnd) {
      char32_t Code = 0;
      const qint32 Units = CodeUnitsAt(ALine, Pos, Code);
      if (IsHiddenCharacter(Code)) {
        Append(ALine.mid(PlainStart, Pos - PlainStart), InRange);
        Segments.append(TDisplaySegment{HiddenCharacterMarker(Code), InRange, true});
        PlainStart = Pos + Units;
      }
      Pos += Units;
    }
    Append(ALine.mid(PlainStart, Pos - PlainStart), InRange);
  }
  return Segments;
}

}  // namespace quillon
