#include "database/Database.Simple.h"
#include "infra/platform/Win.User.h"
#include "support/QtPrinters.h"
#include "support/RecordingLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace quillon {
namespace {

using test::TLogEntry;
using test::TRecordingLog;

TEST(PlaceholderTest, ColonNamesBecomeMarkersInOrderOutsideLiterals) {
  const struct {
    QString Sql;
    QString Odbc;
    QStringList Names;
  } Cases[] = {
      {QStringLiteral("EXEC dbo.AddUser :UserName, :Password"), QStringLiteral("EXEC dbo.AddUser ?, ?"),
       {QStringLiteral("UserName"), QStringLiteral("Password")}},
      {QStringLiteral("EXEC dbo.SaveDbView :VS,:VN,:VD,:V"), QStringLiteral("EXEC dbo.SaveDbView ?,?,?,?"),
       {QStringLiteral("VS"), QStringLiteral("VN"), QStringLiteral("VD"), QStringLiteral("V")}},
      {QStringLiteral("WHERE S=:P0 AND (N=:P1)\r\n:P0;"), QStringLiteral("WHERE S=? AND (N=?)\r\n?;"),
       {QStringLiteral("P0"), QStringLiteral("P1"), QStringLiteral("P0")}},
      {QStringLiteral("SELECT ':a', \":b\", `:c`, 'it''s :d', x::y, :E"),
       QStringLiteral("SELECT ':a', \":b\", `:c`, 'it''s :d', x::y, ?"), {QStringLiteral("E")}},
      // A lone colon, as after a T-SQL label, names nothing.
      {QStringLiteral("Retry:\nEXEC p :A"), QStringLiteral("Retry:\nEXEC p ?"), {QStringLiteral("A")}},
      {QStringLiteral("SELECT 1"), QStringLiteral("SELECT 1"), {}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Sql.toStdString());
    QString Odbc;
    EXPECT_EQ(ScanPlaceholders(Case.Sql, Odbc), Case.Names);
    EXPECT_EQ(Odbc, Case.Odbc);
  }
}

TEST(OdbcConnectionStringTest, OleDbKeysBecomeTheDriversKeys) {
  const QString FreeTds = QStringLiteral("FreeTDS");
  const QString Msodbc = QStringLiteral("ODBC Driver 18 for SQL Server");
  const QString Encrypted = QStringLiteral("\tencryption = require\n\tenable tls v1 = no\n");
  const QString Checked = Encrypted + QStringLiteral("\tcheck certificate hostname = yes\n");
  const struct {
    QString Driver;
    QString OleDb;
    QString Odbc;
    qint32 Timeout;
    QString FreeTdsSection = {};
    QString CAFile = {};
    bool ChecksCertificate = false;
  } Cases[] = {
      {FreeTds, QStringLiteral("Provider=SQLOLEDB.1;Data Source=SRV;Initial Catalog=Harbour;Integrated Security=SSPI"),
       QStringLiteral("DRIVER=FreeTDS;Server=SRV;Database=Harbour;Trusted_Connection=Yes;TDS_Version=7.4;Encryption=request;"),
       15},
      {FreeTds,
       QStringLiteral("Provider=SQLNCLI11.1;Data Source=db1,1533;Initial Catalog=H;User ID=kari;\"Password=a;b}c\""),
       QStringLiteral("DRIVER=FreeTDS;Server=db1,1533;Database=H;UID=kari;PWD={a;b}c};TDS_Version=7.4;Encryption=request;"),
       15},
      {FreeTds,
       QStringLiteral("Persist Security Info=False;Data Source=tcp:host\\INST;Connect Timeout=3;Encrypt=yes;"
                      "Application Name=Quillon;Workstation ID=WS;Current Language=norsk"),
       QStringLiteral("DRIVER=FreeTDS;Servername=quillon;APP=Quillon;WSID=WS;Language=norsk;TDS_Version=7.4;Encryption=require;"),
       3, QStringLiteral("[quillon]\n\thost = host\n\tinstance = INST\n") + Checked, QStringLiteral("/settings/ca.pem"), true},
      {FreeTds, QStringLiteral("Initial Catalog=H;TDS_Version=7.3;Encryption=request"),
       QStringLiteral("DRIVER=FreeTDS;Server=localhost;Database=H;TDS_Version=7.3;Encryption=request;"), 15},
      {FreeTds, QStringLiteral("Data Source=(local);Integrated Security=True"),
       QStringLiteral("DRIVER=FreeTDS;Server=localhost;Trusted_Connection=Yes;TDS_Version=7.4;Encryption=request;"), 15},
      {FreeTds, QStringLiteral("Data Source=S;Encrypt=Optional;TrustServerCertificate=yes"),
       QStringLiteral("DRIVER=FreeTDS;Server=S;TDS_Version=7.4;Encryption=request;"), 15},
      {FreeTds, QStringLiteral("Data Source=db,1533;Encrypt=strict;CAFile=/etc/ca.pem"),
       QStringLiteral("DRIVER=FreeTDS;Servername=quillon;TDS_Version=7.4;Encryption=require;"), 15,
       QStringLiteral("[quillon]\n\thost = db\n\tport = 1533\n") + Checked, QStringLiteral("/etc/ca.pem"), true},
      {FreeTds, QStringLiteral("Data Source=S;Encrypt=mandatory;HostNameInCertificate=s"),
       QStringLiteral("DRIVER=FreeTDS;Servername=quillon;TDS_Version=7.4;Encryption=require;"), 15,
       QStringLiteral("[quillon]\n\thost = S\n") + Checked, QStringLiteral("/settings/ca.pem"), true},
      // Trusted, the certificate goes unchecked, but the TLS version still counts.
      {FreeTds, QStringLiteral("Data Source=S;Use Encryption for Data=True;Trust Server Certificate=True"),
       QStringLiteral("DRIVER=FreeTDS;Servername=quillon;TDS_Version=7.4;Encryption=require;"), 15,
       QStringLiteral("[quillon]\n\thost = S\n") + Encrypted},
      {FreeTds, QStringLiteral("Data Source=S;Encrypt=FALSE"),
       QStringLiteral("DRIVER=FreeTDS;Server=S;TDS_Version=7.4;Encryption=request;"), 15},
      {FreeTds, QStringLiteral("Data Source=S,1533;Encrypt=perhaps;TrustServerCertificate=true;HostNameInCertificate=x"),
       QStringLiteral("DRIVER=FreeTDS;Servername=quillon;TDS_Version=7.4;Encryption=require;"), 15,
       QStringLiteral("[quillon]\n\thost = S\n\tport = 1533\n") + Encrypted},
      {FreeTds, QStringLiteral("Data Source=S;Encryption=off"),
       QStringLiteral("DRIVER=FreeTDS;Server=S;TDS_Version=7.4;Encryption=off;"), 15},
      // FreeTDS takes a braced value up to the first "};" and keeps "}}" as it is.
      {FreeTds, QStringLiteral("Data Source=S;User ID= kari ;\"Password={a=b}}\""),
       QStringLiteral("DRIVER=FreeTDS;Server=S;UID={ kari };PWD={{a=b}}};TDS_Version=7.4;Encryption=request;"), 15},
      {Msodbc, QStringLiteral("Data Source=S;Encrypt=strict"),
       QStringLiteral("DRIVER=ODBC Driver 18 for SQL Server;Server=S;Encrypt=strict;"), 15},
      {Msodbc, QStringLiteral("Data Source=S;Password= a}b;TrustServerCertificate=yes"),
       QStringLiteral("DRIVER=ODBC Driver 18 for SQL Server;Server=S;PWD={ a}}b};TrustServerCertificate=yes;"), 15},
      {Msodbc, QStringLiteral("Data Source=S;\"Password=pa};Port=1;Encrypt=no\";Use Encryption for Data=True;Encrypt=no"),
       QStringLiteral("DRIVER=ODBC Driver 18 for SQL Server;Server=S;PWD={pa}};Port=1;Encrypt=no};Encrypt=yes;"), 15},
      {Msodbc, QStringLiteral("Data Source=S;Encrypt=strict;Use Encryption for Data=True;HostNameInCertificate=db.x"),
       QStringLiteral("DRIVER=ODBC Driver 18 for SQL Server;Server=S;Encrypt=strict;HostNameInCertificate=db.x;"), 15},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.OleDb.toStdString());
    TMSSQLConnString Conn;
    Conn.SetValue(Case.OleDb);
    const TOdbcLogin Login = OdbcLogin(Conn, Case.Driver, QStringLiteral("/settings/ca.pem"));
    EXPECT_EQ(Login.ConnectionString, Case.Odbc);
    EXPECT_EQ(Login.LoginTimeout, Case.Timeout);
    EXPECT_EQ(Login.FreeTdsSection, Case.FreeTdsSection);
    EXPECT_EQ(Login.CAFile, Case.CAFile);
    EXPECT_EQ(Login.ChecksCertificate, Case.ChecksCertificate);
  }
}

// What would reach the driver as something else than written, or contradicts itself.
TEST(OdbcConnectionStringTest, WhatCannotBePassedOnAsMeantIsRefused) {
  const struct {
    QString Driver;
    QString OleDb;
    QString Message;
  } Cases[] = {
      {QStringLiteral("FreeTDS"), QStringLiteral("Data Source=S;\"Password=pa};Port=11433;Encryption=off;x=1\""),
       QStringLiteral("The value of Password holds \"};\"")},
      {QStringLiteral("FreeTDS"), QStringLiteral("Data Source=S;Encrypt=yes;Encryption=off"),
       QStringLiteral("asks for encryption (Encrypt) and turns it off (Encryption)")},
      {QStringLiteral("ODBC Driver 18 for SQL Server"),
       QStringLiteral("Data Source=S;Encryption=off;Use Encryption for Data=True"),
       QStringLiteral("asks for encryption (Use Encryption for Data) and turns it off (Encryption)")},
      {QStringLiteral("FreeTDS"), QStringLiteral("Data Source=db,1433;Encrypt=yes;HostNameInCertificate=other"),
       QStringLiteral("(\"db\"), not against HostNameInCertificate (\"other\")")},
      {QStringLiteral("FreeTDS"), QStringLiteral("Data Source=db#1;Encrypt=yes"),
       QStringLiteral("The server host name \"db#1\" cannot be given")},
      {QStringLiteral("FreeTDS"), QStringLiteral("Data Source=db,14x;Encrypt=yes"),
       QStringLiteral("The port \"14x\" is no port number")},
      {QStringLiteral("FreeTDS"), QStringLiteral("Data Source=db;Encrypt=yes;TrustServerCertificate=yes;CAFile=/ca.pem"),
       QStringLiteral("A CA file is used only when")},
      {QStringLiteral("ODBC Driver 18 for SQL Server"), QStringLiteral("Data Source=db;Encrypt=yes;CAFile=/ca.pem"),
       QStringLiteral("A CA file is used only when")},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.OleDb.toStdString());
    TMSSQLConnString Conn;
    Conn.SetValue(Case.OleDb);
    try {
      OdbcLogin(Conn, Case.Driver, QString());
      ADD_FAILURE() << "passed on";
    } catch (const EConnectionSettings& E) {
      EXPECT_TRUE(E.Message().contains(Case.Message)) << E.what();
    }
  }
}

TEST(OdbcDriverTest, CommandLineThenSettingsFileThenFreeTds) {
  QTemporaryDir Dir;
  const QString Configured = Dir.filePath(QStringLiteral("configured.ini"));
  QFile File(Configured);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write("[database]\nodbcdriver=ODBC Driver 18 for SQL Server\n");
  File.close();
  const QString Missing = Dir.filePath(QStringLiteral("missing.ini"));
  EXPECT_EQ(OdbcDriverFromSources(Missing, QString()), QStringLiteral("FreeTDS"));
  EXPECT_EQ(OdbcDriverFromSources(Configured, QString()), QStringLiteral("ODBC Driver 18 for SQL Server"));
  EXPECT_EQ(OdbcDriverFromSources(Configured, QStringLiteral("FreeTDS")), QStringLiteral("FreeTDS"));
}

// Answers as scripted and remembers what it was asked.
class TScriptedLoginDialog : public IDatabaseLoginDialog {
public:
  bool Answer = true;
  QString UserName;
  QString Password;
  QStringList Asked;

  bool Login(QString& AUserName, QString& APassword) override {
    Asked.append(AUserName + u'/' + APassword);
    if (!Answer)
      return false;
    AUserName = UserName;
    APassword = Password;
    return true;
  }
};

class SimpleDatabaseTest : public ::testing::Test {
protected:
  SimpleDatabaseTest() { FLog.SetLogCallStack(true); }
  TRecordingLog FLog;
  TSimpleDatabase FDb{&FLog};
};

TEST_F(SimpleDatabaseTest, StartsClosedOnTheLocalMasterWithWindowsAuthentication) {
  EXPECT_EQ(FDb.ConnectionString(), QStringLiteral("Provider=SQLOLEDB.1;Data Source=") + GetWindowsComputerName() +
                                        QStringLiteral(";Initial Catalog=master;Integrated Security=SSPI"));
  EXPECT_FALSE(FDb.Connected());
  EXPECT_EQ(FDb.DatabaseName(), QString());
  EXPECT_EQ(FDb.ServerName(), QString());
  EXPECT_EQ(FDb.objectName(), QStringLiteral("DB"));
  EXPECT_TRUE(FLog.Texts(TLogEntry::SilentWarning)
                  .contains(QStringLiteral("TSimpleDatabase.GetDataAccessVersion: MDAC version check failed.")))
      << FLog.Dump().toStdString();
}

TEST_F(SimpleDatabaseTest, NothingRunsOnAClosedConnection) {
  const std::function<void()> Calls[] = {
      [this] { FDb.FastQuery(QStringLiteral("SELECT 1")); },
      [this] { FDb.FastQuery(QStringLiteral("SELECT :P0"), {1}); },
      [this] { FDb.ExecuteCommand(QStringLiteral("EXEC x")); },
      [this] { FDb.ExecuteCommand(QStringLiteral("EXEC x :A"), {1}); },
      [this] { FDb.AddUser(QStringLiteral("u"), QStringLiteral("p")); },
      [this] { FDb.ObjectExists(QStringLiteral("dbo.T"), otUserTable); },
  };
  for (const auto& Call : Calls) {
    try {
      Call();
      ADD_FAILURE() << "ran on a closed connection";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), QStringLiteral("Implicit connect not allowed"));
    }
  }
  // A type outside the table is answered without asking the server. The enumeration's range
  // holds only the values its bits can carry: a larger one would be undefined behaviour.
  EXPECT_FALSE(FDb.ObjectExists(QStringLiteral("dbo.T"), static_cast<TDbObjectType>(otForeignKeyConstraint + 1)));
}

TEST_F(SimpleDatabaseTest, SqlLoginWithoutDialogRaisesLoginInterfaceMissing) {
  FDb.SetConnectionString(QStringLiteral("Data Source=S;Initial Catalog=D"));
  EXPECT_THROW(FDb.Connect(), ELoginInterfaceMissing);
  EXPECT_FALSE(FDb.Connected());
  EXPECT_EQ(FLog.Texts(TLogEntry::Enter), QStringList{QStringLiteral("TSimpleDatabase.Connect")});
  EXPECT_EQ(FLog.Texts(TLogEntry::Leave), QStringList{QStringLiteral("TSimpleDatabase.Connect")});
  try {
    FDb.Connect();
  } catch (const EAssertionFailed& E) {
    EXPECT_EQ(E.Message(), QString::fromUtf8("Påloggingsinformasjon mangler!"));
  }
}

TEST_F(SimpleDatabaseTest, CancelledLoginLeavesStringAndStateAndLogsNoPassword) {
  TScriptedLoginDialog Dialog;
  Dialog.Answer = false;
  FDb.SetLoginDialog(&Dialog);
  const QString Text = QStringLiteral("Data Source=S;Initial Catalog=D;User ID=old;Password=topsecret");
  FDb.SetConnectionString(Text);
  try {
    FDb.Connect();
    FAIL() << "a cancelled login connected";
  } catch (const ELoginCancelled& E) {
    EXPECT_EQ(E.Message(), QString::fromUtf8("Bruker avbrøt innlogging."));
  }
  // The dialog is offered the user name the string gives, never its password.
  EXPECT_EQ(Dialog.Asked, QStringList{QStringLiteral("old/")});
  EXPECT_EQ(FDb.ConnectionString(), Text);
  EXPECT_FALSE(FDb.Connected());
  EXPECT_EQ(FLog.Texts(TLogEntry::SilentWarning).last(),
            QStringLiteral("TSimpleDatabase.Connect: Login needed (Data Source=S;Initial Catalog=D;User ID=old;"
                           "Password=*****)"));
  EXPECT_FALSE(FLog.Dump().contains(QStringLiteral("topsecret")));
}

TEST_F(SimpleDatabaseTest, LoginContextGivesTheWindowsUserWhileIntegratedSecurityIsOn) {
  FDb.SetConnectionString(QStringLiteral("Integrated Security=sspi;User ID=kari;Password=pw"));
  EXPECT_EQ(FDb.GetUserName(), GetWindowsUserName());
  EXPECT_EQ(FDb.GetPassword(), QString());
  FDb.SetConnectionString(QStringLiteral("User ID=kari;Password=pw"));
  EXPECT_EQ(FDb.GetUserName(), QStringLiteral("kari"));
  EXPECT_EQ(FDb.GetPassword(), QStringLiteral("pw"));
}

class TNamedObserver : public ILoginObserver {
public:
  void LoginSucceeded(ISQL*) override {}
  QString ObserverName() override { return QStringLiteral("Named"); }
};

TEST(SimpleDatabaseObserverTest, ObserversLeftAtDestructionAreRemovedWithALogLine) {
  TRecordingLog Log;
  TNamedObserver First;
  TNamedObserver Second;
  {
    TSimpleDatabase Db(&Log);
    Db.AddLoginObserver(&First);
    Db.AddLoginObserver(&Second);
    Db.RemoveLoginObserver(&First);
  }
  EXPECT_EQ(Log.Texts().last(), QStringLiteral("TSimpleDatabase.RemoveAllLoginObservers"));
}

}  // namespace
}  // namespace quillon
