#pragma once

#include "report/Report.Render.h"
#include "infra/Support.Exceptions.h"
#include "infra/Utils.Params.h"

#include <QString>
#include <QStringList>

namespace quillon::cli {

// A command line the program cannot act on; the message says what is wrong.
QUILLON_DECLARE_EXCEPTION(EUsageError, Exception)

enum class TCommand { Compare, Snapshot, Publish, Help, ShowVersion };

// The kinds a compare run can take part in, as bits.
enum TKindFlag : unsigned {
  kindSchemata = 1,
  kindChecks = 2,
  kindViews = 4,
  kindRoutines = 8,
  kindForeignKeys = 16,
  kindIndexes = 32,
  kindAll = 63
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
  TReportFormat Format = TReportFormat::Text;
  QString ReportFile;
  QString OutputFile;
  QString SnapshotFile;
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
  qint32 Jobs = 4;
  // Run as one target of a fleet check: no log file, no progress, the JSON report on stdout.
  bool FleetMember = false;

  // The settings read as the program reads its own command line.
  TParamList Params() const;
  // The value of a setting (key compared ignoring case); empty when absent.
  QString Setting(const QString& AKey) const;
  bool HasSetting(const QString& AKey) const;
};

// The settings a command line or a fleet line may carry.
bool IsKnownSetting(const QString& AKey);

// Reads "anomalies,unknown,missing,unreadable" (any letter case); raises EUsageError for an
// empty list or an unknown word.
unsigned FailOnFromList(const QString& AList);

// Parses the arguments after the program name; raises EUsageError with a message for people.
TCliOptions ParseOptions(const QStringList& AArguments);

QString HelpText();

}  // namespace quillon::cli
