// The command line's program: parses the options, runs the command and delivers its reports and
// exit code.
#include "cli/Cli.Program.h"

#include "cli/Cli.Check.h"
#include "report/Report.Drift.h"
#include "cli/Cli.DriftRun.h"
#include "cli/Cli.Fleet.h"
#include "cli/Cli.Log.h"
#include "cli/Cli.Options.h"
#include "cli/Cli.Output.h"
#include "report/Report.Render.h"
#include "repair/Repair.Script.h"
#include "model/Xml.Snapshot.h"
#include "infra/logging/Classes.Auditing.h"
#include "infra/text/Classes.RegEx.h"
#include "infra/logging/Logging.SmartInspect.h"
#include "infra/settings/Settings.IniFile.h"
#include "infra/platform/Support.GlobalLifetime.h"
#include "infra/platform/Support.Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <functional>
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

// Colour only where a person reads the report as it comes: on a terminal, unless NO_COLOR
// asks otherwise; never into a file or a pipe.
TTextReportOptions TextReportOptions(const TCliOptions& AOptions, const TReportRequest& AReport) {
  return TTextReportOptions{!AOptions.NoDiff,
                            AReport.ToStdOut() && StdOutIsTerminal() && qEnvironmentVariableIsEmpty("NO_COLOR")};
}

// Every report the run asked for, each rendered by ARender and written even when another
// could not be; returns whether all were written (what failed has been said on standard error).
bool DeliverReports(const TCliOptions& AOptions, const std::function<QByteArray(const TReportRequest&)>& ARender) {
  bool AllWritten = true;
  for (const TReportRequest& Report : AOptions.Reports) {
    try {
      WriteReport(Report.File, ARender(Report));
    } catch (const std::exception& E) {
      Fail(QString::fromUtf8(E.what()).simplified());
      AllWritten = false;
    }
  }
  return AllWritten;
}

bool DeliverReports(const TCliOptions& AOptions, const QList<TTargetResult>& AResults, bool AFleet) {
  return DeliverReports(AOptions, [&](const TReportRequest& AReport) {
    return RenderReport(AReport.Format, AResults, AFleet, TextReportOptions(AOptions, AReport));
  });
}

bool DeliverReports(const TCliOptions& AOptions, const QList<TDriftTargetResult>& AResults, bool AFleet) {
  return DeliverReports(
      AOptions, [&](const TReportRequest& AReport) { return RenderDriftReport(AReport.Format, AResults, AFleet); });
}

bool ReportOnStdOut(const TCliOptions& AOptions, bool AMachineReadableOnly) {
  return std::any_of(AOptions.Reports.begin(), AOptions.Reports.end(), [&](const TReportRequest& AReport) {
    return AReport.ToStdOut() && !(AMachineReadableOnly && AReport.Format == TReportFormat::Text);
  });
}

// The closing line on standard error says what was found (AFound: "3 anomalies") and names the
// files, when the reports went to files.
void SayReportsWritten(const TCliOptions& AOptions, const QString& AFound) {
  if (AOptions.FleetMember || AOptions.Verbosity == TVerbosity::Quiet || ReportOnStdOut(AOptions, false))
    return;
  QStringList Files;
  for (const TReportRequest& Report : AOptions.Reports)
    Files.append(Report.File);
  PrintLine(stderr, QStringLiteral("%1; %2 written to %3")
                        .arg(AFound, Files.size() == 1 ? QStringLiteral("report") : QStringLiteral("reports"),
                             Files.join(QStringLiteral(", "))));
}

void SayReportsWritten(const TCliOptions& AOptions, const QList<TTargetResult>& AResults) {
  qsizetype Anomalies = 0;
  for (const TTargetResult& Result : AResults)
    Anomalies += Result.Anomalies.size();
  SayReportsWritten(AOptions, QStringLiteral("%1 anomalies").arg(Anomalies));
}

int RunFleetCommand(const TCliOptions& AOptions, ILog* ALog, TTerminalProgress& AProgress) {
  const QList<TFleetTarget> Targets = ReadFleetFile(AOptions.FleetFile);
  AskFleetPasswordOnce(AOptions, Targets);
  const QList<TTargetResult> Results =
      RunFleet(Targets, AOptions, QCoreApplication::applicationFilePath(), ALog, &AProgress);
  AProgress.EndLine();
  const bool Written = DeliverReports(AOptions, Results, true);
  const auto Cancelled = std::find_if(Results.begin(), Results.end(), [](const TTargetResult& R) { return R.Cancelled(); });
  if (Cancelled != Results.end())
    EndInterrupted(Cancelled->InterruptSignal);
  // Machine-readable output on stdout stays parseable: the table then goes to stderr.
  const QByteArray Table = SummaryTable(Results).toLocal8Bit();
  if (!ReportOnStdOut(AOptions, true))
    WriteStdOut(Table);
  else if (AOptions.Verbosity != TVerbosity::Quiet)
    std::fputs(Table.constData(), stderr);
  SayReportsWritten(AOptions, Results);
  return Written ? CombinedExitCode(Results) : 2;
}

// What the reports say of a check that failed before it had a result of its own.
TTargetResult FailedResult(const TCliOptions& AOptions, const QString& AError) {
  TTargetResult Result;
  Result.Name = TargetName(AOptions);
  Result.Server = AOptions.Setting(QStringLiteral("Server"));
  Result.Database = AOptions.Setting(QStringLiteral("Database"));
  Result.SnapshotPath = AOptions.SnapshotFile;
  Result.FailOn = AOptions.FailOn;
  Result.Error = AError;
  return Result;
}

// Shows what the repair would do and asks on the terminal whether to run it.
bool ConfirmOnTerminal(const TRepairScript& AScript, TTerminalProgress& AProgress) {
  AProgress.EndLine();
  for (const TRepairStep& Step : AScript.Steps())
    std::fprintf(stderr, "  %s %s: %s\n", Step.Kind.toUpper().toLocal8Bit().constData(),
                 Step.ObjectName.toLocal8Bit().constData(),
                 Step.Repairable() ? "will be altered" : qPrintable(QStringLiteral("cannot be repaired (%1)").arg(Step.Refusal)));
  std::fprintf(stderr, "Repair %d of %d objects in the database now? [y/N] ", static_cast<int>(AScript.RepairableCount()),
               static_cast<int>(AScript.Steps().size()));
  std::fflush(stderr);
  char Answer[16] = {};
  return std::fgets(Answer, sizeof Answer, stdin) && (Answer[0] == 'y' || Answer[0] == 'Y');
}

// Runs AWork on a thread of its own while this thread waits for it or for an interrupt, so
// that an interrupt can still be answered with reports while the work waits on a server.
// Returns the signal that came, or 0 when the work finished first. AWork must not throw. On an
// interrupt AOnInterrupt, when given, may let the work end by itself: it returns how many
// milliseconds to wait for that (a second interrupt ends the program meanwhile).
int RunInterruptibly(const std::function<void()>& AWork, const std::function<int()>& AOnInterrupt = {}) {
  const int InterruptFd = DeferInterrupts();
  int Done[2];
  if (pipe2(Done, O_CLOEXEC) != 0)
    throw Exception(QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
  std::thread Worker([&AWork, DoneFd = Done[1]] {
    AWork();
    const char Finished = 1;
    [[maybe_unused]] const ssize_t Written = write(DoneFd, &Finished, 1);
  });
  pollfd Waits[2] = {{InterruptFd, POLLIN, 0}, {Done[0], POLLIN, 0}};
  while (poll(Waits, 2, -1) < 0 && errno == EINTR) {
  }
  if (Waits[0].revents & POLLIN) {
    const int Signal = ReadInterrupt();
    pollfd Finishing{Done[0], POLLIN, 0};
    const int Grace = AOnInterrupt ? AOnInterrupt() : 0;
    if (Grace > 0 && poll(&Finishing, 1, Grace) == 1) {
      Worker.join();
    } else {
      // The work may hold locks or wait on a server for long: it ends with the process.
      Worker.detach();
    }
    return Signal;
  }
  Worker.join();
  StopDeferringInterrupts();
  close(Done[0]);
  close(Done[1]);
  // A signal that came as the work finished is still answered, with the finished result.
  pollfd Late{InterruptFd, POLLIN, 0};
  return poll(&Late, 1, 0) == 1 ? ReadInterrupt() : 0;
}

// Ends a run that ASignal interrupted: the progress line stops for good (the work may go on
// for a moment on its own thread), AWriteReports writes every report with what finished and
// the rest cancelled, and the program exits.
[[noreturn]] void EndInterruptedWithReports(TTerminalProgress& AProgress, int ASignal,
                                            const std::function<void()>& AWriteReports) {
  AProgress.Silence();
  AProgress.EndLine();
  AWriteReports();
  EndInterrupted(ASignal);
}

// How long an interrupted repair waits for the batch under way: a repair batch alters one
// object and takes well under this, unless the server is blocked.
constexpr int RepairBatchGraceMs = 15000;

// A compare, and for repair its script (written only for a complete compare) and, with
// --apply, the repair itself. An interrupt before it finishes still writes the reports, with
// the target cancelled.
int RunCompare(const TCliOptions& AOptions, TChecker& AChecker, TTerminalProgress& AProgress) {
  TTargetResult Result;
  std::atomic<bool> Finished = false;
  bool Interrupted = false;
  const bool Repair = AOptions.Command == TCommand::Repair;
  TRepairRequest Request{{}, AOptions.Apply, [&](const TRepairScript& AScript) {
                           return AOptions.Yes || ConfirmOnTerminal(AScript, AProgress);
                         }};
  const QString& Script = Request.ScriptText;
  // An interrupted repair sends no further batch, and the one under way may finish, so that the
  // reports can say what became of it.
  const int Signal = RunInterruptibly(
      [&] {
        try {
          Result = AOptions.SnapshotFile.isEmpty() ? AChecker.CompareDatabase(Repair ? &Request : nullptr)
                                                   : AChecker.CompareSnapshot();
        } catch (const std::exception& E) {
          if (GlobalLog)
            GlobalLog->SilentError(QStringLiteral("quillon-cli: %s"), {QString::fromUtf8(E.what())});
          Result = FailedResult(AOptions, QString::fromUtf8(E.what()).simplified());
        }
        Finished = true;
      },
      [&] {
        Interrupted = true;
        AChecker.Cancel();
        return AChecker.Repairing() ? RepairBatchGraceMs : 0;
      });
  if (Signal != 0)
    EndInterruptedWithReports(AProgress, Signal, [&] {
      // A run the signal stopped is cancelled, with what it had; one that had finished keeps its
      // result.
      const TTargetResult SoFar =
          Finished ? Result : AChecker.ResultSoFar(true).value_or(FailedResult(AOptions, QString()));
      DeliverReports(AOptions, {Interrupted ? CancelledResult(SoFar, Signal) : SoFar}, false);
    });
  AProgress.EndLine();
  bool Written = DeliverReports(AOptions, {Result}, false);
  if (!AOptions.ScriptFile.isEmpty() && !Result.Failed()) {
    try {
      WriteReport(AOptions.ScriptFile, Script.toUtf8());
    } catch (const std::exception& E) {
      Fail(QString::fromUtf8(E.what()).simplified());
      Written = false;
    }
  }
  if (Result.Failed())
    Fail(Result.Error);
  else
    SayReportsWritten(AOptions, {Result});
  return Written ? Result.ExitCode() : 2;
}

// A run that fails (an unreadable baseline, a target that cannot be read) still writes every
// report, saying what failed, so that no report of an earlier run is taken for this one's; so
// does an interrupted run, with the targets that did not finish cancelled.
int RunDriftCommand(const TCliOptions& AOptions, ILog* ALog, TTerminalProgress& AProgress) {
  TDriftRun Run(AOptions, ALog, AProgress);
  const int Signal = RunInterruptibly([&] { Run.Execute(); });
  if (Signal != 0)
    EndInterruptedWithReports(AProgress, Signal,
                              [&] { DeliverReports(AOptions, Run.Results(Signal), Run.Fleet()); });
  AProgress.EndLine();
  const QList<TDriftTargetResult> Results = Run.Results();
  const bool Written = DeliverReports(AOptions, Results, Run.Fleet());
  if (!Run.Fleet() && Results.first().Failed())
    return Fail(Results.first().Error);
  qsizetype Drifted = 0;
  for (const TDriftTargetResult& Result : Results)
    Drifted += Result.Drift.Items.size();
  SayReportsWritten(AOptions, QStringLiteral("%1 objects drifted").arg(Drifted));
  return Written ? CombinedExitCode(Results) : 2;
}

int RunCommand(const TCliOptions& AOptions) {
  TCliLog Log(AOptions.FleetMember ? nullptr : GlobalLog);
  TTerminalProgress Progress(!AOptions.FleetMember && AOptions.Verbosity != TVerbosity::Quiet && StdErrIsTerminal());
  if (AOptions.Verbosity == TVerbosity::Verbose)
    Log.SetEcho([&](const QString& ALine) {
      Progress.EndLine();
      PrintLine(stderr, ALine);
    });
  if (AOptions.Command == TCommand::Drift)
    return RunDriftCommand(AOptions, &Log, Progress);
  if (!AOptions.FleetFile.isEmpty())
    return RunFleetCommand(AOptions, &Log, Progress);
  TChecker Checker(AOptions, &Log, &Progress);
  switch (AOptions.Command) {
    case TCommand::Snapshot: {
      const QString Path = Checker.Snapshot();
      Progress.EndLine();
      WriteStdOut((Path + u'\n').toLocal8Bit());
      return 0;
    }
    case TCommand::Publish: {
      Checker.Publish();
      Progress.EndLine();
      QString Out;
      for (const QString& Line : Log.PublishedLines() + Log.SkippedLines())
        Out += Line + u'\n';
      Out += QStringLiteral("%1 objects published or updated, %2 skipped\n")
                 .arg(Log.PublishedLines().size())
                 .arg(Log.SkippedLines().size());
      WriteStdOut(Out.toLocal8Bit());
      return 0;
    }
    default:
      return RunCompare(AOptions, Checker, Progress);
  }
}

}  // namespace

int RunCommandLine(const QStringList& AArguments) {
  TCliOptions Options;
  try {
    Options = ParseOptions(AArguments);
  } catch (const EUsageError& E) {
    return Fail(E.Message());
  }
  try {
    if (Options.Command == TCommand::Help) {
      WriteStdOut(HelpText().toLocal8Bit());
      return 0;
    }
    if (Options.Command == TCommand::ShowVersion) {
      WriteStdOut(QStringLiteral("quillon-cli %1\n").arg(QCoreApplication::applicationVersion()).toLocal8Bit());
      return 0;
    }
    // A report that cannot be written is known before a server is asked anything.
    for (const TReportRequest& Report : Options.Reports)
      CheckReportDestination(Report.File);
    if (!Options.ScriptFile.isEmpty() && Options.ScriptFile != QLatin1String("-"))
      CheckFolderWritable(QFileInfo(Options.ScriptFile).absolutePath(),
                          QStringLiteral("cannot write the script %1").arg(Options.ScriptFile));
    if (!Options.SnapshotDir.isEmpty())
      CheckFolderWritable(Options.SnapshotDir, QStringLiteral("cannot write snapshots to --snapshot-dir"));
    if (Options.Apply && !Options.Yes && !isatty(STDIN_FILENO))
      throw Exception(QStringLiteral("repair --apply changes the database: give --yes when standard input is not a terminal"));
  } catch (const std::exception& E) {
    return Fail(QString::fromUtf8(E.what()).simplified());
  }
  for (const TReportRequest& Report : Options.Reports)
    RemoveOnInterrupt(Report.File);
  InstallInterruptHandler();
  TCliGlobals Globals(!Options.FleetMember);
  // Installed, the command line's snapshot is a product of the run, like its report: it lands
  // where the user runs the command, not among the window's snapshots.
  if (!Options.SnapshotDir.isEmpty())
    SetSnapshotFolder(QDir(Options.SnapshotDir).absolutePath());
  else if (RunsInstalled())
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
