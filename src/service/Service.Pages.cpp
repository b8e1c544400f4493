#include "service/Service.Pages.h"

#include "service/Service.Soap.h"
#include "service/Service.Xml.h"

#include <QFile>
#include <QUrl>

namespace quillon {

namespace {

QString Encoded(const QString& AValue) { return QString::fromLatin1(QUrl::toPercentEncoding(AValue)); }

bool IsWebAddress(const QString& AFileName) {
  return AFileName.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
         AFileName.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

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

QDomDocument LoadXmlDocument(const QString& AFileName) {
  if (IsWebAddress(AFileName))
    return TOstrelServiceClient(TServiceConfig::Current()).LoadPage(AFileName);
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    throw EXmlError(QStringLiteral("Cannot open the XML document %1: %2").arg(AFileName, File.errorString()));
  return ParseXmlDocument(File.readAll(), AFileName);
}

QDomDocument LoadServicePage(OstrelServiceSoap& AService, const QString& AAddress) {
  if (auto* Loader = dynamic_cast<IServicePageLoader*>(&AService))
    return Loader->LoadPage(AAddress);
  return LoadXmlDocument(AAddress);
}

}  // namespace quillon
