// Parsing documents from the gold-standard service, with document types refused.
#pragma once

#include "infra/xml/Support.Xml.h"

#include <QByteArray>
#include <QString>

class QXmlStreamReader;

namespace quillon {

// Parses a document from outside the program. A document type declaration is refused wherever
// it appears, so no external entity is ever fetched and no entity is ever expanded; so are an
// entity reference and nesting deeper than MaxXmlDepth. Raises EXmlParseError, naming ASource,
// for those and for a document that is not well-formed.
TXmlDocument ParseXmlDocument(const QByteArray& AData, const QString& ASource);

// Reads AData through and raises EXmlParseError, naming ASource, where it holds what
// ParseXmlDocument refuses. Whether it is well-formed is left to the caller's own reader, which
// may then walk it with Qt's recursive conveniences and entity expansion safely.
void RefuseHostileXml(const QByteArray& AData, const QString& ASource);

// The message of a reader that stopped with an error: the reason with line and column.
QString XmlErrorText(const QXmlStreamReader& AReader);

}  // namespace quillon
