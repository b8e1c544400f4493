#include "schema/Routines.h"

#include "database/Database.Interfaces.h"
#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"

#include <QScopeGuard>

namespace quillon {

TDatabaseRoutine::TDatabaseRoutine(const QString& ARoutineSchema, const QString& ARoutineName,
                                   const QString& ARoutineType)
    : TDatabaseObject(ARoutineSchema, ARoutineName), FRoutineType(ARoutineType) {}

void TDatabaseRoutine::SaveToDb(ISQL* ASQL, qint32 ADbVer) {
  if (FUnreadable)
    return;
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbRoutine :S,:N,:T,:C,:V"),
                       {FSchema, FName, FRoutineType, FSourceCode, ADbVer});
}

void TDatabaseRoutine::Load(TDataSet& ADataset) {
  FSchema = GetFieldText(ADataset, QStringLiteral("ROUTINE_SCHEMA"));
  FName = GetFieldText(ADataset, QStringLiteral("ROUTINE_NAME"));
  FRoutineType = GetFieldText(ADataset, QStringLiteral("ROUTINE_TYPE"));
  const QVariant Definition = GetFieldValue(ADataset, QStringLiteral("ROUTINE_DEFINITION"));
  FUnreadable = Definition.isNull();
  FSourceCode = Trim(VarToStr(Definition));
  FSetOptions.Load(ADataset);
}

void TDatabaseRoutine::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("ROUTINE_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("ROUTINE_NAME"), FName);
  Node->SetAttribute(QStringLiteral("ROUTINE_TYPE"), FRoutineType);
  MarkUnreadableNode(Node, FUnreadable);
  FSetOptions.AddTo(Node);
  Node->SetText(FramedSourceText(FSourceCode));
}

void TDatabaseRoutine::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  FSchema = AObjectNode->Attribute(QStringLiteral("ROUTINE_SCHEMA"));
  FName = AObjectNode->Attribute(QStringLiteral("ROUTINE_NAME"));
  FRoutineType = AObjectNode->Attribute(QStringLiteral("ROUTINE_TYPE"));
  FUnreadable = IsUnreadableNode(AObjectNode);
  FSourceCode = Trim(AObjectNode->Text());
  FSetOptions.Parse(AObjectNode);
}

TDatabaseRoutineList::TDatabaseRoutineList(ILog* ALog) : TDatabaseObjectList(TDatabaseRoutine::NodeName(), ALog) {
  // "dt[_]" escapes the underscore, which LIKE would otherwise take for any character.
  FCustomSql = QStringLiteral("SELECT ROUTINE_NAME,ROUTINE_SCHEMA,ROUTINE_TYPE,") +
               ModuleDefinitionColumn(QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("ROUTINE_NAME"),
                                      QStringLiteral("ROUTINE_DEFINITION")) +
               TModuleSetOptions::CatalogueColumns() + QStringLiteral(" FROM INFORMATION_SCHEMA.ROUTINES") +
               TModuleSetOptions::CatalogueJoin(QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("ROUTINE_NAME")) +
               QStringLiteral(" WHERE NOT ( ROUTINE_NAME LIKE 'dt[_]%' ) ORDER BY ROUTINE_SCHEMA,ROUTINE_NAME");
}

std::unique_ptr<TDatabaseObject> TDatabaseRoutineList::AddElement() { return std::make_unique<TDatabaseRoutine>(); }

TDateTime LastAltered(ISQL* ASQL, const TDatabaseRoutine& ARoutine) {
  constexpr TDateTime NotKnown = 1.0;
  TDataSet* Rows = ASQL->FastQuery(
      QStringLiteral("SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=:P0 AND SPECIFIC_NAME=:P1"),
      {ARoutine.RoutineSchema(), ARoutine.RoutineName()});
  const auto Close = qScopeGuard([Rows] { Rows->Close(); });
  return Rows->Eof() ? NotKnown : Rows->Fields(0).AsDateTime();
}

}  // namespace quillon
