#include "cli/Cli.Check.h"

#include "cli/Cli.Output.h"
#include "compare/Describer.h"
#include "compare/Repair.Script.h"
#include "compare/Sync.IgnoreList.h"
#include "database/Database.Simple.h"
#include "drift/Drift.Engine.h"
#include "infra/settings/Utils.Params.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Routines.h"
#include "schema/Tables.h"

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

// Runs one step of a command; a failure leaves with the step named in front of the reason.
template <typename F>
auto Step(const QString& AWhat, F AStep) {
  try {
    return AStep();
  } catch (const std::exception& E) {
    throw Exception(AWhat + QStringLiteral(": ") + OneLine(E.what()));
  }
}

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

// Collects the anomalies of a run that are not on the ignore list, and passes the progress on.
class TAnomalyCollector : public IDbProgress {
public:
  TAnomalyCollector(TDatabaseDescriber& ADescriber, IDbProgress* AProgress)
      : FDescriber(ADescriber), FProgress(AProgress) {}

  QList<TDatabaseObject*> Anomalies;
  QList<TDatabaseObject*> Ignored;

  void ShowStatus(const QString& AText) override {
    FStatusShown = true;
    FProgress->ShowStatus(AText);
  }
  // The index comparison, the last of a run, is the one that announces no status of its own:
  // a fraction that starts over without one is the indexes'.
  void ShowProgress(double AFraction) override {
    if (AFraction < FLastFraction && !FStatusShown)
      FProgress->ShowStatus(QStringLiteral("Comparing %1 indexes...").arg(FDescriber.Indices()->Count()));
    FStatusShown = false;
    FLastFraction = AFraction;
    FProgress->ShowProgress(AFraction);
  }
  void ReportAnomaly(const QString&, TDatabaseObject* AObject) override {
    (FDescriber.IgnoreObject(AObject) ? Ignored : Anomalies).append(AObject);
  }

private:
  TDatabaseDescriber& FDescriber;
  IDbProgress* FProgress;
  double FLastFraction = 0;
  bool FStatusShown = false;
};

void SelectKinds(TDatabaseDescriber& ADescriber, unsigned AKinds) {
  ADescriber.CompareSchemata = AKinds & kindSchemata;
  ADescriber.CompareCheckConstraints = AKinds & kindChecks;
  ADescriber.CompareViews = AKinds & kindViews;
  ADescriber.CompareRoutines = AKinds & kindRoutines;
  ADescriber.CompareForeignKeys = AKinds & kindForeignKeys;
  ADescriber.CompareIndices = AKinds & kindIndexes;
}

// One run's objects: the ignore list, the describer and what it reports.
struct TRun {
  TRun(ILog* ALog, IDbProgress* AProgress, unsigned AKinds)
      : Describer(&IgnoreList, ALog), Collector(Describer, AProgress) {
    Describer.SetProgress(&Collector);
    SelectKinds(Describer, AKinds);
  }

  // A comparison that stops part-way still gives its result, marked as stopped, so that the
  // reports show what was found before and never read as complete.
  // The run's objects are narrowed to the options' filters first: an object left out is never
  // asked about.
  TTargetResult Compare(TTargetResult AResult, const QString& ADbName, const TCliOptions& AOptions) {
    AResult.Includes = AOptions.Includes;
    AResult.Excludes = AOptions.Excludes;
    Describer.NarrowTo(TNameFilter(AOptions.Includes, AOptions.Excludes));
    try {
      Describer.CompareToService(ADbName, AResult.Version);
    } catch (const std::exception&) {
      AResult.Error = Describer.RunStatus().StoppedText();
    }
    return CompareRunResult(std::move(AResult), Describer, Collector.Anomalies, Collector.Ignored);
  }

  TDatabaseObjectIgnoreList IgnoreList;
  TDatabaseDescriber Describer;
  TAnomalyCollector Collector;
};

// A connected database with the version and name it reports of itself.
struct TConnectedDatabase {
  std::unique_ptr<TCommandLineLogin> Login;
  std::unique_ptr<TSimpleDatabase> Database;
  QString Server;
  QString DatabaseName;
  qint32 Version = 0;
};

TConnectedDatabase Connect(const TCliOptions& AOptions, ILog* ALog, IDbProgress* AProgress) {
  TConnectedDatabase Result;
  Result.Database = std::make_unique<TSimpleDatabase>(ALog);
  const TParamList Params = AOptions.Params();
  Step(QStringLiteral("cannot read the connection settings"),
       [&] { Result.Database->SetConnectionString(ConnectionStringFromParams(Params)); });
  TMSSQLConnString& ConnString = Result.Database->ConnectionParameters();
  const QString User = AOptions.Setting(QStringLiteral("User"));
  if (!User.isEmpty())
    ConnString.SetLogin(User, QString());
  Result.Login = std::make_unique<TCommandLineLogin>(User.isEmpty() ? ConnString.Username() : User);
  Result.Database->SetLoginDialog(Result.Login.get());
  const QString Where = QStringLiteral("%1/%2").arg(ConnString.Server(), ConnString.Database());
  AProgress->ShowStatus(QStringLiteral("Connecting to %1...").arg(Where));
  Step(QStringLiteral("cannot connect to %1").arg(Where), [&] { Result.Database->Connect(); });
  Step(QStringLiteral("cannot read the database version of %1 (EXEC dbo.GetDatabaseInfo)").arg(Where), [&] {
    TDataSet* Info = Result.Database->FastQuery(QStringLiteral("EXEC dbo.GetDatabaseInfo"));
    if (Info->Eof())
      throw Exception(QStringLiteral("no row returned"));
    Result.Version = Info->FieldByName(QStringLiteral("DatabaseVersion")).AsInteger();
    Result.DatabaseName = Info->FieldByName(QStringLiteral("DatabaseName")).AsString();
    Info->Close();
  });
  Result.Server = Result.Database->ServerName();
  return Result;
}

// The version the snapshot says it was taken at; raises when it says none.
qint32 SnapshotVersion(const TXmlNode& ARoot, const QString& AFile) {
  const QString Text = ARoot.Attribute(QStringLiteral("Version"));
  bool Ok = false;
  const qint32 Version = Text.toInt(&Ok);
  if (!Ok || Version <= 0)
    throw Exception(QStringLiteral("%1 carries no schema version (Version attribute \"%2\"): give --gold-version N")
                        .arg(AFile, Text));
  return Version;
}

// The snapshot file of a run: --output, else the snapshot folder's usual name, with the fleet's
// tag before the extension when it gave one.
QString SnapshotPathOf(const TCliOptions& AOptions, const TConnectedDatabase& AConnected) {
  if (!AOptions.OutputFile.isEmpty())
    return AOptions.OutputFile;
  QString FileName = SnapshotFileName(AConnected.Server, AConnected.DatabaseName, AConnected.Version);
  if (!AOptions.SnapshotTag.isEmpty())
    FileName.insert(FileName.size() - 4, u'.' + AOptions.SnapshotTag);
  return FileName;
}

QString WriteSnapshot(const TCliOptions& AOptions, const TDatabaseDescriber& ADescriber, const TConnectedDatabase& AConnected) {
  return Step(QStringLiteral("cannot write the snapshot"), [&] {
    const QString FileName = SnapshotPathOf(AOptions, AConnected);
    // The installed program's snapshot folder may not exist yet; a failure to make it shows as
    // the failure to write the file.
    QDir().mkpath(QFileInfo(FileName).absolutePath());
    SaveSnapshot(ADescriber.SnapshotLists(), FileName, AConnected.Server, AConnected.DatabaseName, AConnected.Version);
    return FileName;
  });
}

const QString IndexLossHint = QStringLiteral("Give --allow-index-loss to alter it all the same.");

// Whether AStep is an indexed view left alone because the loss of its indexes was not allowed.
bool RefusedForIndexLoss(const TRepairStep& AStep) {
  const auto* View = dynamic_cast<const TDatabaseView*>(AStep.Object);
  return !AStep.Repairable() && View && View->Indexed() && !View->IndexLossAllowed();
}

// The plan of the repair of AAnomalies; indexed views are altered only with --allow-index-loss.
TRepairScript PlanRepair(const QList<TDatabaseObject*>& AAnomalies, bool AAllowIndexLoss) {
  TRepairScript Script;
  for (TDatabaseObject* Object : AAnomalies) {
    if (auto* View = dynamic_cast<TDatabaseView*>(Object))
      View->AllowIndexLoss(AAllowIndexLoss);
    Script.Add(Object);
  }
  return Script;
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

// AResult with the outcome of running AScript on ASQL, step by step.
TTargetResult ApplyRepair(TTargetResult AResult, const TRepairScript& AScript, ISQL* ASQL) {
  const QList<TRepairResult> Outcomes = AScript.Run(ASQL);
  AResult.RepairApplied = true;
  for (qsizetype I = 0; I < Outcomes.size(); ++I) {
    const TRepairStep& Step = AScript.Steps()[I];
    // The kind as the rest of the report names it ("check", not "Check constraint").
    const auto Anomaly = std::find_if(AResult.Anomalies.begin(), AResult.Anomalies.end(),
                                      [&](const TAnomalyRecord& ARecord) { return ARecord.FullName == Step.ObjectName; });
    const QString Message = RefusedForIndexLoss(Step) ? Outcomes[I].Message + u' ' + IndexLossHint : Outcomes[I].Message;
    AResult.Repairs.append(TRepairRecord{Step.ObjectName, Anomaly != AResult.Anomalies.end() ? Anomaly->Kind : Step.Kind,
                                         RepairOutcomeText(Outcomes[I].Outcome), Message});
  }
  return AResult;
}

// Reads the catalogue, showing per list the rows read so far: at the list's start and end, and
// in between at most four times a second.
void LoadCatalogue(TDatabaseDescriber& ADescriber, TConnectedDatabase& AConnected, IDbProgress* AProgress) {
  const QString Name = AConnected.DatabaseName;
  AProgress->ShowStatus(QStringLiteral("Reading the catalogue of %1...").arg(Name));
  QElapsedTimer SinceShown;
  QString Shown;
  const QLocale Numbers(QLocale::English);
  const auto ShowRows = [&](const QString& AKind, qint64 ARows, bool ADone) {
    if (AKind == Shown && !ADone && SinceShown.elapsed() < 250)
      return;
    Shown = AKind;
    SinceShown.start();
    AProgress->ShowStatus(QStringLiteral("Reading the catalogue of %1 (%2 list)... %3 rows").arg(Name, AKind, Numbers.toString(ARows)));
  };
  Step(QStringLiteral("cannot read the catalogue of %1").arg(Name), [&] { ADescriber.Load(AConnected.Database.get(), ShowRows); });
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

TChecker::TChecker(const TCliOptions& AOptions, ILog* ALog, IDbProgress* AProgress)
    : FOptions(AOptions), FLog(ALog), FProgress(AProgress) {}

TTargetResult TChecker::CompareDatabase(TRepairRequest* ARepair) {
  QElapsedTimer Timer;
  Timer.start();
  TConnectedDatabase Connected = Connect(FOptions, FLog, FProgress);
  TRun Run(FLog, FProgress, FOptions.Kinds);
  LoadCatalogue(Run.Describer, Connected, FProgress);
  TTargetResult Result;
  Result.FailOn = FOptions.FailOn;
  Result.Name = TargetName(FOptions);
  Result.Server = Connected.Server;
  Result.Database = Connected.DatabaseName;
  Result.Version = Connected.Version;
  if (!FOptions.NoSnapshot)
    Result.SnapshotPath = WriteSnapshot(FOptions, Run.Describer, Connected);
  Result = Run.Compare(Result, Connected.DatabaseName, FOptions);
  if (ARepair && !Result.Failed()) {
    const TRepairScript Script = PlanRepair(Run.Collector.Anomalies, FOptions.AllowIndexLoss);
    ARepair->ScriptText = RepairScriptText(Result, Script);
    if (ARepair->Apply && !Script.Steps().isEmpty() && ARepair->Confirm(Script))
      Result = ApplyRepair(Result, Script, Connected.Database.get());
  }
  Result.Seconds = Timer.elapsed() / 1000.0;
  return Result;
}

TTargetResult TChecker::CompareSnapshot() {
  QElapsedTimer Timer;
  Timer.start();
  const QString File = FOptions.SnapshotFile;
  const TXmlDocument Xml = Step(QStringLiteral("cannot read the snapshot %1").arg(File),
                                [&] { return TXmlDocument::FromFile(File); });
  const TXmlNode* Root = Xml.DocumentElement();
  if (!Root || Root->NodeName() != QLatin1String("Database") || !Root->HasAttribute(QStringLiteral("DatabaseName")))
    throw Exception(QStringLiteral("%1 is not a snapshot (no Database element with a DatabaseName)").arg(File));
  TRun Run(FLog, FProgress, FOptions.Kinds);
  Step(QStringLiteral("cannot read the snapshot %1").arg(File), [&] { Run.Describer.LoadFromXml(File); });
  TTargetResult Result;
  Result.FailOn = FOptions.FailOn;
  Result.Name = TargetName(FOptions);
  Result.Server = Root->Attribute(QStringLiteral("Server"));
  Result.Database = Root->Attribute(QStringLiteral("DatabaseName"));
  Result.Version = FOptions.GoldVersion > 0 ? FOptions.GoldVersion : SnapshotVersion(*Root, File);
  Result.SnapshotPath = File;
  Result = Run.Compare(Result, Result.Database, FOptions);
  Result.Seconds = Timer.elapsed() / 1000.0;
  return Result;
}

QString TChecker::Snapshot() {
  TConnectedDatabase Connected = Connect(FOptions, FLog, FProgress);
  TRun Run(FLog, FProgress, FOptions.Kinds);
  LoadCatalogue(Run.Describer, Connected, FProgress);
  return WriteSnapshot(FOptions, Run.Describer, Connected);
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

TDriftTargetResult DriftResult(const QString& AName, const TDriftSide& ABaseline, const TDriftSide& ATarget,
                               const TCliOptions& AOptions, IDbProgress* AProgress) {
  TDriftTargetResult Result;
  Result.Name = AName;
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
  AProgress->ShowStatus(QStringLiteral("Comparing %1 objects with the baseline...").arg(ATarget.Count()));
  const TDatabaseObjectIgnoreList IgnoreList;
  Result.Drift = CompareDrift(ABaseline, ATarget, DriftOptions(AOptions, IgnoreList));
  return Result;
}

}  // namespace

TDriftTargetResult TChecker::Drift(const TDriftSide& ABaseline) {
  QElapsedTimer Timer;
  Timer.start();
  TDriftTargetResult Result;
  if (FOptions.SnapshotFile.isEmpty()) {
    TConnectedDatabase Connected = Connect(FOptions, FLog, FProgress);
    TRun Run(FLog, FProgress, FOptions.Kinds);
    LoadCatalogue(Run.Describer, Connected, FProgress);
    const TDriftSide Target =
        TDriftSide::FromLists(Run.Describer.SnapshotLists(), Connected.Server, Connected.DatabaseName, Connected.Version);
    Result = DriftResult(TargetName(FOptions), ABaseline, Target, FOptions, FProgress);
  } else {
    Result = DriftResult(TargetName(FOptions), ABaseline, TDriftSide::FromSnapshot(FOptions.SnapshotFile), FOptions,
                         FProgress);
  }
  Result.Seconds = Timer.elapsed() / 1000.0;
  return Result;
}

TDriftTargetResult TChecker::DriftSnapshots() {
  QElapsedTimer Timer;
  Timer.start();
  const auto [Baseline, Target] = TDriftSide::FromSnapshotPair(FOptions.BaselineFile, FOptions.SnapshotFile);
  TDriftTargetResult Result = DriftResult(TargetName(FOptions), Baseline, Target, FOptions, FProgress);
  Result.Seconds = Timer.elapsed() / 1000.0;
  return Result;
}

void TChecker::Publish() {
  TConnectedDatabase Connected = Connect(FOptions, FLog, FProgress);
  TRun Run(FLog, FProgress, FOptions.Kinds);
  LoadCatalogue(Run.Describer, Connected, FProgress);
  if (!FOptions.NoSnapshot)
    WriteSnapshot(FOptions, Run.Describer, Connected);
  Run.Describer.SetPublish(true);
  Run.Describer.SetForcePublish(FOptions.Force);
  Run.Describer.SetSourceServer(Connected.Server);
  Step(QStringLiteral("publishing to the gold standard failed"),
       [&] { Run.Describer.CompareToService(Connected.DatabaseName, Connected.Version); });
}

}  // namespace quillon::cli
