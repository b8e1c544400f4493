// The gold-standard service's XML pages, fetched and parsed.
#include "service/Service.Pages.h"

#include "service/Service.Soap.h"

namespace quillon {

TXmlDocument LoadXmlPage(const QString& AUrl) { return TOstrelServiceClient(TServiceConfig::Current()).LoadPage(AUrl); }

TXmlDocument LoadXmlDocument(const QString& AFileNameOrUrl) {
  if (AFileNameOrUrl.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
      AFileNameOrUrl.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
    return LoadXmlPage(AFileNameOrUrl);
  return TXmlDocument::FromFile(AFileNameOrUrl);
}

}  // namespace quillon
