#include "compare/Normalizer.h"

#include "infra/Support.Format.h"
#include "infra/Support.PerlRegEx.h"

#include <QLocale>

namespace quillon {

namespace {

// White space and digits are the ASCII ones: a no-break space or a digit of another script is
// a difference, as it always has been for these comparisons.
const TPerlRegEx& ParenthesisedNumber() {
  static const TPerlRegEx Pattern(QStringLiteral("\\(([0-9]+)\\)"));
  return Pattern;
}

const TPerlRegEx& DboPrefix() {
  static const TPerlRegEx Pattern(QStringLiteral("[ \\t\\n\\x0B\\f\\r]DBO\\."));
  return Pattern;
}

const TPerlRegEx& WhiteSpaceRun() {
  static const TPerlRegEx Pattern(QStringLiteral("[ \\t\\n\\x0B\\f\\r]+"));
  return Pattern;
}

}  // namespace

QString NormalizeDefinition(const QString& ADefinition) {
  QString Result;
  Result.reserve(ADefinition.size() + ADefinition.size() / 8);
  for (const QChar Ch : ADefinition) {
    switch (Ch.unicode()) {
      case u'\t':
      case u'\n':
      case u'\r':
        Result += u' ';
        break;
      case u'[':
      case u']':
        break;
      case u'<':
      case u'=':
      case u'>':
        Result += u' ';
        Result += Ch;
        Result += u' ';
        break;
      default:
        Result += Ch;
    }
  }
  Result = QLocale().toUpper(Result);
  Result = ParenthesisedNumber().ReplaceAll(Result, QStringLiteral("$1"));
  Result = DboPrefix().ReplaceAll(Result, QStringLiteral(" "));
  Result = WhiteSpaceRun().ReplaceAll(Result, QStringLiteral(" "));
  return Trim(Result);
}

bool SameNormalizedDefinition(const QString& ADefinition1, const QString& ADefinition2) {
  const QString Normalized1 = NormalizeDefinition(ADefinition1);
  const QString Normalized2 = NormalizeDefinition(ADefinition2);
  return (Normalized1.isEmpty() && Normalized2.isEmpty()) ||
         Normalized1.compare(Normalized2, Qt::CaseInsensitive) == 0;
}

}  // namespace quillon
