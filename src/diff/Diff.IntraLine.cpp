// The changes within one modified line: the runs of characters each side changed.
#include "diff/Diff.IntraLine.h"

#include <QChar>

#include <vector>

namespace quillon {

namespace {

enum class TTokenClass { Word, Blank, Other };

// The code point at APos and the number of code units it takes; a lone surrogate stands for
// itself.
char32_t CodePointAt(QStringView AText, qint32 APos, qint32& AUnits) {
  const QChar First = AText[APos];
  if (First.isHighSurrogate() && APos + 1 < AText.size() && AText[APos + 1].isLowSurrogate()) {
    AUnits = 2;
    return QChar::surrogateToUcs4(First, AText[APos + 1]);
  }
  AUnits = 1;
  return First.unicode();
}

TTokenClass ClassOf(char32_t ACode) {
  if (ACode == u' ' || ACode == u'\t')
    return TTokenClass::Blank;
  if (ACode == u'_' || ACode == u'@' || ACode == u'#' || ACode == u'$')
    return TTokenClass::Word;
  if (QChar::isSurrogate(ACode))
    return TTokenClass::Other;
  return QChar::isLetterOrNumber(ACode) || QChar::isMark(ACode) ? TTokenClass::Word : TTokenClass::Other;
}

// Whether a token may end at APos: a line's ends always, and never inside a surrogate pair or
// a run of one class of word or blank characters.
bool IsTokenBoundary(QStringView AText, qint32 APos) {
  if (APos <= 0 || APos >= AText.size())
    return true;
  if (AText[APos].isLowSurrogate() && AText[APos - 1].isHighSurrogate())
    return false;
  qint32 Units = 0;
  const TTokenClass After = ClassOf(CodePointAt(AText, APos, Units));
  const qint32 BeforePos = AText[APos - 1].isLowSurrogate() && APos >= 2 && AText[APos - 2].isHighSurrogate()
                               ? APos - 2
                               : APos - 1;
  const TTokenClass Before = ClassOf(CodePointAt(AText, BeforePos, Units));
  return Before != After || After == TTokenClass::Other;
}

std::vector<TTextRange> Tokenise(QStringView AText, qint32 AOffset) {
  std::vector<TTextRange> Tokens;
  qint32 Pos = 0;
  while (Pos < AText.size()) {
    qint32 Units = 0;
    const TTokenClass Class = ClassOf(CodePointAt(AText, Pos, Units));
    qint32 End = Pos + Units;
    while (Class != TTokenClass::Other && End < AText.size() &&
           ClassOf(CodePointAt(AText, End, Units)) == Class)
      End += Units;
    Tokens.push_back(TTextRange{AOffset + Pos, End - Pos});
    Pos = End;
  }
  return Tokens;
}

void AddMark(QList<TTextRange>& AMarks, TTextRange ARange) {
  if (ARange.Length <= 0)
    return;
  if (!AMarks.isEmpty() && AMarks.last().Start + AMarks.last().Length == ARange.Start)
    AMarks.last().Length += ARange.Length;
  else
    AMarks.append(ARange);
}

}  // namespace

TIntraLineMarks TIntraLineDiff::Marks(QStringView ALeft, QStringView ARight) {
  const qint32 LeftSize = static_cast<qint32>(ALeft.size());
  const qint32 RightSize = static_cast<qint32>(ARight.size());
  qint32 Prefix = 0;
  const qint32 Shorter = std::min(LeftSize, RightSize);
  while (Prefix < Shorter && ALeft[Prefix] == ARight[Prefix])
    ++Prefix;
  while (Prefix > 0 && !(IsTokenBoundary(ALeft, Prefix) && IsTokenBoundary(ARight, Prefix)))
    --Prefix;
  qint32 Suffix = 0;
  while (Suffix < Shorter - Prefix && ALeft[LeftSize - 1 - Suffix] == ARight[RightSize - 1 - Suffix])
    ++Suffix;
  while (Suffix > 0 &&
         !(IsTokenBoundary(ALeft, LeftSize - Suffix) && IsTokenBoundary(ARight, RightSize - Suffix)))
    --Suffix;

  const QStringView LeftMiddle = ALeft.mid(Prefix, LeftSize - Prefix - Suffix);
  const QStringView RightMiddle = ARight.mid(Prefix, RightSize - Prefix - Suffix);
  TIntraLineMarks Result;
  const auto MarkWholeMiddles = [&] {
    AddMark(Result.Left, TTextRange{Prefix, static_cast<qint32>(LeftMiddle.size())});
    AddMark(Result.Right, TTextRange{Prefix, static_cast<qint32>(RightMiddle.size())});
    return Result;
  };
  if (LeftMiddle.isEmpty() || RightMiddle.isEmpty() || LeftMiddle.size() > MaxSearchedUnits ||
      RightMiddle.size() > MaxSearchedUnits)
    return MarkWholeMiddles();
  const std::vector<TTextRange> LeftTokens = Tokenise(LeftMiddle, Prefix);
  const std::vector<TTextRange> RightTokens = Tokenise(RightMiddle, Prefix);
  if (LeftTokens.size() > MaxSearchedTokens || RightTokens.size() > MaxSearchedTokens)
    return MarkWholeMiddles();

  fTokenIds.clear();
  const auto Ids = [this](QStringView AText, const std::vector<TTextRange>& ATokens) {
    std::vector<qint32> Result;
    Result.reserve(ATokens.size());
    for (const TTextRange& Token : ATokens) {
      const QStringView Text = AText.mid(Token.Start, Token.Length);
      auto Found = fTokenIds.constFind(Text);
      if (Found == fTokenIds.constEnd())
        Found = fTokenIds.insert(Text, static_cast<qint32>(fTokenIds.size()));
      Result.push_back(*Found);
    }
    return Result;
  };
  const std::vector<qint32> LeftIds = Ids(ALeft, LeftTokens);
  const std::vector<qint32> RightIds = Ids(ARight, RightTokens);
  fDiffer.Clear();
  fDiffer.Execute(LeftIds.data(), RightIds.data(), static_cast<qint32>(LeftIds.size()),
                  static_cast<qint32>(RightIds.size()));
  for (qint32 r = 0; r < fDiffer.Count(); ++r) {
    const TCompareRec Rec = fDiffer.Compares(r);
    if (Rec.Kind == ckDelete || Rec.Kind == ckModify)
      AddMark(Result.Left, LeftTokens[static_cast<size_t>(Rec.oldIndex1)]);
    if (Rec.Kind == ckAdd || Rec.Kind == ckModify)
      AddMark(Result.Right, RightTokens[static_cast<size_t>(Rec.oldIndex2)]);
  }
  fDiffer.Clear();
  return Result;
}

}  // namespace quillon
