#include "cli/Cli.Program.h"

#include "cli/Cli.Check.h"
#include "cli/Cli.Fleet.h"
#include "cli/Cli.Log.h"
#include "cli/Cli.Options.h"
#include "cli/Cli.Output.h"
#include "report/Report.Render.h"
#include "compare/Xml.Snapshot.h"
#include "infra/Classes.Auditing.h"
#include "infra/Classes.RegEx.h"
#include "infra/Logging.SmartInspect.h"
#include "infra/Settings.IniFile.h"
#include "infra/Support.GlobalLifetime.h"
#include "infra/Support.Paths.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <optional>

namespace quillon::cli {

namespace {

// The process-wide services the core relies on, started in the program's order and released
// in reverse. The log (and with it the log file) only when this process keeps one: a fleet
// member leaves that to the process that started it.
class TCliGlobals {
public:
  explicit TCliGlobals(bool AKeepLog)
      : FLogging(AKeepLog ? std::optional<TLoggingScope>(std::in_place) : std::optional<TLoggingScope>()) {}

private:
  std::optional<TLoggingScope> FLogging;
  TGlobalLifetime FClassAuditing{StartClassAuditing, StopClassAuditing};
  TGlobalLifetime FRegEx{StartUpGlobalRegEx, ShutDownGlobalRegEx};
  TGlobalLifetime FSettings{StartUpGlobalSettings, ShutDownGlobalSettings};
};

void PrintLine(FILE* AStream, const QString& AText) {
  std::fputs(AText.toLocal8Bit().constData(), AStream);
  std::fputc('\n', AStream);
  std::fflush(AStream);
}

int Fail(const QString& AMessage) {
  PrintLine(stderr, QStringLiteral("quillon-cli: ") + AMessage);
  return 2;
}

void WriteOut(const QByteArray& AData) {
  std::fwrite(AData.constData(), 1, static_cast<size_t>(AData.size()), stdout);
  std::fflush(stdout);
}

// Sends the report to --report FILE, or to standard output.
// Colour only where a person reads the report as it comes: on a terminal, unless NO_COLOR
// asks otherwise; never into a file or a pipe.
TTextReportOptions TextReportOptions(const TCliOptions& AOptions) {
  return TTextReportOptions{!AOptions.NoDiff, AOptions.ReportFile.isEmpty() && StdOutIsTerminal() &&
                                                  qEnvironmentVariableIsEmpty("NO_COLOR")};
}

void Deliver(const TCliOptions& AOptions, const QByteArray& AReport) {
  if (AOptions.ReportFile.isEmpty())
    WriteOut(AReport);
  else
    WriteFileAtomically(AOptions.ReportFile, AReport);
}

// A password asked once here serves every target of a fleet through the environment.
void AskFleetPasswordOnce(const TCliOptions& AOptions, const QList<TFleetTarget>& ATargets) {
  if (qEnvironmentVariableIsSet("QUILLON_PASSWORD") || !StdErrIsTerminal())
    return;
  QString User = AOptions.Setting(QStringLiteral("User"));
  for (const TFleetTarget& Target : ATargets) {
    if (!User.isEmpty())
      break;
    TParamList TargetSettings;
    TargetSettings.ParseCommandLine(Target.Settings);
    User = TargetSettings.ReadString(QStringLiteral("User"), QString());
  }
  if (!User.isEmpty())
    qputenv("QUILLON_PASSWORD", ReadPassword(User).toLocal8Bit());
}

int RunFleetCommand(const TCliOptions& AOptions, ILog* ALog, TTerminalProgress& AProgress) {
  const QList<TFleetTarget> Targets = ReadFleetFile(AOptions.FleetFile);
  AskFleetPasswordOnce(AOptions, Targets);
  const QList<TTargetResult> Results =
      RunFleet(Targets, AOptions, QCoreApplication::applicationFilePath(), ALog, &AProgress);
  AProgress.EndLine();
  const QByteArray Report = RenderReport(AOptions.Format, Results, true, TextReportOptions(AOptions));
  const QString Table = SummaryTable(Results);
  // Machine-readable output on stdout stays parseable: the table then goes to stderr.
  if (AOptions.ReportFile.isEmpty() && AOptions.Format != TReportFormat::Text) {
    WriteOut(Report);
    std::fputs(Table.toLocal8Bit().constData(), stderr);
  } else {
    Deliver(AOptions, Report);
    WriteOut(Table.toLocal8Bit());
  }
  return CombinedExitCode(Results);
}

int RunCommand(const TCliOptions& AOptions) {
  TCliLog Log(AOptions.FleetMember ? nullptr : GlobalLog);
  TTerminalProgress Progress(!AOptions.FleetMember && StdErrIsTerminal());
  if (!AOptions.FleetFile.isEmpty())
    return RunFleetCommand(AOptions, &Log, Progress);
  TChecker Checker(AOptions, &Log, &Progress);
  switch (AOptions.Command) {
    case TCommand::Snapshot: {
      const QString Path = Checker.Snapshot();
      Progress.EndLine();
      PrintLine(stdout, Path);
      return 0;
    }
    case TCommand::Publish:
      Checker.Publish();
      Progress.EndLine();
      for (const QString& Line : Log.PublishedLines() + Log.SkippedLines())
        PrintLine(stdout, Line);
      PrintLine(stdout, QStringLiteral("%1 objects published or updated, %2 skipped")
                            .arg(Log.PublishedLines().size())
                            .arg(Log.SkippedLines().size()));
      return 0;
    default:
      break;
  }
  const TTargetResult Result = AOptions.SnapshotFile.isEmpty() ? Checker.CompareDatabase() : Checker.CompareSnapshot();
  Progress.EndLine();
  Deliver(AOptions, RenderReport(AOptions.Format, {Result}, false, TextReportOptions(AOptions)));
  if (!AOptions.ReportFile.isEmpty() && !AOptions.FleetMember)
    PrintLine(stderr, QStringLiteral("%1 anomalies; report written to %2").arg(Result.Anomalies.size()).arg(AOptions.ReportFile));
  if (Result.Failed())
    Fail(Result.Error);
  return Result.ExitCode();
}

}  // namespace

int RunCommandLine(const QStringList& AArguments) {
  TCliOptions Options;
  try {
    Options = ParseOptions(AArguments);
  } catch (const EUsageError& E) {
    return Fail(E.Message());
  }
  if (Options.Command == TCommand::Help) {
    WriteOut(HelpText().toLocal8Bit());
    return 0;
  }
  if (Options.Command == TCommand::ShowVersion) {
    PrintLine(stdout, QStringLiteral("quillon-cli %1").arg(QCoreApplication::applicationVersion()));
    return 0;
  }
  InstallInterruptHandler();
  TCliGlobals Globals(!Options.FleetMember);
  // Installed, the command line's snapshot is a product of the run, like its report: it lands
  // where the user runs the command, not among the window's snapshots.
  if (RunsInstalled())
    SetSnapshotFolder(QDir::currentPath());
  try {
    return RunCommand(Options);
  } catch (const std::exception& E) {
    if (GlobalLog)
      GlobalLog->SilentError(QStringLiteral("quillon-cli: %s"), {QString::fromUtf8(E.what())});
    return Fail(QString::fromUtf8(E.what()).simplified());
  }
}

}  // namespace quillon::cli
