// Shell-style wildcard matching of object names, ignoring letter case.
#include "infra/text/Support.Glob.h"

namespace quillon {

namespace {

bool SameCharacter(QChar A, QChar B) { return A == B || A.toCaseFolded() == B.toCaseFolded(); }

}  // namespace

bool GlobMatches(const QString& APattern, const QString& AText) {
  // Linear in practice: on a mismatch only the last star is moved on, which is enough because
  // an earlier star can never need to swallow more than the last one leaves over.
  qsizetype Pattern = 0;
  qsizetype Text = 0;
  qsizetype StarPattern = -1;
  qsizetype StarText = 0;
  while (Text < AText.size()) {
    if (Pattern < APattern.size() && APattern.at(Pattern) == u'*') {
      StarPattern = Pattern++;
      StarText = Text;
    } else if (Pattern < APattern.size() &&
               (APattern.at(Pattern) == u'?' || SameCharacter(APattern.at(Pattern), AText.at(Text)))) {
      ++Pattern;
      ++Text;
    } else if (StarPattern >= 0) {
      Pattern = StarPattern + 1;
      Text = ++StarText;
    } else {
      return false;
    }
  }
  while (Pattern < APattern.size() && APattern.at(Pattern) == u'*')
    ++Pattern;
  return Pattern == APattern.size();
}

bool TNameFilter::Accepts(const QString& AName) const {
  const auto Matches = [&AName](const QString& APattern) { return GlobMatches(APattern, AName); };
  if (!FIncludes.isEmpty() && std::none_of(FIncludes.begin(), FIncludes.end(), Matches))
    return false;
  return std::none_of(FExcludes.begin(), FExcludes.end(), Matches);
}

}  // namespace quillon
