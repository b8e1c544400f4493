#pragma once

#include "service/Service.Config.h"
#include "support/ServerProcess.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>

#include <gtest/gtest.h>

namespace quillon::test {

// The gold-standard test service (tests/servers/gold_service.py) on a loopback port, seeded
// from a fixture in tests/fixtures, with its control endpoint.
class TGoldService {
public:
  struct TCall {
    QString Operation;
    QVariantMap Params;
  };

  // AFixture: an absolute path, a file name in tests/fixtures, or empty for an empty store.
  // ALatencyMs holds every answer back that long.
  explicit TGoldService(const QString& AFixture = QString(), qint32 ALatencyMs = 0);

  quint16 Port() const { return FProcess.Port(); }
  QString BaseAddress() const;
  // A configuration that points every address at this service, with short time-outs.
  TServiceConfig Config() const;
  // Points GetServiceProxy of this process at the service: writes a fresh settings file beside
  // the test executable that holds only the section Service, with AConcurrency when it is
  // given (else the program's default) and ATimeout in seconds.
  void Install(qint32 AConcurrency = 0, double ATimeout = 20) const;

  // Every SOAP call received, in order.
  QList<TCall> Calls() const;
  QList<TCall> Calls(const QString& AOperation) const;
  // Connections that carried at least one service request (the control endpoint not counted).
  qint32 Connections() const;
  // The most of those connections that were open at one time.
  qint32 PeakConnections() const;
  // Service requests received (SOAP calls and pages).
  qint32 Requests() const;
  // Makes AOperation (a SOAP operation or a page name such as "GetDbRoutineList") fail with
  // AMode after AAfter good answers; see the service script for the modes. With AWhere, only
  // the calls whose parameters hold those values count.
  void Fail(const QString& AOperation, const QString& AMode, qint32 AAfter = 0, double ADelay = 0,
            const QVariantMap& AWhere = {}) const;
  // Pads every later answer to AOperation with blanks to ABytes, sent after ADelay seconds.
  void PadAnswers(const QString& AOperation, qint64 ABytes, double ADelay = 0) const;
  // Reseeds the store from the fixture and forgets calls, failures and counts.
  void Reset() const;

private:
  QByteArray Control(const QString& APath, const QByteArray& APostBody = QByteArray()) const;
  qint32 State(const QString& AName) const;
  TServerProcess FProcess;
};

// A test suite sharing one gold service seeded from "gold_client.json", installed as the
// program's service for the suite and reset before each test. TSuite is the deriving suite, so
// that every suite has a service of its own.
template <class TSuite>
class TGoldServiceSuite : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Service = std::make_unique<TGoldService>(QStringLiteral("gold_client.json"));
    Service->Install();
  }
  static void TearDownTestSuite() { Service.reset(); }
  void SetUp() override { Service->Reset(); }

  static inline std::unique_ptr<TGoldService> Service;
};

}  // namespace quillon::test
