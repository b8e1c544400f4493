// The interface of a regular-expression engine that holds its subject, pattern and
// replacement.
#pragma once

#include <QString>

namespace quillon {

// A regular-expression engine with its subject, pattern and replacement held as state.
class IRegExEngine {
public:
  virtual ~IRegExEngine() = default;
  virtual QString GetMatchedExpression() const = 0;
  virtual QString GetSubject() const = 0;
  virtual QString GetReplacement() const = 0;
  virtual void SetReplacement(const QString& Value) = 0;
  virtual void SetRegEx(const QString& Value) = 0;
  virtual void SetSubject(const QString& Value) = 0;
  virtual bool Match() = 0;
  virtual bool MatchAgain() = 0;
  virtual bool ReplaceAll() = 0;
  virtual void Study() = 0;
};

}  // namespace quillon
