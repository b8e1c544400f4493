// Reading the database's catalogue into the model: each list's query, each kind's row, and
// whether the database tells names apart by case.
#pragma once

#include "infra/text/Support.DateTime.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace quillon {

class ISQL;
class TDataSet;
class TDatabaseObject;
class TDatabaseObjectList;
class TDatabaseRoutine;

// The query that reads AList's kind: the kind's own, or "SELECT * FROM INFORMATION_SCHEMA.<list
// name>" for a list the catalogue has no query of its own for.
QString CatalogueQuery(const TDatabaseObjectList& AList);

// Replaces AList's contents with the catalogue rows of ASQL's database and takes the database's
// name. A second row with a key already taken is logged as "Duplicate key: %s", dropped and
// remembered in the list's DuplicateNames. On failure the list keeps what was added before it.
// ARowsRead, when given, hears the number of rows read so far: 0 before the query, then every
// few rows, and at the end with ADone set.
void LoadFromCatalogue(TDatabaseObjectList& AList, ISQL* ASQL,
                       const std::function<void(qint64 ARows, bool ADone)>& ARowsRead = {});

// Fills AObject from the current row of a catalogue result set, as its kind reads it; raises
// EAbstractError for an object of no kind (the object base, the constraint base).
void LoadFromRow(TDatabaseObject& AObject, TDataSet& ARow);
// An object built from the current row of a catalogue result set.
template <class T>
std::unique_ptr<T> CreateFromDataSet(TDataSet& ARow) {
  auto Result = std::make_unique<T>();
  LoadFromRow(*Result, ARow);
  return Result;
}

// True when a collation name (as DATABASEPROPERTYEX gives it) compares names by case.
bool IsCaseSensitiveCollation(const QString& ACollation);
// Whether the collation of ASQL's database compares names by case.
bool CaseSensitiveNames(ISQL* ASQL);

// The routine's last alteration as the catalogue of ASQL's database reports it; 1.0 when the
// catalogue has no row for it.
TDateTime LastAltered(ISQL* ASQL, const TDatabaseRoutine& ARoutine);

// The value of the named column (found ignoring case) in the current row; a NULL column gives
// a null variant. Raises Exception "Unknown field %s" when the result set has no such column.
QVariant GetFieldValue(TDataSet& ADataset, const QString& AFieldName);
bool FieldExists(TDataSet& ADataset, const QString& AFieldName);
// GetFieldValue as text; NULL reads as the empty text.
QString GetFieldText(TDataSet& ADataset, const QString& AFieldName);
// A bit column's value; nothing when the row has no such column or it is NULL.
std::optional<bool> GetFieldFlag(TDataSet& ADataset, const QString& AFieldName);

}  // namespace quillon
