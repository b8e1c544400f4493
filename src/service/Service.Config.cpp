// Where the gold-standard service lives and how long the program waits for it.
#include "service/Service.Config.h"

#include "infra/settings/Support.IniFile.h"
#include "infra/platform/Support.Paths.h"
#include "infra/settings/Utils.Params.h"

#include <algorithm>

namespace quillon {

namespace {

const QString ServiceSection = QStringLiteral("Service");

QString WithoutTrailingSlash(QString AAddress) {
  while (AAddress.endsWith(u'/'))
    AAddress.chop(1);
  return AAddress;
}

void ReadSeconds(TIniFile& AIni, const QString& AKey, double& ASeconds) {
  // A technical value: written with a decimal point whatever the locale says.
  bool Ok = false;
  const double Value = AIni.ReadString(ServiceSection, AKey, QString()).toDouble(&Ok);
  if (Ok && Value > 0)
    ASeconds = Value;
}

// More connections than this would only burden the service: the speed-up ends long before.
constexpr qint32 MaxConcurrency = 64;

void ReadConcurrency(TIniFile& AIni, qint32& AConcurrency) {
  bool Ok = false;
  const qint32 Value = AIni.ReadString(ServiceSection, QStringLiteral("Concurrency"), QString()).trimmed().toInt(&Ok);
  if (Ok && Value > 0)
    AConcurrency = std::min(Value, MaxConcurrency);
}

}  // namespace

QString TServiceConfig::EndpointAddress() const { return WithoutTrailingSlash(BaseAddress) + QStringLiteral("/OstrelService.asmx"); }

QString TServiceConfig::PageAddress(const QString& APageName, const QString& AQuery) const {
  return WithoutTrailingSlash(PageRoot.isEmpty() ? BaseAddress : PageRoot) + u'/' + APageName + QStringLiteral(".asp") + AQuery;
}

QString TServiceConfig::MetadataPageAddress(const QString& APageName) const {
  return WithoutTrailingSlash(MetadataRoot.isEmpty() ? BaseAddress : MetadataRoot) + u'/' + APageName + QStringLiteral(".asp");
}

TServiceConfig TServiceConfig::Current() {
  return FromSources(ExeSettingsFileName(), TParamList::CreateFromCommandLine().ReadString(QStringLiteral("Service"), QString()));
}

TServiceConfig TServiceConfig::FromSources(const QString& AIniFileName, const QString& AServiceOverride) {
  TServiceConfig Config;
  TIniFile Ini(AIniFileName);
  if (const QString Base = Ini.ReadString(ServiceSection, QStringLiteral("BaseAddress"), QString()); !Base.isEmpty())
    Config.BaseAddress = Base;
  Config.PageRoot = Ini.ReadString(ServiceSection, QStringLiteral("PageRoot"), QString());
  Config.MetadataRoot = Ini.ReadString(ServiceSection, QStringLiteral("MetadataRoot"), QString());
  ReadSeconds(Ini, QStringLiteral("ConnectTimeout"), Config.ConnectTimeout);
  ReadSeconds(Ini, QStringLiteral("Timeout"), Config.Timeout);
  ReadConcurrency(Ini, Config.Concurrency);
  if (!AServiceOverride.isEmpty()) {
    Config.BaseAddress = AServiceOverride;
    Config.PageRoot.clear();
    Config.MetadataRoot.clear();
  }
  return Config;
}

QString ExeSettingsFileName() {
  if (!RunsInstalled())
    return ExeSiblingFileName(QStringLiteral(".ini"));
  return FirstExistingFile(ExeName() + QStringLiteral(".ini"), {UserConfigFolder(), MachineConfigFolder()});
}

QString PublishStateFileName() { return ProgramStateFolder() + ExeName() + QStringLiteral(".publish.ini"); }

}  // namespace quillon
