// Check and referential constraints: their data and snapshot elements.
#include "model/Constraints.h"

#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"
#include "model/Indices.h"

namespace quillon {

QString TDatabaseConstraint::ParentObjectKey() const {
  return AnsiUpperCase(QLatin1Char('[') + FTableSchema + QLatin1String("].[") + FTableName + QLatin1Char(']'));
}

void TDatabaseConstraint::SetTable(const QString& ATableSchema, const QString& ATableName) {
  FTableSchema = ATableSchema;
  FTableName = ATableName;
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

TLogLevel TDatabaseCheckConstraint::Matches(const TDatabaseObject* AObject, ILog* ALog) const {
  const auto* Other = dynamic_cast<const TDatabaseCheckConstraint*>(AObject);
  if (!Other || !SameTextIgnoringWhiteSpace(FCheckClause, Other->FCheckClause))
    return ltError;
  return TDatabaseConstraint::Matches(AObject, ALog);
}

void TDatabaseCheckConstraint::AddNode(TXmlNode* AParentNode) {
  AddConstraintNode(AParentNode, NodeName())->SetAttribute(QStringLiteral("CHECK_CLAUSE"), FCheckClause);
}

void TDatabaseCheckConstraint::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  TDatabaseConstraint::Parse(AObjectNode);
  FCheckClause = AObjectNode->Attribute(QStringLiteral("CHECK_CLAUSE"));
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

void TDatabaseReferentialConstraint::SetUniqueConstraint(const QString& ASchema, const QString& AName) {
  fUniqueConstraintSchema = ASchema;
  fUniqueConstraintName = AName;
}

void TDatabaseReferentialConstraint::SetRules(const QString& AUpdateRule, const QString& ADeleteRule) {
  fUpdateRule = AUpdateRule;
  fDeleteRule = ADeleteRule;
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

TCheckConstraintList::TCheckConstraintList(ILog* ALog)
    : TDatabaseObjectList(TDatabaseCheckConstraint::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TCheckConstraintList::AddElement() {
  return std::make_unique<TDatabaseCheckConstraint>();
}

TForeignKeyList::TForeignKeyList(ILog* ALog) : TDatabaseObjectList(TDatabaseReferentialConstraint::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TForeignKeyList::AddElement() {
  return std::make_unique<TDatabaseReferentialConstraint>();
}

}  // namespace quillon
