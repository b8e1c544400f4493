#include "support/GoldService.h"

#include "infra/settings/Support.IniFile.h"
#include "service/Service.Http.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace quillon::test {

namespace {

QStringList ServiceArguments(const QString& AFixture, qint32 ALatencyMs) {
  QStringList Arguments{QStringLiteral("--latency"), QString::number(ALatencyMs)};
  if (!AFixture.isEmpty())
    Arguments << QStringLiteral("--fixture") << QDir(QStringLiteral(QUILLON_TEST_FIXTURES)).filePath(AFixture);
  return Arguments;
}

}  // namespace

TGoldService::TGoldService(const QString& AFixture, qint32 ALatencyMs)
    : FProcess(QStringLiteral(QUILLON_TEST_SERVERS "/gold_service.py"), ServiceArguments(AFixture, ALatencyMs)) {}

QString TGoldService::BaseAddress() const { return QStringLiteral("http://127.0.0.1:%1").arg(Port()); }

TServiceConfig TGoldService::Config() const {
  TServiceConfig Config;
  Config.BaseAddress = BaseAddress();
  Config.ConnectTimeout = 5;
  Config.Timeout = 20;
  return Config;
}

void TGoldService::Install(qint32 AConcurrency, double ATimeout) const {
  QFile::remove(ExeSettingsFileName());
  TIniFile Ini(ExeSettingsFileName());
  const QString Section = QStringLiteral("Service");
  if (!Ini.WriteString(Section, QStringLiteral("BaseAddress"), BaseAddress()) ||
      !Ini.WriteString(Section, QStringLiteral("ConnectTimeout"), QStringLiteral("5")) ||
      !Ini.WriteString(Section, QStringLiteral("Timeout"), QString::number(ATimeout)) ||
      (AConcurrency > 0 && !Ini.WriteString(Section, QStringLiteral("Concurrency"), QString::number(AConcurrency))))
    throw std::runtime_error("cannot write " + ExeSettingsFileName().toStdString());
}

QByteArray TGoldService::Control(const QString& APath, const QByteArray& APostBody) const {
  THttpTransport Transport(5, 20);
  const QString Address = BaseAddress() + APath;
  const THttpTransport::TResponse Response =
      APostBody.isNull() ? Transport.Get(Address) : Transport.Post(Address, "application/json", "", APostBody);
  CheckHttpStatus(Response, QStringLiteral("a control request"), Address);
  return Response.Body;
}

QList<TGoldService::TCall> TGoldService::Calls() const {
  QList<TCall> Result;
  for (const QJsonValue& Value : QJsonDocument::fromJson(Control(QStringLiteral("/control/calls"))).array()) {
    const QJsonObject Call = Value.toObject();
    Result.append({Call[QStringLiteral("operation")].toString(), Call[QStringLiteral("params")].toObject().toVariantMap()});
  }
  return Result;
}

QList<TGoldService::TCall> TGoldService::Calls(const QString& AOperation) const {
  QList<TCall> Result;
  for (const TCall& Call : Calls())
    if (Call.Operation == AOperation)
      Result.append(Call);
  return Result;
}

qint32 TGoldService::Connections() const { return State(QStringLiteral("connections")); }

qint32 TGoldService::PeakConnections() const { return State(QStringLiteral("peak")); }

qint32 TGoldService::Requests() const { return State(QStringLiteral("requests")); }

qint32 TGoldService::State(const QString& AName) const {
  return QJsonDocument::fromJson(Control(QStringLiteral("/control/state"))).object()[AName].toInt();
}

void TGoldService::Fail(const QString& AOperation, const QString& AMode, qint32 AAfter, double ADelay,
                        const QVariantMap& AWhere) const {
  const QJsonObject Rule{{QStringLiteral("operation"), AOperation},
                         {QStringLiteral("mode"), AMode},
                         {QStringLiteral("after"), AAfter},
                         {QStringLiteral("delay"), ADelay},
                         {QStringLiteral("where"), QJsonObject::fromVariantMap(AWhere)}};
  Control(QStringLiteral("/control/fail"), QJsonDocument(Rule).toJson(QJsonDocument::Compact));
}

void TGoldService::PadAnswers(const QString& AOperation, qint64 ABytes, double ADelay) const {
  const QJsonObject Rule{{QStringLiteral("operation"), AOperation},
                         {QStringLiteral("mode"), QStringLiteral("large")},
                         {QStringLiteral("size"), ABytes},
                         {QStringLiteral("delay"), ADelay}};
  Control(QStringLiteral("/control/fail"), QJsonDocument(Rule).toJson(QJsonDocument::Compact));
}

void TGoldService::Reset() const { Control(QStringLiteral("/control/reset"), QByteArray("{}")); }

}  // namespace quillon::test
