// Table and routine privileges: their data and snapshot elements.
#include "model/Permissions.h"

#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"

namespace quillon {

QString TDbPrivilege::ParentObjectKey() const {
  return AnsiUpperCase(QLatin1Char('[') + FSchema + QLatin1String("].[") + FName + QLatin1Char(']'));
}

bool TDbPrivilege::DefaultGrantee() const { return SameTextAscii(FGrantee, QStringLiteral("public")); }

bool TDbPrivilege::DefaultGrantor() const { return SameTextAscii(FGrantor, QStringLiteral("dbo")); }

void TDbPrivilege::CopyPrivilege(const TDbPrivilege& AClone) {
  FSchema = AClone.FSchema;
  FName = AClone.FName;
  FGrantor = AClone.FGrantor;
  FGrantee = AClone.FGrantee;
  FPrivilegeState = AClone.FPrivilegeState;
}

void TDbPrivilege::FillDefaults() {
  if (FGrantee.isEmpty())
    FGrantee = QStringLiteral("public");
  if (FGrantor.isEmpty())
    FGrantor = QStringLiteral("dbo");
  if (FPrivilegeState.isEmpty())
    FPrivilegeState = QStringLiteral("GRANT");
}

std::unique_ptr<TTablePrivilege> TTablePrivilege::Clone(const TTablePrivilege& AClone) {
  auto Result = std::make_unique<TTablePrivilege>();
  Result->CopyPrivilege(AClone);
  Result->FPrivilegeType = AClone.FPrivilegeType;
  Result->FillDefaults();
  return Result;
}

bool TTablePrivilege::DefaultPrivilegeType() const { return SameTextAscii(FPrivilegeType, QStringLiteral("SELECT")); }

QString TTablePrivilege::Key() const {
  return AnsiUpperCase(Format(QStringLiteral("%s.%s.%s.%s.%s"), {FSchema, FName, FPrivilegeState, FPrivilegeType, FGrantee}));
}

QString TTablePrivilege::DDL() const {
  return Format(QStringLiteral("%s %s ON %s.%s TO [%s] AS [%s]"),
                {FPrivilegeState, FPrivilegeType, FSchema, FName, FGrantee, FGrantor});
}

TLogLevel TTablePrivilege::Matches(const TDatabaseObject* APrivilegeObject, ILog*) const {
  const auto* Other = dynamic_cast<const TTablePrivilege*>(APrivilegeObject);
  if (!Other)
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
  return FGrantor == Other->FGrantor ? ltDebug : ltWarning;
}

void TTablePrivilege::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("TABLE_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("TABLE_NAME"), FName);
  Node->SetAttribute(QStringLiteral("PRIVILEGE_TYPE"), FPrivilegeType);
  Node->SetAttribute(QStringLiteral("PRIVILEGE_STATE"), FPrivilegeState);
  Node->SetAttribute(QStringLiteral("GRANTOR"), FGrantor);
  Node->SetAttribute(QStringLiteral("GRANTEE"), FGrantee);
}

void TTablePrivilege::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  FSchema = AObjectNode->Attribute(QStringLiteral("TABLE_SCHEMA"));
  FName = AObjectNode->Attribute(QStringLiteral("TABLE_NAME"));
  FPrivilegeType = AObjectNode->Attribute(QStringLiteral("PRIVILEGE_TYPE"));
  FPrivilegeState = AObjectNode->Attribute(QStringLiteral("PRIVILEGE_STATE"), QStringLiteral("GRANT"));
  FGrantor = AObjectNode->Attribute(QStringLiteral("GRANTOR"), QStringLiteral("dbo"));
  FGrantee = AObjectNode->Attribute(QStringLiteral("GRANTEE"));
}

std::unique_ptr<TRoutinePrivilege> TRoutinePrivilege::Clone(const TRoutinePrivilege& AClone) {
  auto Result = std::make_unique<TRoutinePrivilege>();
  Result->CopyPrivilege(AClone);
  Result->FillDefaults();
  return Result;
}

bool TRoutinePrivilege::DefaultState() const { return SameTextAscii(FPrivilegeState, QStringLiteral("REVOKE")); }

QString TRoutinePrivilege::Key() const {
  return AnsiUpperCase(Format(QStringLiteral("[%s].[%s] %s [%s]"), {FSchema, FName, FPrivilegeState, FGrantee}));
}

QString TRoutinePrivilege::DDL() const {
  return Format(QStringLiteral("%s EXECUTE ON %s TO [%s] AS [%s]"), {FPrivilegeState, FullName(), FGrantee, FGrantor});
}

void TRoutinePrivilege::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("ROUTINE_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("ROUTINE_NAME"), FName);
  Node->SetAttribute(QStringLiteral("GRANTOR"), FGrantor);
  Node->SetAttribute(QStringLiteral("GRANTEE"), FGrantee);
  Node->SetAttribute(QStringLiteral("PRIVILEGE_STATE"), FPrivilegeState);
}

void TRoutinePrivilege::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  FSchema = AObjectNode->Attribute(QStringLiteral("ROUTINE_SCHEMA"));
  FName = AObjectNode->Attribute(QStringLiteral("ROUTINE_NAME"));
  FGrantor = AObjectNode->Attribute(QStringLiteral("GRANTOR"), QStringLiteral("dbo"));
  FGrantee = AObjectNode->Attribute(QStringLiteral("GRANTEE"));
  FPrivilegeState = AObjectNode->Attribute(QStringLiteral("PRIVILEGE_STATE"));
}

TTablePrivilegeList::TTablePrivilegeList(ILog* ALog) : TDatabaseObjectList(TTablePrivilege::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TTablePrivilegeList::AddElement() { return std::make_unique<TTablePrivilege>(); }

TRoutinePrivilegeList::TRoutinePrivilegeList(ILog* ALog) : TDatabaseObjectList(TRoutinePrivilege::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TRoutinePrivilegeList::AddElement() { return std::make_unique<TRoutinePrivilege>(); }

}  // namespace quillon
