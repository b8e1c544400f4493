// Schemata: their data and snapshot element.
#include "model/Schemata.h"

#include "infra/xml/Support.Xml.h"

namespace quillon {

QString TDatabaseSchema::FullName() const { return AnsiUpperCase(QLatin1Char('[') + FName + QLatin1Char(']')); }

bool TDatabaseSchema::IsPrivate() const { return FName.contains(u'\\'); }

bool TDatabaseSchema::IsStandard() const { return FName.startsWith(QLatin1String("db_"), Qt::CaseSensitive); }

bool TDatabaseSchema::OwnedByDbo() const { return SameTextAscii(FSchemaOwner, QStringLiteral("dbo")); }

bool TDatabaseSchema::OwnedBySelf() const { return SameTextAscii(FSchemaOwner, FSchema); }

void TDatabaseSchema::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("SCHEMA_NAME"), FName);
  Node->SetAttribute(QStringLiteral("SCHEMA_OWNER"), FSchemaOwner);
}

void TDatabaseSchema::Parse(const TXmlNode* AObjectNode) {
  FName = AObjectNode->Attribute(QStringLiteral("SCHEMA_NAME"));
  FSchemaOwner = AObjectNode->Attribute(QStringLiteral("SCHEMA_OWNER"));
}

TDatabaseSchemaList::TDatabaseSchemaList(ILog* ALog) : TDatabaseObjectList(TDatabaseSchema::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TDatabaseSchemaList::AddElement() { return std::make_unique<TDatabaseSchema>(); }

}  // namespace quillon
