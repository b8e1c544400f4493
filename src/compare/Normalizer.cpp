#include "compare/Normalizer.h"

#include "infra/Support.Format.h"
#include "schema/DatabaseObjects.h"

namespace quillon {

namespace {

// White space and digits are the ASCII ones: a no-break space or a digit of another script is
// a difference, as it always has been for these comparisons.
bool IsWhiteSpace(char16_t C) { return C == u' ' || (C >= u'\t' && C <= u'\r'); }

bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }

// "(digits)" becomes the digits, in place, matching left to right as a global replacement of
// \(([0-9]+)\) would: "((1))" keeps its outer pair.
void UnwrapNumbers(QString& AText) {
  char16_t* Data = reinterpret_cast<char16_t*>(AText.data());
  const qsizetype Size = AText.size();
  qsizetype Length = 0;
  for (qsizetype I = 0; I < Size; ++I) {
    if (Data[I] == u'(') {
      qsizetype Close = I + 1;
      while (Close < Size && IsDigit(Data[Close]))
        ++Close;
      if (Close > I + 1 && Close < Size && Data[Close] == u')') {
        for (qsizetype K = I + 1; K < Close; ++K)
          Data[Length++] = Data[K];
        I = Close;
        continue;
      }
    }
    Data[Length++] = Data[I];
  }
  AText.truncate(Length);
}

// "DBO." after white space goes, and every run of white space becomes one blank, in place. A
// definition has about as many runs as words, so one pass is much cheaper than a
// regular-expression substitution per run.
void DropDboAndCollapseWhiteSpace(QString& AText) {
  char16_t* Data = reinterpret_cast<char16_t*>(AText.data());
  const qsizetype Size = AText.size();
  qsizetype Length = 0;
  bool InRun = false;
  for (qsizetype I = 0; I < Size; ++I) {
    const char16_t C = Data[I];
    const bool White = IsWhiteSpace(C);
    if (White && I + 4 < Size && Data[I + 1] == u'D' && Data[I + 2] == u'B' && Data[I + 3] == u'O' && Data[I + 4] == u'.')
      I += 4;
    if (!White || !InRun)
      Data[Length++] = White ? u' ' : C;
    InRun = White;
  }
  AText.truncate(Length);
}

// Line breaks and tabs become blanks, brackets go, "<", "=" and ">" get a blank on either side,
// and the letters a-z become upper case. AOtherThanAscii tells whether other letters may need
// the full upper-casing.
QString SpaceOut(const QString& ADefinition, bool& AOtherThanAscii) {
  QString Result(ADefinition.size() * 3, Qt::Uninitialized);
  char16_t* Out = reinterpret_cast<char16_t*>(Result.data());
  qsizetype Length = 0;
  char16_t Seen = 0;
  for (const QChar Ch : ADefinition) {
    Seen |= Ch.unicode();
    switch (Ch.unicode()) {
      case u'\t':
      case u'\n':
      case u'\r':
        Out[Length++] = u' ';
        break;
      case u'[':
      case u']':
        break;
      case u'<':
      case u'=':
      case u'>':
        Out[Length++] = u' ';
        Out[Length++] = Ch.unicode();
        Out[Length++] = u' ';
        break;
      default:
        Out[Length++] = Ch.unicode() >= u'a' && Ch.unicode() <= u'z' ? Ch.unicode() - (u'a' - u'A') : Ch.unicode();
    }
  }
  Result.truncate(Length);
  AOtherThanAscii = Seen >= 0x80;
  return Result;
}

}  // namespace

QString NormalizeDefinition(const QString& ADefinition) {
  bool OtherThanAscii = false;
  QString Result = SpaceOut(ADefinition, OtherThanAscii);
  if (OtherThanAscii)
    Result = AnsiUpperCase(Result);
  UnwrapNumbers(Result);
  DropDboAndCollapseWhiteSpace(Result);
  return Trim(Result);
}

bool SameNormalizedDefinition(const QString& ADefinition1, const QString& ADefinition2) {
  const QString Normalized1 = NormalizeDefinition(ADefinition1);
  const QString Normalized2 = NormalizeDefinition(ADefinition2);
  // Both are upper case already: the exact comparison settles almost every pair cheaply.
  return Normalized1 == Normalized2 || Normalized1.compare(Normalized2, Qt::CaseInsensitive) == 0;
}

}  // namespace quillon
