#pragma once

#include "database/Database.Interfaces.h"

#include <QVariant>

namespace quillon::test {

// The first field of the first row ASql gives, such as SELECT @@TRANCOUNT.
inline QVariant ScalarOf(ISQL& ASQL, const QString& ASql) {
  TDataSet* Data = ASQL.FastQuery(ASql);
  const QVariant Value = Data->Fields(0).AsVariant();
  Data->Close();
  return Value;
}

}  // namespace quillon::test
