#pragma once

#include "infra/Support.Xml.h"

#include <QString>

namespace quillon {

// Fetches an XML page with an HTTP GET and parses it. Raises Exception naming the address for
// a transport failure or time-out and for an HTTP status other than 200, and EXmlParseError
// for a page that is not well-formed XML.
TXmlDocument LoadXmlPage(const QString& AUrl);

// A document from an http(s) address (LoadXmlPage) or from a file.
TXmlDocument LoadXmlDocument(const QString& AFileNameOrUrl);

}  // namespace quillon
