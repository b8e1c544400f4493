// A source database of fixed name and version, for comparison and publish runs in unit tests.
#pragma once

#include "gold/Gold.Progress.h"

#include <utility>

namespace quillon::test {

class TFixedSourceDb : public ISourceDatabaseInfo {
public:
  explicit TFixedSourceDb(QString AName = QStringLiteral("Shop"), qint32 AVersion = 7)
      : FName(std::move(AName)), FVersion(AVersion) {}
  QString DbName() override { return FName; }
  qint32 DbVer() override { return FVersion; }

private:
  QString FName;
  qint32 FVersion;
};

}  // namespace quillon::test
