// The SQL Server connection string: its parts, the driver it names, and the text handed to ODBC.
#pragma once

#include "infra/settings/Interfaces.Settings.h"
#include "infra/platform/Support.Exceptions.h"

#include <QString>
#include <QStringList>

namespace quillon {

enum TSqlProvider { sqlNativeClient10, sqlNativeClient11, sqlOleDb };

// A file could not be opened for reading: "Cannot open file "%s". %s".
QUILLON_DECLARE_EXCEPTION(EFOpenError, Exception)

// An OLE DB connection string as an ordered list of "key=value" lines. Lines are split at ';'
// only; a field that starts with the quote character runs to its closing quote. The quote
// character is '"' until a data-link file has been read and '\'' from then on. Keys are found
// ignoring letter case, the first matching line wins; writing an empty value removes the line,
// writing a new key appends it.
class TMSSQLConnString {
public:
  TMSSQLConnString();
  TMSSQLConnString(const QString& AServer, const QString& ADatabase);

  // Reads the third line of a data-link file as the new content; raises EFOpenError when the
  // file cannot be opened.
  void LoadFromUdl(const QString& AFileName);
  // Switches to SQL Server authentication with this user name and password.
  void SetLogin(const QString& AUserName, const QString& APassword);

  QString Value() const;
  // Replaces the whole list; a non-empty "FILE NAME" value loads that data-link file.
  void SetValue(const QString& AValue);
  // Value with the values of "Password" and "PWD" replaced, for the log.
  QString MaskedValue() const;

  QString Server() const { return Values(QStringLiteral("Data Source")); }
  void SetServer(const QString& AValue) { SetValues(QStringLiteral("Data Source"), AValue); }
  QString Database() const { return Values(QStringLiteral("Initial Catalog")); }
  void SetDatabase(const QString& AValue) { SetValues(QStringLiteral("Initial Catalog"), AValue); }
  QString Username() const { return Values(QStringLiteral("User ID")); }
  QString Password() const { return Values(QStringLiteral("Password")); }
  bool IntegratedSecurity() const;
  void SetIntegratedSecurity(bool AValue);
  // Reports only what was last written through SetProvider, not an assigned "Provider" pair.
  TSqlProvider Provider() const { return fSqlProvider; }
  void SetProvider(TSqlProvider AValue);

  // The string-list face.
  qint32 Count() const { return static_cast<qint32>(FLines.size()); }
  const QStringList& Lines() const { return FLines; }
  QString Values(const QString& AName) const;
  void SetValues(const QString& AName, const QString& AValue);
  QChar QuoteChar() const { return FQuoteChar; }

private:
  qsizetype IndexOfName(const QString& AName) const;
  void SetDelimitedText(const QString& AText);
  QString DelimitedText(const QStringList& ALines) const;

  QStringList FLines;
  QChar FQuoteChar = u'"';
  TSqlProvider fSqlProvider = sqlNativeClient10;
};

// The data-link file "Tellwick.UDL" in the parent of the program's folder, not normalised.
// A connection-string key or parameter name that holds a password (Password, PWD, NewPassword),
// and what a logged password value is replaced by.
bool IsPasswordKey(const QString& AName);
extern const QString MaskedPassword;

QString DefaultUdlFileName();
QString DefaultUdlConnectionString();
QString NativeClient11ConnectionString(const QString& AServer, const QString& ADatabase);
// The command line's server and database when it names both (with Windows authentication, or a
// SQL login when it names a User as well), else the default data-link file.
QString ConnectionStringFromParams(const IParameters& AParams);

}  // namespace quillon
