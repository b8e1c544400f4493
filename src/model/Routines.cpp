// Procedures and functions: their data, source text and snapshot element.
#include "model/Routines.h"

#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"


namespace quillon {

TDatabaseRoutine::TDatabaseRoutine(const QString& ARoutineSchema, const QString& ARoutineName,
                                   const QString& ARoutineType)
    : TDatabaseObject(ARoutineSchema, ARoutineName), FRoutineType(ARoutineType) {}

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

TDatabaseRoutineList::TDatabaseRoutineList(ILog* ALog) : TDatabaseObjectList(TDatabaseRoutine::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TDatabaseRoutineList::AddElement() { return std::make_unique<TDatabaseRoutine>(); }

}  // namespace quillon
