#pragma once

#include "database/Database.Interfaces.h"

namespace quillon::test {

// A login dialog that always answers with the same SQL login, as a test server knows it.
class TFixedLogin : public IDatabaseLoginDialog {
public:
  TFixedLogin(QString AUserName, QString APassword) : FUserName(std::move(AUserName)), FPassword(std::move(APassword)) {}

  bool Login(QString& AUserName, QString& APassword) override {
    AUserName = FUserName;
    APassword = FPassword;
    return true;
  }

private:
  QString FUserName;
  QString FPassword;
};

}  // namespace quillon::test
