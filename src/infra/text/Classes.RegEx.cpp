// Case-insensitive regular expressions with replacement, and the process-wide engine.
#include "infra/text/Classes.RegEx.h"

#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "infra/text/Support.PerlRegEx.h"

namespace quillon {

TMrRegEx::TMrRegEx(QObject* AOwner) : QObject(AOwner) {}

TMrRegEx::~TMrRegEx() = default;

QString TMrRegEx::GetMatchedExpression() const { return FSearched && FRegEx ? FRegEx->Group(0) : QString(); }

QString TMrRegEx::GetSubject() const { return FSubject; }

QString TMrRegEx::GetReplacement() const { return FReplacement; }

void TMrRegEx::SetReplacement(const QString& Value) { FReplacement = Value; }

void TMrRegEx::SetRegEx(const QString& Value) {
  Assert(!Value.contains(QStringLiteral("\\w")),
         QStringLiteral("The \"\\w\" expression is not supported for Unicode, use \\p{L} or similar constructs"));
  FPattern = Value;
  FRegEx.reset();
  FSearched = false;
}

void TMrRegEx::SetSubject(const QString& Value) {
  FSubject = Value;
  FSearched = false;
}

void TMrRegEx::Compile() {
  FRegEx = std::make_unique<TPerlRegEx>(FPattern, TPerlRegEx::roIgnoreCase);
  FSearched = false;
}

TPerlRegEx& TMrRegEx::Compiled() {
  if (!FRegEx)
    Compile();
  return *FRegEx;
}

// Compiling already optimises the pattern (JIT), so studying only has to make sure it is compiled.
void TMrRegEx::Study() { Compiled(); }

bool TMrRegEx::Match() {
  const bool Found = Compiled().Match(FSubject);
  FSearched = true;
  return Found;
}

bool TMrRegEx::MatchAgain() {
  if (!FSearched)
    return Match();
  return FRegEx->MatchAgain();
}

bool TMrRegEx::ReplaceAll() {
  qsizetype Count = 0;
  FSubject = Compiled().ReplaceAll(FSubject, FReplacement, &Count);
  FSearched = false;
  return Count > 0;
}

qint32 TMrRegEx::MatchedExpressionOffset() const {
  if (!FSearched || !FRegEx || FRegEx->MatchedOffset() < 0)
    return 0;
  return static_cast<qint32>(FRegEx->MatchedOffset() + 1);
}

qint32 TMrRegEx::MatchedExpressionLength() const {
  return FSearched && FRegEx ? static_cast<qint32>(FRegEx->MatchedLength()) : 0;
}

QString TMrRegEx::Replace() {
  if (!FSearched || !FRegEx)
    return QString();
  const QString Result = FRegEx->Replace(FReplacement);
  FSubject = FRegEx->Subject();
  return Result;
}

namespace {

int HexDigit(QChar C) {
  const char16_t U = C.unicode();
  if (U >= u'0' && U <= u'9')
    return U - u'0';
  if (U >= u'a' && U <= u'f')
    return U - u'a' + 10;
  if (U >= u'A' && U <= u'F')
    return U - u'A' + 10;
  return -1;
}

// \'hh is a character given by its code.
QString DecodeHexEscapes(const QString& S) {
  QString Result;
  Result.reserve(S.size());
  qsizetype I = 0;
  while (I < S.size()) {
    if (S.at(I) == u'\\' && I + 3 < S.size() && S.at(I + 1) == u'\'') {
      const int High = HexDigit(S.at(I + 2));
      const int Low = HexDigit(S.at(I + 3));
      Result.append(High < 0 || Low < 0 ? QChar(u' ') : QChar(char16_t(High * 16 + Low)));
      I += 4;
    } else {
      Result.append(S.at(I));
      ++I;
    }
  }
  return Result;
}

}  // namespace

QString TMrRegEx::StripRTF(const QString& ASource) {
  if (ASource.isEmpty())
    return QString();
  QString Text = ASource;
  Text.replace(QStringLiteral("\\par "), QStringLiteral("\r\n"));
  Text = DecodeHexEscapes(Text);
  // Control words are ASCII: spelled out so that decoded letters such as "æ" after a control
  // word stay in the text.
  static const TPerlRegEx Markup(
      QStringLiteral("{\\\\[A-Za-z0-9_\\s\\d]*}|{(\\\\[A-Za-z0-9_]+)+(\\s[A-Za-z0-9_]+)*;}|\\\\[A-Za-z0-9_]+"),
      TPerlRegEx::roIgnoreCase);
  Text = Markup.ReplaceAll(Text, QString());
  Text.remove(QStringLiteral("{}"));
  if (Text.size() > 1) {
    if (Text.endsWith(u'}'))
      Text.chop(1);
    if (Text.startsWith(u'{'))
      Text.remove(0, 1);
    Text = Trim(Text);
  }
  return Text;
}

TPatternMatcher::TPatternMatcher() : FRegEx(std::make_unique<TMrRegEx>()) {}

TPatternMatcher::~TPatternMatcher() = default;

QString TPatternMatcher::PatternToRegEx(const QString& AToken) {
  if (AToken.isEmpty())
    return QString();
  QString Token = AToken;
  if (Token.startsWith(u'*'))
    Token.remove(0, 1);
  else
    Token.prepend(u'^');
  if (Token.endsWith(u'*'))
    Token.chop(1);
  else
    Token.append(u'$');
  QString Result;
  Result.reserve(Token.size() * 2);
  for (const QChar C : Token) {
    switch (C.unicode()) {
      case u' ':
        Result.append(QStringLiteral("\\s"));
        break;
      case u'(':
      case u')':
      case u'-':
      case u'.':
      case u'/':
      case u'\\':
        Result.append(u'\\').append(C);
        break;
      case u'*':
        Result.append(QStringLiteral(".*"));
        break;
      case u'?':
        Result.append(u'.');
        break;
      default:
        Result.append(C);
    }
  }
  return Result;
}

bool TPatternMatcher::FindPattern(const QString& ASubject, const QString& APattern) {
  if (APattern.isEmpty())
    return false;
  try {
    FRegEx->SetSubject(ASubject);
    FRegEx->SetRegEx(PatternToRegEx(APattern));
    return FRegEx->Match();
  } catch (const Exception&) {
    return false;
  }
}

bool TPatternMatcher::Found(const QString& ARegEx, const QString& ASubject, QString& AMatchingText,
                            bool AReplaceCommas) {
  TMrRegEx& Engine = GlobalPatternMatcher ? *GlobalPatternMatcher->FRegEx : *FRegEx;
  QString Expression = ARegEx;
  if (AReplaceCommas)
    Expression.replace(u',', u'|');
  Engine.SetRegEx(Expression);
  if (Engine.RegEx().isEmpty())
    throw Exception(QStringLiteral("PrepareRegEx failed (no expression)"));
  Engine.Compile();
  Engine.SetSubject(ASubject);
  const bool Matched = Engine.Match();
  if (Matched)
    AMatchingText = Engine.MatchedExpression();
  return Matched;
}

bool TPatternMatcher::Found(const QString& ARegEx, const QString& ASubject, bool AReplaceCommas) {
  QString Ignored;
  return Found(ARegEx, ASubject, Ignored, AReplaceCommas);
}

namespace {
std::unique_ptr<TMrRegEx> OwnedRegEx;
std::unique_ptr<TPatternMatcher> OwnedPatternMatcher;
}  // namespace

void StartUpGlobalRegEx() {
  OwnedRegEx = std::make_unique<TMrRegEx>();
  GlobalRegEx = OwnedRegEx.get();
  OwnedPatternMatcher = std::make_unique<TPatternMatcher>();
  GlobalPatternMatcher = OwnedPatternMatcher.get();
}

void ShutDownGlobalRegEx() {
  GlobalRegEx = nullptr;
  OwnedRegEx.reset();
  GlobalPatternMatcher = nullptr;
  OwnedPatternMatcher.reset();
}

}  // namespace quillon
