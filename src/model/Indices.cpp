// Indexes: their data and snapshot element.
#include "model/Indices.h"

#include "infra/text/Support.Format.h"
#include "infra/text/Support.PerlRegEx.h"
#include "infra/xml/Support.Xml.h"

namespace quillon {

namespace {

// The platform's text-to-Boolean conversion: "true"/"false" in any case, or a number.
bool StrToBool(const QString& AText) {
  if (SameTextAscii(AText, QStringLiteral("true")))
    return true;
  if (SameTextAscii(AText, QStringLiteral("false")))
    return false;
  qint32 Number = 0;
  if (!TryStrToInt(AText, Number))
    throw EConvertError(Format(QStringLiteral("'%s' is not a valid boolean value"), {AText}));
  return Number != 0;
}

}  // namespace

QString TDatabaseIndex::FullName() const {
  return QLatin1Char('[') + FSchema + QLatin1String("].[") + fTableName + QLatin1String("].[") + FName +
         QLatin1Char(']');
}

void TDatabaseIndex::AddNode(TXmlNode* AParentNode) {
  TXmlNode* Node = AParentNode->AddChild(NodeName());
  Node->SetAttribute(QStringLiteral("TABLE_SCHEMA"), FSchema);
  Node->SetAttribute(QStringLiteral("TABLE_NAME"), fTableName);
  Node->SetAttribute(QStringLiteral("INDEX_NAME"), FName);
  Node->SetAttribute(QStringLiteral("IS_UNIQUE"), fUnique ? QStringLiteral("true") : QStringLiteral("false"));
}

void TDatabaseIndex::Parse(const TXmlNode* AObjectNode) {
  AssertNodeName(AObjectNode, NodeName());
  FSchema = AObjectNode->Attribute(QStringLiteral("TABLE_SCHEMA"));
  fTableName = AObjectNode->Attribute(QStringLiteral("TABLE_NAME"));
  FName = AObjectNode->Attribute(QStringLiteral("INDEX_NAME"));
  fUnique = StrToBool(AObjectNode->Attribute(QStringLiteral("IS_UNIQUE")));
}

TDatabaseIndexList::TDatabaseIndexList(ILog* ALog) : TDatabaseObjectList(TDatabaseIndex::NodeName(), ALog) {}

std::unique_ptr<TDatabaseObject> TDatabaseIndexList::AddElement() { return std::make_unique<TDatabaseIndex>(); }

const TXmlNode* TDatabaseIndexList::FindContainer(const TXmlNode* ARoot) const {
  const TXmlNode* Container = TDatabaseObjectList::FindContainer(ARoot);
  return Container ? Container : ARoot->ChildElement(IndicesContainerName);
}

QString UniquenessCaption(bool AUnique) { return AUnique ? QStringLiteral("UNIQUE") : QStringLiteral("NOT UNIQUE"); }

bool SameTextIgnoringWhiteSpace(const QString& A, const QString& B) {
  static const TPerlRegEx WhiteSpace(QStringLiteral("\\s+"));
  return SameTextAscii(WhiteSpace.ReplaceAll(A, QStringLiteral(" ")), WhiteSpace.ReplaceAll(B, QStringLiteral(" ")));
}

}  // namespace quillon
