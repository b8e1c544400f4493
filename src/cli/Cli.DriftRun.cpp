// A drift run of the command line: the baseline read once, then one target or a fleet's targets on
// threads.
#include "cli/Cli.DriftRun.h"

#include "cli/Cli.Check.h"
#include "cli/Cli.Fleet.h"
#include "drift/Drift.Side.h"
#include "infra/logging/Logging.Interfaces.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace quillon::cli {

namespace {

QString OneLine(const std::exception& AError) { return QString::fromUtf8(AError.what()).simplified(); }

// What a run is called until its targets are known, and when it fails as a whole.
QString RunName(const TCliOptions& AOptions) {
  return AOptions.FleetFile.isEmpty() ? TargetName(AOptions) : AOptions.FleetFile;
}

// A target (or, named by the fleet file, a whole run) that failed before it had a result of
// its own: AError, with what AOptions say of the target, the baseline and the filters.
TDriftTargetResult FailedDriftResult(const QString& AName, const TCliOptions& AOptions, const QString& AError) {
  TDriftTargetResult Result;
  Result.Name = AName;
  Result.Server = AOptions.Setting(QStringLiteral("Server"));
  Result.Database = AOptions.Setting(QStringLiteral("Database"));
  Result.SnapshotPath = AOptions.SnapshotFile;
  Result.BaselinePath = AOptions.BaselineFile;
  Result.Includes = AOptions.Includes;
  Result.Excludes = AOptions.Excludes;
  Result.Error = AError;
  return Result;
}

}  // namespace

TDriftRun::TDriftRun(const TCliOptions& AOptions, ILog* ALog, TTerminalProgress& AProgress)
    : FOptions(AOptions), FLog(ALog), FProgress(AProgress) {
  Expect({RunName(FOptions)}, false);
}

void TDriftRun::Execute() {
  try {
    if (FOptions.FleetFile.isEmpty()) {
      FProgress.ShowStatus(QStringLiteral("Reading the baseline %1...").arg(FOptions.BaselineFile));
      TChecker Checker(FOptions, FLog, &FProgress);
      // A JUnit report lists every object, so it needs both sides whole.
      Finish(0, !FOptions.SnapshotFile.isEmpty() && !FOptions.WritesReport(TReportFormat::JUnit)
                    ? Checker.DriftSnapshots()
                    : Checker.Drift(TDriftSide::FromSnapshot(FOptions.BaselineFile)));
      return;
    }
    const QList<TFleetTarget> Targets = ReadFleetFile(FOptions.FleetFile);
    QStringList Names;
    for (const TFleetTarget& Target : Targets)
      Names.append(Target.Name);
    Expect(Names, true);
    AskFleetPasswordOnce(FOptions, Targets);
    FProgress.ShowStatus(QStringLiteral("Reading the baseline %1...").arg(FOptions.BaselineFile));
    CheckFleet(Targets, TDriftSide::FromSnapshot(FOptions.BaselineFile));
  } catch (const std::exception& E) {
    const QString Error = OneLine(E);
    FLog->SilentError(QStringLiteral("quillon-cli: %s"), {Error});
    Expect({RunName(FOptions)}, false);
    Finish(0, FailedDriftResult(RunName(FOptions), FOptions, Error));
  }
}

void TDriftRun::CheckFleet(const QList<TFleetTarget>& ATargets, const TDriftSide& ABaseline) {
  const qsizetype Jobs = std::min<qsizetype>(FOptions.Jobs, ATargets.size());
  FProgress.ShowStatus(
      QStringLiteral("Checking %1 targets against the baseline, %2 at a time...").arg(ATargets.size()).arg(Jobs));
  FProgress.ShowProgress(0);
  // Each target's own progress would overwrite the others' on the one line: the line counts
  // the targets finished instead.
  TTerminalProgress Silent(false);
  std::atomic<qsizetype> Next = 0;
  const auto CheckTargets = [&] {
    for (qsizetype Index = Next++; Index < ATargets.size(); Index = Next++)
      Finish(Index, CheckFleetTarget(ATargets[Index], ABaseline, &Silent));
  };
  std::vector<std::jthread> Workers;
  for (qsizetype Worker = 0; Worker < Jobs; ++Worker)
    Workers.emplace_back(CheckTargets);
}

TDriftTargetResult TDriftRun::CheckFleetTarget(const TFleetTarget& ATarget, const TDriftSide& ABaseline,
                                               IDbProgress* AProgress) const {
  TCliOptions Member = FOptions;
  Member.FleetFile.clear();
  Member.Settings = MemberSettings(ATarget, FOptions);
  try {
    if (!ATarget.Error.isEmpty())
      throw Exception(ATarget.Error);
    TDriftTargetResult Result = TChecker(Member, FLog, AProgress).Drift(ABaseline);
    Result.Name = ATarget.Name;
    return Result;
  } catch (const std::exception& E) {
    const QString Error = OneLine(E);
    FLog->SilentError(QStringLiteral("%s: %s"), {ATarget.Name, Error});
    return FailedDriftResult(ATarget.Name, Member, Error);
  }
}

void TDriftRun::Expect(const QStringList& ANames, bool AFleet) {
  const std::lock_guard Lock(FLock);
  FResults.clear();
  for (const QString& Name : ANames)
    FResults.append(FailedDriftResult(Name, FOptions, QString()));
  FFinished = QList<bool>(ANames.size(), false);
  FFinishedCount = 0;
  FFleet = AFleet;
}

void TDriftRun::Finish(qsizetype AIndex, TDriftTargetResult AResult) {
  const std::lock_guard Lock(FLock);
  FResults[AIndex] = std::move(AResult);
  FFinished[AIndex] = true;
  ++FFinishedCount;
  if (FFleet)
    FProgress.ShowProgress(static_cast<double>(FFinishedCount) / FResults.size());
}

QList<TDriftTargetResult> TDriftRun::Results(int ASignal) const {
  const std::lock_guard Lock(FLock);
  QList<TDriftTargetResult> Results = FResults;
  for (qsizetype Index = 0; Index < Results.size(); ++Index)
    if (ASignal != 0 && !FFinished[Index])
      Results[Index] = CancelledDriftResult(Results[Index], ASignal);
  return Results;
}

bool TDriftRun::Fleet() const {
  const std::lock_guard Lock(FLock);
  return FFleet;
}

}  // namespace quillon::cli
