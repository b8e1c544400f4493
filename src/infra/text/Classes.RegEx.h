// Case-insensitive regular expressions with replacement, and the process-wide engine.
#pragma once

#include "infra/text/Interfaces.RegEx.h"

#include <QObject>

#include <memory>

namespace quillon {

class TPerlRegEx;

// Case-insensitive regular expressions on PCRE. The pattern is compiled on first use after it
// was set; the replacement text takes "$1", "${1}" for groups and "$$" for a dollar.
class TMrRegEx : public QObject, public IRegExEngine {
  Q_OBJECT

public:
  explicit TMrRegEx(QObject* AOwner = nullptr);
  ~TMrRegEx() override;

  QString GetMatchedExpression() const override;
  QString GetSubject() const override;
  QString GetReplacement() const override;
  void SetReplacement(const QString& Value) override;
  // Refuses a pattern with "\w": it only knows ASCII letters, which is wrong for our texts.
  void SetRegEx(const QString& Value) override;
  void SetSubject(const QString& Value) override;
  bool Match() override;
  bool MatchAgain() override;
  // Replaces every match in the subject; answers whether there was any.
  bool ReplaceAll() override;
  void Study() override;

  QString RegEx() const { return FPattern; }
  QString Subject() const { return GetSubject(); }
  QString Replacement() const { return GetReplacement(); }
  QString MatchedExpression() const { return GetMatchedExpression(); }

  void Compile();
  // 1-based position and length of the current match; 0 when there is none.
  qint32 MatchedExpressionOffset() const;
  qint32 MatchedExpressionLength() const;
  // Puts the replacement for the current match in its place in the subject and answers it.
  QString Replace();
  // Crude removal of rich-text markup, leaving the plain text.
  QString StripRTF(const QString& ASource);

private:
  TPerlRegEx& Compiled();

  std::unique_ptr<TPerlRegEx> FRegEx;
  QString FPattern;
  QString FSubject;
  QString FReplacement;
  // Set from a search until the subject or the pattern changes.
  bool FSearched = false;
};

// Wildcard patterns ("abc*", "*x?z") and comma-separated lists of alternatives.
class TPatternMatcher {
public:
  TPatternMatcher();
  ~TPatternMatcher();

  // "*" and "?" become ".*" and "."; a pattern is anchored at each end without a "*" there.
  static QString PatternToRegEx(const QString& AToken);
  // Whether APattern matches ASubject; false for an empty or invalid pattern.
  bool FindPattern(const QString& ASubject, const QString& APattern);
  // Matches ARegEx (with "," meaning "|" when AReplaceCommas) on the engine of the global
  // matcher, whichever matcher it is called on (on its own engine while there is no global
  // one). An empty or invalid expression raises.
  bool Found(const QString& ARegEx, const QString& ASubject, QString& AMatchingText, bool AReplaceCommas);
  bool Found(const QString& ARegEx, const QString& ASubject, bool AReplaceCommas);

private:
  std::unique_ptr<TMrRegEx> FRegEx;
};

// Process-wide instances, made by StartUpGlobalRegEx and freed by ShutDownGlobalRegEx.
inline TMrRegEx* GlobalRegEx = nullptr;
inline TPatternMatcher* GlobalPatternMatcher = nullptr;

void StartUpGlobalRegEx();
// Frees the engine first, then the pattern matcher.
void ShutDownGlobalRegEx();

}  // namespace quillon
