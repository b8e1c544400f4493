#include "compare/Xml.NodeList.h"

#include "infra/Support.Xml.h"

namespace quillon {

TNodeList::TNodeList(const TXmlDocument& AXml, const QString& ANodeToAdd) {
  if (AXml.DocumentElement())
    FindNodes(AXml.DocumentElement(), ANodeToAdd);
}

TNodeList::TNodeList(const TXmlNode* AStartAt, const QString& ANodeToAdd) { FindNodes(AStartAt, ANodeToAdd); }

qint32 TNodeList::FindNodes(const TXmlNode* AStartAt, const QString& ANodeName) {
  Walk(AStartAt, ANodeName);
  return Count();
}

void TNodeList::Walk(const TXmlNode* ANode, const QString& ANodeName) {
  for (const auto& Child : ANode->ChildNodes()) {
    if (!Child->IsElement())
      continue;
    if (Child->NodeName() == ANodeName)
      FNodes.append(Child.get());
    Walk(Child.get(), ANodeName);
  }
}

}  // namespace quillon
