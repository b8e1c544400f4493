#include "cli/Cli.Options.h"

#include <QCoreApplication>

namespace quillon::cli {

namespace {

const QList<std::pair<QString, unsigned>>& KindNames() {
  static const QList<std::pair<QString, unsigned>> Names{
      {QStringLiteral("schemata"), kindSchemata}, {QStringLiteral("checks"), kindChecks},
      {QStringLiteral("views"), kindViews},       {QStringLiteral("routines"), kindRoutines},
      {QStringLiteral("foreignkeys"), kindForeignKeys}, {QStringLiteral("indexes"), kindIndexes}};
  return Names;
}

qint32 WholeNumber(const QString& AOption, const QString& AValue, qint32 AMinimum) {
  bool Ok = false;
  const qint32 Value = AValue.toInt(&Ok);
  if (!Ok || Value < AMinimum)
    throw EUsageError(QStringLiteral("%1 needs a whole number of at least %2, not \"%3\"")
                          .arg(AOption)
                          .arg(AMinimum)
                          .arg(AValue));
  return Value;
}

// Reads a comma list of names from ANames into bits; AWhat names the option in messages.
unsigned FlagsFromList(const QString& AList, const QList<std::pair<QString, unsigned>>& ANames, const QString& AWhat) {
  QStringList Known;
  for (const auto& Entry : ANames)
    Known.append(Entry.first);
  unsigned Flags = 0;
  for (const QString& Name : AList.split(u',', Qt::SkipEmptyParts)) {
    const QString Wanted = Name.trimmed().toLower();
    const auto Found = std::find_if(ANames.begin(), ANames.end(), [&](const auto& AEntry) { return AEntry.first == Wanted; });
    if (Found == ANames.end())
      throw EUsageError(QStringLiteral("unknown %1 \"%2\" (known: %3)").arg(AWhat, Name.trimmed(), Known.join(QStringLiteral(", "))));
    Flags |= Found->second;
  }
  return Flags;
}

// Walks the arguments; an option's value is the text after "=" or the next argument.
class TArgumentReader {
public:
  explicit TArgumentReader(const QStringList& AArguments) : FArguments(AArguments) {}

  bool AtEnd() const { return FIndex >= FArguments.size(); }
  QString Next() { return FArguments.at(FIndex++); }
  QString Value(const QString& AOption, QString& AInlineValue) {
    if (!AInlineValue.isNull())
      return std::exchange(AInlineValue, QString());
    if (AtEnd())
      throw EUsageError(QStringLiteral("%1 needs a value").arg(AOption));
    return Next();
  }

private:
  const QStringList& FArguments;
  qsizetype FIndex = 0;
};

void Check(bool ACondition, const QString& AMessage) {
  if (!ACondition)
    throw EUsageError(AMessage);
}

// --help and --version have returned before this: everything else needs a command.
void Validate(const TCliOptions& AOptions, bool ACommandGiven) {
  Check(ACommandGiven, QStringLiteral("no command given: use compare, snapshot or publish (see --help)"));
  const bool Compare = AOptions.Command == TCommand::Compare;
  Check(AOptions.SnapshotFile.isEmpty() || Compare, QStringLiteral("--snapshot works only with compare"));
  Check(AOptions.FleetFile.isEmpty() || Compare, QStringLiteral("--fleet works only with compare"));
  Check(AOptions.SnapshotFile.isEmpty() || AOptions.FleetFile.isEmpty(),
        QStringLiteral("--snapshot and --fleet cannot be combined"));
  Check(AOptions.GoldVersion == 0 || !AOptions.SnapshotFile.isEmpty(),
        QStringLiteral("--gold-version works only with --snapshot (a database reports its own version)"));
  Check(AOptions.FailOnText.isNull() || Compare, QStringLiteral("--fail-on works only with compare"));
  Check(!AOptions.Force || AOptions.Command == TCommand::Publish, QStringLiteral("--force works only with publish"));
  Check(!AOptions.NoDiff || (AOptions.Command == TCommand::Compare && AOptions.Format == TReportFormat::Text),
        QStringLiteral("--no-diff works only with compare and the text format"));
  Check(AOptions.OutputFile.isEmpty() || AOptions.Command == TCommand::Snapshot,
        QStringLiteral("--output works only with snapshot"));
  Check(AOptions.FleetFile.isEmpty() ||
            !(AOptions.HasSetting(QStringLiteral("Server")) || AOptions.HasSetting(QStringLiteral("Database"))),
        QStringLiteral("with --fleet the targets come from the fleet file, not from Server= or Database="));
  Check(AOptions.Jobs >= 1 && AOptions.Jobs <= 64, QStringLiteral("--jobs must lie between 1 and 64"));
}

}  // namespace

unsigned KindsFromList(const QString& AList) {
  const unsigned Kinds = FlagsFromList(AList, KindNames(), QStringLiteral("kind"));
  if (Kinds == 0)
    throw EUsageError(QStringLiteral("--kinds names no kind"));
  return Kinds;
}

unsigned FailOnFromList(const QString& AList) {
  static const QList<std::pair<QString, unsigned>> Names{{QStringLiteral("anomalies"), failOnAnomalies},
                                                         {QStringLiteral("unknown"), failOnUnknown},
                                                         {QStringLiteral("missing"), failOnMissing},
                                                         {QStringLiteral("unreadable"), failOnUnreadable}};
  const unsigned Flags = FlagsFromList(AList, Names, QStringLiteral("result kind for --fail-on"));
  if (Flags == 0)
    throw EUsageError(QStringLiteral("--fail-on names no kind of result (known: anomalies, unknown, missing, unreadable)"));
  return Flags;
}

TParamList TCliOptions::Params() const {
  TParamList Result;
  Result.ParseCommandLine(Settings);
  return Result;
}

QString TCliOptions::Setting(const QString& AKey) const { return Params().ReadString(AKey, QString()); }

bool TCliOptions::HasSetting(const QString& AKey) const { return Params().Exists(AKey); }

bool IsKnownSetting(const QString& AKey) {
  for (const char* Known : {"Server", "Database", "User", "Service", "Driver"})
    if (AKey.compare(QLatin1String(Known), Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

TCliOptions ParseOptions(const QStringList& AArguments) {
  TCliOptions Options;
  bool CommandGiven = false;
  TArgumentReader Reader(AArguments);
  while (!Reader.AtEnd()) {
    const QString Argument = Reader.Next();
    if (!Argument.startsWith(u'-')) {
      if (Argument.contains(u'=')) {
        Check(IsKnownSetting(Argument.section(u'=', 0, 0)),
              QStringLiteral("unknown setting \"%1\" (known: Server, Database, User, Service, Driver)")
                  .arg(Argument.section(u'=', 0, 0)));
        Options.Settings.append(Argument);
        continue;
      }
      Check(!CommandGiven, QStringLiteral("unexpected argument \"%1\"").arg(Argument));
      const QList<std::pair<QString, TCommand>> Commands{{QStringLiteral("compare"), TCommand::Compare},
                                                         {QStringLiteral("snapshot"), TCommand::Snapshot},
                                                         {QStringLiteral("publish"), TCommand::Publish}};
      const auto Found = std::find_if(Commands.begin(), Commands.end(),
                                      [&](const auto& AEntry) { return AEntry.first == Argument; });
      Check(Found != Commands.end(), QStringLiteral("unknown command \"%1\" (known: compare, snapshot, publish)").arg(Argument));
      Options.Command = Found->second;
      CommandGiven = true;
      continue;
    }
    const QString Name = Argument.section(u'=', 0, 0);
    QString Inline = Argument.contains(u'=') ? Argument.section(u'=', 1) : QString();
    if (Name == QLatin1String("--help") || Name == QLatin1String("-h")) {
      Options.Command = TCommand::Help;
      return Options;
    } else if (Name == QLatin1String("--version")) {
      // Alone only: "--version $V" with an empty $V must not read as a green run.
      Check(AArguments.size() == 1,
            QStringLiteral("--version takes no value and no other argument (the gold standard's version is "
                           "--gold-version N)"));
      Options.Command = TCommand::ShowVersion;
      return Options;
    } else if (Name == QLatin1String("--gold-version")) {
      Options.GoldVersion = WholeNumber(Name, Reader.Value(Name, Inline), 1);
    } else if (Name == QLatin1String("--fail-on")) {
      Options.FailOnText = Reader.Value(Name, Inline);
      Options.FailOn = FailOnFromList(Options.FailOnText);
    } else if (Name == QLatin1String("--force")) {
      Options.Force = true;
    } else if (Name == QLatin1String("--no-diff")) {
      Options.NoDiff = true;
    } else if (Name == QLatin1String("--kinds")) {
      Options.KindsText = Reader.Value(Name, Inline);
      Options.Kinds = KindsFromList(Options.KindsText);
    } else if (Name == QLatin1String("--format")) {
      const QString Format = Reader.Value(Name, Inline);
      Check(ReportFormatFromName(Format, Options.Format),
            QStringLiteral("unknown report format \"%1\" (known: text, json, junit, html)").arg(Format));
    } else if (Name == QLatin1String("--report")) {
      Options.ReportFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--output")) {
      Options.OutputFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--snapshot")) {
      Options.SnapshotFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--fleet")) {
      Options.FleetFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--jobs")) {
      Options.Jobs = WholeNumber(Name, Reader.Value(Name, Inline), 0);
    } else if (Name == QLatin1String("--fleet-member")) {
      Options.FleetMember = true;
    } else {
      throw EUsageError(QStringLiteral("unknown option \"%1\" (see --help)").arg(Name));
    }
    Check(Inline.isNull(), QStringLiteral("%1 takes no value").arg(Name));
  }
  Validate(Options, CommandGiven);
  return Options;
}

QString HelpText() {
  return QStringLiteral(R"(Usage: quillon-cli COMMAND [SETTINGS] [OPTIONS]

Checks SQL Server databases against the gold standard of their schema version.

Commands:
  compare      read the catalogue, write the snapshot, compare with the gold standard, report
  snapshot     read the catalogue, write the snapshot and print its path
  publish      write the gold standard from this database (views, indexes, check and
               referential constraints, changed routines) and print what was published

Settings (key=value, as for the main program):
  Server=NAME          SQL Server instance (host, host\instance or host,port)
  Database=NAME        database; without both Server and Database the data-link file
                       Tellwick.UDL is used: installed, ~/.config/quillon/Tellwick.UDL,
                       else the one in the folder above the program's
  User=LOGIN           SQL Server login; the password comes from the environment variable
                       QUILLON_PASSWORD or, on a terminal, from a prompt that does not echo.
                       Without User= Windows (Kerberos) authentication is used.
  Service=URL          address of the gold-standard service (overrides the settings file)
  Driver=NAME          ODBC driver (overrides the settings file; default FreeTDS)

Options:
  --kinds LIST         kinds to compare, comma-separated: schemata, checks, views, routines,
                       foreignkeys, indexes (default: all)
  --format FORMAT      text (default), json, junit or html
  --report FILE        write the report to FILE (replaced only once it is complete)
  --no-diff            text: one line per anomaly, without the diff under it (coloured on a
                       terminal unless NO_COLOR is set)
  --output PATH        snapshot: write the snapshot to PATH instead of the snapshot folder
                       (the current folder when installed, else beside the program)
  --snapshot FILE      compare: compare a snapshot file instead of a live database, with the
                       gold standard of the version the snapshot records
  --gold-version N     with --snapshot: compare with the gold standard of version N instead
                       (a whole number from 1)
  --fail-on LIST       compare: the results that make the exit code 1, comma-separated:
                       anomalies, unknown (objects the gold standard has no definition of),
                       missing (routines of the gold standard the database lacks),
                       unreadable (encrypted, or no VIEW DEFINITION permission)
                       (default: anomalies)
  --force              publish: send every routine, whatever was sent before
  --fleet FILE         compare: check every target of FILE, one per line:
                         Name=eu1 Server=sql-eu1 Database=Shop User=checker
                       (# starts a comment; any setting above may be given per line)
  --jobs N             fleet: targets checked at a time (default 4)
  --help               this text
  --version            the program's version (only as the one argument)

Exit codes: 0 nothing that --fail-on names, 1 something it names was found, 2 error or a
comparison that stopped part-way (one line on standard error says what).
Progress goes to standard error when it is a terminal.

Examples:
  quillon-cli compare Server=sql01 Database=Shop
  QUILLON_PASSWORD=... quillon-cli compare Server=sql01,1433 Database=Shop User=checker \
      --kinds views,routines --format html --report shop.html
  quillon-cli snapshot Server=sql01 Database=Shop --output /tmp/shop.xml
  quillon-cli compare --snapshot sql01.Shop.12.xml --format json --fail-on anomalies,missing
  quillon-cli compare --fleet fleet.txt --jobs 8 --format junit --report fleet.xml
  quillon-cli publish Server=gold01 Database=ShopGold Service=http://gold:8080
)");
}

}  // namespace quillon::cli
