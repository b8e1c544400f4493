// What the rest of the program asks of a database connection: SQL, its name, logins and
// their observers, and the login dialog.
#pragma once

#include "database/Database.DataSet.h"
#include "infra/platform/Support.Exceptions.h"

#include <QString>
#include <QVariantList>

namespace quillon {

enum TDbObjectType { otUserTable, otView, otScalarFunction, otStoredProcedure, otForeignKeyConstraint };

// The SQL Server object-type code of each TDbObjectType ("U", "V", "FN", "P", "F").
QString DbObjectTypeCode(TDbObjectType AType);

// The user closed the login dialog without confirming; a silent abort.
class ELoginCancelled : public EAbort {
public:
  ELoginCancelled() : EAbort(QString::fromUtf8("Bruker avbrøt innlogging.")) {}
};

// A command left errors in the driver's diagnostic list; the message holds the descriptions,
// one per line.
QUILLON_DECLARE_EXCEPTION(EDatabaseCommandFailed, Exception)

class IDatabaseConnection {
public:
  virtual ~IDatabaseConnection() = default;
  virtual QString GetConnectionString() = 0;
  virtual bool GetConnected() = 0;
  virtual void Connect() = 0;
  virtual void Disconnect() = 0;
};

// Queries and commands on an open connection. Placeholders are a colon and a name; values
// bind by position. Every operation on a closed connection raises "Implicit connect not
// allowed". FastQuery returns the connection's one result set, owned by the connection: the
// next FastQuery closes and reuses it.
class ISQL : public IDatabaseConnection {
public:
  virtual qint32 ExecuteCommand(const QString& ASQL) = 0;
  virtual qint32 ExecuteCommand(const QString& ASQL, const QVariantList& AParams) = 0;
  virtual TDataSet* FastQuery(const QString& ASQL) = 0;
  virtual TDataSet* FastQuery(const QString& ASQL, const QVariantList& AParams) = 0;
};

class IDatabaseConnectionString {
public:
  virtual ~IDatabaseConnectionString() = default;
  virtual QString GetConnectionString() = 0;
  virtual void SetConnectionString(const QString& Value) = 0;
};

class IDatabaseName {
public:
  virtual ~IDatabaseName() = default;
  virtual QString GetDatabaseName() = 0;
  virtual QString GetServerName() = 0;
};

class ILoginObserver {
public:
  virtual ~ILoginObserver() = default;
  virtual void LoginSucceeded(ISQL* ASQL) = 0;
  virtual QString ObserverName() = 0;
};

class IObservableDatabase {
public:
  virtual ~IObservableDatabase() = default;
  virtual void AddLoginObserver(ILoginObserver* AObserver) = 0;
  virtual void RemoveLoginObserver(ILoginObserver* AObserver) = 0;
};

class IDatabaseLoginContext {
public:
  virtual ~IDatabaseLoginContext() = default;
  virtual QString GetConnectionString() = 0;
  virtual QString GetUserName() = 0;
  virtual QString GetPassword() = 0;
};

class IDatabaseAddUser {
public:
  virtual ~IDatabaseAddUser() = default;
  virtual void AddUser(const QString& AUserName, const QString& APassword) = 0;
};

class IDatabaseLoginDialog {
public:
  virtual ~IDatabaseLoginDialog() = default;
  // Asks for user name and password; false when the user cancelled.
  virtual bool Login(QString& AUserName, QString& APassword) = 0;
};

}  // namespace quillon
