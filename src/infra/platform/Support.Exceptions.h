// The program's exception classes, each with a message for the user.
#pragma once

#include <QString>
#include <exception>

namespace quillon {

// Base of every exception the program raises: a message for the user, like the exceptions
// of the platform the system was designed on. what() gives the message as UTF-8.
class Exception : public std::exception {
public:
  explicit Exception(QString AMessage) : FMessage(std::move(AMessage)), FUtf8(FMessage.toUtf8()) {}
  const QString& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FUtf8.constData(); }

private:
  QString FMessage;
  QByteArray FUtf8;
};

#define QUILLON_DECLARE_EXCEPTION(Name, Base)   \
  class Name : public Base {                    \
  public:                                       \
    using Base::Base;                           \
  };

// A silent abort: the user interface shows nothing for it.
QUILLON_DECLARE_EXCEPTION(EAbort, Exception)
QUILLON_DECLARE_EXCEPTION(EAssertionFailed, Exception)
// Raised by Format for a specifier without a matching argument and by failed text-to-number
// conversions.
QUILLON_DECLARE_EXCEPTION(EConvertError, Exception)
// Raised by keyed lists; a duplicate key carries the message "Duplicates not allowed".
QUILLON_DECLARE_EXCEPTION(EListError, Exception)
QUILLON_DECLARE_EXCEPTION(EInvalidCast, Exception)
// Raised when an operation that a kind must override is called on a class that does not.
class EAbstractError : public Exception {
public:
  EAbstractError() : Exception(QStringLiteral("Abstract Error")) {}
  using Exception::Exception;
};

// Raises EAssertionFailed with AMessage when ACondition is false.
inline void Assert(bool ACondition, const QString& AMessage) {
  if (!ACondition)
    throw EAssertionFailed(AMessage);
}

}  // namespace quillon
