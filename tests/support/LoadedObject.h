#pragma once

#include "catalogue/Catalogue.Read.h"
#include "model/DatabaseObjects.h"
#include "support/MemorySql.h"

#include <QStringList>
#include <QVariantList>

#include <memory>

namespace quillon::test {

// Loads one object of type T from a single catalogue row.
template <class T>
std::unique_ptr<T> Loaded(const QStringList& AFields, const QVariantList& ARow) {
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("q"), AFields, {ARow});
  return CreateFromDataSet<T>(*Sql.FastQuery(QStringLiteral("q")));
}

}  // namespace quillon::test
