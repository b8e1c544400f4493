#pragma once

#include "infra/Support.Exceptions.h"

#include "infra/Support.Xml.h"

#include <QByteArray>
#include <QString>

class QXmlStreamReader;

namespace quillon {

// A document that is not well-formed XML, or one that declares a document type.
QUILLON_DECLARE_EXCEPTION(EXmlError, Exception)

// Parses a document from outside the program. A document type declaration is refused before
// anything is parsed, so no external entity is ever fetched and no entity is ever expanded.
// ASource names the document in the message of EXmlError (with line and column).
TXmlDocument ParseXmlDocument(const QByteArray& AData, const QString& ASource);

// The message of a reader that stopped with an error: the reason with line and column.
QString XmlErrorText(const QXmlStreamReader& AReader);

}  // namespace quillon
