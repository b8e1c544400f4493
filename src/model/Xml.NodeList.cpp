// Every element of a given name below a node, in document order.
#include "model/Xml.NodeList.h"

#include "infra/xml/Support.Xml.h"

#include <vector>

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

// Document order without recursion: a tree built in code is not bound by the readers' depth
// limit, and a deep one must not exhaust the stack.
void TNodeList::Walk(const TXmlNode* ANode, const QString& ANodeName) {
  struct TPosition {
    const TXmlNode* Parent;
    std::size_t Next;
  };
  std::vector<TPosition> Path{{ANode, 0}};
  while (!Path.empty()) {
    TPosition& Top = Path.back();
    if (Top.Next == Top.Parent->ChildNodes().size()) {
      Path.pop_back();
      continue;
    }
    const TXmlNode* Child = Top.Parent->ChildNodes()[Top.Next++].get();
    if (!Child->IsElement())
      continue;
    if (Child->NodeName() == ANodeName)
      FNodes.append(Child);
    Path.push_back({Child, 0});
  }
}

}  // namespace quillon
