// The command line's verbs and options, read into TCliOptions, and its help text.
#include "cli/Cli.Options.h"

#include <QCoreApplication>

#include <optional>

namespace quillon::cli {

namespace {

// The names --kinds takes, in the order --help lists them.
const QList<std::pair<QString, unsigned>>& KindNames() {
  static const QList<std::pair<QString, unsigned>> Names = [] {
    QList<std::pair<QString, unsigned>> Result;
    for (const unsigned Flag : {kindSchemata, kindChecks, kindViews, kindRoutines, kindForeignKeys, kindIndexes})
      for (const TCheckKind& Kind : CheckKinds())
        if (Kind.Flag == Flag)
          Result.append({Kind.OptionName, Flag});
    return Result;
  }();
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

// Walks the arguments; an option's value is the text after "=" or the next argument. A next
// argument that is itself an option is no value: "--report --format json" is a forgotten file
// name, not a report named "--format".
class TArgumentReader {
public:
  explicit TArgumentReader(const QStringList& AArguments) : FArguments(AArguments) {}

  bool AtEnd() const { return FIndex >= FArguments.size(); }
  QString Next() { return FArguments.at(FIndex++); }
  QString Value(const QString& AOption, QString& AInlineValue) {
    if (!AInlineValue.isNull())
      return std::exchange(AInlineValue, QString());
    if (AtEnd() || FArguments.at(FIndex).startsWith(QLatin1String("--")))
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
  Check(ACommandGiven, QStringLiteral("no command given: use compare, snapshot, publish or drift (see --help)"));
  const bool Compare = AOptions.Command == TCommand::Compare;
  const bool Drift = AOptions.Command == TCommand::Drift;
  Check(AOptions.SnapshotFile.isEmpty() || Compare || Drift, QStringLiteral("--snapshot works only with compare and drift"));
  Check(AOptions.FleetFile.isEmpty() || Compare || Drift || AOptions.Command == TCommand::Repair,
        QStringLiteral("--fleet works only with compare, drift and repair --apply"));
  Check(AOptions.SnapshotFile.isEmpty() || AOptions.FleetFile.isEmpty(),
        QStringLiteral("--snapshot and --fleet cannot be combined"));
  Check(!Drift || !AOptions.BaselineFile.isEmpty(), QStringLiteral("drift needs --baseline FILE, a snapshot"));
  Check(AOptions.BaselineFile.isEmpty() || Drift, QStringLiteral("--baseline works only with drift"));
  Check((AOptions.Includes.isEmpty() && AOptions.Excludes.isEmpty()) || Compare || Drift ||
            AOptions.Command == TCommand::Repair,
        QStringLiteral("--include and --exclude work only with compare, drift and repair (a snapshot and the "
                       "gold standard always cover the whole database)"));
  Check(AOptions.GoldVersion == 0 || !AOptions.SnapshotFile.isEmpty(),
        QStringLiteral("--gold-version works only with --snapshot (a database reports its own version)"));
  Check(AOptions.GoldVersion == 0 || !Drift, QStringLiteral("--gold-version works only with compare"));
  Check(AOptions.FailOnText.isNull() || Compare || AOptions.Command == TCommand::Repair,
        QStringLiteral("--fail-on works only with compare and repair"));
  Check(!AOptions.Force || AOptions.Command == TCommand::Publish, QStringLiteral("--force works only with publish"));
  const bool Repair = AOptions.Command == TCommand::Repair;
  Check(!Repair || !AOptions.ScriptFile.isEmpty() || AOptions.Apply,
        QStringLiteral("repair needs --script FILE (write the script, change nothing) or --apply (run it)"));
  Check(!AOptions.Apply || Repair, QStringLiteral("--apply works only with repair"));
  Check(!AOptions.Yes || AOptions.Apply, QStringLiteral("--yes works only with repair --apply"));
  Check(!AOptions.AllowIndexLoss || Repair, QStringLiteral("--allow-index-loss works only with repair"));
  Check(!AOptions.Apply || AOptions.SnapshotFile.isEmpty(),
        QStringLiteral("repair --apply needs a database, not --snapshot"));
  // A fleet's targets are repaired in processes of their own, one after the other: nobody can be
  // asked in between, and two lines may name one database.
  Check(AOptions.FleetFile.isEmpty() || !Repair || (AOptions.Apply && AOptions.ScriptFile.isEmpty()),
        QStringLiteral("repair --fleet needs --apply and no --script (a script is written for one database)"));
  Check(AOptions.FleetFile.isEmpty() || !AOptions.Apply || AOptions.Yes,
        QStringLiteral("repair --apply --fleet asks nobody first: give --yes"));
  Check(!AOptions.JobsGiven || !AOptions.Apply, QStringLiteral("--jobs does not apply to repair: targets are repaired one at a time"));
  Check(AOptions.ScriptFile.isEmpty() || Repair, QStringLiteral("--script works only with repair"));
  Check(AOptions.ScriptFile != QLatin1String("-") ||
            std::none_of(AOptions.Reports.begin(), AOptions.Reports.end(), [](const TReportRequest& AReport) { return AReport.ToStdOut(); }),
        QStringLiteral("the script and a report cannot both go to standard output (give --report FORMAT:FILE)"));
  Check(!AOptions.NoSnapshot || AOptions.Command != TCommand::Snapshot,
        QStringLiteral("--no-snapshot cannot be combined with snapshot, whose product the snapshot is"));
  Check(!AOptions.NoSnapshot || AOptions.SnapshotDir.isEmpty(), QStringLiteral("--no-snapshot and --snapshot-dir cannot be combined"));
  Check((AOptions.SnapshotDir.isEmpty() && !AOptions.NoSnapshot) || AOptions.SnapshotFile.isEmpty(),
        QStringLiteral("a compare of --snapshot FILE writes no snapshot: --snapshot-dir and --no-snapshot do not apply"));
  Check(AOptions.SnapshotTag.isEmpty() || AOptions.FleetMember, QStringLiteral("--snapshot-tag is given by a fleet to its members"));
  Check(AOptions.SnapshotDir.isEmpty() || AOptions.OutputFile.isEmpty(),
        QStringLiteral("--output and --snapshot-dir cannot be combined"));
  Check(!AOptions.NoDiff || (AOptions.Command != TCommand::Snapshot && AOptions.Command != TCommand::Publish &&
                             std::any_of(AOptions.Reports.begin(), AOptions.Reports.end(),
                                         [](const TReportRequest& AReport) { return AReport.Format == TReportFormat::Text; })),
        QStringLiteral("--no-diff works only with compare and the text format"));
  Check(AOptions.OutputFile.isEmpty() || AOptions.Command == TCommand::Snapshot,
        QStringLiteral("--output works only with snapshot"));
  Check(AOptions.FleetFile.isEmpty() ||
            !(AOptions.HasSetting(QStringLiteral("Server")) || AOptions.HasSetting(QStringLiteral("Database"))),
        QStringLiteral("with --fleet the targets come from the fleet file, not from Server= or Database="));
  Check(!AOptions.JobsGiven || !AOptions.FleetFile.isEmpty(), QStringLiteral("--jobs works only with --fleet"));
  Check(AOptions.Jobs >= 1 && AOptions.Jobs <= 64, QStringLiteral("--jobs must lie between 1 and 64"));
  CheckSettings(AOptions.Settings, QString());
  QStringList Files;
  for (const TReportRequest& Report : AOptions.Reports) {
    Check(!Files.contains(Report.File), Report.ToStdOut()
                                            ? QStringLiteral("only one report can go to standard output")
                                            : QStringLiteral("two reports name the file %1").arg(Report.File));
    Files.append(Report.File);
  }
}

// An --include or --exclude pattern; raises EUsageError for one that cannot narrow anything
// (empty, or only "*", "?" and "." — every schema.name matches it) or that holds a control
// character.
QString NamePattern(const QString& AOption, const QString& APattern) {
  Check(!APattern.trimmed().isEmpty(), QStringLiteral("%1 needs a pattern, not an empty text").arg(AOption));
  Check(std::none_of(APattern.begin(), APattern.end(), [](QChar C) { return C.category() == QChar::Other_Control; }),
        QStringLiteral("%1 \"%2\" holds a control character").arg(AOption, APattern));
  Check(std::any_of(APattern.begin(), APattern.end(), [](QChar C) { return C != u'*' && C != u'?' && C != u'.'; }),
        QStringLiteral("%1 \"%2\" matches every object: name a schema or object (e.g. sales.*, *.usp_*)")
            .arg(AOption, APattern));
  return APattern;
}

// "--report FORMAT:FILE" names its format; "--report FILE" (no format) takes the one of
// --format. A colon after a slash belongs to the file name.
std::pair<std::optional<TReportFormat>, QString> ReportRequest(const QString& AValue) {
  const qsizetype Colon = AValue.indexOf(u':');
  if (Colon < 0 || AValue.left(Colon).contains(u'/'))
    return {std::nullopt, AValue};
  const QString FormatName = AValue.left(Colon);
  TReportRequest Request{TReportFormat::Text, AValue.mid(Colon + 1)};
  Check(!FormatName.isEmpty(), QStringLiteral("--report %1 names no format (FORMAT:FILE, e.g. junit:report.xml)").arg(AValue));
  Check(ReportFormatFromName(FormatName, Request.Format),
        QStringLiteral("unknown report format \"%1\" (known: text, json, junit, html)").arg(FormatName));
  Check(!Request.File.isEmpty(), QStringLiteral("--report %1 names no file").arg(AValue));
  return {Request.Format, Request.File};
}

// The long name of an option given in its short form.
QString LongOptionName(const QString& AName) {
  static const QList<std::pair<QString, QString>> Short{{QStringLiteral("-q"), QStringLiteral("--quiet")},
                                                        {QStringLiteral("-v"), QStringLiteral("--verbose")}};
  for (const auto& [ShortName, LongName] : Short)
    if (AName == ShortName)
      return LongName;
  return AName;
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

bool TCliOptions::WritesReport(TReportFormat AFormat) const {
  return std::any_of(Reports.begin(), Reports.end(), [&](const TReportRequest& AReport) { return AReport.Format == AFormat; });
}

TParamList TCliOptions::Params() const {
  TParamList Result;
  Result.ParseCommandLine(Settings);
  return Result;
}

QString TCliOptions::Setting(const QString& AKey) const { return Params().ReadString(AKey, QString()); }

bool TCliOptions::HasSetting(const QString& AKey) const { return Params().Exists(AKey); }

void CheckSettings(const QStringList& ASettings, const QString& AWhere) {
  QStringList Keys;
  for (const QString& Setting : ASettings) {
    const QString Key = Setting.section(u'=', 0, 0);
    const QString Value = Setting.section(u'=', 1);
    Check(IsKnownSetting(Key),
          AWhere + QStringLiteral("unknown setting \"%1\" (known: Server, Database, User, Service, Driver)").arg(Key));
    Check(!Keys.contains(Key.toLower()), AWhere + QStringLiteral("%1= is given twice").arg(Key));
    Keys.append(Key.toLower());
    Check(std::none_of(Setting.begin(), Setting.end(), [](QChar C) { return C.category() == QChar::Other_Control; }),
          AWhere + QStringLiteral("%1= holds a control character").arg(Key));
    for (const char* Required : {"server", "database"})
      Check(!Value.isEmpty() || Key.toLower() != QLatin1String(Required), AWhere + QStringLiteral("%1= has no value").arg(Key));
  }
  Check(Keys.contains(QStringLiteral("server")) == Keys.contains(QStringLiteral("database")),
        AWhere + QStringLiteral("Server= and Database= go together: give both, or neither to use the data-link file"));
}

bool IsKnownSetting(const QString& AKey) {
  for (const char* Known : {"Server", "Database", "User", "Service", "Driver"})
    if (AKey.compare(QLatin1String(Known), Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

TCliOptions ParseOptions(const QStringList& AArguments) {
  TCliOptions Options;
  bool CommandGiven = false;
  bool OptionsEnded = false;
  QStringList OptionsSeen;
  std::optional<TReportFormat> Format;
  std::optional<QString> PlainReportFile;
  TArgumentReader Reader(AArguments);
  while (!Reader.AtEnd()) {
    const QString Argument = Reader.Next();
    if (Argument == QLatin1String("--") && !OptionsEnded) {
      OptionsEnded = true;
      continue;
    }
    if (OptionsEnded || !Argument.startsWith(u'-') || Argument == QLatin1String("-")) {
      if (Argument.contains(u'=')) {
        Options.Settings.append(Argument);
        continue;
      }
      Check(!CommandGiven, QStringLiteral("unexpected argument \"%1\"").arg(Argument));
      if (Argument == QLatin1String("help")) {
        Options.Command = TCommand::Help;
        return Options;
      }
      const QList<std::pair<QString, TCommand>> Commands{{QStringLiteral("compare"), TCommand::Compare},
                                                         {QStringLiteral("snapshot"), TCommand::Snapshot},
                                                         {QStringLiteral("publish"), TCommand::Publish},
                                                         {QStringLiteral("drift"), TCommand::Drift},
                                                         {QStringLiteral("repair"), TCommand::Repair}};
      const auto Found = std::find_if(Commands.begin(), Commands.end(),
                                      [&](const auto& AEntry) { return AEntry.first == Argument; });
      Check(Found != Commands.end(),
            QStringLiteral("unknown command \"%1\" (known: compare, snapshot, publish, drift, repair, help)").arg(Argument));
      Options.Command = Found->second;
      CommandGiven = true;
      continue;
    }
    const QString Name = LongOptionName(Argument.section(u'=', 0, 0));
    QString Inline = Argument.contains(u'=') ? Argument.section(u'=', 1) : QString();
    if (Name == QLatin1String("--help") || Name == QLatin1String("-h")) {
      Options.Command = TCommand::Help;
      return Options;
    }
    if (Name == QLatin1String("--version") || Name == QLatin1String("-V")) {
      // Alone only: "--version $V" with an empty $V must not read as a green run.
      Check(AArguments.size() == 1,
            QStringLiteral("%1 takes no value and no other argument (the gold standard's version is "
                           "--gold-version N)").arg(Name));
      Options.Command = TCommand::ShowVersion;
      return Options;
    }
    // --report, --include and --exclude are the options that may be given more than once.
    static const QStringList Repeatable{QStringLiteral("--report"), QStringLiteral("--include"), QStringLiteral("--exclude")};
    Check(Repeatable.contains(Name) || !OptionsSeen.contains(Name),
          QStringLiteral("%1 is given twice").arg(Name));
    OptionsSeen.append(Name);
    if (Name == QLatin1String("--gold-version")) {
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
      const QString FormatName = Reader.Value(Name, Inline);
      Format = TReportFormat::Text;
      Check(ReportFormatFromName(FormatName, *Format),
            QStringLiteral("unknown report format \"%1\" (known: text, json, junit, html)").arg(FormatName));
    } else if (Name == QLatin1String("--report")) {
      const auto [ReportFormat, File] = ReportRequest(Reader.Value(Name, Inline));
      if (ReportFormat) {
        Options.Reports.append(TReportRequest{*ReportFormat, File});
      } else {
        Check(!PlainReportFile, QStringLiteral("--report FILE is given twice (several reports: --report FORMAT:FILE)"));
        PlainReportFile = File;
      }
    } else if (Name == QLatin1String("--output")) {
      Options.OutputFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--snapshot")) {
      Options.SnapshotFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--script")) {
      Options.ScriptFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--apply")) {
      Options.Apply = true;
    } else if (Name == QLatin1String("--yes")) {
      Options.Yes = true;
    } else if (Name == QLatin1String("--allow-index-loss")) {
      Options.AllowIndexLoss = true;
    } else if (Name == QLatin1String("--snapshot-dir")) {
      Options.SnapshotDir = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--no-snapshot")) {
      Options.NoSnapshot = true;
    } else if (Name == QLatin1String("--snapshot-tag")) {
      Options.SnapshotTag = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--fleet")) {
      Options.FleetFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--baseline")) {
      Options.BaselineFile = Reader.Value(Name, Inline);
    } else if (Name == QLatin1String("--include")) {
      Options.Includes.append(NamePattern(Name, Reader.Value(Name, Inline)));
    } else if (Name == QLatin1String("--exclude")) {
      Options.Excludes.append(NamePattern(Name, Reader.Value(Name, Inline)));
    } else if (Name == QLatin1String("--jobs")) {
      Options.Jobs = WholeNumber(Name, Reader.Value(Name, Inline), 0);
      Options.JobsGiven = true;
    } else if (Name == QLatin1String("--quiet") || Name == QLatin1String("--verbose")) {
      Check(Options.Verbosity == TVerbosity::Normal, QStringLiteral("--quiet and --verbose cannot be combined"));
      Options.Verbosity = Name == QLatin1String("--quiet") ? TVerbosity::Quiet : TVerbosity::Verbose;
    } else if (Name == QLatin1String("--fleet-member")) {
      Options.FleetMember = true;
    } else {
      throw EUsageError(QStringLiteral("unknown option \"%1\" (see --help)").arg(Name));
    }
    Check(Inline.isNull(), QStringLiteral("%1 takes no value").arg(Name));
  }
  if (PlainReportFile || Options.Reports.isEmpty())
    Options.Reports.append(TReportRequest{Format.value_or(TReportFormat::Text), PlainReportFile.value_or(QStringLiteral("-"))});
  else
    Check(!Format, QStringLiteral("--format applies to --report FILE; --report FORMAT:FILE names its own"));
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
  drift        compare the database (or --snapshot FILE) with a baseline snapshot over all
               ten kinds: objects added, removed and changed, field by field
  repair       compare, then write the repair script of every anomaly to --script FILE
               (ALTER statements and check-constraint batches, GO between batches); the
               database is not changed. The report is the compare's. With --apply the
               script is run object by object, stopping at the first failure, and the
               report says of each object: repaired, failed (with the server's message),
               not attempted or cannot be repaired. Exit 0 when everything was repaired.
               With --apply --yes --fleet FILE every target is repaired in turn.

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
  --report FILE        write the report (in --format) to FILE
  --report FORMAT:FILE write a report in FORMAT to FILE; repeatable, one run for all:
                       --report junit:r.xml --report html:r.html --report json:-
                       (- is standard output; a file is replaced only once complete, a
                       FIFO or device written in place; a failed run writes failed reports)
  --no-diff            text: one line per anomaly, without the diff under it (coloured on a
                       terminal unless NO_COLOR is set)
  --output PATH        snapshot: write the snapshot to PATH instead of the snapshot folder
                       (the current folder when installed, else beside the program)
  --snapshot-dir DIR   where compare, snapshot and publish write the database's snapshot
                       (default: the current folder when installed, else beside the program);
                       a fleet adds the target's name when two lines name one database
  --no-snapshot        compare, publish: write no snapshot
  --script FILE        repair: where the repair script goes (- for standard output)
  --apply              repair: run the script on the database; on a terminal its summary is
                       shown and you are asked first
  --yes                repair --apply: do not ask (needed when standard input is not a terminal,
                       and with --fleet)
  --allow-index-loss   repair: alter indexed views too (the ALTER drops all their indexes);
                       without it they are left alone and the report says why
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
  --fleet FILE         compare, drift, repair --apply: check every target of FILE, one per line:
                         Name=eu1 Server=sql-eu1 Database=Shop User=checker
                       (# starts a comment; any setting above may be given per line)
  --jobs N             fleet: targets checked at a time (default 4; drift's share the one
                       baseline; repair takes one at a time)
  --baseline FILE      drift: the snapshot to compare with (of a reference database, or an
                       earlier snapshot of this one)
  --include PATTERN    compare, drift, repair: take only objects whose schema.name matches
                       (* and ?, any letter case: sales.*, *.usp_*; an index, key, column or
                       privilege by its table or routine); may be repeated. Objects left out
                       are never asked about; the reports name the patterns; a snapshot
                       written still holds the whole database
  --exclude PATTERN    leave out objects whose schema.name matches; may be repeated
  -q, --quiet          errors only on standard error
  -v, --verbose        the log's lines on standard error too
  -h, --help, help     this text
  -V, --version        the program's version (only as the one argument)
  --                   end of the options

Exit codes: 0 nothing that --fail-on names, 1 something it names was found, 2 error or a
comparison that stopped part-way (one line on standard error says what), 130 Ctrl+C,
143 SIGTERM (the reports are still written, with what did not finish marked cancelled).
Drift: 0 no drift, 1 drift found, 2 a baseline or target that cannot be read; 130 and 143 as
above.

Drift reports show tables, keys, privileges and schemata as generated T-SQL texts: these
describe what the catalogue reads, they are not scripts that turn one database into the other.
Progress goes to standard error when it is a terminal (the catalogue per list with its rows).

Examples:
  quillon-cli compare Server=sql01 Database=Shop
  QUILLON_PASSWORD=... quillon-cli compare Server=sql01,1433 Database=Shop User=checker \
      --kinds views,routines --format html --report shop.html
  quillon-cli snapshot Server=sql01 Database=Shop --output /tmp/shop.xml
  quillon-cli compare --snapshot sql01.Shop.12.xml --format json --fail-on anomalies,missing
  quillon-cli compare --fleet fleet.txt --jobs 8 --report junit:fleet.xml --report html:fleet.html
  quillon-cli drift --baseline reference.xml Server=sql01 Database=Shop --exclude "tmp.*"
  quillon-cli drift --baseline reference.xml --fleet fleet.txt --report html:drift.html
  quillon-cli compare Server=sql01 Database=Shop --include "sales.*" --exclude "*.tmp_*"
  quillon-cli repair --fleet fleet.txt --apply --yes --report junit:repair.xml
  quillon-cli publish Server=gold01 Database=ShopGold Service=http://gold:8080
)");
}

}  // namespace quillon::cli
