#include "cli/Cli.Fleet.h"

#include "infra/Logging.Interfaces.h"
#include "schema/Interfaces.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <memory>

#include <sys/prctl.h>

namespace quillon::cli {

namespace {

TFleetTarget ParseFleetLine(qint32 ALineNumber, const QString& AText) {
  TFleetTarget Target;
  Target.Line = ALineNumber;
  static const QRegularExpression Blanks(QStringLiteral("\\s+"));
  QString Server;
  QString Database;
  for (const QString& Token : AText.split(Blanks, Qt::SkipEmptyParts)) {
    const QString Key = Token.section(u'=', 0, 0);
    const QString Value = Token.section(u'=', 1);
    if (!Token.contains(u'=') || Value.isEmpty())
      Target.Error = QStringLiteral("\"%1\" is not a key=value setting").arg(Token);
    else if (Key.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0)
      Target.Name = Value;
    else if (!IsKnownSetting(Key))
      Target.Error = QStringLiteral("unknown setting \"%1\"").arg(Key);
    else
      Target.Settings.append(Token);
    if (Key.compare(QLatin1String("Server"), Qt::CaseInsensitive) == 0)
      Server = Value;
    if (Key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0)
      Database = Value;
    if (!Target.Error.isEmpty())
      break;
  }
  if (Target.Error.isEmpty() && (Server.isEmpty() || Database.isEmpty()))
    Target.Error = QStringLiteral("a target needs both Server= and Database=");
  if (Target.Name.isEmpty())
    Target.Name = Server.isEmpty() || Database.isEmpty() ? QStringLiteral("line %1").arg(ALineNumber)
                                                          : Server + u'/' + Database;
  if (!Target.Error.isEmpty())
    Target.Error = QStringLiteral("fleet file line %1: %2").arg(ALineNumber).arg(Target.Error);
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

private:
  void Finish() {
    const QByteArray Report = FProcess.readAllStandardOutput();
    const int Code = FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    if (Code == 0 || Code == 1) {
      QJsonParseError Error{};
      const QJsonDocument Json = QJsonDocument::fromJson(Report, &Error);
      if (Error.error == QJsonParseError::NoError)
        FResult = ResultFromJson(Json.object());
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

QStringList MemberArguments(const TCliOptions& AOptions) {
  QStringList Arguments{QStringLiteral("compare"), QStringLiteral("--fleet-member"), QStringLiteral("--format"),
                        QStringLiteral("json")};
  if (!AOptions.KindsText.isEmpty())
    Arguments << QStringLiteral("--kinds") << AOptions.KindsText;
  if (!AOptions.FailOnText.isEmpty())
    Arguments << QStringLiteral("--fail-on") << AOptions.FailOnText;
  return Arguments;
}

}  // namespace

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
  std::vector<std::unique_ptr<TMember>> Members;
  const QStringList Arguments = MemberArguments(AOptions);
  QEventLoop Loop;
  qsizetype Next = 0;
  qsizetype Running = 0;
  qsizetype Done = 0;
  AProgress->ShowStatus(QStringLiteral("Checking %1 targets, %2 at a time...").arg(ATargets.size()).arg(AOptions.Jobs));
  std::function<void()> StartMore;
  const auto OnFinished = [&] {
    --Running;
    ++Done;
    AProgress->ShowProgress(static_cast<double>(Done) / ATargets.size());
    StartMore();
  };
  StartMore = [&] {
    while (Running < AOptions.Jobs && Next < ATargets.size()) {
      const qsizetype Index = Next++;
      const TFleetTarget& Target = ATargets.at(Index);
      if (!Target.Error.isEmpty()) {
        Results[Index].Name = Target.Name;
        Results[Index].Error = Target.Error;
        ++Done;
        continue;
      }
      ++Running;
      Members.push_back(std::make_unique<TMember>(Target, Results[Index]));
      // The line's settings go first: the first of equal settings counts, so a line overrides
      // what the command line gives every target.
      Members.back()->Start(AProgram, Arguments + Target.Settings + AOptions.Settings, OnFinished);
    }
    if (Running == 0 && Next >= ATargets.size())
      Loop.quit();
  };
  QMetaObject::invokeMethod(&Loop, StartMore, Qt::QueuedConnection);
  Loop.exec();
  for (TTargetResult& Result : Results)
    Result.FailOn = AOptions.FailOn;
  for (const TTargetResult& Result : Results) {
    if (Result.Failed())
      ALog->SilentWarning(QStringLiteral("Fleet target %s: %s"), {Result.Name, Result.Error});
    else
      ALog->Event(QStringLiteral("Fleet target %s: %d anomalies"), {Result.Name, Result.Anomalies.size()}, ltInfo);
  }
  return Results;
}

}  // namespace quillon::cli
