#pragma once

#include "infra/Support.Xml.h"

#include <QByteArray>
#include <QString>

class QXmlStreamReader;

namespace quillon {

// Parses a document from outside the program. A document type declaration is refused before
// anything is parsed, so no external entity is ever fetched and no entity is ever expanded.
// Raises EXmlParseError, naming ASource, for that and for a document that is not well-formed.
TXmlDocument ParseXmlDocument(const QByteArray& AData, const QString& ASource);

// The message of a reader that stopped with an error: the reason with line and column.
QString XmlErrorText(const QXmlStreamReader& AReader);

}  // namespace quillon
