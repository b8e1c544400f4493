#pragma once

#include "support/ServerProcess.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace quillon::test {

// The SQL Server stand-in (tests/servers/tds_server.py) on a loopback port, serving one
// database from a fixture, with the commands that steer it.
class TTdsServer {
public:
  struct TStatement {
    QString Sql;
    QVariantList Params;
  };

  // AFixture: a file name in tests/fixtures, or an absolute path. ALogins ("name:password")
  // are accepted besides the fixture's own, so any catalogue in the snapshot layout can serve.
  // AEncryption: "none" (no certificate), "offer" (TLS for a client that wants it) or "force"
  // (no login without encryption). AMore: further options of tds_server.py, such as the
  // certificate it shows.
  explicit TTdsServer(const QString& AFixture, const QStringList& ALogins = {},
                      const QString& AEncryption = QStringLiteral("none"), const QStringList& AMore = {});

  quint16 Port() const { return FProcess.Port(); }
  qint64 ProcessId() const { return FProcess.ProcessId(); }
  // "127.0.0.1,<port>", the form a Data Source takes with a port.
  QString DataSource() const;
  // An OLE DB string for ADatabase on this server with SQL Server authentication (the login
  // dialog supplies the user) and a short connect time-out.
  QString ConnectionString(const QString& ADatabase) const;

  // Every batch and procedure call received, in order; a call's parameter values in Params.
  QList<TStatement> Statements();
  // How each login so far was encrypted: "none", "login" (the login packet only) or "full".
  QStringList Sessions();
  void Forget();
  // Statements containing AText (any letter case) fail with error 50000 / succeed with an
  // informational message / lose the connection.
  void Fail(const QString& AText);
  void Warn(const QString& AText);
  void Drop(const QString& AText);
  // Statements containing AText fail the way a name resolved only at run time does: the batch
  // ends there, past CATCH and XACT_ABORT, leaving an open transaction open.
  void FailUnresolved(const QString& AText);
  // Statements containing AText raise a severity-20 error and the server closes the connection.
  void FailFatally(const QString& AText);
  // Statements containing AText send their rows, then a severity-24 error instead of their end,
  // and the server closes the connection.
  void FailFatallyAfterRows(const QString& AText);
  // The reply to a statement containing AText stops before its end (the rows arrive, the
  // closing DONE token does not) and the connection is closed.
  void CutOff(const QString& AText);
  // Statements containing AText are chosen as a deadlock victim (1205): the server rolls the
  // transaction back and ends the batch.
  void Deadlock(const QString& AText);
  // Statements containing AText fail with 1222, the lock request having timed out.
  void TimeOutLocks(const QString& AText);
  // Statements containing AText are recorded, then wait until Clear (a minute at most) before
  // they run, as on a server busy with other work.
  void Hold(const QString& AText);
  // Forgets every rule above and lets held statements go on.
  void Clear();
  // Renames the two columns of dbo.GetDatabaseInfo's result (DatabaseVersion, DatabaseName).
  void NameInfoColumns(const QString& AVersion, const QString& AName);

private:
  void Expect(const QString& ACommand);
  TServerProcess FProcess;
};

}  // namespace quillon::test
