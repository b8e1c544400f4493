// The addresses of the gold-standard service's XML pages, and fetching them.
#include "service/Service.PageAddresses.h"

#include "service/Service.Pages.h"
#include "service/Service.Soap.h"

#include <QUrl>

namespace quillon {

namespace {

QString Encoded(const QString& AValue) { return QString::fromLatin1(QUrl::toPercentEncoding(AValue)); }

}  // namespace

QString ListPageAddress(const QString& AListName) { return TServiceConfig::Current().PageAddress(AListName); }

QString RoutineListPageAddress(qint32 AMaxVersion) {
  return TServiceConfig::Current().PageAddress(QStringLiteral("GetDbRoutineList"),
                                               QStringLiteral("?MaxVersion=") + Encoded(QString::number(AMaxVersion)));
}

QString RoutineVersionsPageAddress(const QString& ARoutineSchema, const QString& ARoutineName) {
  return TServiceConfig::Current().PageAddress(
      QStringLiteral("GetDbRoutineVersions"),
      QStringLiteral("?RoutineSchema=%1&RoutineName=%2").arg(Encoded(ARoutineSchema), Encoded(ARoutineName)));
}

QString ProcListPageAddress() { return TServiceConfig::Current().MetadataPageAddress(QStringLiteral("DbProcList")); }

TXmlDocument LoadServicePage(OstrelServiceSoap& AService, const QString& AAddress) {
  if (auto* Loader = dynamic_cast<IServicePageLoader*>(&AService))
    return Loader->LoadPage(AAddress);
  return LoadXmlPage(AAddress);
}

}  // namespace quillon
