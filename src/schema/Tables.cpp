#include "schema/Tables.h"

#include "database/Database.Interfaces.h"
#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"

namespace quillon {

TDatabaseTable::TDatabaseTable(const QString& ATableSchema, const QString& ATableName, const QString& ATableType)
    : TDatabaseObject(ATableSchema, ATableName), FTableType(ATableType) {}

bool TDatabaseTable::IsBaseTable() const { return SameTextAscii(FTableType, QStringLiteral("BASE TABLE")); }

QString TDatabaseTable::ParentObjectKey() const { return AnsiUpperCase(QLatin1Char('[') + FSchema + QLatin1Char(']')); }

void TDatabaseTable::Load(TDataSet& ADataset) {
  FName = GetFieldText(ADataset, QStringLiteral("TABLE_NAME"));
  FSchema = GetFieldText(ADataset, QStringLiteral("TABLE_SCHEMA"));
  FTableType = GetFieldText(ADataset, QStringLiteral("TABLE_TYPE"));
}

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

void TDatabaseView::SaveToDb(ISQL* ASQL, qint32 ADbVer) {
  if (FUnreadable)
    return;
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbView :VS,:VN,:VD,:V"), {FSchema, FName, FViewDefinition, ADbVer});
}

void TDatabaseView::Load(TDataSet& ADataset) {
  FSchema = GetFieldText(ADataset, QStringLiteral("TABLE_SCHEMA"));
  FName = GetFieldText(ADataset, QStringLiteral("TABLE_NAME"));
  const QVariant Definition = GetFieldValue(ADataset, QStringLiteral("VIEW_DEFINITION"));
  FUnreadable = Definition.isNull();
  FViewDefinition = Trim(VarToStr(Definition));
  FSetOptions.Load(ADataset);
  FIndexed = GetFieldFlag(ADataset, QStringLiteral("IS_INDEXED")).value_or(false);
}

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

TDatabaseTableList::TDatabaseTableList(ILog* ALog) : TDatabaseObjectList(TDatabaseTable::NodeName(), ALog) {
  FOrderBy = QStringLiteral("ORDER BY TABLE_SCHEMA,TABLE_NAME");
}

std::unique_ptr<TDatabaseObject> TDatabaseTableList::AddElement() { return std::make_unique<TDatabaseTable>(); }

// VIEW_DEFINITION of the catalogue view is nvarchar(4000) and cuts longer definitions.
TDatabaseViewList::TDatabaseViewList(ILog* ALog) : TDatabaseObjectList(TDatabaseView::NodeName(), ALog) {
  FCustomSql = QStringLiteral("SELECT TABLE_SCHEMA,TABLE_NAME,") +
               ModuleDefinitionColumn(QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME"),
                                      QStringLiteral("VIEW_DEFINITION")) +
               TModuleSetOptions::CatalogueColumns() +
               QStringLiteral(",OBJECTPROPERTY(m.object_id,'IsIndexed') AS IS_INDEXED FROM INFORMATION_SCHEMA.VIEWS") +
               TModuleSetOptions::CatalogueJoin(QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")) +
               QStringLiteral(" ORDER BY TABLE_SCHEMA,TABLE_NAME");
}

std::unique_ptr<TDatabaseObject> TDatabaseViewList::AddElement() { return std::make_unique<TDatabaseView>(); }

}  // namespace quillon
