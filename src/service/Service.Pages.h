#pragma once

#include "service/OstrelService.h"

#include <QDomDocument>
#include <QString>

namespace quillon {

// Addresses of the service's XML pages under the configured roots (TServiceConfig). Query
// values are percent-encoded, so a name with an ampersand or a blank asks for that name.
QString ListPageAddress(const QString& AListName);
QString RoutineListPageAddress(qint32 AMaxVersion);
QString RoutineVersionsPageAddress(const QString& ARoutineSchema, const QString& ARoutineName);
QString ProcListPageAddress();

// Reads an XML document from a file, or fetches it when AFileName is an http or https
// address. Raises EServiceError when a page cannot be fetched and EXmlError when the text is
// not a well-formed document or declares a document type.
QDomDocument LoadXmlDocument(const QString& AFileName);

// Fetches a page over AService's own connection when it has one, so a compare run that reads
// pages still uses a single connection; otherwise over a connection of its own.
QDomDocument LoadServicePage(OstrelServiceSoap& AService, const QString& AAddress);

}  // namespace quillon
