// What the database tests that log in share: the test server's fixture, a login dialog that
// answers as scripted, and a connection of its own that logs in through it.
#pragma once

#include "database/Database.Simple.h"
#include "support/RecordingLog.h"

#include <QString>

#include <gtest/gtest.h>

namespace quillon::database_test {

using test::TRecordingLog;

inline const QString Fixture = QStringLiteral("tds_harbour.xml");

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

}  // namespace quillon::database_test
