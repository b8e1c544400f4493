#include "support/TdsServer.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace quillon::test {

namespace {

QStringList ServerArguments(const QString& AFixture, const QStringList& ALogins, const QString& AEncryption,
                            const QStringList& AMore) {
  QStringList Arguments{QDir(QStringLiteral(QUILLON_TEST_FIXTURES)).absoluteFilePath(AFixture)};
  for (const QString& Login : ALogins)
    Arguments << QStringLiteral("--login") << Login;
  return Arguments << QStringLiteral("--encryption") << AEncryption << AMore;
}

}  // namespace

TTdsServer::TTdsServer(const QString& AFixture, const QStringList& ALogins, const QString& AEncryption,
                       const QStringList& AMore)
    : FProcess(QStringLiteral(QUILLON_TEST_SERVERS "/tds_server.py"),
               ServerArguments(AFixture, ALogins, AEncryption, AMore)) {}

QStringList TTdsServer::Sessions() {
  const QJsonDocument Document = QJsonDocument::fromJson(FProcess.Command(QStringLiteral("sessions")).toUtf8());
  if (!Document.isArray())
    throw std::runtime_error("the TDS test server gave no session list");
  QStringList Result;
  for (const QJsonValue& Item : Document.array())
    Result.append(Item.toString());
  return Result;
}

QString TTdsServer::DataSource() const { return QStringLiteral("127.0.0.1,%1").arg(Port()); }

QString TTdsServer::ConnectionString(const QString& ADatabase) const {
  return QStringLiteral("Provider=SQLOLEDB.1;Data Source=%1;Initial Catalog=%2;Connect Timeout=10")
      .arg(DataSource(), ADatabase);
}

QList<TTdsServer::TStatement> TTdsServer::Statements() {
  const QJsonDocument Document = QJsonDocument::fromJson(FProcess.Command(QStringLiteral("statements")).toUtf8());
  if (!Document.isArray())
    throw std::runtime_error("the TDS test server gave no statement list");
  QList<TStatement> Result;
  for (const QJsonValue& Item : Document.array()) {
    const QJsonObject Object = Item.toObject();
    Result.append({Object.value(u"sql").toString(), Object.value(u"params").toArray().toVariantList()});
  }
  return Result;
}

void TTdsServer::Expect(const QString& ACommand) {
  const QString Answer = FProcess.Command(ACommand);
  if (Answer != u"ok")
    throw std::runtime_error("the TDS test server refused " + ACommand.toStdString() + ": " + Answer.toStdString());
}

void TTdsServer::Forget() { Expect(QStringLiteral("forget")); }
void TTdsServer::Fail(const QString& AText) { Expect(QStringLiteral("fail ") + AText); }
void TTdsServer::Warn(const QString& AText) { Expect(QStringLiteral("warn ") + AText); }
void TTdsServer::Drop(const QString& AText) { Expect(QStringLiteral("drop ") + AText); }
void TTdsServer::FailUnresolved(const QString& AText) { Expect(QStringLiteral("unresolved ") + AText); }
void TTdsServer::FailFatally(const QString& AText) { Expect(QStringLiteral("fatal ") + AText); }

void TTdsServer::FailFatallyAfterRows(const QString& AText) { Expect(QStringLiteral("fatal-after-rows ") + AText); }
void TTdsServer::CutOff(const QString& AText) { Expect(QStringLiteral("cut ") + AText); }
void TTdsServer::Deadlock(const QString& AText) { Expect(QStringLiteral("deadlock ") + AText); }
void TTdsServer::TimeOutLocks(const QString& AText) { Expect(QStringLiteral("lock-timeout ") + AText); }
void TTdsServer::Hold(const QString& AText) { Expect(QStringLiteral("hold ") + AText); }
void TTdsServer::Clear() { Expect(QStringLiteral("clear")); }
void TTdsServer::NameInfoColumns(const QString& AVersion, const QString& AName) {
  Expect(QStringLiteral("info %1,%2").arg(AVersion, AName));
}

}  // namespace quillon::test
