#include "cli/Cli.Check.h"

#include "cli/Cli.Output.h"
#include "compare/Describer.h"
#include "compare/Sync.IgnoreList.h"
#include "database/Database.Simple.h"
#include "infra/Utils.Params.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Routines.h"
#include "schema/Tables.h"

#include <QFile>
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
    if (!FDescriber.IgnoreObject(AObject))
      Anomalies.append(AObject);
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
  TTargetResult Compare(TTargetResult AResult, const QString& ADbName) {
    try {
      Describer.CompareToService(ADbName, AResult.Version);
    } catch (const std::exception&) {
      AResult.Error = Describer.RunStatus().StoppedText();
    }
    return CompareRunResult(std::move(AResult), Describer, Collector.Anomalies);
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

TConnectedDatabase Connect(const TCliOptions& AOptions, ILog* ALog) {
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

void LoadCatalogue(TDatabaseDescriber& ADescriber, TConnectedDatabase& AConnected) {
  Step(QStringLiteral("cannot read the catalogue of %1").arg(AConnected.DatabaseName),
       [&] { ADescriber.Load(AConnected.Database.get()); });
}

}  // namespace

QString ReadPassword(const QString& AUserName) {
  if (qEnvironmentVariableIsSet("QUILLON_PASSWORD"))
    return qEnvironmentVariable("QUILLON_PASSWORD");
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
  if (FLinePending)
    std::fputs("\n", stderr);
  FLinePending = false;
}

void TTerminalProgress::ShowStatus(const QString& AText) {
  FStatus = AText;
  FLastPercent = -1;
  Print(FStatus);
}

void TTerminalProgress::ShowProgress(double AFraction) {
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

TTargetResult TChecker::CompareDatabase() {
  QElapsedTimer Timer;
  Timer.start();
  TConnectedDatabase Connected = Connect(FOptions, FLog);
  TRun Run(FLog, FProgress, FOptions.Kinds);
  LoadCatalogue(Run.Describer, Connected);
  TTargetResult Result;
  Result.FailOn = FOptions.FailOn;
  Result.Name = TargetName(FOptions);
  Result.Server = Connected.Server;
  Result.Database = Connected.DatabaseName;
  Result.Version = Connected.Version;
  Result.SnapshotPath = Step(QStringLiteral("cannot write the snapshot"), [&] {
    return Run.Describer.SaveToFile(Connected.Server, Connected.DatabaseName, Connected.Version);
  });
  Result = Run.Compare(Result, Connected.DatabaseName);
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
  Result = Run.Compare(Result, Result.Database);
  Result.Seconds = Timer.elapsed() / 1000.0;
  return Result;
}

QString TChecker::Snapshot() {
  TConnectedDatabase Connected = Connect(FOptions, FLog);
  TRun Run(FLog, FProgress, FOptions.Kinds);
  LoadCatalogue(Run.Describer, Connected);
  const TDatabaseDescriber& D = Run.Describer;
  return Step(QStringLiteral("cannot write the snapshot"), [&] {
    if (FOptions.OutputFile.isEmpty())
      return Run.Describer.SaveToFile(Connected.Server, Connected.DatabaseName, Connected.Version);
    SaveSnapshot(TSnapshotLists{D.Schemata(), D.Tables(), D.Columns(), D.Indices(), D.CheckConstraints(),
                                D.ForeignKeys(), D.TablePrivileges(), D.RoutinePrivileges(), D.Views(), D.Routines()},
                 FOptions.OutputFile, Connected.Server, Connected.DatabaseName, Connected.Version);
    return FOptions.OutputFile;
  });
}

void TChecker::Publish() {
  TConnectedDatabase Connected = Connect(FOptions, FLog);
  TRun Run(FLog, FProgress, FOptions.Kinds);
  LoadCatalogue(Run.Describer, Connected);
  Step(QStringLiteral("cannot write the snapshot"),
       [&] { Run.Describer.SaveToFile(Connected.Server, Connected.DatabaseName, Connected.Version); });
  Run.Describer.SetPublish(true);
  Run.Describer.SetForcePublish(FOptions.Force);
  Run.Describer.SetSourceServer(Connected.Server);
  Step(QStringLiteral("publishing to the gold standard failed"),
       [&] { Run.Describer.CompareToService(Connected.DatabaseName, Connected.Version); });
}

}  // namespace quillon::cli
