// Every element of a given name below a node, in document order.
#pragma once

#include <QList>
#include <QString>

namespace quillon {

class TXmlDocument;
class TXmlNode;

// Every element of one name below a start node, at any depth, in document order (a parent
// before its descendants). Holds references into the document, which must outlive the list.
class TNodeList {
public:
  // Searches from the document element (nothing for an empty document).
  TNodeList(const TXmlDocument& AXml, const QString& ANodeToAdd);
  TNodeList(const TXmlNode* AStartAt, const QString& ANodeToAdd);

  // Appends every element below AStartAt (the start itself is not tested) whose name is
  // exactly ANodeName; returns the number of nodes the list then holds.
  qint32 FindNodes(const TXmlNode* AStartAt, const QString& ANodeName);

  qint32 Count() const { return static_cast<qint32>(FNodes.size()); }
  const TXmlNode* operator[](qint32 AIndex) const { return FNodes.at(AIndex); }
  QList<const TXmlNode*>::const_iterator begin() const { return FNodes.cbegin(); }
  QList<const TXmlNode*>::const_iterator end() const { return FNodes.cend(); }

private:
  void Walk(const TXmlNode* ANode, const QString& ANodeName);

  QList<const TXmlNode*> FNodes;
};

}  // namespace quillon
