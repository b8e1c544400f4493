// The command line's option parser and fleet-file reader. The first byte picks the road: the
// rest as NUL-separated arguments, or as a fleet file. Either refuses with a usage error or
// reads what it was given; a fleet target without an error always has its server and database.
#include "FuzzSupport.h"

#include "cli/Cli.Fleet.h"
#include "cli/Cli.Options.h"

#include <QFile>
#include <QTemporaryDir>

using namespace quillon;
using namespace quillon::cli;

namespace {

void ParseArguments(const QByteArray& AInput) {
  QStringList Arguments;
  for (const QByteArray& Argument : AInput.split('\0'))
    Arguments.append(QString::fromUtf8(Argument));
  try {
    const TCliOptions Options = ParseOptions(Arguments);
    for (const QString& Setting : Options.Settings)
      fuzz::Check("a setting is not key=value", Setting.contains(u'='));
    fuzz::Check("fewer than one job at a time", Options.Jobs >= 1);
  } catch (const EUsageError&) {
  }
}

void ReadFleet(const QByteArray& AInput) {
  static const QTemporaryDir Dir;
  const QString FileName = Dir.filePath(QStringLiteral("fleet.txt"));
  QFile File(FileName);
  fuzz::Check("cannot write the fleet file", File.open(QIODevice::WriteOnly | QIODevice::Truncate));
  File.write(AInput);
  File.close();
  QList<TFleetTarget> Targets;
  try {
    Targets = ReadFleetFile(FileName);
  } catch (const Exception&) {
    return;  // no target at all
  }
  qint32 LastLine = 0;
  for (const TFleetTarget& Target : Targets) {
    fuzz::Check("targets out of the file's order", Target.Line > LastLine);
    LastLine = Target.Line;
    if (!Target.Error.isEmpty())
      continue;
    const auto Has = [&](const char* AKey) {
      for (const QString& Setting : Target.Settings)
        if (Setting.section(u'=', 0, 0).compare(QLatin1String(AKey), Qt::CaseInsensitive) == 0)
          return true;
      return false;
    };
    fuzz::Check("a target without an error lacks its server or database", Has("Server") && Has("Database"));
    fuzz::Check("a target without a name", !Target.Name.isEmpty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize == 0)
    return 0;
  const QByteArray Rest = fuzz::Bytes(AData + 1, ASize - 1);
  if (AData[0] & 1)
    ReadFleet(Rest);
  else
    ParseArguments(Rest);
  return 0;
}
