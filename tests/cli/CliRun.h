// What the command-line tests share: running quillon-cli as a user would, reading and writing
// the files it uses, and the fixture of a test database and gold-standard service it checks.
#pragma once

#include "support/GoldService.h"
#include "support/TdsServer.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/types.h>

#include <memory>

namespace quillon::cli_test {

using test::TGoldService;
using test::TTdsServer;

inline const QString Login = QStringLiteral("checker");
inline const QString Password = QStringLiteral("Zq9-s3cret-pw");
inline const QString Catalogue = QStringLiteral("compare_catalogue.xml");

// What compare_catalogue.xml differs in from compare_gold.json once the ignore list has taken
// out the database's own helper routines.
inline const QSet<QString> ExpectedAnomalies{
    QStringLiteral("check [dbo].[CK_Diff]"),   QStringLiteral("view [dbo].[V_Diff]"),
    QStringLiteral("view [sales].[V_Blank]"),  QStringLiteral("routine [dbo].[P_Diff]"),
    QStringLiteral("index [dbo].[OrderLines].[IX_Diff]"), QStringLiteral("index [dbo].[Orders].[IX_Unknown]")};

struct TCliRun {
  int ExitCode = -1;
  QByteArray Out;
  QByteArray Err;

  QStringList ErrLines() const { return QString::fromUtf8(Err).split(u'\n', Qt::SkipEmptyParts); }
};

TCliRun RunCli(const QStringList& AArguments, const QString& APassword = Password);
// Runs the program on a pseudo-terminal, as a person at a terminal would, and answers its
// question with AAnswer; what the terminal showed is in Out.
TCliRun RunOnTerminal(const QStringList& AArguments, const QString& AAnswer);
// Starts the program with the test login's password, for a test that signals it as it runs.
void StartCli(QProcess& AProcess, const QStringList& AArguments);
// The kernel's list of a process's children.
QList<pid_t> ChildrenOf(qint64 APid);

QByteArray ReadFile(const QString& AFileName);
QString WriteFile(const QTemporaryDir& ADir, const QString& AName, const QByteArray& AData);
// A loopback port nobody listens on.
quint16 ClosedPort();
// The one target of a single check's JSON report.
QJsonObject SingleTarget(const QByteArray& AReport);
QSet<QString> AnomaliesOf(const QJsonObject& AReport);

class CliTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Database = std::make_unique<TTdsServer>(Catalogue, QStringList{Login + u':' + Password});
    Service = std::make_unique<TGoldService>(QStringLiteral("compare_gold.json"));
  }
  static void TearDownTestSuite() {
    Database.reset();
    Service.reset();
  }
  void SetUp() override { Service->Reset(); }

  static QString ServiceSetting() { return QStringLiteral("Service=") + Service->BaseAddress(); }
  static QStringList Target(const QString& ADataSource = Database->DataSource()) {
    return {QStringLiteral("Server=") + ADataSource, QStringLiteral("Database=Tellwick"), QStringLiteral("User=") + Login,
            ServiceSetting()};
  }
  static QStringList Compare(const QStringList& AOptions = {}) {
    return QStringList{QStringLiteral("compare")} + Target() + AOptions;
  }

  // A fleet file whose lines name the test database as %1 and the login as %2.
  QString TwoTargetFleet(const QString& ALines) const {
    return WriteFile(Temp, QStringLiteral("fleet.txt"), ALines.arg(Database->DataSource(), Login).toUtf8());
  }

  static inline std::unique_ptr<TTdsServer> Database;
  static inline std::unique_ptr<TGoldService> Service;
  QTemporaryDir Temp;
};

}  // namespace quillon::cli_test
