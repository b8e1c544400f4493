// Definition texts normalized for comparison with the gold standard.
#include "gold/Normalizer.h"

#include "infra/text/Support.Format.h"
#include "model/DatabaseObjects.h"

namespace quillon {

namespace {

// White space and digits are the ASCII ones: a no-break space or a digit of another script is
// a difference, as it always has been for these comparisons.
bool IsWhiteSpace(char16_t C) { return C == u' ' || (C >= u'\t' && C <= u'\r'); }

bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }

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
// the letters a-z become upper case, and "(digits)" of what remains becomes the digits, matched
// left to right as a global replacement of \(([0-9]+)\) would ("((1))" keeps its outer pair).
// AOtherThanAscii tells whether other letters may need the full upper-casing.
QString SpaceOut(const QString& ADefinition, bool& AOtherThanAscii) {
  const char16_t* In = reinterpret_cast<const char16_t*>(ADefinition.constData());
  const qsizetype Size = ADefinition.size();
  QString Result(Size * 3, Qt::Uninitialized);
  char16_t* Out = reinterpret_cast<char16_t*>(Result.data());
  qsizetype Length = 0;
  char16_t Seen = 0;
  for (qsizetype I = 0; I < Size; ++I) {
    const char16_t C = In[I];
    Seen |= C;
    switch (C) {
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
        Out[Length++] = C;
        Out[Length++] = u' ';
        break;
      case u'(': {
        qsizetype Close = I + 1;
        bool Digits = false;
        for (; Close < Size && (IsDigit(In[Close]) || In[Close] == u'[' || In[Close] == u']'); ++Close)
          Digits = Digits || IsDigit(In[Close]);
        if (Digits && Close < Size && In[Close] == u')') {
          for (qsizetype K = I + 1; K < Close; ++K)
            if (IsDigit(In[K]))
              Out[Length++] = In[K];
          I = Close;
        } else {
          Out[Length++] = C;
        }
        break;
      }
      default:
        Out[Length++] = C >= u'a' && C <= u'z' ? C - (u'a' - u'A') : C;
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
  DropDboAndCollapseWhiteSpace(Result);
  return Trim(Result);
}

bool SameNormalizedDefinition(const QString& ADefinition1, const QString& ADefinition2) {
  // An unchanged object, the usual case, needs no normalizing at all.
  if (ADefinition1 == ADefinition2)
    return true;
  const QString Normalized1 = NormalizeDefinition(ADefinition1);
  const QString Normalized2 = NormalizeDefinition(ADefinition2);
  // Both are upper case already: the exact comparison settles almost every pair cheaply.
  return Normalized1 == Normalized2 || Normalized1.compare(Normalized2, Qt::CaseInsensitive) == 0;
}

}  // namespace quillon
