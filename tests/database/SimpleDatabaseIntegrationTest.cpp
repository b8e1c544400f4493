// TSimpleDatabase against the TDS test server: logging in, parameters, result sets, the errors
// the server and the driver give, lost connections and observers.
#include "catalogue/Catalogue.Read.h"
#include "database/Database.Odbc.h"
#include "database/Database.Simple.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "support/QtPrinters.h"
#include "support/RecordingLog.h"
#include "support/SqlScalar.h"
#include "support/TdsServer.h"
#include "DatabaseWithLogin.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace quillon::database_test {
namespace {

using test::TLogEntry;
using test::TTdsServer;

class TRecordingObserver : public ILoginObserver {
public:
  QStringList Seen;
  bool Fail = false;

  void LoginSucceeded(ISQL* ASQL) override {
    TDataSet* Data = ASQL->FastQuery(QStringLiteral("SELECT DB_NAME()"));
    Seen.append(Data->Fields(0).AsString());
    Data->Close();
    if (Fail)
      throw Exception(QStringLiteral("observer says no"));
  }
  QString ObserverName() override { return QStringLiteral("Recorder"); }
};

class SimpleDatabaseIntegrationTest : public ::testing::Test {
protected:
  void SetUp() override {
    FLog.SetLogCallStack(true);
    FDb.SetLoginDialog(&FDialog);
    FDb.SetConnectionString(FServer.ConnectionString(QStringLiteral("Harbour")));
  }

  QList<TTdsServer::TStatement> StatementsLike(const QString& AText) {
    QList<TTdsServer::TStatement> Found;
    for (const TTdsServer::TStatement& Statement : FServer.Statements())
      if (Statement.Sql.contains(AText, Qt::CaseInsensitive))
        Found.append(Statement);
    return Found;
  }

  TTdsServer FServer{Fixture};
  TRecordingLog FLog;
  TScriptedLoginDialog FDialog;
  TSimpleDatabase FDb{&FLog};
};

TEST_F(SimpleDatabaseIntegrationTest, SqlLoginThroughTheDialogReadsNamesAndNotifiesObservers) {
  TRecordingObserver Observer;
  FDb.AddLoginObserver(&Observer);
  FDb.Connect();
  ASSERT_TRUE(FDb.Connected());
  EXPECT_EQ(FDialog.Calls, 1);
  EXPECT_EQ(FDb.DatabaseName(), QStringLiteral("Harbour"));
  EXPECT_EQ(FDb.ServerName(), QStringLiteral("SQLTEST01"));
  EXPECT_EQ(FDb.GetUserName(), QStringLiteral("quillon"));
  EXPECT_EQ(Observer.Seen, QStringList{QStringLiteral("Harbour")});
  EXPECT_TRUE(FLog.Texts().contains(QStringLiteral("TSimpleDatabase.Connect:  Notify Recorder of successful login.")));
  EXPECT_FALSE(FLog.Dump().contains(QStringLiteral("s3cret")));
  EXPECT_THROW(FDb.AddLoginObserver(&Observer), EAssertionFailed);
  FDb.RemoveLoginObserver(&Observer);

  // Connecting again while open does nothing and logs nothing.
  const qsizetype Logged = FLog.Entries.size();
  FDb.Connect();
  EXPECT_EQ(FLog.Entries.size(), Logged);
}

TEST_F(SimpleDatabaseIntegrationTest, WrongPasswordLeavesTheConnectionClosedWithTheServersMessage) {
  FDialog.Password = QStringLiteral("wrong");
  try {
    FDb.Connect();
    FAIL() << "connected with a wrong password";
  } catch (const EOdbcError& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("Login failed for user 'quillon'."))) << E.what();
  }
  EXPECT_FALSE(FDb.Connected());
  EXPECT_EQ(FLog.Texts(TLogEntry::Leave), QStringList{QStringLiteral("TSimpleDatabase.Connect")});

  // The failed string was never cached, so the next attempt asks again.
  FDialog.Password = QStringLiteral("s3cret;pa}ss");
  FDb.Connect();
  EXPECT_EQ(FDialog.Calls, 2);
  EXPECT_TRUE(FDb.Connected());
}

TEST_F(SimpleDatabaseIntegrationTest, ReconnectUsesTheCachedStringUntilTheStringChanges) {
  FDb.Connect();
  FDb.Disconnect();
  EXPECT_FALSE(FDb.Connected());
  FDb.Connect();
  EXPECT_EQ(FDialog.Calls, 1);
  EXPECT_TRUE(FLog.Texts().contains(QStringLiteral("TSimpleDatabase.Connect: Using cached string")));
  EXPECT_TRUE(FLog.Texts().contains(QStringLiteral("TSimpleDatabase.Disconnect")));

  FDb.Disconnect();
  FDb.SetConnectionString(FServer.ConnectionString(QStringLiteral("master")));
  FDb.Connect();
  EXPECT_EQ(FDialog.Calls, 2);
  EXPECT_EQ(FDb.DatabaseName(), QStringLiteral("master"));
}

TEST_F(SimpleDatabaseIntegrationTest, PasswordsAreMaskedOnTheLoginAndWindowsAuthenticationLines) {
  FDb.SetConnectionString(FServer.ConnectionString(QStringLiteral("Harbour")) + QStringLiteral(";Password=first-secret"));
  FDb.Connect();
  FDb.Disconnect();
  FDb.SetConnectionString(FServer.ConnectionString(QStringLiteral("Harbour")) +
                          QStringLiteral(";Integrated Security=SSPI;Password=second-secret"));
  EXPECT_ANY_THROW(FDb.Connect());  // the stand-in refuses Windows logins
  EXPECT_EQ(FDialog.Calls, 1);

  const QString Dump = FLog.Dump();
  EXPECT_FALSE(Dump.contains(QStringLiteral("secret"))) << Dump.toStdString();
  EXPECT_FALSE(Dump.contains(QStringLiteral("pa}ss"))) << Dump.toStdString();
  const QString Base = FServer.ConnectionString(QStringLiteral("Harbour"));
  EXPECT_TRUE(FLog.Texts(TLogEntry::SilentWarning)
                  .contains(QStringLiteral("TSimpleDatabase.Connect: Login needed (") + Base +
                            QStringLiteral(";Password=*****)")))
      << Dump.toStdString();
  EXPECT_TRUE(FLog.Texts().contains(QStringLiteral("TSimpleDatabase.Connect: ") + Base +
                                    QStringLiteral(";Integrated Security=SSPI;Password=*****")))
      << Dump.toStdString();
}

TEST_F(SimpleDatabaseIntegrationTest, ParametersReachTheServerInOrderWithTheirTypes) {
  FDb.Connect();
  FServer.Forget();
  FDb.AddUser(QStringLiteral("bob"), QString::fromUtf8("pässword"));
  EXPECT_EQ(FDb.ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbView :VS,:VN,:VD,:V"),
                               {QStringLiteral("dbo"), QStringLiteral("V"), QStringLiteral("CREATE VIEW ':x'"), 12}),
            1);
  const QList<TTdsServer::TStatement> Sent = FServer.Statements();
  ASSERT_EQ(Sent.size(), 2);
  EXPECT_EQ(Sent[0].Sql, QStringLiteral("EXEC dbo.AddUser @P1, @P2"));
  EXPECT_EQ(Sent[0].Params, (QVariantList{QStringLiteral("bob"), QString::fromUtf8("pässword")}));
  EXPECT_EQ(Sent[1].Sql, QStringLiteral("EXEC dbo.SaveDbView @P1,@P2,@P3,@P4"));
  EXPECT_EQ(Sent[1].Params,
            (QVariantList{QStringLiteral("dbo"), QStringLiteral("V"), QStringLiteral("CREATE VIEW ':x'"), 12}));

  TDataSet* Data = FDb.FastQuery(
      QStringLiteral("SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=:P0 AND SPECIFIC_NAME=:P1"),
      {QStringLiteral("dbo"), QStringLiteral("GetDatabaseInfo")});
  ASSERT_FALSE(Data->Eof());
  EXPECT_EQ(QDateTimeFromDateTime(Data->Fields(0).AsDateTime()),
            QDateTime(QDate(2016, 2, 29), QTime(8, 15, 30)));
  Data->Close();
}

TEST_F(SimpleDatabaseIntegrationTest, AValueThatCannotBeBoundIsLoggedUnlessItIsAPassword) {
  FDb.Connect();
  const QVariant Unbindable(QUrl(QStringLiteral("hunter2")));
  EXPECT_THROW(FDb.ExecuteCommand(QStringLiteral("EXEC dbo.AddUser :UserName, :Password"), {QStringLiteral("bob"), Unbindable}),
               Exception);
  EXPECT_THROW(FDb.FastQuery(QStringLiteral("SELECT 1 WHERE :NewPassword = 1"), {Unbindable}), Exception);
  EXPECT_THROW(FDb.ExecuteCommand(QStringLiteral("EXEC dbo.AddUser :UserName, :PWD"), {Unbindable, Unbindable}), Exception);
  const QStringList Errors = FLog.Texts(TLogEntry::SilentError);
  ASSERT_EQ(Errors.size(), 3) << FLog.Dump().toStdString();
  EXPECT_TRUE(Errors[0].startsWith(QStringLiteral("TSimpleDatabase.PrepareCommandParameters[1](Password=*****): ")))
      << Errors[0].toStdString();
  EXPECT_TRUE(Errors[1].startsWith(QStringLiteral("TSimpleDatabase.PrepareQueryParameters(0): ***** "))) << Errors[1].toStdString();
  // Only the password is hidden: other values still tell what failed.
  EXPECT_TRUE(Errors[2].startsWith(QStringLiteral("TSimpleDatabase.PrepareCommandParameters[0](UserName=hunter2): ")))
      << Errors[2].toStdString();
  EXPECT_FALSE(FLog.Dump().contains(QStringLiteral("Password=hunter2")));
  EXPECT_TRUE(FDb.Connected());
}

// Lengths and numbers the ODBC calls take in 16 bits are refused when they do not fit, never
// wrapped into another value.
TEST_F(SimpleDatabaseIntegrationTest, ValuesTooLargeForAnOdbcCallAreRefusedNotWrapped) {
  FDb.Connect();
  try {
    FDb.ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbView :VS,:VN,:VD,:V"),
                       {QStringLiteral("dbo"), QStringLiteral("V"), QStringLiteral("x"), QDate(40000, 1, 1)});
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("The year of a date parameter is out of range for the ODBC driver: 40000")))
        << E.what();
  }
  EXPECT_TRUE(FDb.Connected());

  TOdbcConnection Connection;
  const QString Long = QStringLiteral("DRIVER=FreeTDS;SERVER=x;APP=") + QString(40000, u'a');
  try {
    Connection.Open(Long, 1);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("The connection string's length is out of range for the ODBC driver: %1 (it takes "
                                          "-32768 to 32767)").arg(Long.size()));
  }
}

TEST_F(SimpleDatabaseIntegrationTest, ResultSetsReadEveryTypeAndNullAndTheNextQueryClosesThePrevious) {
  FDb.Connect();
  TDataSet* Info = FDb.FastQuery(QStringLiteral("EXEC dbo.GetDatabaseInfo"));
  EXPECT_EQ(Info->FieldByName(QStringLiteral("DatabaseVersion")).AsInteger(), 12);
  EXPECT_EQ(Info->FieldByName(QStringLiteral("databasename")).AsString(), QStringLiteral("Harbour"));

  TDataSet* Columns = FDb.FastQuery(QStringLiteral("SELECT * FROM INFORMATION_SCHEMA.COLUMNS ORDER BY TABLE_SCHEMA,COLUMN_NAME"));
  EXPECT_EQ(Columns, Info);  // the one query object, reused
  QStringList Rows;
  for (; !Columns->Eof(); Columns->Next()) {
    TField* Length = Columns->FindField(QStringLiteral("CHARACTER_MAXIMUM_LENGTH"));
    Rows.append(QStringLiteral("%1 %2 %3 %4")
                    .arg(Columns->FieldByName(QStringLiteral("COLUMN_NAME")).AsString(),
                         Length->IsNull() ? QStringLiteral("null") : QString::number(Length->AsInteger()),
                         Columns->FieldByName(QStringLiteral("NUMERIC_SCALE")).AsVariant().toString(),
                         Columns->FieldByName(QStringLiteral("COLUMN_DEFAULT")).AsString()));
  }
  EXPECT_EQ(Rows, (QStringList{QStringLiteral("Id null  "), QStringLiteral("Note -1  "),
                               QStringLiteral("Total null 2 (0)"), QStringLiteral("Qty null  ")}));
  EXPECT_EQ(Columns->FindField(QStringLiteral("NO_SUCH_COLUMN")), nullptr);
  Columns->Close();
  Columns->Close();

  TDataSet* Indices = FDb.FastQuery(CatalogueQuery(TDatabaseIndexList(&FLog)));
  ASSERT_FALSE(Indices->Eof());
  EXPECT_EQ(Indices->FieldByName(QStringLiteral("IS_UNIQUE")).AsVariant(), QVariant(false));
  Indices->Next();
  EXPECT_TRUE(Indices->Eof());
}

TEST_F(SimpleDatabaseIntegrationTest, ObjectExistsSendsTheNameAsAParameter) {
  FDb.Connect();
  FServer.Forget();
  EXPECT_TRUE(FDb.ObjectExists(QStringLiteral("dbo.Orders"), otUserTable));
  EXPECT_TRUE(FDb.ObjectExists(QStringLiteral("[dbo].[GetDatabaseInfo]"), otStoredProcedure));
  EXPECT_FALSE(FDb.ObjectExists(QStringLiteral("dbo.Orders"), otView));
  EXPECT_FALSE(FDb.ObjectExists(QStringLiteral("dbo.O'Brien"), otUserTable));
  const QList<TTdsServer::TStatement> Sent = FServer.Statements();
  ASSERT_EQ(Sent.size(), 4);
  EXPECT_EQ(Sent[3].Sql, QStringLiteral("SELECT OBJECT_ID(@P1,@P2)"));
  EXPECT_EQ(Sent[3].Params, (QVariantList{QStringLiteral("dbo.O'Brien"), QStringLiteral("U")}));
}

// The numbers SQL Server gives these errors, as the driver passes them on. Views and CHECK
// clauses bind every name when they are made; a procedure may name a table that does not exist
// yet, but not a column the table lacks.
TEST_F(SimpleDatabaseIntegrationTest, TheServerNumbersItsErrorsAsSqlServerDoes) {
  FDb.Connect();
  const struct {
    const char* Sql;
    qint32 Number;
    const char* Message;
  } Cases[] = {
      {"THROW 49999, 'x', 1", 35100, "Error number 49999 in the THROW statement is outside the valid range"},
      {"SET QUOTED_IDENTIFIER OFF;\r\nALTER VIEW dbo.OpenOrders AS SELECT Id FROM dbo.Orders", 111,
       "'CREATE/ALTER VIEW' must be the first statement in a query batch."},
      {"ALTER VIEW dbo.OpenOrders AS SELECT Id FROM dbo.Nowhere", 208, "Invalid object name 'dbo.Nowhere'."},
      {"ALTER PROCEDURE dbo.NoSuchProcedure AS SELECT 1", 208, "Invalid object name 'dbo.NoSuchProcedure'."},
      {"ALTER VIEW dbo.OpenOrders AS SELECT Id, Shipped FROM dbo.Orders", 207, "Invalid column name 'Shipped'."},
      {"ALTER VIEW dbo.OpenOrders AS SELECT o.Id FROM dbo.Orders o JOIN sales.Lines l ON l.OrderId = o.Id", 207,
       "Invalid column name 'OrderId'."},
      {"ALTER PROCEDURE dbo.dt_helper AS SELECT Shipped FROM dbo.Orders o WHERE o.Shipped = 1", 207,
       "Invalid column name 'Shipped'."},
      {"ALTER VIEW dbo.OpenOrders AS SELECT Id, Rounded(Total) AS T FROM dbo.Orders", 195,
       "'Rounded' is not a recognized built-in function name."},
      {"ALTER VIEW dbo.OpenOrders AS SELECT (Id FROM dbo.Orders", 102, "Incorrect syntax near"},
      {"ALTER PROCEDURE dbo.GetDatabaseInfo SELECT 12 AS DatabaseVersion", 156,
       "Incorrect syntax near the keyword 'SELECT'."},
      {"ALTER FUNCTION dbo.dtx() AS BEGIN RETURN 1 END", 156, "Incorrect syntax near the keyword 'AS'."},
      {"CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 12 AS DatabaseVersion", 2714,
       "There is already an object named 'GetDatabaseInfo' in the database."},
      {"SET XACT_ABORT ONN", 102, "Incorrect syntax near 'ONN'."},
      {"SET NO_SUCH_OPTION ON", 195, "'NO_SUCH_OPTION' is not a recognized SET option."},
      {"BEGIN TRANSACTION Repair Now", 102, "Incorrect syntax near 'Now'."},
      {"ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Price CHECK ([Price]>(0))", 207,
       "Invalid column name 'Price'."},
      {"ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Abs CHECK (Absolute([Qty])>(0))", 195,
       "'Absolute' is not a recognized built-in function name."},
      {"ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Qty CHECK ([Qty]>(1))", 2714,
       "There is already an object named 'CK_Lines_Qty' in the database."},
      {"ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Max CHECK ([Qty]<(100)", 102, "Incorrect syntax near"},
      {"ALTER TABLE sales.Nowhere ADD CONSTRAINT CK_Nowhere CHECK ([Qty]>(0))", 4902,
       "Cannot find the object \"sales.Nowhere\""},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Sql);
    try {
      FDb.ExecuteCommand(QString::fromLatin1(Case.Sql));
      ADD_FAILURE() << "no error";
    } catch (const EOdbcError& E) {
      ASSERT_FALSE(E.Diagnostics().isEmpty());
      EXPECT_EQ(E.Diagnostics().first().NativeError, Case.Number);
      EXPECT_TRUE(E.Message().contains(QString::fromLatin1(Case.Message))) << E.what();
    }
  }
  // What SQL Server accepts, the server accepts too.
  for (const char* Sql : {"SET ANSI_NULLS, QUOTED_IDENTIFIER ON", "SET TRANSACTION ISOLATION LEVEL READ COMMITTED",
                          "ALTER PROCEDURE dbo.dt_helper AS SELECT Id FROM dbo.NotYetThere",
                          "ALTER VIEW dbo.OpenOrders AS SELECT o.Id, ISNULL(o.Note, N'') AS Note, DATEADD(day, 1, "
                          "GETDATE()) AS Due FROM dbo.Orders o WHERE o.Total > 0",
                          "CREATE PROCEDURE dbo.NewOne AS SELECT 1 AS One"}) {
    SCOPED_TRACE(Sql);
    EXPECT_NO_THROW(FDb.ExecuteCommand(QString::fromLatin1(Sql)));
  }
}

// A deadlock victim's transaction is rolled back and its batch ends there; a lock request that
// times out fails its statement alone and leaves the transaction open.
TEST_F(SimpleDatabaseIntegrationTest, ADeadlockRollsTheTransactionBackWhereALockTimeOutEndsOnlyItsStatement) {
  const struct {
    void (TTdsServer::*Rule)(const QString&);
    qint32 Number;
    qint32 TranCount;
    bool ConstraintKept;
  } Cases[] = {
      {&TTdsServer::Deadlock, 1205, 0, true},
      {&TTdsServer::TimeOutLocks, 1222, 1, false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Number);
    FDb.Connect();
    (FServer.*Case.Rule)(QStringLiteral("CK_Lines_Min"));
    try {
      FDb.ExecuteCommand(QStringLiteral("BEGIN TRANSACTION;\r\n"
                                        "ALTER TABLE sales.Lines DROP CONSTRAINT CK_Lines_Qty;\r\n"
                                        "ALTER TABLE sales.Lines ADD CONSTRAINT CK_Lines_Min CHECK ([Qty]>(0));"));
      ADD_FAILURE() << "no error";
    } catch (const EOdbcError& E) {
      ASSERT_FALSE(E.Diagnostics().isEmpty());
      EXPECT_EQ(E.Diagnostics().first().NativeError, Case.Number);
    }
    FServer.Clear();
    EXPECT_EQ(test::ScalarOf(FDb, QStringLiteral("SELECT @@TRANCOUNT")).toInt(), Case.TranCount);
    EXPECT_EQ(!test::ScalarOf(FDb, QStringLiteral("SELECT OBJECT_ID('sales.CK_Lines_Qty')")).isNull(), Case.ConstraintKept);
    FDb.Disconnect();
  }
}

TEST_F(SimpleDatabaseIntegrationTest, MessagesLeftByACommandRaiseCommandFailedWithTheirDescriptions) {
  FDb.Connect();
  FServer.Warn(QStringLiteral("SaveDbRoutine"));
  try {
    FDb.ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbRoutine :S,:N,:T,:C,:V"),
                       {QStringLiteral("dbo"), QStringLiteral("P"), QStringLiteral("PROCEDURE"), QStringLiteral("x"), 3});
    FAIL() << "a command that left messages passed";
  } catch (const EDatabaseCommandFailed& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Forced warning for: EXEC dbo.SaveDbRoutine @P1,@P2,@P3,@P4,@P5\n"));
  }
  EXPECT_TRUE(FLog.Texts().contains(
      QStringLiteral("TSimpleDatabase.ProcessErrors: NativeError=50000 Number=50000 SQLState=\"01000\" "
                     "Source=\"[FreeTDS][SQL Server]\" Description=Forced warning for: "
                     "EXEC dbo.SaveDbRoutine @P1,@P2,@P3,@P4,@P5")))
      << FLog.Dump().toStdString();
  EXPECT_EQ(FLog.Texts(TLogEntry::Enter).last(), QStringLiteral("TSimpleDatabase.ProcessErrors"));
  EXPECT_EQ(FLog.Texts(TLogEntry::Leave).last(), QStringLiteral("TSimpleDatabase.ProcessErrors"));
  // The messages went with the exception: the next command starts clean.
  FServer.Clear();
  EXPECT_EQ(FDb.ExecuteCommand(QStringLiteral("EXEC dbo.AddUser 'a', 'b'")), 1);
}

TEST_F(SimpleDatabaseIntegrationTest, DriverErrorsReachTheCallerUnchangedAndTheConnectionStaysUsable) {
  FDb.Connect();
  const struct {
    QString Sql;
    QString Message;
  } Cases[] = {
      {QStringLiteral("SELECT * FROM dbo.Nowhere"), QStringLiteral("[FreeTDS][SQL Server]Invalid object name 'dbo.Nowhere'.")},
      {QStringLiteral("EXEC dbo.Unknown"), QStringLiteral("[FreeTDS][SQL Server]Could not find stored procedure 'dbo.Unknown'.")},
      {QStringLiteral("this is not sql"), QStringLiteral("[FreeTDS][SQL Server]Incorrect syntax near 'not'.")},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Sql.toStdString());
    try {
      FDb.ExecuteCommand(Case.Sql);
      ADD_FAILURE() << "no error";
    } catch (const EOdbcError& E) {
      EXPECT_EQ(E.Message(), Case.Message);
    }
  }
  EXPECT_THROW(FDb.FastQuery(Cases[0].Sql), EOdbcError);
  EXPECT_TRUE(FDb.Connected());
  EXPECT_TRUE(FDb.ObjectExists(QStringLiteral("dbo.Orders"), otUserTable));
}

TEST_F(SimpleDatabaseIntegrationTest, ACommandWhileAResultIsOpenFailsAndLeavesTheResultReadable) {
  FDb.Connect();
  TDataSet* Columns = FDb.FastQuery(QStringLiteral("SELECT * FROM INFORMATION_SCHEMA.COLUMNS ORDER BY TABLE_SCHEMA,COLUMN_NAME"));
  EXPECT_THROW(FDb.ExecuteCommand(QStringLiteral("EXEC dbo.AddUser 'a', 'b'")), EOdbcError);
  Columns->Next();
  ASSERT_FALSE(Columns->Eof());
  EXPECT_EQ(Columns->FieldByName(QStringLiteral("COLUMN_NAME")).AsString(), QStringLiteral("Note"));
  Columns->Close();
  EXPECT_EQ(FDb.ExecuteCommand(QStringLiteral("EXEC dbo.AddUser 'a', 'b'")), 1);
}

TEST_F(SimpleDatabaseIntegrationTest, ALostConnectionClosesAndTheCachedStringReconnects) {
  FDb.Connect();
  FServer.Drop(QStringLiteral("OBJECT_ID"));
  EXPECT_THROW(FDb.ObjectExists(QStringLiteral("dbo.Orders"), otUserTable), EOdbcError);
  EXPECT_FALSE(FDb.Connected());
  FServer.Clear();
  FDb.Connect();
  EXPECT_EQ(FDialog.Calls, 1);
  EXPECT_TRUE(FDb.ObjectExists(QStringLiteral("dbo.Orders"), otUserTable));
}

// Severity 20 and above ends the session, whether the error comes before the rows or after
// some of them.
TEST_F(SimpleDatabaseIntegrationTest, AFatalServerErrorClosesTheConnectionAndTheNextCallSaysSo) {
  const struct {
    void (TTdsServer::*Rule)(const QString&);
    const char* Error;
  } Cases[] = {
      {&TTdsServer::FailFatally, "Fatal error 9001"},
      {&TTdsServer::FailFatallyAfterRows, "logical consistency-based I/O error"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Error);
    FDb.Connect();
    (FServer.*Case.Rule)(QStringLiteral("INFORMATION_SCHEMA.ROUTINES"));
    TDatabaseRoutineList Routines(&FLog);
    ExpectRaised<EOdbcError>([&] { LoadFromCatalogue(Routines, &FDb); }, QString::fromLatin1(Case.Error));
    EXPECT_FALSE(FDb.Connected());
    ExpectRaised<Exception>([&] { FDb.FastQuery(QStringLiteral("SELECT DB_NAME()")); },
                            QStringLiteral("Implicit connect not allowed"));
    FServer.Clear();
    FDb.Connect();
    EXPECT_TRUE(FDb.ObjectExists(QStringLiteral("dbo.Orders"), otUserTable));
    FDb.Disconnect();
  }
}

TEST_F(SimpleDatabaseIntegrationTest, AConnectionLostInTheMiddleOfAResultIsClosedAndTheNextCallSaysSo) {
  FDb.Connect();
  TDatabaseRoutineList Routines(&FLog);
  const QString Query = CatalogueQuery(Routines);
  FServer.CutOff(QStringLiteral("INFORMATION_SCHEMA.ROUTINES"));
  EXPECT_THROW(LoadFromCatalogue(Routines, &FDb), EOdbcError);
  EXPECT_FALSE(FDb.Connected());
  try {
    FDb.FastQuery(Query);
    ADD_FAILURE() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Implicit connect not allowed"));
  }
  FServer.Clear();
  FDb.Connect();
  LoadFromCatalogue(Routines, &FDb);
  EXPECT_GT(Routines.Count(), 0);
}

TEST_F(SimpleDatabaseIntegrationTest, AFailingObserverIsLoggedAndRaisedWithTheConnectionOpen) {
  TRecordingObserver Observer;
  Observer.Fail = true;
  FDb.AddLoginObserver(&Observer);
  EXPECT_THROW(FDb.Connect(), Exception);
  EXPECT_TRUE(FDb.Connected());
  EXPECT_EQ(FLog.Texts(TLogEntry::SilentError).last(), QStringLiteral("TSimpleDatabase.Connect: observer says no"));
  FDb.Disconnect();
  FDb.RemoveLoginObserver(&Observer);
}

TEST_F(SimpleDatabaseIntegrationTest, ARoutineSourceOf500KilobytesTravelsWhole) {
  FDb.Connect();
  QString Source = QStringLiteral("ALTER PROCEDURE dbo.GetDatabaseInfo AS\r\n");
  for (qint32 Line = 0; Source.size() < 250000; ++Line)
    Source += QString::fromUtf8("  -- line %1: ÆØÅ {fn x} ? :param 'quoted'\r\n").arg(Line);
  Source += QStringLiteral("SELECT 12 AS DatabaseVersion");
  ASSERT_GE(Source.size() * 2, 500000);
  EXPECT_EQ(FDb.ExecuteCommand(Source), 1);

  TDataSet* Routines = FDb.FastQuery(CatalogueQuery(TDatabaseRoutineList(&FLog)));
  QString Stored;
  for (; !Routines->Eof(); Routines->Next())
    if (Routines->FieldByName(QStringLiteral("ROUTINE_NAME")).AsString() == u"GetDatabaseInfo")
      Stored = Routines->FieldByName(QStringLiteral("ROUTINE_DEFINITION")).AsString();
  Routines->Close();
  EXPECT_EQ(Stored, QStringLiteral("CREATE") + Source.mid(5));

  FServer.Forget();
  FDb.ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbRoutine :S,:N,:T,:C,:V"),
                     {QStringLiteral("dbo"), QStringLiteral("GetDatabaseInfo"), QStringLiteral("PROCEDURE"), Stored, 12});
  const QList<TTdsServer::TStatement> Sent = FServer.Statements();
  ASSERT_EQ(Sent.size(), 1);
  EXPECT_EQ(Sent[0].Params.value(3).toString(), Stored);
}

}  // namespace
}  // namespace quillon::database_test
