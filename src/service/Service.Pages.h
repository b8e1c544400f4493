// The gold-standard service's XML pages, fetched and parsed.
#pragma once

#include "infra/xml/Support.Xml.h"

#include <QString>

namespace quillon {

// Fetches an XML page over a connection of its own (configured as TServiceConfig says) and
// parses it; raises EServiceError when it cannot be fetched and EXmlParseError when it is not a
// well-formed document.
TXmlDocument LoadXmlPage(const QString& AUrl);

// A document from an http(s) address (LoadXmlPage) or from a file.
TXmlDocument LoadXmlDocument(const QString& AFileNameOrUrl);

}  // namespace quillon
