// The definition normalizer against its rules done one after another, each as written:
// characters spaced out, upper-cased, "(digits)" unwrapped, "DBO." after white space dropped,
// white space collapsed, the ends trimmed. White space and digits are ASCII, as in PCRE
// without options.
#include "FuzzSupport.h"

#include "gold/Normalizer.h"
#include "infra/text/Support.Format.h"
#include "model/DatabaseObjects.h"

#include <QRegularExpression>

using namespace quillon;

namespace {

QString NormalizedStepByStep(const QString& ADefinition) {
  QString Result;
  for (const QChar C : ADefinition) {
    if (C == u'\t' || C == u'\n' || C == u'\r')
      Result += u' ';
    else if (C == u'<' || C == u'=' || C == u'>')
      Result += u' ' + QString(C) + u' ';
    else if (C != u'[' && C != u']')
      Result += C;
  }
  Result = AnsiUpperCase(Result);
  static const QRegularExpression Length(QStringLiteral(R"(\((\d+)\))"));
  static const QRegularExpression Dbo(QStringLiteral(R"(\sDBO\.)"));
  static const QRegularExpression WhiteSpace(QStringLiteral(R"(\s+)"));
  Result.replace(Length, QStringLiteral("\\1"));
  Result.replace(Dbo, QStringLiteral(" "));
  Result.replace(WhiteSpace, QStringLiteral(" "));
  return Trim(Result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const QString Definition = fuzz::Utf16(AData, ASize);
  // The regular expressions of the rules match only on valid UTF-16; on anything else the
  // normalizer still runs under the sanitizers.
  if (!Definition.isValidUtf16()) {
    NormalizeDefinition(Definition);
    return 0;
  }
  fuzz::CheckSame("the normalizer departs from its rules", NormalizeDefinition(Definition),
                  NormalizedStepByStep(Definition));
  return 0;
}
