#include "service/Service.Config.h"

#include "infra/Support.Paths.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace quillon {

namespace {

const QString ServiceSection = QStringLiteral("Service");

QString WithoutTrailingSlash(QString AAddress) {
  while (AAddress.endsWith(u'/'))
    AAddress.chop(1);
  return AAddress;
}

// The values of one section of a settings file, by key as written (lookups ignore case, as
// Windows private-profile files do). A missing file is an empty section.
class TIniSection {
public:
  TIniSection(const QString& AFileName, const QString& ASection) {
    QFile File(AFileName);
    if (!File.open(QIODevice::ReadOnly | QIODevice::Text))
      return;
    bool InSection = false;
    for (const QString& RawLine : QString::fromUtf8(File.readAll()).split(u'\n')) {
      const QString Line = RawLine.trimmed();
      if (Line.startsWith(u'[')) {
        InSection = Line.endsWith(u']') && Line.mid(1, Line.size() - 2).trimmed().compare(ASection, Qt::CaseInsensitive) == 0;
        continue;
      }
      const qsizetype Equals = Line.indexOf(u'=');
      if (InSection && Equals > 0 && !Line.startsWith(u';'))
        FEntries.append({Line.left(Equals).trimmed(), Line.mid(Equals + 1).trimmed()});
    }
  }

  QString Value(const QString& AKey) const {
    for (const auto& [Key, Value] : FEntries)
      if (Key.compare(AKey, Qt::CaseInsensitive) == 0)
        return Value;
    return QString();
  }

private:
  QList<std::pair<QString, QString>> FEntries;
};

void ReadSeconds(const TIniSection& ASection, const QString& AKey, double& ASeconds) {
  bool Ok = false;
  const double Value = ASection.Value(AKey).toDouble(&Ok);
  if (Ok && Value > 0)
    ASeconds = Value;
}

// The value of the first command-line setting Service=, split at white space as every
// command-line setting of the program is.
QString ServiceFromCommandLine() {
  QFile File(QStringLiteral("/proc/self/cmdline"));
  if (!File.open(QIODevice::ReadOnly))
    return QString();
  const QString Prefix = QStringLiteral("Service=");
  for (const QByteArray& Argument : File.readAll().split('\0'))
    for (const QString& Entry : QString::fromLocal8Bit(Argument).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
      if (Entry.startsWith(Prefix, Qt::CaseInsensitive))
        return Entry.mid(Prefix.size());
  return QString();
}

}  // namespace

QString TServiceConfig::EndpointAddress() const { return WithoutTrailingSlash(BaseAddress) + QStringLiteral("/OstrelService.asmx"); }

QString TServiceConfig::PageAddress(const QString& APageName, const QString& AQuery) const {
  return WithoutTrailingSlash(PageRoot.isEmpty() ? BaseAddress : PageRoot) + u'/' + APageName + QStringLiteral(".asp") + AQuery;
}

QString TServiceConfig::MetadataPageAddress(const QString& APageName) const {
  return WithoutTrailingSlash(MetadataRoot.isEmpty() ? BaseAddress : MetadataRoot) + u'/' + APageName + QStringLiteral(".asp");
}

TServiceConfig TServiceConfig::Current() { return FromSources(ExeSettingsFileName(), ServiceFromCommandLine()); }

TServiceConfig TServiceConfig::FromSources(const QString& AIniFileName, const QString& AServiceOverride) {
  TServiceConfig Config;
  const TIniSection Section(AIniFileName, ServiceSection);
  if (const QString Base = Section.Value(QStringLiteral("BaseAddress")); !Base.isEmpty())
    Config.BaseAddress = Base;
  Config.PageRoot = Section.Value(QStringLiteral("PageRoot"));
  Config.MetadataRoot = Section.Value(QStringLiteral("MetadataRoot"));
  ReadSeconds(Section, QStringLiteral("ConnectTimeout"), Config.ConnectTimeout);
  ReadSeconds(Section, QStringLiteral("Timeout"), Config.Timeout);
  if (!AServiceOverride.isEmpty()) {
    Config.BaseAddress = AServiceOverride;
    Config.PageRoot.clear();
    Config.MetadataRoot.clear();
  }
  return Config;
}

QString ExeSettingsFileName() { return ExeFolder() + ExeName() + QStringLiteral(".ini"); }

}  // namespace quillon
