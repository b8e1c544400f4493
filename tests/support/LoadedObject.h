// Schema objects for unit tests: loaded from one catalogue row, parsed from an element or
// written as one.
#pragma once

#include "catalogue/Catalogue.Read.h"
#include "infra/xml/Support.Xml.h"
#include "model/DatabaseObjects.h"
#include "support/MemorySql.h"

#include <QByteArray>
#include <QStringList>
#include <QVariantList>

#include <memory>

namespace quillon::test {

// Loads one object of type T from a single catalogue row.
template <class T>
std::unique_ptr<T> Loaded(const QStringList& AFields, const QVariantList& ARow) {
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("q"), AFields, {ARow});
  return CreateFromDataSet<T>(*Sql.FastQuery(QStringLiteral("q")));
}

// Parses one object of type T from an element written as XML text.
template <class T>
std::unique_ptr<T> ParsedFrom(const QByteArray& AElement) {
  const TXmlDocument Xml = TXmlDocument::FromBytes(AElement);
  return TDatabaseObject::CreateFromNode<T>(Xml.DocumentElement());
}

// The element an object writes, as XML text.
inline QByteArray Written(TDatabaseObject& AObject) {
  TXmlDocument Xml;
  AObject.AddNode(Xml.CreateDocumentElement(QStringLiteral("C")));
  const QByteArray Text = Xml.ToBytes();
  const qsizetype Start = Text.indexOf("<C>\n  ") + 6;
  return Text.mid(Start, Text.lastIndexOf("\n</C>") - Start);
}

}  // namespace quillon::test
