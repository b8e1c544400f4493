// Fleet files and compare fleets: one member process per target, their reports merged.
#pragma once

#include "cli/Cli.Options.h"
#include "report/Report.Result.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillon {
class IDbProgress;
class ILog;
}  // namespace quillon

namespace quillon::cli {

// One line of a fleet file: its settings (Server=, Database=, optional User=, Service=,
// Driver=) and its name (Name=, else server/database). A malformed line keeps its line number
// and says what is wrong in Error; it fails alone and the other targets still run.
struct TFleetTarget {
  qint32 Line = 0;
  QString Name;
  QStringList Settings;
  QString Error;
};

// Reads a fleet file: one target a line, blank lines skipped, "#" starts a comment. Raises
// Exception when the file cannot be read or names no target.
QList<TFleetTarget> ReadFleetFile(const QString& AFileName);

// The settings of a fleet line's target: the line's, then those of the command line that the
// line does not give (a line's setting overrides the one the command line gives every target).
QStringList MemberSettings(const TFleetTarget& ATarget, const TCliOptions& AOptions);

// A password asked once here serves every target of a fleet through the environment: asked on
// the terminal for the command line's User=, else the first line's, unless QUILLON_PASSWORD
// is set or standard error is no terminal.
void AskFleetPasswordOnce(const TCliOptions& AOptions, const QList<TFleetTarget>& ATargets);

// Checks the targets AOptions.Jobs at a time and returns their results in the file's order.
//
// Every target runs in a child process of this program (AProgram) with "--fleet-member",
// which prints the target's JSON report on its standard output. A process per target, and not
// a thread, because the core keeps process-wide state that a compare run changes as it goes
// (the log, the list progress receiver, the regular-expression engine, the settings) and
// ODBC and the service client were built for one run at a time: separate processes share
// nothing, so each target has its own connection and service client, a crashing driver takes
// only its own target down, and the checks still overlap fully because they wait on the
// servers, not on this machine. The members keep no log file (they would all write the same
// one); this process logs every target's outcome instead.
QList<TTargetResult> RunFleet(const QList<TFleetTarget>& ATargets, const TCliOptions& AOptions,
                              const QString& AProgram, ILog* ALog, IDbProgress* AProgress);

}  // namespace quillon::cli
