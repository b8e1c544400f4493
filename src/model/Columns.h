// Table columns: their data, snapshot element and DDL fragment.
#pragma once

#include "model/Lists.h"

namespace quillon {

// A column of a table or view, with its type, length, nullability, default and scale.
class TDatabaseColumn : public TDatabaseObject, public IChildObject {
public:
  TDatabaseColumn() = default;
  // Stores the values as passed (the data type is not lower-cased here).
  TDatabaseColumn(const QString& ATableSchema, const QString& ATableName, const QString& AColumnName,
                  const QString& ADataType);

  static QString NodeName() { return QStringLiteral("COLUMN"); }

  qint32 NumericScale() const { return FNumericScale; }
  void SetNumericScale(qint32 Value) { FNumericScale = Value; }
  qint32 NumericPrecision() const { return FNumericPrecision; }
  void SetNumericPrecision(qint32 Value) { FNumericPrecision = Value; }
  const QString& IsNullable() const { return FIsNullable; }
  void SetIsNullable(const QString& Value) { FIsNullable = Value; }
  qint32 CharacterMaximumLength() const { return FCharacterMaximumLength; }
  void SetCharacterMaximumLength(qint32 Value) { FCharacterMaximumLength = Value; }
  const QString& ColumnDefault() const { return FColumnDefault; }
  // Stores the default; the server's "((0))" and "((1))" become "(0)" and "(1)".
  void SetColumnDefault(const QString& Value);
  const QString& TableName() const { return FTableName; }
  void SetTableName(const QString& Value) { FTableName = Value; }
  const QString& DataType() const { return FDataType; }
  void SetDataType(const QString& Value) { FDataType = Value; }

  // "schema.table.column", no brackets, case as stored.
  QString FullName() const override;
  // "SCHEMA.TABLE", upper-cased.
  QString ParentObjectKey() const override;
  // Lower-cases the stored data type, then tells whether it is decimal, float or money.
  bool HasPrecisionAndScale();

  // Compares this column (the target) with a source column field by field; the first
  // difference decides and is logged through ALog, which must be given.
  TLogLevel Matches(const TDatabaseObject* ASourceColumn, ILog* ALog = nullptr) const override;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString FTableName;
  QString FColumnDefault;
  QString FDataType;
  qint32 FNumericScale = 0;
  qint32 FNumericPrecision = 0;
  QString FIsNullable;
  qint32 FCharacterMaximumLength = 0;
};

class TDatabaseColumnList : public TDatabaseObjectList {
public:
  explicit TDatabaseColumnList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TDatabaseColumnList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

}  // namespace quillon
