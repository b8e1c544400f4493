// The ODBC wrapper: handles, the driver's diagnostics as exceptions, a connection and its
// queries with bound parameters.
#pragma once

#include "database/Database.DataSet.h"
#include "infra/platform/Support.Exceptions.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <memory>
#include <vector>

// The ODBC headers stay out of this header: they define many unscoped names. Handles are the
// ODBC API's opaque pointers.

namespace quillon {

// One diagnostic record of the driver manager or the driver.
struct TOdbcDiagnostic {
  qint32 NativeError = 0;  // the server's error number for server messages
  QString SqlState;
  QString Message;         // as the driver gives it, with its "[vendor][component]" prefixes

  // The prefixes of Message ("[FreeTDS][SQL Server]"), and the text after them.
  QString Source() const;
  QString Description() const;
  bool operator==(const TOdbcDiagnostic&) const = default;
};

// An ODBC call failed. The message is the driver's messages, one per line, unchanged.
class EOdbcError : public Exception {
public:
  explicit EOdbcError(QList<TOdbcDiagnostic> ADiagnostics);
  const QList<TOdbcDiagnostic>& Diagnostics() const { return FDiagnostics; }
  // The link to the server is gone (SQL state class 08, or the driver says so).
  bool ConnectionLost() const;
  // The statement ran out of time (the driver cancelled it); the link itself is fine.
  bool TimedOut() const;
  // What the server said, for the user: its messages without the driver's "[vendor][component]"
  // prefixes, one per line, and without the driver's own comments on them ("Unable to connect
  // to data source"); the driver's messages when the server said nothing.
  QString ServerMessages() const;

private:
  QList<TOdbcDiagnostic> FDiagnostics;
};

namespace odbc {

// Frees an ODBC handle of the given type when it goes.
class THandle {
public:
  THandle() = default;
  THandle(short AType, void* AHandle) : FType(AType), FHandle(AHandle) {}
  ~THandle() { Reset(); }
  THandle(THandle&& AOther) noexcept;
  THandle& operator=(THandle&& AOther) noexcept;
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;

  void* Get() const { return FHandle; }
  short Type() const { return FType; }
  explicit operator bool() const { return FHandle != nullptr; }
  void Reset();

private:
  short FType = 0;
  void* FHandle = nullptr;
};

// Raises EOdbcError with the handle's diagnostics when AResult is an error.
void Check(short AResult, const THandle& AHandle);
// The diagnostic records the last call left on the handle.
QList<TOdbcDiagnostic> Diagnostics(const THandle& AHandle);

}  // namespace odbc

class TOdbcStatement;

// One connection to a data source through the ODBC driver manager, with its own environment.
// Statements attach themselves; closing the connection releases their handles first.
class TOdbcConnection {
public:
  TOdbcConnection();
  ~TOdbcConnection();
  TOdbcConnection(const TOdbcConnection&) = delete;
  TOdbcConnection& operator=(const TOdbcConnection&) = delete;

  // Connects without prompting; ALoginTimeout in seconds, 0 for the driver's default.
  void Open(const QString& AConnectionString, qint32 ALoginTimeout);
  void Close();
  bool Connected() const { return FConnected; }
  // The driver knows the link to the server is gone.
  bool Dead() const;
  // Closes the connection when the link to the server is gone (AError or the driver says so) or
  // the server ended the session because of AError. A server ends the session after an error
  // of severity 20 and above, before, between or after rows, and the driver learns it only when
  // it next uses the link: the error itself looks like any other (FreeTDS reports neither
  // severity nor state class 08 for it), so one round trip tells, except after a time-out,
  // which leaves the link as it was.
  void CloseIfEnded(const EOdbcError& AError);
  // The driver manager's version text, such as "03.52.1100.0000".
  QString DriverManagerVersion() const;
  // Seconds a statement may wait for the server before it is cancelled; 0 waits for ever.
  void SetQueryTimeout(qint32 ASeconds) { FQueryTimeout = ASeconds; }

  const odbc::THandle& Handle() const { return FDbc; }

private:
  friend class TOdbcStatement;
  void Attach(TOdbcStatement* AStatement);
  void Detach(TOdbcStatement* AStatement);
  // Talks to the server once and tells whether the link survived.
  bool SurvivesRoundTrip();

  odbc::THandle FEnv;
  odbc::THandle FDbc;
  bool FConnected = false;
  qint32 FQueryTimeout = 0;
  std::vector<TOdbcStatement*> FStatements;
};

// One statement handle of a connection, reused for every execution: allocated when first
// needed after each connect, freed when the connection closes. Runs a text with '?' markers
// and the values bound to them in order, as a forward-only, read-only cursor.
class TOdbcStatement {
public:
  explicit TOdbcStatement(TOdbcConnection& AConnection);
  virtual ~TOdbcStatement();
  TOdbcStatement(const TOdbcStatement&) = delete;
  TOdbcStatement& operator=(const TOdbcStatement&) = delete;

  // Binds the values in order (text as Unicode, integers as integers, booleans, floating
  // point numbers, date-times, byte arrays; an invalid QVariant is NULL). Raises an Exception
  // for another kind of value.
  void BindParameter(qint32 APosition, const QVariant& AValue);
  // Executes; the warnings the execution produced are kept in Warnings(). A driver error
  // raises EOdbcError.
  void Execute(const QString& ASQL);
  // Moves to the next result; false when there is none. Its warnings are added to Warnings().
  bool MoreResults();
  // Columns of the current result (0 when it has none).
  qint32 ResultColumns();
  // Discards the current results and the bound parameters.
  void Reset();

  const QList<TOdbcDiagnostic>& Warnings() const { return FWarnings; }
  void ClearWarnings() { FWarnings.clear(); }

protected:
  const odbc::THandle& Handle();
  TOdbcConnection& Connection() { return FConnection; }
  // Called before the connection frees the handle.
  virtual void Released() {}
  void Collect(short AResult);

private:
  friend class TOdbcConnection;
  void Release();

  struct TBoundValue;
  TOdbcConnection& FConnection;
  odbc::THandle FStmt;
  std::vector<std::unique_ptr<TBoundValue>> FBound;
  QList<TOdbcDiagnostic> FWarnings;
};

// The connection's query object: a forward-only result set over a TOdbcStatement. Texts of
// any length come back whole.
class TOdbcQuery : public TOdbcStatement, public TDataSet {
public:
  explicit TOdbcQuery(TOdbcConnection& AConnection) : TOdbcStatement(AConnection) {}
  ~TOdbcQuery() override;

  // Executes ASQL with the values bound so far and positions on the first row of its first
  // result set (an empty set when the text returns none).
  void OpenQuery(const QString& ASQL);

protected:
  bool FetchRow(QVector<QVariant>& AValues) override;
  void DoClose() override;
  void Released() override { Close(); }

private:
  struct TColumn {
    short SqlType;
    short CType;
  };
  QVariant ReadColumn(qint32 AIndex, const TColumn& AColumn);
  QString ReadText(qint32 AIndex, bool& AIsNull);

  QVector<TColumn> FColumns;
  std::vector<char16_t> FTextBuffer;
};

}  // namespace quillon
