#include "catalogue/Catalogue.Read.h"
#include "database/Database.Odbc.h"
#include "database/Database.Simple.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "support/QtPrinters.h"
#include "support/RecordingLog.h"
#include "support/SqlScalar.h"
#include "support/TdsServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <latch>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon {
namespace {

using test::TLogEntry;
using test::TRecordingLog;
using test::TTdsServer;

const QString Fixture = QStringLiteral("tds_harbour.xml");

class TScriptedLoginDialog : public IDatabaseLoginDialog {
public:
  QString UserName = QStringLiteral("quillon");
  QString Password = QStringLiteral("s3cret;pa}ss");
  qint32 Calls = 0;

  bool Login(QString& AUserName, QString& APassword) override {
    ++Calls;
    AUserName = UserName;
    APassword = Password;
    return true;
  }
};

// A connection of its own to a test server, logging in with the dialog's user and password.
struct TDatabaseWithLogin {
  explicit TDatabaseWithLogin(const QString& AConnectionString) {
    Db.SetLoginDialog(&Dialog);
    Db.SetConnectionString(AConnectionString);
  }
  TRecordingLog Log;
  TScriptedLoginDialog Dialog;
  TSimpleDatabase Db{&Log};
};

// AStep must raise TError with a message that holds AText.
template <class TError, class TStep>
void ExpectRaised(TStep AStep, const QString& AText) {
  try {
    AStep();
    ADD_FAILURE() << "no error";
  } catch (const TError& E) {
    EXPECT_TRUE(E.Message().contains(AText)) << E.what();
  }
}

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

// What the connection string asks for, against a server without a certificate, one that
// offers TLS and one that insists on it: the login encrypted wherever the server can, the whole
// session when asked or forced, and never clear text when encryption was asked for.
TEST(SimpleDatabaseEncryptionTest, EncryptIsHonouredAndRequiredEncryptionNeverFallsBackToClearText) {
  const struct {
    const char* Server;
    const char* Keys;
    const char* Session;  // nullptr: the connection is refused
  } Cases[] = {
      {"none", "Encrypt=yes", nullptr},
      {"none", "Encrypt=strict", nullptr},
      {"none", "", "none"},
      {"offer", "", "login"},
      {"offer", "Encrypt=yes;TrustServerCertificate=yes", "full"},
      {"offer", "Encrypt=no", "login"},
      {"force", "Encrypt=no", "full"},
      {"force", "Encryption=off", nullptr},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Server) + ": " + Case.Keys);
    TTdsServer Server(Fixture, {}, QString::fromLatin1(Case.Server));
    TDatabaseWithLogin Login(Server.ConnectionString(QStringLiteral("Harbour")) + u';' + QString::fromLatin1(Case.Keys));
    TSimpleDatabase& Db = Login.Db;
    if (!Case.Session) {
      EXPECT_THROW(Db.Connect(), EOdbcError);
      EXPECT_FALSE(Db.Connected());
      EXPECT_EQ(Server.Sessions().filter(QStringLiteral("none")), QStringList());
      continue;
    }
    Db.Connect();
    EXPECT_TRUE(Db.ObjectExists(QStringLiteral("dbo.Orders"), otUserTable));
    EXPECT_EQ(Server.Sessions(), QStringList{QString::fromLatin1(Case.Session)});
  }
}

void RunOpenssl(const QString& AFolder, const QStringList& AArguments) {
  QProcess Openssl;
  Openssl.setWorkingDirectory(AFolder);
  Openssl.start(QStringLiteral("openssl"), AArguments);
  if (!Openssl.waitForFinished(30000) || Openssl.exitStatus() != QProcess::NormalExit || Openssl.exitCode() != 0)
    throw std::runtime_error("openssl " + AArguments.join(u' ').toStdString() + " failed: " +
                             Openssl.errorString().toStdString() + Openssl.readAllStandardError().toStdString());
}

// A certificate authority made for one test, with a certificate for localhost it signed and
// one it signed that has already expired.
class TTestCertificates {
public:
  TTestCertificates() {
    const QStringList NewKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    const QString Folder = FFolder.path();
    RunOpenssl(Folder, QStringList{QStringLiteral("req"), QStringLiteral("-x509")}
                           << NewKey << QStringLiteral("-keyout") << QStringLiteral("ca.key") << QStringLiteral("-out")
                           << QStringLiteral("ca.pem") << QStringLiteral("-days") << QStringLiteral("1")
                           << QStringLiteral("-subj") << QStringLiteral("/CN=Quillon Test CA"));
    RunOpenssl(Folder, QStringList{QStringLiteral("req")}
                           << NewKey << QStringLiteral("-keyout") << QStringLiteral("server.key")
                           << QStringLiteral("-out") << QStringLiteral("server.csr") << QStringLiteral("-subj")
                           << QStringLiteral("/CN=localhost"));
    QFile Extensions(FFolder.filePath(QStringLiteral("server.ext")));
    if (!Extensions.open(QIODevice::WriteOnly) ||
        Extensions.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n") < 0)
      throw std::runtime_error("cannot write the certificate's extensions");
    Extensions.close();
    // -days 0 makes a certificate whose last valid second is the one it was made in.
    for (const auto& [Name, Days] : {std::pair{"server.pem", "1"}, std::pair{"expired.pem", "0"}})
      RunOpenssl(Folder, {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                          QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                          QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
                          QStringLiteral("-out"), QString::fromLatin1(Name), QStringLiteral("-days"),
                          QString::fromLatin1(Days), QStringLiteral("-extfile"), QStringLiteral("server.ext")});
    QThread::sleep(1);
  }

  QString Path(const QString& AName) const { return FFolder.filePath(AName); }
  // tds_server.py's options that make it show the certificate AName.
  QStringList ServerOptions(const QString& AName) const {
    return {QStringLiteral("--certificate"), Path(AName), QStringLiteral("--key"), Path(QStringLiteral("server.key"))};
  }

private:
  QTemporaryDir FFolder;
};

// Required encryption proves the server is who it says: its certificate must be signed by the
// CA file (or the system's CA store), be valid now and name the host connected to.
TEST(SimpleDatabaseEncryptionTest, RequiredEncryptionChecksTheServersCertificateAndHostName) {
  const TTestCertificates Certificates;
  const QString CAFile = QStringLiteral(";CAFile=") + Certificates.Path(QStringLiteral("ca.pem"));
  const struct {
    const char* Certificate;  // nullptr: a self-signed one
    const char* Host;
    QString Keys;
    bool Accepted;
  } Cases[] = {
      {"server.pem", "localhost", QStringLiteral("Encrypt=yes") + CAFile, true},
      {"server.pem", "localhost",
       QStringLiteral("Use Encryption for Data=True;HostNameInCertificate=localhost") + CAFile, true},
      {"server.pem", "localhost", QStringLiteral("Encrypt=yes"), false},
      {"server.pem", "127.0.0.1", QStringLiteral("Encrypt=yes") + CAFile, false},
      {"expired.pem", "localhost", QStringLiteral("Encrypt=yes") + CAFile, false},
      {nullptr, "localhost", QStringLiteral("Encrypt=yes") + CAFile, false},
      {nullptr, "localhost", QStringLiteral("Encrypt=yes;TrustServerCertificate=yes"), true},
      {nullptr, "127.0.0.1", QStringLiteral("Use Encryption for Data=True;Trust Server Certificate=True"), true},
  };
  const QByteArray OwnConfiguration = qgetenv("FREETDSCONF");
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Certificate ? Case.Certificate : "self-signed") + " " + Case.Host + ": " +
                 Case.Keys.toStdString());
    TTdsServer Server(Fixture, {}, QStringLiteral("force"),
                      Case.Certificate ? Certificates.ServerOptions(QString::fromLatin1(Case.Certificate))
                                       : QStringList());
    TDatabaseWithLogin Login(QStringLiteral("Data Source=%1,%2;Initial Catalog=Harbour;Connect Timeout=10;%3")
                                 .arg(QString::fromLatin1(Case.Host))
                                 .arg(Server.Port())
                                 .arg(Case.Keys));
    if (Case.Accepted) {
      Login.Db.Connect();
      EXPECT_EQ(Server.Sessions(), QStringList{QStringLiteral("full")});
    } else {
      ExpectRaised<EOdbcError>([&] { Login.Db.Connect(); }, QStringLiteral("certificate was checked against"));
      EXPECT_FALSE(Login.Db.Connected());
    }
    EXPECT_EQ(qgetenv("FREETDSCONF"), OwnConfiguration);
  }
}

// An old server that speaks nothing newer than TLS 1.0 is refused, whether its certificate is
// checked or trusted, promptly and with a message that names the TLS version; a login the server
// refuses over TLS gets no such explanation.
TEST(SimpleDatabaseEncryptionTest, AServerThatOffersOnlyTls10IsRefusedWithAMessageThatSaysSo) {
  const TTestCertificates Certificates;
  const QString Tls10 = QStringLiteral("An encrypted connection is not made with TLS 1.0");
  const struct {
    const char* Tls;
    QString Keys;
    const char* Password;
    QString Message;  // empty: connected
  } Cases[] = {
      {"1.0", QStringLiteral("Encrypt=yes;CAFile=") + Certificates.Path(QStringLiteral("ca.pem")), "s3cret;pa}ss", Tls10},
      {"1.0", QStringLiteral("Encrypt=yes;TrustServerCertificate=yes"), "s3cret;pa}ss", Tls10},
      {"1.2", QStringLiteral("Encrypt=yes;TrustServerCertificate=yes"), "s3cret;pa}ss", {}},
      {"1.2", QStringLiteral("Encrypt=yes;TrustServerCertificate=yes"), "wrong", QStringLiteral("Login failed")},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Tls) + ": " + Case.Keys.toStdString() + ", " + Case.Password);
    TTdsServer Server(Fixture, {}, QStringLiteral("force"),
                      Certificates.ServerOptions(QStringLiteral("server.pem"))
                          << QStringLiteral("--tls") << QString::fromLatin1(Case.Tls));
    TDatabaseWithLogin Login(QStringLiteral("Data Source=localhost,%1;Initial Catalog=Harbour;Connect Timeout=10;%2")
                                 .arg(Server.Port())
                                 .arg(Case.Keys));
    Login.Dialog.Password = QString::fromLatin1(Case.Password);
    if (Case.Message.isEmpty()) {
      Login.Db.Connect();
      EXPECT_EQ(Server.Sessions(), QStringList{QStringLiteral("full")});
      continue;
    }
    QElapsedTimer Timer;
    Timer.start();
    try {
      Login.Db.Connect();
      ADD_FAILURE() << "connected";
    } catch (const EOdbcError& E) {
      EXPECT_TRUE(E.Message().contains(Case.Message)) << E.what();
      EXPECT_EQ(E.Message().contains(Tls10), Case.Message == Tls10) << E.what();
    }
    EXPECT_LT(Timer.elapsed(), 5000);
    EXPECT_FALSE(Login.Db.Connected());
  }
}

TEST(SimpleDatabaseEncryptionTest, ACAFileThatCannotServeIsRefusedBeforeConnecting) {
  QTemporaryDir Folder;
  QFile NotPem(Folder.filePath(QStringLiteral("ca.der")));
  ASSERT_TRUE(NotPem.open(QIODevice::WriteOnly));
  NotPem.write(QByteArray("\x30\x82\x01\x0a", 4));
  NotPem.close();
  const struct {
    QString CAFile;
    QString Message;
  } Cases[] = {
      {Folder.filePath(QStringLiteral("missing.pem")), QStringLiteral("cannot be read")},
      {NotPem.fileName(), QStringLiteral("holds no PEM certificate")},
  };
  TTdsServer Server(Fixture, {}, QStringLiteral("force"));
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.CAFile.toStdString());
    TDatabaseWithLogin Login(Server.ConnectionString(QStringLiteral("Harbour")) + QStringLiteral(";Encrypt=yes;CAFile=") +
                             Case.CAFile);
    ExpectRaised<EConnectionSettings>([&] { Login.Db.Connect(); }, Case.Message);
    EXPECT_EQ(Server.Sessions(), QStringList());
  }
}

// Connections opened on several threads at once each reach their own server: one that checks
// the certificate points FreeTDS at a configuration of its own through the process's
// environment, which no other connection may read or change while it opens.
TEST(SimpleDatabaseEncryptionTest, ConnectionsOpenedSideBySideEachReachTheirOwnServer) {
  const TTestCertificates Certificates;
  const QString CAFile = QStringLiteral(";Encrypt=yes;CAFile=") + Certificates.Path(QStringLiteral("ca.pem"));
  TTdsServer First(Fixture, {}, QStringLiteral("force"), Certificates.ServerOptions(QStringLiteral("server.pem")));
  TTdsServer Second(Fixture, {}, QStringLiteral("force"), Certificates.ServerOptions(QStringLiteral("server.pem")));
  TTdsServer Plain(Fixture);
  const QByteArray OwnConfiguration = qgetenv("FREETDSCONF");
  const auto Checked = [&](const TTdsServer& AServer) {
    return QStringLiteral("Data Source=localhost,%1;Initial Catalog=Harbour;Connect Timeout=10").arg(AServer.Port()) +
           CAFile;
  };
  const QStringList ConnectionStrings{Checked(First), Checked(Second), Plain.ConnectionString(QStringLiteral("Harbour"))};
  constexpr int PerServer = 4;
  std::latch Start(PerServer * ConnectionStrings.size());
  QStringList Failures;
  std::mutex FailuresLock;
  {
    std::vector<std::jthread> Threads;
    for (int Round = 0; Round < PerServer; ++Round)
      for (const QString& ConnectionString : ConnectionStrings)
        Threads.emplace_back([&, ConnectionString] {
          TDatabaseWithLogin Login(ConnectionString);
          Start.arrive_and_wait();
          try {
            Login.Db.Connect();
          } catch (const std::exception& E) {
            const std::lock_guard Lock(FailuresLock);
            Failures.append(QString::fromUtf8(E.what()));
          }
        });
  }
  EXPECT_EQ(Failures, QStringList());
  EXPECT_EQ(First.Sessions(), QStringList(PerServer, QStringLiteral("full")));
  EXPECT_EQ(Second.Sessions(), QStringList(PerServer, QStringLiteral("full")));
  EXPECT_EQ(Plain.Sessions(), QStringList(PerServer, QStringLiteral("none")));
  EXPECT_EQ(qgetenv("FREETDSCONF"), OwnConfiguration);
}

// A password reaches the server as typed, whatever characters it holds; one the driver cannot
// be given intact is refused before anything is sent.
TEST(SimpleDatabaseLoginTest, EveryCharacterOfAPasswordReachesTheServer) {
  const QStringList Passwords{QStringLiteral("a;b;"), QStringLiteral("{ab"), QStringLiteral("ab}"),
                              QStringLiteral("a}}b{"), QStringLiteral("a=b"), QStringLiteral("  ab "),
                              QString::fromUtf8("pässwörd€😀"), QStringLiteral("p}x;Encryption=off")};
  QStringList Logins;
  for (qsizetype Index = 0; Index < Passwords.size(); ++Index)
    Logins.append(QStringLiteral("user%1:%2").arg(Index).arg(Passwords[Index]));
  TTdsServer Server(Fixture, Logins, QStringLiteral("force"));
  for (qsizetype Index = 0; Index < Passwords.size(); ++Index) {
    SCOPED_TRACE(Passwords[Index].toStdString());
    TDatabaseWithLogin Login(Server.ConnectionString(QStringLiteral("Harbour")));
    Login.Dialog.UserName = QStringLiteral("user%1").arg(Index);
    Login.Dialog.Password = Passwords[Index];
    Login.Db.Connect();
    EXPECT_EQ(Login.Db.DatabaseName(), QStringLiteral("Harbour"));
  }

  const QStringList Before = Server.Sessions();
  TDatabaseWithLogin Login(Server.ConnectionString(QStringLiteral("Harbour")) + QStringLiteral(";Encrypt=yes"));
  Login.Dialog.Password = QStringLiteral("pa};Port=11433;Encryption=off;x=1");
  ExpectRaised<EConnectionSettings>([&] { Login.Db.Connect(); }, QStringLiteral("The value of Password holds"));
  EXPECT_EQ(Server.Sessions(), Before);
}

TEST(SimpleDatabaseLoginTest, AConnectionStringTooLongForTheDriverIsRefusedNotCut) {
  TTdsServer Server(Fixture);
  TDatabaseWithLogin Login(Server.ConnectionString(QStringLiteral("Harbour")) + QStringLiteral(";Application Name=") +
                           QString(70000, u'x'));
  ExpectRaised<Exception>([&] { Login.Db.Connect(); },
                          QStringLiteral("The connection string's length is out of range for the ODBC driver"));
  EXPECT_EQ(Server.Sessions(), QStringList());
}

TEST(SimpleDatabaseTimeoutTest, AServerThatNeverAnswersFailsWithinTheConnectTimeout) {
  // A listening socket whose connections are never served: the handshake completes, the login
  // never does.
  const int Listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(Listener, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Length = sizeof(Address);
  ASSERT_EQ(bind(Listener, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)), 0);
  ASSERT_EQ(listen(Listener, 4), 0);
  ASSERT_EQ(getsockname(Listener, reinterpret_cast<sockaddr*>(&Address), &Length), 0);

  TRecordingLog Log;
  TSimpleDatabase Db(&Log);
  TScriptedLoginDialog Dialog;
  Db.SetLoginDialog(&Dialog);
  Db.SetConnectionString(QStringLiteral("Data Source=127.0.0.1,%1;Initial Catalog=Harbour;Connect Timeout=2")
                             .arg(ntohs(Address.sin_port)));
  QElapsedTimer Timer;
  Timer.start();
  try {
    Db.Connect();
    ADD_FAILURE() << "connected to a silent server";
  } catch (const EOdbcError& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("Timeout expired"))) << E.what();
  }
  EXPECT_LT(Timer.elapsed(), 8000);
  EXPECT_FALSE(Db.Connected());
  close(Listener);
}

// A batch that outlasts the query time-out is cancelled: the driver sends the server an attention,
// the batch stops in its WAITFOR and the connection stays usable. Under XACT_ABORT nothing of the
// batch is kept; without it the transaction stays open, as SQL Server leaves it.
TEST(SimpleDatabaseTimeoutTest, AStatementThatTimesOutIsCancelledAndUnderXactAbortRolledBack) {
  TTdsServer Server(Fixture);
  for (const auto& [XactAbort, OpenTransactions, ConstraintKept] :
       {std::tuple{"ON", 0, true}, std::tuple{"OFF", 1, false}}) {
    SCOPED_TRACE(XactAbort);
    TOdbcConnection Connection;
    Connection.Open(QStringLiteral("DRIVER=FreeTDS;Server=127.0.0.1;Port=%1;Database=Harbour;UID=plain;PWD=pw;"
                                   "TDS_Version=7.4;")
                        .arg(Server.Port()),
                    5);
    Connection.SetQueryTimeout(1);
    TOdbcQuery Query(Connection);
    const QString Batch = QStringLiteral("SET XACT_ABORT %1; BEGIN TRANSACTION; ALTER TABLE sales.Lines DROP "
                                         "CONSTRAINT CK_Lines_Qty; WAITFOR DELAY '00:00:30'; COMMIT TRANSACTION")
                              .arg(QLatin1String(XactAbort));
    QElapsedTimer Timer;
    Timer.start();
    ExpectRaised<EOdbcError>(
        [&] { Query.OpenQuery(Batch); },
        QStringLiteral("Timeout expired"));
    EXPECT_LT(Timer.elapsed(), 10000);
    ASSERT_TRUE(Connection.Connected());
    Query.OpenQuery(QStringLiteral("SELECT @@TRANCOUNT AS OpenTransactions, OBJECT_ID('sales.CK_Lines_Qty') AS Id"));
    EXPECT_EQ(Query.FieldByName(QStringLiteral("OpenTransactions")).AsInteger(), OpenTransactions);
    EXPECT_EQ(!Query.FieldByName(QStringLiteral("Id")).IsNull(), ConstraintKept);
    Query.Close();
  }
}

}  // namespace
}  // namespace quillon
