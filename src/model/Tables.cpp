// Tables and views: their data, texts and snapshot elements.
#include "model/Tables.h"

#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"

namespace quillon {

TDatabaseTable::TDatabaseTable(const QString& ATableSchema, const QString& ATableName, const QString& ATableType)
    : TDatabaseObject(ATableSchema, ATableName), FTableType(ATableType) {}

bool TDatabaseTable::IsBaseTable() const { return SameTextAscii(FTableType, QStringLiteral("BASE TABLE")); }

QString TDatabaseTable::ParentObjectKey() const { return AnsiUpperCase(QLatin1Char('[') + FSchema + QLatin1Char(']')); }

void TDatabaseTable::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("TABLE_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("TABLE_NAME"), FName);
  Node->SetAttribute(QStringLiteral("TABLE_TYPE"), FTableType);
}

void TDatabaseTable::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  FSchema = AObjectNode->Attribute(QStringLiteral("TABLE_SCHEMA"));
  FName = AObjectNode->Attribute(QStringLiteral("TABLE_NAME"));
  FTableType = AObjectNode->Attribute(QStringLiteral("TABLE_TYPE"));
}

QString TDatabaseView::GetViewDefinition() const { return Trim(FViewDefinition); }

void TDatabaseView::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("TABLE_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("TABLE_NAME"), FName);
  MarkUnreadableNode(Node, FUnreadable);
  FSetOptions.AddTo(Node);
  Node->SetText(FramedSourceText(GetViewDefinition()));
}

void TDatabaseView::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  FSchema = AObjectNode->Attribute(QStringLiteral("TABLE_SCHEMA"));
  FName = AObjectNode->Attribute(QStringLiteral("TABLE_NAME"));
  FUnreadable = IsUnreadableNode(AObjectNode);
  FViewDefinition = Trim(AObjectNode->Text());
  FSetOptions.Parse(AObjectNode);
}

TDatabaseTableList::TDatabaseTableList(ILog* ALog) : TDatabaseObjectList(TDatabaseTable::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TDatabaseTableList::AddElement() { return std::make_unique<TDatabaseTable>(); }

TDatabaseViewList::TDatabaseViewList(ILog* ALog) : TDatabaseObjectList(TDatabaseView::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TDatabaseViewList::AddElement() { return std::make_unique<TDatabaseView>(); }

}  // namespace quillon
