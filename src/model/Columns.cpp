// Table columns: their data, snapshot element and DDL fragment.
#include "model/Columns.h"

#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"

namespace quillon {

TDatabaseColumn::TDatabaseColumn(const QString& ATableSchema, const QString& ATableName, const QString& AColumnName,
                                 const QString& ADataType)
    : TDatabaseObject(ATableSchema, AColumnName), FTableName(ATableName), FDataType(ADataType) {}

void TDatabaseColumn::SetColumnDefault(const QString& Value) {
  if (Value == QLatin1String("((0))"))
    FColumnDefault = QStringLiteral("(0)");
  else if (Value == QLatin1String("((1))"))
    FColumnDefault = QStringLiteral("(1)");
  else
    FColumnDefault = Value;
}

QString TDatabaseColumn::FullName() const {
  return FSchema + QLatin1Char('.') + FTableName + QLatin1Char('.') + FName;
}

QString TDatabaseColumn::ParentObjectKey() const { return AnsiUpperCase(FSchema + QLatin1Char('.') + FTableName); }

bool TDatabaseColumn::HasPrecisionAndScale() {
  FDataType = FDataType.toLower();
  return FDataType == QLatin1String("decimal") || FDataType == QLatin1String("float") ||
         FDataType == QLatin1String("money");
}

TLogLevel TDatabaseColumn::Matches(const TDatabaseObject* ASourceColumn, ILog* ALog) const {
  const auto* Source = dynamic_cast<const TDatabaseColumn*>(ASourceColumn);
  if (!Source)
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
  Assert(ALog != nullptr, QStringLiteral("Log must be assigned"));
  const QString Target = FullName();
  if (Source->FDataType != FDataType) {
    ALog->SilentError(QStringLiteral("DataType is different: %s ( Source: %s <> Target: %s)"),
                                {Target, Source->FDataType, FDataType});
    return ltError;
  }
  struct TCheck {
    bool Differs;
    const char* Message;
    QVariant SourceValue;
    QVariant TargetValue;
  };
  const TCheck Checks[] = {
      {Source->FCharacterMaximumLength != FCharacterMaximumLength,
       "CharacterMaximumLength is different: %s ( Source: %d <> Target: %d)", Source->FCharacterMaximumLength,
       FCharacterMaximumLength},
      {Source->FIsNullable != FIsNullable, "IsNullable is different: %s ( Source: %s <> Target: %s)",
       Source->FIsNullable, FIsNullable},
      {Source->FColumnDefault != FColumnDefault, "Default is different: %s ( Source: %s <> Target: %s)",
       Source->FColumnDefault, FColumnDefault},
      {Source->FNumericScale != FNumericScale, "NumericScale is different: %s ( Source: %d <> Target: %d)",
       Source->FNumericScale, FNumericScale},
  };
  for (const TCheck& Check : Checks)
    if (Check.Differs) {
      ALog->SilentWarning(QString::fromLatin1(Check.Message),
                                    {Target, Check.SourceValue, Check.TargetValue});
      return ltWarning;
    }
  return ltDebug;
}

void TDatabaseColumn::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("TABLE_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("TABLE_NAME"), FTableName);
  Node->SetAttribute(QStringLiteral("COLUMN_NAME"), FName);
  Node->SetAttribute(QStringLiteral("DATA_TYPE"), FDataType);
  Node->SetAttribute(QStringLiteral("IS_NULLABLE"), FIsNullable);
  if (FCharacterMaximumLength != 0)
    Node->SetAttribute(QStringLiteral("CHARACTER_MAXIMUM_LENGTH"), QString::number(FCharacterMaximumLength));
  if (!FColumnDefault.isEmpty())
    Node->SetAttribute(QStringLiteral("COLUMN_DEFAULT"), FColumnDefault);
  // Written for every type that has them, 0 included: Parse requires them of such a type, so a
  // snapshot without them could not be read back.
  if (HasPrecisionAndScale()) {
    Node->SetAttribute(QStringLiteral("NUMERIC_PRECISION"), QString::number(FNumericPrecision));
    Node->SetAttribute(QStringLiteral("NUMERIC_SCALE"), QString::number(FNumericScale));
  }
}

void TDatabaseColumn::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  FSchema = AObjectNode->Attribute(QStringLiteral("TABLE_SCHEMA"));
  FTableName = AObjectNode->Attribute(QStringLiteral("TABLE_NAME"));
  FName = AObjectNode->Attribute(QStringLiteral("COLUMN_NAME"));
  FDataType = AObjectNode->Attribute(QStringLiteral("DATA_TYPE"));
  FIsNullable = AObjectNode->Attribute(QStringLiteral("IS_NULLABLE"));
  FCharacterMaximumLength = StrToIntDef(AObjectNode->Attribute(QStringLiteral("CHARACTER_MAXIMUM_LENGTH")), 0);
  SetColumnDefault(AObjectNode->Attribute(QStringLiteral("COLUMN_DEFAULT")));
  if (HasPrecisionAndScale()) {
    FNumericPrecision = StrToInt(AObjectNode->Attribute(QStringLiteral("NUMERIC_PRECISION")));
    FNumericScale = StrToInt(AObjectNode->Attribute(QStringLiteral("NUMERIC_SCALE")));
  } else {
    FNumericPrecision = 0;
    FNumericScale = 0;
  }
}

TDatabaseColumnList::TDatabaseColumnList(ILog* ALog) : TDatabaseObjectList(TDatabaseColumn::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TDatabaseColumnList::AddElement() { return std::make_unique<TDatabaseColumn>(); }

}  // namespace quillon
