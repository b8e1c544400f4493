// The command line's verbs and options, read into TCliOptions, and its help text.
#pragma once

#include "report/Report.Render.h"
#include "session/Session.Kinds.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/settings/Utils.Params.h"

#include <QString>
#include <QStringList>

namespace quillon::cli {

// A command line the program cannot act on; the message says what is wrong.
QUILLON_DECLARE_EXCEPTION(EUsageError, Exception)

enum class TCommand { Compare, Snapshot, Publish, Drift, Repair, Help, ShowVersion };

// How much the program says on standard error besides the report: errors only, progress and
// the closing line, or also the log's lines.
enum class TVerbosity { Quiet, Normal, Verbose };

// One report a run writes: its format and where ("-" for standard output).
struct TReportRequest {
  TReportFormat Format = TReportFormat::Text;
  QString File;

  bool ToStdOut() const { return File == QLatin1String("-"); }
  bool operator==(const TReportRequest&) const = default;
};

// Reads "views,routines,..." (names of --help, any letter case); raises EUsageError naming an
// unknown kind.
unsigned KindsFromList(const QString& AList);

struct TCliOptions {
  TCommand Command = TCommand::Compare;
  // The key=value settings in the order given (Server, Database, User, Service, Driver).
  QStringList Settings;
  unsigned Kinds = kindAll;
  // --kinds as given; empty for all kinds.
  QString KindsText;
  // Every report the run writes, at least one: without --report the --format report goes to
  // standard output.
  QList<TReportRequest> Reports;
  TVerbosity Verbosity = TVerbosity::Normal;
  QString OutputFile;
  QString SnapshotFile;
  // repair --script: where the repair script goes.
  QString ScriptFile;
  // repair --apply: run the repair on the database; --yes: without asking first.
  bool Apply = false;
  bool Yes = false;
  // repair --allow-index-loss: indexed views are altered too, which drops their indexes.
  bool AllowIndexLoss = false;
  // --snapshot-dir: where compare, snapshot and publish write the database's snapshot; empty for
  // the default folder. --no-snapshot: compare and publish write none.
  QString SnapshotDir;
  bool NoSnapshot = false;
  // Given by a fleet to a member whose server and database another line names too: joins the
  // snapshot's file name so that the two do not overwrite each other.
  QString SnapshotTag;
  // --gold-version: the gold standard's version to compare a snapshot with; 0 when not given
  // (the snapshot's own Version then counts).
  qint32 GoldVersion = 0;
  // --fail-on as TFailOnFlag bits, and as given (empty for the default, anomalies).
  unsigned FailOn = failOnAnomalies;
  QString FailOnText;
  // publish --force: send every routine, whatever the checksum cache remembers.
  bool Force = false;
  // --no-diff: the text report without a diff under each anomaly.
  bool NoDiff = false;
  QString FleetFile;
  // drift: the snapshot the target is compared with, and the "schema.name" patterns that
  // choose the objects compared.
  QString BaselineFile;
  QStringList Includes;
  QStringList Excludes;
  qint32 Jobs = 4;
  bool JobsGiven = false;
  // Run as one target of a fleet check: no log file, no progress, the JSON report on stdout.
  bool FleetMember = false;

  // The settings read as the program reads its own command line.
  TParamList Params() const;
  // Whether one of the reports is of this format.
  bool WritesReport(TReportFormat AFormat) const;
  // The value of a setting (key compared ignoring case); empty when absent.
  QString Setting(const QString& AKey) const;
  bool HasSetting(const QString& AKey) const;
};

// The settings a command line or a fleet line may carry.
bool IsKnownSetting(const QString& AKey);

// Raises EUsageError when the "key=value" settings repeat a key (any letter case), name an
// unknown key, hold a control character, give Server= or Database= an empty value, or give
// only one of the two. AWhere goes in front of the message ("", "fleet file line 3: ").
void CheckSettings(const QStringList& ASettings, const QString& AWhere);

// Reads "anomalies,unknown,missing,unreadable" (any letter case); raises EUsageError for an
// empty list or an unknown word.
unsigned FailOnFromList(const QString& AList);

// Parses the arguments after the program name; raises EUsageError with a message for people.
TCliOptions ParseOptions(const QStringList& AArguments);

QString HelpText();

}  // namespace quillon::cli
