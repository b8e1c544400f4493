// The addresses of the gold-standard service's XML pages, and fetching them.
#pragma once

#include "infra/xml/Support.Xml.h"
#include "service/OstrelService.h"

#include <QString>

namespace quillon {

// Addresses of the service's XML pages under the configured roots (TServiceConfig). Query
// values are percent-encoded, so a name with an ampersand or a blank asks for that name.
QString ListPageAddress(const QString& AListName);
QString RoutineListPageAddress(qint32 AMaxVersion);
QString RoutineVersionsPageAddress(const QString& ARoutineSchema, const QString& ARoutineName);
QString ProcListPageAddress();

// Fetches a page over AService's own connection when it has one, so a compare run that reads
// pages still uses a single connection; otherwise over a connection of its own. Raises
// EServiceError when the page cannot be fetched and EXmlParseError when it is not a well-formed
// document or declares a document type.
TXmlDocument LoadServicePage(OstrelServiceSoap& AService, const QString& AAddress);

}  // namespace quillon
