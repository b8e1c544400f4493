#include "schema/Constraints.h"

#include "database/Database.Interfaces.h"
#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"
#include "schema/Indices.h"

namespace quillon {

QString TDatabaseConstraint::ParentObjectKey() const {
  return AnsiUpperCase(QLatin1Char('[') + FTableSchema + QLatin1String("].[") + FTableName + QLatin1Char(']'));
}

void TDatabaseConstraint::Load(TDataSet& ADataset) {
  FSchema = GetFieldText(ADataset, QStringLiteral("CONSTRAINT_SCHEMA"));
  FName = GetFieldText(ADataset, QStringLiteral("CONSTRAINT_NAME"));
  FTableName = GetFieldText(ADataset, QStringLiteral("TABLE_NAME"));
  FTableSchema = GetFieldText(ADataset, QStringLiteral("TABLE_SCHEMA"));
}

void TDatabaseConstraint::Parse(const TXmlNode* AObjectNode) {
  FSchema = AObjectNode->Attribute(QStringLiteral("CONSTRAINT_SCHEMA"));
  FName = AObjectNode->Attribute(QStringLiteral("CONSTRAINT_NAME"));
  FTableName = AObjectNode->Attribute(QStringLiteral("TABLE_NAME"));
  FTableSchema = AObjectNode->Attribute(QStringLiteral("TABLE_SCHEMA"));
}

TXmlNode* TDatabaseConstraint::AddConstraintNode(TXmlNode* AParentNode, const QString& ANodeName) const {
  TXmlNode* Node = AParentNode->AddChild(ANodeName);
  Node->SetAttribute(QStringLiteral("CONSTRAINT_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("CONSTRAINT_NAME"), FName);
  Node->SetAttribute(QStringLiteral("TABLE_NAME"), FTableName);
  Node->SetAttribute(QStringLiteral("TABLE_SCHEMA"), FTableSchema);
  return Node;
}

void TDatabaseCheckConstraint::SaveToDb(ISQL* ASQL, qint32 ADbVer) {
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbCheckConstraint :TS,:TN,:CS,:CN,:CC,:V"),
                       {FTableSchema, FTableName, FSchema, FName, FCheckClause, ADbVer});
}

TLogLevel TDatabaseCheckConstraint::Matches(const TDatabaseObject* AObject, ILog* ALog) const {
  const auto* Other = dynamic_cast<const TDatabaseCheckConstraint*>(AObject);
  if (!Other || !SameTextIgnoringWhiteSpace(FCheckClause, Other->FCheckClause))
    return ltError;
  return TDatabaseConstraint::Matches(AObject, ALog);
}

void TDatabaseCheckConstraint::Load(TDataSet& ADataset) {
  TDatabaseConstraint::Load(ADataset);
  FCheckClause = GetFieldText(ADataset, QStringLiteral("CHECK_CLAUSE"));
  FNotForReplication = GetFieldFlag(ADataset, QStringLiteral("IS_NOT_FOR_REPLICATION")).value_or(false);
  FNotTrusted = GetFieldFlag(ADataset, QStringLiteral("IS_NOT_TRUSTED")).value_or(false);
}

void TDatabaseCheckConstraint::AddNode(TXmlNode* AParentNode) {
  AddConstraintNode(AParentNode, NodeName())->SetAttribute(QStringLiteral("CHECK_CLAUSE"), FCheckClause);
}

void TDatabaseCheckConstraint::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  TDatabaseConstraint::Parse(AObjectNode);
  FCheckClause = AObjectNode->Attribute(QStringLiteral("CHECK_CLAUSE"));
}

void TDatabaseReferentialConstraint::SaveToDb(ISQL* ASQL, qint32 ADbVer) {
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbReferentialConstraint :TS,:TN,:CS,:CN,:US,:UN,:UR,:DR,:V"),
                       {FTableSchema, FTableName, FSchema, FName, fUniqueConstraintSchema, fUniqueConstraintName,
                        fUpdateRule, fDeleteRule, ADbVer});
}

TLogLevel TDatabaseReferentialConstraint::Matches(const TDatabaseObject* AConstraint, ILog* ALog) const {
  const auto* Other = dynamic_cast<const TDatabaseReferentialConstraint*>(AConstraint);
  if (!Other)
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
  if (fUniqueConstraintName != Other->fUniqueConstraintName || fUniqueConstraintSchema != Other->fUniqueConstraintSchema)
    return ltError;
  const struct {
    const QString& Mine;
    const QString& Theirs;
    const char* Message;
  } Rules[] = {{fUpdateRule, Other->fUpdateRule, "%s: UPDATE rule differs (%s|%s)"},
               {fDeleteRule, Other->fDeleteRule, "%s: DELETE rule differs (%s|%s)"}};
  bool Differs = false;
  for (const auto& Rule : Rules) {
    if (Rule.Mine == Rule.Theirs)
      continue;
    Differs = true;
    if (ALog)
      ALog->Event(QString::fromLatin1(Rule.Message), {FullName(), Rule.Mine, Rule.Theirs}, ltInfo);
  }
  return Differs ? ltWarning : TDatabaseConstraint::Matches(AConstraint, ALog);
}

void TDatabaseReferentialConstraint::Load(TDataSet& ADataset) {
  TDatabaseConstraint::Load(ADataset);
  fUniqueConstraintSchema = GetFieldText(ADataset, QStringLiteral("UNIQUE_CONSTRAINT_SCHEMA"));
  fUniqueConstraintName = GetFieldText(ADataset, QStringLiteral("UNIQUE_CONSTRAINT_NAME"));
  fUpdateRule = GetFieldText(ADataset, QStringLiteral("UPDATE_RULE"));
  fDeleteRule = GetFieldText(ADataset, QStringLiteral("DELETE_RULE"));
}

void TDatabaseReferentialConstraint::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AddConstraintNode(AParentNode, NodeName());
  Node->SetAttribute(QStringLiteral("UNIQUE_CONSTRAINT_NAME"), fUniqueConstraintName);
  Node->SetAttribute(QStringLiteral("UNIQUE_CONSTRAINT_SCHEMA"), fUniqueConstraintSchema);
  Node->SetAttribute(QStringLiteral("UPDATE_RULE"), fUpdateRule);
  Node->SetAttribute(QStringLiteral("DELETE_RULE"), fDeleteRule);
}

void TDatabaseReferentialConstraint::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  TDatabaseConstraint::Parse(AObjectNode);
  fUniqueConstraintName = AObjectNode->Attribute(QStringLiteral("UNIQUE_CONSTRAINT_NAME"));
  fUniqueConstraintSchema = AObjectNode->Attribute(QStringLiteral("UNIQUE_CONSTRAINT_SCHEMA"));
  fUpdateRule = AObjectNode->Attribute(QStringLiteral("UPDATE_RULE"));
  fDeleteRule = AObjectNode->Attribute(QStringLiteral("DELETE_RULE"));
}

TConstraintList::TConstraintList(const QString& ANodeName, ILog* ALog, const QString& AColumns, const QString& AJoin)
    : TDatabaseObjectList(ANodeName, ALog) {
  // Constraint names are unique per schema only, so the usage view is joined on both.
  FCustomSql = Format(QStringLiteral("SELECT DISTINCT c.*,u.TABLE_NAME,u.TABLE_SCHEMA%s FROM INFORMATION_SCHEMA.%s c "
                                     "JOIN INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE u "
                                     "ON u.CONSTRAINT_SCHEMA=c.CONSTRAINT_SCHEMA AND u.CONSTRAINT_NAME=c.CONSTRAINT_NAME%s "
                                     "ORDER BY c.CONSTRAINT_SCHEMA,c.CONSTRAINT_NAME"),
                      {AColumns, ListName(), AJoin});
}

TCheckConstraintList::TCheckConstraintList(ILog* ALog)
    : TConstraintList(
          TDatabaseCheckConstraint::NodeName(), ALog,
          QStringLiteral(",k.is_not_for_replication AS IS_NOT_FOR_REPLICATION,k.is_not_trusted AS IS_NOT_TRUSTED"),
          QStringLiteral(" LEFT JOIN sys.check_constraints k "
                         "ON k.object_id=OBJECT_ID(QUOTENAME(c.CONSTRAINT_SCHEMA)+'.'+QUOTENAME(c.CONSTRAINT_NAME))")) {}

std::unique_ptr<TDatabaseObject> TCheckConstraintList::AddElement() {
  return std::make_unique<TDatabaseCheckConstraint>();
}

TForeignKeyList::TForeignKeyList(ILog* ALog) : TConstraintList(TDatabaseReferentialConstraint::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TForeignKeyList::AddElement() {
  return std::make_unique<TDatabaseReferentialConstraint>();
}

}  // namespace quillon
