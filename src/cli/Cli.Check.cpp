// The command line's checks of one database or snapshot, each a run of the check session, and its
// terminal progress line.
#include "cli/Cli.Check.h"

#include "cli/Cli.Output.h"
#include "gold/Describer.h"
#include "repair/Repair.Script.h"
#include "gold/Sync.IgnoreList.h"
#include "model/Xml.Snapshot.h"
#include "database/Database.Simple.h"
#include "drift/Drift.Side.h"
#include "infra/settings/Utils.Params.h"
#include "model/Tables.h"
#include "session/Session.Check.h"
#include "session/Session.Observer.h"
#include "session/Session.Results.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace quillon::cli {

namespace {

QString OneLine(const char* AMessage) { return QString::fromUtf8(AMessage).simplified(); }

// The login "dialog" of the command line: the user given (or the data-link file's), with the
// password from the environment or the terminal.
class TCommandLineLogin : public IDatabaseLoginDialog {
public:
  explicit TCommandLineLogin(QString AUserName) : FUserName(std::move(AUserName)) {}
  bool Login(QString& AUserName, QString& APassword) override {
    AUserName = FUserName;
    APassword = ReadPassword(FUserName);
    return true;
  }

private:
  QString FUserName;
};

const QString IndexLossHint = QStringLiteral("Give --allow-index-loss to alter it all the same.");

// Whether AStep is an indexed view left alone because the loss of its indexes was not allowed.
bool RefusedForIndexLoss(const TRepairStep& AStep) {
  const auto* View = dynamic_cast<const TDatabaseView*>(AStep.Object);
  return !AStep.Repairable() && View && View->Indexed() && !View->IndexLossAllowed();
}

// The repair script of a compare run's anomalies under a header that says what it was made for.
QString RepairScriptText(const TTargetResult& AResult, const TRepairScript& Script) {
  QStringList Header{
      QStringLiteral("-- Repair script for database %1 on server %2 (schema version %3)")
          .arg(AResult.Database, AResult.Server, QString::number(AResult.Version)),
      QStringLiteral("-- Written by quillon-cli at %1; it has not been run.")
          .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)),
      QStringLiteral("-- %1 of %2 anomalies can be repaired.")
          .arg(QString::number(Script.RepairableCount()), QString::number(Script.Steps().size()))};
  if (std::any_of(Script.Steps().begin(), Script.Steps().end(), RefusedForIndexLoss))
    Header.append(QStringLiteral("-- Indexed views are left alone: altering one drops all its indexes. ") + IndexLossHint);
  return Header.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n") + Script.Text();
}

}  // namespace

QString ReadPassword(const QString& AUserName) {
  if (qEnvironmentVariableIsSet("QUILLON_PASSWORD"))
    return qEnvironmentVariable("QUILLON_PASSWORD");
  // Targets checked side by side on threads ask one after the other on the one terminal.
  static std::mutex OnePrompt;
  const std::lock_guard Lock(OnePrompt);
  QFile Terminal(QStringLiteral("/dev/tty"));
  if (!isatty(STDIN_FILENO) || !Terminal.open(QIODevice::ReadWrite))
    throw Exception(QStringLiteral("no password for login \"%1\": set QUILLON_PASSWORD or run on a terminal")
                        .arg(AUserName));
  const int Fd = Terminal.handle();
  termios Saved{};
  tcgetattr(Fd, &Saved);
  termios Silent = Saved;
  Silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  SetTerminalToRestore(Fd, &Saved);
  tcsetattr(Fd, TCSAFLUSH, &Silent);
  Terminal.write(QStringLiteral("Password for %1: ").arg(AUserName).toLocal8Bit());
  Terminal.flush();
  QString Password = QString::fromLocal8Bit(Terminal.readLine());
  if (Password.endsWith(u'\n'))
    Password.chop(1);
  tcsetattr(Fd, TCSAFLUSH, &Saved);
  SetTerminalToRestore(-1, nullptr);
  Terminal.write("\n");
  return Password;
}

TTerminalProgress::TTerminalProgress(bool AEnabled) : FEnabled(AEnabled) { FTimer.start(); }

TTerminalProgress::~TTerminalProgress() { EndLine(); }

void TTerminalProgress::EndLine() {
  const std::lock_guard Lock(FLock);
  if (FLinePending)
    std::fputs("\n", stderr);
  FLinePending = false;
  SetProgressLineOpen(false);
}

void TTerminalProgress::ShowStatus(const QString& AText) {
  const std::lock_guard Lock(FLock);
  FStatus = AText;
  FLastPercent = -1;
  Print(FStatus);
}

void TTerminalProgress::ShowProgress(double AFraction) {
  const std::lock_guard Lock(FLock);
  const qint32 Percent = static_cast<qint32>(AFraction * 100);
  if (AFraction < 0 || Percent == FLastPercent)
    return;
  FLastPercent = Percent;
  Print(QStringLiteral("%1 %2% %3s").arg(FStatus).arg(Percent).arg(FTimer.elapsed() / 1000.0, 0, 'f', 1));
}

void TTerminalProgress::Print(const QString& ALine) {
  if (!FEnabled)
    return;
  std::fprintf(stderr, "\r\033[K%s", ALine.toLocal8Bit().constData());
  std::fflush(stderr);
  FLinePending = true;
  SetProgressLineOpen(true);
}

bool StdErrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
bool StdOutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

QString TargetName(const TCliOptions& AOptions) {
  if (!AOptions.SnapshotFile.isEmpty())
    return AOptions.SnapshotFile;
  const QString Server = AOptions.Setting(QStringLiteral("Server"));
  const QString Database = AOptions.Setting(QStringLiteral("Database"));
  return Server.isEmpty() && Database.isEmpty() ? QStringLiteral("data-link file") : Server + u'/' + Database;
}

// Shows the session's steps on the run's progress and keeps what the run has to tell once
// interrupted: the comparison's result and each repair as the server answered it.
class TChecker::TObserver : public ISessionObserver {
public:
  explicit TObserver(IDbProgress* AProgress) : FProgress(AProgress) {}

  void StatusChanged(const QString& AText) override {
    FStatusShown = true;
    FProgress->ShowStatus(AText);
  }
  // Per list the rows read so far: at the list's start and end, and in between at most four
  // times a second.
  void CatalogueRead(const QString& ADatabaseName, const QString& AKind, qint64 ARows, bool ADone) override {
    if (AKind.isEmpty()) {
      FProgress->ShowStatus(QStringLiteral("Reading the catalogue of %1...").arg(ADatabaseName));
      return;
    }
    if (AKind == FShownKind && !ADone && FSinceShown.elapsed() < 250)
      return;
    FShownKind = AKind;
    FSinceShown.start();
    FProgress->ShowStatus(QStringLiteral("Reading the catalogue of %1 (%2 list)... %3 rows")
                              .arg(ADatabaseName, AKind, QLocale(QLocale::English).toString(ARows)));
  }
  // The index comparison, the last of a run, is the one that announces no status of its own:
  // a fraction that starts over without one is the indexes'.
  void ProgressChanged(double AStepFraction, qint32, qint32) override {
    if (AStepFraction < FLastFraction && !FStatusShown)
      FProgress->ShowStatus(QStringLiteral("Comparing indexes..."));
    FStatusShown = false;
    FLastFraction = AStepFraction;
    FProgress->ShowProgress(AStepFraction);
  }
  void RepairDone(const TRepairRecord& ARecord) override {
    const std::lock_guard Lock(FLock);
    FAnswered.append(ARecord);
  }

  // From now on the run's repair is AScript, none of its objects answered for yet.
  void RepairStarts(const TTargetResult& AResult, const TRepairScript& AScript) {
    const std::lock_guard Lock(FLock);
    FResult = AResult;
    FScript = &AScript;
    FAnswered.clear();
  }
  void Finished(const TTargetResult& AResult) {
    const std::lock_guard Lock(FLock);
    FResult = AResult;
    FScript = nullptr;
  }
  bool Repairing() const {
    const std::lock_guard Lock(FLock);
    return FScript != nullptr;
  }
  // What the run has to tell so far; ALeftRunning when the repair was left while a batch may
  // still be with the server.
  std::optional<TTargetResult> SoFar(bool ALeftRunning) const {
    const std::lock_guard Lock(FLock);
    if (!FResult || !FScript)
      return FResult;
    TTargetResult Result = *FResult;
    Result.RepairApplied = true;
    Result.Repairs = RepairRecords(*FScript, FAnswered);
    const qsizetype Unanswered = FAnswered.size();
    if (ALeftRunning && Unanswered < Result.Repairs.size() && FScript->Steps()[Unanswered].Repairable()) {
      Result.Repairs[Unanswered].Outcome = RepairOutcomeText(TRepairOutcome::Failed);
      Result.Repairs[Unanswered].Message =
          QStringLiteral("the run was interrupted while this object's batch was with the server: whether it was "
                         "altered is not known");
    }
    return Result;
  }

private:
  // The outcome of every step of AScript: those answered for as the server answered, the rest
  // not attempted; an indexed view left alone says how to alter it all the same.
  static QList<TRepairRecord> RepairRecords(const TRepairScript& AScript, const QList<TRepairRecord>& AAnswered) {
    QList<TRepairRecord> Records;
    for (qsizetype I = 0; I < AScript.Steps().size(); ++I) {
      const TRepairStep& Step = AScript.Steps()[I];
      TRepairRecord Record = I < AAnswered.size() ? AAnswered[I]
                                                  : TRepairRecord{Step.ObjectName, AnomalyRecord(Step.Object).Kind,
                                                                  RepairOutcomeText(TRepairOutcome::NotAttempted), QString()};
      if (RefusedForIndexLoss(Step))
        Record.Message += u' ' + IndexLossHint;
      Records.append(Record);
    }
    return Records;
  }

  IDbProgress* FProgress;
  bool FStatusShown = false;
  double FLastFraction = 0;
  QString FShownKind;
  QElapsedTimer FSinceShown;
  mutable std::mutex FLock;
  std::optional<TTargetResult> FResult;
  const TRepairScript* FScript = nullptr;
  QList<TRepairRecord> FAnswered;
};

TChecker::TChecker(const TCliOptions& AOptions, ILog* ALog, IDbProgress* AProgress)
    : FOptions(AOptions),
      FObserver(std::make_unique<TObserver>(AProgress)),
      FSession(std::make_unique<TCheckSession>(ALog, FObserver.get())) {}

TChecker::~TChecker() = default;

void TChecker::Cancel() { FSession->Cancel(); }

bool TChecker::Repairing() const { return FObserver->Repairing(); }

std::optional<TTargetResult> TChecker::ResultSoFar(bool ALeftRunning) const { return FObserver->SoFar(ALeftRunning); }

void TChecker::Connect() {
  TSimpleDatabase& Database = FSession->Database();
  try {
    Database.SetConnectionString(ConnectionStringFromParams(FOptions.Params()));
  } catch (const std::exception& E) {
    throw Exception(QStringLiteral("cannot read the connection settings: ") + OneLine(E.what()));
  }
  TMSSQLConnString& ConnString = Database.ConnectionParameters();
  const QString User = FOptions.Setting(QStringLiteral("User"));
  if (!User.isEmpty())
    ConnString.SetLogin(User, QString());
  FLogin = std::make_unique<TCommandLineLogin>(User.isEmpty() ? ConnString.Username() : User);
  Database.SetLoginDialog(FLogin.get());
  FSession->Connect();
}

// The snapshot file of a run: --output, else the snapshot folder's usual name, with the fleet's
// tag before the extension when it gave one.
QString TChecker::SnapshotPath() const {
  if (!FOptions.OutputFile.isEmpty())
    return FOptions.OutputFile;
  const TDatabaseInfo& Info = FSession->Info();
  QString FileName = SnapshotFileName(Info.Server, Info.DatabaseName, Info.Version);
  if (!FOptions.SnapshotTag.isEmpty())
    FileName.insert(FileName.size() - 4, u'.' + FOptions.SnapshotTag);
  return FileName;
}

TTargetResult TChecker::CompareDatabase(TRepairRequest* ARepair) {
  Connect();
  TCompareRequest Request;
  Request.Kinds = FOptions.Kinds;
  Request.Includes = FOptions.Includes;
  Request.Excludes = FOptions.Excludes;
  Request.FailOn = FOptions.FailOn;
  Request.TargetName = TargetName(FOptions);
  Request.WriteSnapshot = !FOptions.NoSnapshot;
  Request.SnapshotPath = SnapshotPath();
  const TCompareOutcome Outcome = FSession->RunCompare(Request);
  TTargetResult Result = Outcome.Result;
  FObserver->Finished(Result);
  if (!ARepair || Result.Failed())
    return Result;
  const TRepairScript Script = FSession->PlanRepair(Outcome.AnomalyObjects, FOptions.AllowIndexLoss);
  ARepair->ScriptText = RepairScriptText(Result, Script);
  if (!ARepair->Apply || Script.Steps().isEmpty() || !ARepair->Confirm(Script))
    return Result;
  FObserver->RepairStarts(Result, Script);
  FSession->Repair(Script);
  Result = *FObserver->SoFar(false);
  FObserver->Finished(Result);
  return Result;
}

TTargetResult TChecker::CompareSnapshot() {
  FSession->LoadSnapshot(FOptions.SnapshotFile, FOptions.Kinds, FOptions.GoldVersion);
  TTargetResult Base;
  Base.FailOn = FOptions.FailOn;
  Base.Name = TargetName(FOptions);
  Base.Server = FSession->Info().Server;
  Base.Database = FSession->Info().DatabaseName;
  Base.Version = FSession->Info().Version;
  Base.SnapshotPath = FOptions.SnapshotFile;
  Base.Includes = FOptions.Includes;
  Base.Excludes = FOptions.Excludes;
  QElapsedTimer Timer;
  Timer.start();
  TTargetResult Result = FSession->CompareWithGold(Base, TNameFilter(FOptions.Includes, FOptions.Excludes)).Result;
  Result.Seconds = Timer.elapsed() / 1000.0;
  FObserver->Finished(Result);
  return Result;
}

QString TChecker::Snapshot() {
  Connect();
  FSession->Load(FOptions.Kinds);
  return FSession->WriteSnapshot(SnapshotPath());
}

namespace {

TDriftOptions DriftOptions(const TCliOptions& AOptions, const TDatabaseObjectIgnoreList& AIgnoreList) {
  TDriftOptions Options;
  Options.IgnoreList = &AIgnoreList;
  Options.Filter = TNameFilter(AOptions.Includes, AOptions.Excludes);
  Options.ListCompared = AOptions.WritesReport(TReportFormat::JUnit);
  Options.Texts = AOptions.WritesReport(TReportFormat::Html);
  return Options;
}

// The drift of ATarget from ABaseline as the reports tell it.
TDriftTargetResult DriftResultOf(const TDriftSide& ABaseline, const TDriftSide& ATarget, const TCliOptions& AOptions,
                                 const TDatabaseObjectIgnoreList& AIgnoreList, ISessionObserver* AObserver) {
  TDriftTargetResult Result;
  Result.Name = TargetName(AOptions);
  Result.BaselinePath = ABaseline.Source;
  Result.BaselineServer = ABaseline.Server;
  Result.BaselineDatabase = ABaseline.DatabaseName;
  Result.BaselineVersion = ABaseline.Version;
  Result.Server = ATarget.Server;
  Result.Database = ATarget.DatabaseName;
  Result.Version = ATarget.Version;
  Result.SnapshotPath = ATarget.Source;
  Result.Includes = AOptions.Includes;
  Result.Excludes = AOptions.Excludes;
  Result.Drift = DriftBetween(ABaseline, ATarget, DriftOptions(AOptions, AIgnoreList), AObserver);
  return Result;
}

}  // namespace

TDriftTargetResult TChecker::Drift(const TDriftSide& ABaseline) {
  QElapsedTimer Timer;
  Timer.start();
  TDriftSide Target;
  if (FOptions.SnapshotFile.isEmpty()) {
    Connect();
    FSession->Load(FOptions.Kinds);
    Target = FSession->ModelSide();
  } else {
    Target = TDriftSide::FromSnapshot(FOptions.SnapshotFile);
  }
  TDriftTargetResult Result = DriftResultOf(ABaseline, Target, FOptions, FSession->IgnoreList(), FObserver.get());
  Result.Seconds = Timer.elapsed() / 1000.0;
  return Result;
}

TDriftTargetResult TChecker::DriftSnapshots() {
  QElapsedTimer Timer;
  Timer.start();
  const auto [Baseline, Target] = TDriftSide::FromSnapshotPair(FOptions.BaselineFile, FOptions.SnapshotFile);
  TDriftTargetResult Result = DriftResultOf(Baseline, Target, FOptions, FSession->IgnoreList(), FObserver.get());
  Result.Seconds = Timer.elapsed() / 1000.0;
  return Result;
}

void TChecker::Publish() {
  Connect();
  FSession->Load(FOptions.Kinds);
  if (!FOptions.NoSnapshot)
    FSession->WriteSnapshot(SnapshotPath());
  FSession->Publish(FOptions.Force);
}

}  // namespace quillon::cli
