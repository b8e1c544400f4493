// TSimpleDatabase: the program's connection to one SQL Server database, with login, parameter
// placeholders, queries, commands and reconnects.
#pragma once

#include "database/Database.ConnectionString.h"
#include "database/Database.Interfaces.h"
#include "database/Database.Odbc.h"
#include "infra/logging/Logging.Interfaces.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>

namespace quillon {

// A login is needed but no login dialog was set.
class ELoginInterfaceMissing : public EAssertionFailed {
public:
  ELoginInterfaceMissing() : EAssertionFailed(QString::fromUtf8("Påloggingsinformasjon mangler!")) {}
};

// Replaces every ":Name" placeholder of ASQL outside quoted literals ('', "" and ``) by an ODBC
// parameter marker and returns the names in order of appearance. A name runs up to a space,
// CR, LF, comma, semicolon, closing parenthesis or the end; "::" is no placeholder.
QStringList ScanPlaceholders(const QString& ASQL, QString& AOdbcText);

// A connection string or setting the program cannot pass on as it means it.
QUILLON_DECLARE_EXCEPTION(EConnectionSettings, Exception)

// How to reach a server through the ODBC driver manager.
struct TOdbcLogin {
  QString ConnectionString;
  // The "Connect Timeout" in seconds (15, the OLE DB default, when the string has none).
  qint32 LoginTimeout = 0;
  // With FreeTDS, when encryption is required: the section of the driver's configuration, named
  // by the connection string's Servername, that says where the server is, that TLS 1.0 is refused
  // and, with ChecksCertificate, that the certificate and host name are checked; the CA file
  // (empty: the system's CA store) is added when connecting.
  QString FreeTdsSection;
  bool ChecksCertificate = false;
  QString CAFile;
};

// The ODBC connection string for an OLE DB one. The provider chooses ADriver; Data Source,
// Initial Catalog, User ID, Password and Integrated Security=SSPI become Server, Database, UID,
// PWD and Trusted_Connection=Yes; keys only OLE DB knows are left out and others pass through,
// each value escaped as the driver reads it.
// Encryption is asked for by Encrypt, "Use Encryption for Data" or FreeTDS's Encryption; any
// value not known to make it optional requires it, and a string that both requires it and turns
// it off is refused. Required encryption checks the server's certificate against ACAFile (or the
// string's CAFile; empty: the system's CA store) and its host name, unless TrustServerCertificate
// (OLE DB: "Trust Server Certificate") is yes; with FreeTDS it never settles for TLS 1.0.
// FreeTDS gets TDS_Version=7.4 unless the string names a version. Raises EConnectionSettings for
// what cannot be passed on as meant.
TOdbcLogin OdbcLogin(const TMSSQLConnString& AConnString, const QString& ADriver, const QString& ACAFile);

// The CA file named by the key CAFile of the section Database in the settings file beside the
// executable, or empty.
QString ConfiguredCAFile();

// The ODBC driver the provider names stand for: the command-line setting Driver=, else the key
// OdbcDriver of the section Database in the program's settings file, else FreeTDS.
QString ConfiguredOdbcDriver();
// The same rules applied to an explicit settings file and Driver= value (empty: none).
QString OdbcDriverFromSources(const QString& AIniFileName, const QString& ADriverOverride);

// The program's one database connection: SQL Server through the ODBC driver manager. One
// query statement and one command statement are reused for every call; the query's result set
// stays owned here. The connection string is an OLE DB one (TMSSQLConnString) and is turned
// into an ODBC string only when connecting.
class TSimpleDatabase : public QObject,
                        public IDatabaseAddUser,
                        public IDatabaseLoginContext,
                        public IObservableDatabase,
                        public IDatabaseName,
                        public IDatabaseConnectionString,
                        public ISQL {
public:
  explicit TSimpleDatabase(ILog* ALog);
  // The connection is created without an owner whatever AOwner is; its creator frees it.
  TSimpleDatabase(QObject* AOwner, ILog* ALog);
  ~TSimpleDatabase() override;

  // IDatabaseConnection, ISQL
  QString GetConnectionString() override;
  bool GetConnected() override;
  void Connect() override;
  void Disconnect() override;
  qint32 ExecuteCommand(const QString& ASQL) override;
  qint32 ExecuteCommand(const QString& ASQL, const QVariantList& AParams) override;
  TDataSet* FastQuery(const QString& ASQL) override;
  TDataSet* FastQuery(const QString& ASQL, const QVariantList& AParams) override;

  // IDatabaseConnectionString: meant for a closed connection; takes effect at the next Connect.
  void SetConnectionString(const QString& Value) override;
  // IDatabaseName: as the server reported them at the last Connect.
  QString GetDatabaseName() override { return fDatabaseName; }
  QString GetServerName() override { return fServerName; }
  // IDatabaseLoginContext
  QString GetUserName() override;
  QString GetPassword() override;
  // IDatabaseAddUser
  void AddUser(const QString& AUserName, const QString& APassword) override;
  // IObservableDatabase: observers are not owned and must be removed before they go.
  void AddLoginObserver(ILoginObserver* AObserver) override;
  void RemoveLoginObserver(ILoginObserver* AObserver) override;
  void RemoveAllLoginObservers();

  bool ObjectExists(const QString& AObjectName, TDbObjectType ADbObjectType);

  TMSSQLConnString& ConnectionParameters() { return *FConnString; }
  QString ConnectionString() { return GetConnectionString(); }
  bool Connected() { return GetConnected(); }
  QString DatabaseName() const { return fDatabaseName; }
  QString ServerName() const { return fServerName; }
  IDatabaseLoginDialog* LoginDialog() const { return fLoginDialog; }
  void SetLoginDialog(IDatabaseLoginDialog* AValue) { fLoginDialog = AValue; }
  bool LogSql() const { return FLogSql; }
  void SetLogSql(bool AValue) { FLogSql = AValue; }
  // The ODBC driver the provider names stand for; ConfiguredOdbcDriver() at construction.
  QString OdbcDriver() const { return FOdbcDriver; }
  void SetOdbcDriver(const QString& AValue) { FOdbcDriver = AValue; }

private:
  QString ClassName() const;
  void CheckConnected();
  void PrepareQuery(const QString& ASQL);
  // Runs an ODBC step; when it fails, unread results are discarded, and when the link to the
  // server is lost (or the server ended the session because of the error, which one round
  // trip tells) the connection is closed, so that Connected tells the truth and the next
  // Connect starts afresh.
  template <typename F>
  void Guarded(TOdbcStatement& AStatement, F AStep);
  void DiscardResults(TOdbcStatement& AStatement);
  void BindParameters(TOdbcStatement& AStatement, const QStringList& ANames, const QVariantList& AParams,
                      bool ACommand);
  qint32 ProcessErrors();
  void NotifyLoginObservers();
  void GetDataAccessVersion();

  std::unique_ptr<TMSSQLConnString> FConnString;
  std::unique_ptr<TOdbcConnection> fConnection;
  std::unique_ptr<TOdbcStatement> FCommand;
  TLogLevel FErrorLevel = ltDebug;
  QStringList FErrorMessages;
  QList<ILoginObserver*> FLoginObservers;
  std::unique_ptr<TOdbcQuery> FQuery;
  QString fDatabaseName;
  QString fServerName;
  QString fCachedConnString;
  // The driver's messages of the last command that did not fail, as the command left them.
  QList<TOdbcDiagnostic> FProviderErrors;
  bool FHandleAdoErrorsAsExceptions = true;
  ILog* FLog;
  IDatabaseLoginDialog* fLoginDialog = nullptr;
  bool FLogSql = false;
  QString FOdbcDriver;
};

}  // namespace quillon
