// Fleet files and compare fleets: one member process per target, their reports merged.
#include "cli/Cli.Fleet.h"

#include "cli/Cli.Check.h"
#include "cli/Cli.Output.h"

#include "infra/logging/Logging.Interfaces.h"
#include "infra/settings/Utils.Params.h"
#include "gold/Gold.Progress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <memory>

#include <sys/prctl.h>

namespace quillon::cli {

namespace {

// Splits a fleet line at blanks outside double quotes and drops the quotes, so that
// Driver="ODBC Driver 18 for SQL Server" is one setting. Raises EUsageError for a quote left open.
QStringList FleetLineTokens(const QString& AText) {
  QStringList Tokens;
  QString Token;
  bool InQuotes = false;
  bool InToken = false;
  for (const QChar C : AText) {
    if (C == u'"') {
      InQuotes = !InQuotes;
      InToken = true;
    } else if (C.isSpace() && !InQuotes) {
      if (InToken)
        Tokens.append(std::exchange(Token, QString()));
      InToken = false;
    } else {
      Token += C;
      InToken = true;
    }
  }
  if (InQuotes)
    throw EUsageError(QStringLiteral("a double quote is not closed"));
  if (InToken)
    Tokens.append(Token);
  return Tokens;
}

TFleetTarget ParseFleetLine(qint32 ALineNumber, const QString& AText) {
  TFleetTarget Target;
  Target.Line = ALineNumber;
  QString Server;
  QString Database;
  try {
    bool NameGiven = false;
    for (const QString& Token : FleetLineTokens(AText)) {
      const QString Key = Token.section(u'=', 0, 0);
      const QString Value = Token.section(u'=', 1);
      if (!Token.contains(u'=') || Value.isEmpty())
        throw EUsageError(QStringLiteral("\"%1\" is not a key=value setting").arg(Token));
      if (Key.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0) {
        if (NameGiven)
          throw EUsageError(QStringLiteral("Name= is given twice"));
        NameGiven = true;
        Target.Name = Value;
        continue;
      }
      Target.Settings.append(Token);
      if (Key.compare(QLatin1String("Server"), Qt::CaseInsensitive) == 0)
        Server = Value;
      if (Key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0)
        Database = Value;
    }
    if (std::any_of(Target.Name.begin(), Target.Name.end(), [](QChar C) {
          return C.category() == QChar::Other_Control;
        }))
      throw EUsageError(QStringLiteral("Name= holds a control character"));
    CheckSettings(Target.Settings, QString());
    if (Server.isEmpty() || Database.isEmpty())
      throw EUsageError(QStringLiteral("a target needs both Server= and Database="));
  } catch (const EUsageError& E) {
    Target.Error = QStringLiteral("fleet file line %1: %2").arg(ALineNumber).arg(E.Message());
  }
  if (Target.Name.isEmpty())
    Target.Name = Server.isEmpty() || Database.isEmpty() ? QStringLiteral("line %1").arg(ALineNumber)
                                                          : Server + u'/' + Database;
  return Target;
}

// The member's one-line error: the last line it wrote to standard error, without the
// program's name in front.
QString MemberError(const QByteArray& AStdErr, int AExitCode) {
  const QStringList Lines = QString::fromLocal8Bit(AStdErr).split(u'\n', Qt::SkipEmptyParts);
  if (Lines.isEmpty())
    return QStringLiteral("the check ended with exit code %1 and no message").arg(AExitCode);
  QString Line = Lines.last().trimmed();
  if (Line.startsWith(QLatin1String("quillon-cli: ")))
    Line.remove(0, 13);
  return Line;
}

// One target's check in its child process.
class TMember {
public:
  TMember(const TFleetTarget& ATarget, TTargetResult& AResult) : FTarget(ATarget), FResult(AResult) {}

  void Start(const QString& AProgram, const QStringList& AArguments, const std::function<void()>& AOnFinished) {
    FTimer.start();
    QObject::connect(&FProcess, &QProcess::finished, [this, AOnFinished] {
      Finish();
      AOnFinished();
    });
    QObject::connect(&FProcess, &QProcess::errorOccurred, [this, AOnFinished](QProcess::ProcessError AError) {
      if (AError != QProcess::FailedToStart)
        return;
      FResult.Error = QStringLiteral("cannot start %1: %2").arg(FProcess.program(), FProcess.errorString());
      AOnFinished();
    });
    // A member outlives nothing: when this process dies (killed, or its own interrupt), the
    // kernel sends the member SIGTERM, whose handler ends it as an interrupted run.
    FProcess.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    FProcess.start(AProgram, AArguments);
  }

  // Ends a member still running (its own interrupt handling cleans up after it) and waits for it.
  void Stop() {
    if (FProcess.state() == QProcess::NotRunning)
      return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(5000))
      FProcess.kill();
    FProcess.waitForFinished(1000);
  }

private:
  void Finish() {
    const QByteArray Report = FProcess.readAllStandardOutput();
    const int Code = FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    if (Code == 0 || Code == 1) {
      QJsonParseError Error{};
      const QJsonDocument Json = QJsonDocument::fromJson(Report, &Error);
      if (Error.error == QJsonParseError::NoError)
        FResult = ResultFromJson(Json.object().value(QStringLiteral("targets")).toArray().at(0).toObject());
      else
        FResult.Error = QStringLiteral("unreadable report of the check: %1").arg(Error.errorString());
    } else if (Code < 0) {
      FResult.Error = QStringLiteral("the check crashed");
    } else {
      FResult.Error = MemberError(FProcess.readAllStandardError(), Code);
    }
    FResult.Name = FTarget.Name;
    FResult.Seconds = FTimer.elapsed() / 1000.0;
  }

  const TFleetTarget& FTarget;
  TTargetResult& FResult;
  QProcess FProcess;
  QElapsedTimer FTimer;
};

// Two lines that name one database would write one snapshot file: each then adds its
// target's name (and its line, should the names be equal too) to the file name.
QStringList SnapshotTagArguments(const QList<TFleetTarget>& ATargets, qsizetype AIndex) {
  const auto Database = [](const TFleetTarget& ATarget) {
    TParamList Settings;
    Settings.ParseCommandLine(ATarget.Settings);
    return (Settings.ReadString(QStringLiteral("Server"), QString()) + u'/' +
            Settings.ReadString(QStringLiteral("Database"), QString()))
        .toLower();
  };
  const TFleetTarget& Target = ATargets.at(AIndex);
  qsizetype SameDatabase = 0;
  qsizetype SameName = 0;
  for (const TFleetTarget& Other : ATargets) {
    SameDatabase += Other.Error.isEmpty() && Database(Other) == Database(Target) ? 1 : 0;
    SameName += Other.Name == Target.Name ? 1 : 0;
  }
  if (SameDatabase < 2)
    return {};
  static const QRegularExpression Unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
  QString Tag = QString(Target.Name).replace(Unsafe, QStringLiteral("_"));
  if (SameName > 1)
    Tag += QStringLiteral("-line%1").arg(Target.Line);
  return {QStringLiteral("--snapshot-tag"), Tag};
}

QStringList MemberArguments(const TCliOptions& AOptions) {
  QStringList Arguments{QStringLiteral("--fleet-member"), QStringLiteral("--format"), QStringLiteral("json")};
  if (AOptions.Apply)
    Arguments << QStringLiteral("repair") << QStringLiteral("--apply") << QStringLiteral("--yes");
  else
    Arguments << QStringLiteral("compare");
  if (AOptions.AllowIndexLoss)
    Arguments << QStringLiteral("--allow-index-loss");
  if (!AOptions.SnapshotDir.isEmpty())
    Arguments << QStringLiteral("--snapshot-dir") << QDir(AOptions.SnapshotDir).absolutePath();
  if (AOptions.NoSnapshot)
    Arguments << QStringLiteral("--no-snapshot");
  if (!AOptions.KindsText.isEmpty())
    Arguments << QStringLiteral("--kinds") << AOptions.KindsText;
  if (!AOptions.FailOnText.isEmpty())
    Arguments << QStringLiteral("--fail-on") << AOptions.FailOnText;
  for (const QString& Pattern : AOptions.Includes)
    Arguments << QStringLiteral("--include=") + Pattern;
  for (const QString& Pattern : AOptions.Excludes)
    Arguments << QStringLiteral("--exclude=") + Pattern;
  return Arguments;
}

}  // namespace

QStringList MemberSettings(const TFleetTarget& ATarget, const TCliOptions& AOptions) {
  QStringList Settings = ATarget.Settings;
  const auto InLine = [&](const QString& ASetting) {
    return std::any_of(ATarget.Settings.begin(), ATarget.Settings.end(), [&](const QString& ALineSetting) {
      return ALineSetting.section(u'=', 0, 0).compare(ASetting.section(u'=', 0, 0), Qt::CaseInsensitive) == 0;
    });
  };
  for (const QString& Setting : AOptions.Settings)
    if (!InLine(Setting))
      Settings.append(Setting);
  return Settings;
}

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

QList<TFleetTarget> ReadFleetFile(const QString& AFileName) {
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly | QIODevice::Text))
    throw Exception(QStringLiteral("cannot read the fleet file %1: %2").arg(AFileName, File.errorString()));
  QList<TFleetTarget> Targets;
  qint32 LineNumber = 0;
  while (!File.atEnd()) {
    ++LineNumber;
    const QString Text = QString::fromUtf8(File.readLine()).section(u'#', 0, 0).trimmed();
    if (!Text.isEmpty())
      Targets.append(ParseFleetLine(LineNumber, Text));
  }
  if (Targets.isEmpty())
    throw Exception(QStringLiteral("the fleet file %1 names no target").arg(AFileName));
  return Targets;
}

QList<TTargetResult> RunFleet(const QList<TFleetTarget>& ATargets, const TCliOptions& AOptions,
                              const QString& AProgram, ILog* ALog, IDbProgress* AProgress) {
  QList<TTargetResult> Results(ATargets.size());
  for (qsizetype Index = 0; Index < ATargets.size(); ++Index)
    Results[Index].Name = ATargets[Index].Name;
  QList<bool> Finished(ATargets.size(), false);
  int InterruptSignal = 0;
  std::vector<std::unique_ptr<TMember>> Members;
  const QStringList Arguments = MemberArguments(AOptions);
  QEventLoop Loop;
  qsizetype Next = 0;
  qsizetype Running = 0;
  qsizetype Done = 0;
  AProgress->ShowStatus(AOptions.Apply ? QStringLiteral("Repairing %1 targets, one at a time...").arg(ATargets.size())
                                       : QStringLiteral("Checking %1 targets, %2 at a time...").arg(ATargets.size()).arg(AOptions.Jobs));
  std::function<void()> StartMore;
  const auto OnFinished = [&] {
    --Running;
    ++Done;
    AProgress->ShowProgress(static_cast<double>(Done) / ATargets.size());
    StartMore();
  };
  StartMore = [&] {
    while (InterruptSignal == 0 && Running < (AOptions.Apply ? 1 : AOptions.Jobs) && Next < ATargets.size()) {
      const qsizetype Index = Next++;
      const TFleetTarget& Target = ATargets.at(Index);
      if (!Target.Error.isEmpty()) {
        Results[Index].Error = Target.Error;
        Finished[Index] = true;
        ++Done;
        continue;
      }
      ++Running;
      Members.push_back(std::make_unique<TMember>(Target, Results[Index]));
      Members.back()->Start(AProgram,
                            Arguments + SnapshotTagArguments(ATargets, Index) + QStringList{QStringLiteral("--")} +
                                MemberSettings(Target, AOptions),
                            [&, Index] {
                              Finished[Index] = InterruptSignal == 0;
                              OnFinished();
                            });
    }
    if (Running == 0 && Next >= ATargets.size())
      Loop.quit();
  };
  // An interrupt ends the members still running; what finished keeps its result, the rest is
  // reported as cancelled.
  QSocketNotifier Interrupt(DeferInterrupts(), QSocketNotifier::Read);
  QObject::connect(&Interrupt, &QSocketNotifier::activated, [&] {
    Interrupt.setEnabled(false);
    InterruptSignal = ReadInterrupt();
    Loop.quit();
  });
  QMetaObject::invokeMethod(&Loop, StartMore, Qt::QueuedConnection);
  Loop.exec();
  if (InterruptSignal != 0) {
    for (const std::unique_ptr<TMember>& Member : Members)
      Member->Stop();
    for (qsizetype Index = 0; Index < Results.size(); ++Index)
      if (!Finished[Index])
        Results[Index] = CancelledResult(Results[Index], InterruptSignal);
  }
  StopDeferringInterrupts();
  for (TTargetResult& Result : Results) {
    Result.FailOn = AOptions.FailOn;
    Result.Includes = AOptions.Includes;
    Result.Excludes = AOptions.Excludes;
  }
  for (const TTargetResult& Result : Results) {
    if (Result.Failed())
      ALog->SilentWarning(QStringLiteral("Fleet target %s: %s"), {Result.Name, Result.Error});
    else
      ALog->Event(QStringLiteral("Fleet target %s: %d anomalies"), {Result.Name, Result.Anomalies.size()}, ltInfo);
  }
  return Results;
}

}  // namespace quillon::cli
