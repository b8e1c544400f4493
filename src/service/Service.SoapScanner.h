// The quick reading of an ordinary SOAP answer, without a full XML parse.
#pragma once

#include "infra/xml/Support.Xml.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace quillon {

// The quick road for the ordinary answer: a UTF-8 SOAP 1.1 envelope whose body holds the
// wrapper AWrapper in the service's namespace. Returns the text of the last AResultElement
// directly inside the wrapper (empty when there is none, or when AResultElement is null).
//
// Returns nothing for a fault and for anything it does not fully understand or that is not
// well-formed (comments, CDATA, document types, other encodings, undeclared prefixes, nesting
// deeper than MaxXmlDepth...), so that the full XML reader decides and reports those. It never
// accepts a document that reader would refuse, and never answers differently from it.
std::optional<QString> ScanPlainSoapAnswer(const QByteArray& ABody, const QString& AWrapper, const char* AResultElement);

// The quick road for a plain UTF-8 page: the tree TXmlDocument::FromBytes would build, or
// nothing under the same terms as above, so that the full parser decides.
std::optional<TXmlDocument> ScanPlainXmlDocument(const QByteArray& AData);

}  // namespace quillon
