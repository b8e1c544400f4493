// Opening a TSimpleDatabase: encryption and the server's certificate, TLS versions, passwords
// and connection strings the driver must get whole, and connect and query time-outs.
#include "database/Database.Odbc.h"
#include "database/Database.Simple.h"
#include "support/QtPrinters.h"
#include "support/TdsServer.h"
#include "DatabaseWithLogin.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

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

namespace quillon::database_test {
namespace {

using test::TTdsServer;

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
}  // namespace quillon::database_test
