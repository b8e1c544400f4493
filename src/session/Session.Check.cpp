// One check of one database or snapshot, from connecting to the values the front ends show.
#include "session/Session.Check.h"

#include "compare/Describer.h"
#include "compare/Sync.IgnoreList.h"
#include "compare/Xml.Snapshot.h"
#include "database/Database.Simple.h"
#include "drift/Drift.Side.h"
#include "infra/logging/Logging.Interfaces.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"
#include "session/Session.Kinds.h"
#include "session/Session.Observer.h"
#include "session/Session.Results.h"
#include "schema/Tables.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <optional>

namespace quillon {

namespace {

QString OneLine(const char* AMessage) { return QString::fromUtf8(AMessage).simplified(); }

// Runs one step; a failure leaves with the step named in front of the reason.
template <typename F>
auto Step(const QString& AWhat, F AStep) {
  try {
    return AStep();
  } catch (const std::exception& E) {
    throw Exception(AWhat + QStringLiteral(": ") + OneLine(E.what()));
  }
}

// Passes a comparison's reports on to the observer, and keeps the differing objects apart from
// those the ignore list names.
class TComparisonListener : public IDbProgress {
public:
  TComparisonListener(TDatabaseDescriber& ADescriber, ISessionObserver* AObserver)
      : FDescriber(ADescriber), FObserver(AObserver) {}

  QList<TDatabaseObject*> Anomalies;
  QList<TDatabaseObject*> Ignored;

  void ShowStatus(const QString& AText) override { FObserver->StatusChanged(AText); }
  void ShowProgress(double AFraction) override {
    if (AFraction < 0)
      return;
    const TCompareRunStatus& Status = FDescriber.RunStatus();
    FObserver->ProgressChanged(AFraction, Status.Compared(), Status.Total());
  }
  void ReportAnomaly(const QString&, TDatabaseObject* AObject) override {
    (FDescriber.IgnoreObject(AObject) ? Ignored : Anomalies).append(AObject);
  }

private:
  TDatabaseDescriber& FDescriber;
  ISessionObserver* FObserver;
};

// The version a snapshot says it was taken at; raises when it says none.
qint32 SnapshotVersion(const TXmlNode& ARoot, const QString& AFile) {
  const QString Text = ARoot.Attribute(QStringLiteral("Version"));
  bool Ok = false;
  const qint32 Version = Text.toInt(&Ok);
  if (!Ok || Version <= 0)
    throw Exception(QStringLiteral("%1 carries no schema version (Version attribute \"%2\"): give --gold-version N")
                        .arg(AFile, Text));
  return Version;
}

// Whether two paths name one file, also through a link or a relative path.
bool SameFile(const QString& AFirst, const QString& ASecond) {
  const QFileInfo First(AFirst);
  const QFileInfo Second(ASecond);
  if (First.exists() && Second.exists())
    return First.canonicalFilePath() == Second.canonicalFilePath();
  return First.absoluteFilePath() == Second.absoluteFilePath();
}

}  // namespace

TCheckSession::TCheckSession(ILog* ALog, ISessionObserver* AObserver)
    : FLog(ALog),
      FObserver(AObserver),
      FDatabase(std::make_unique<TSimpleDatabase>(ALog)),
      FIgnoreList(std::make_unique<TDatabaseObjectIgnoreList>()),
      FDescriber(std::make_unique<TDatabaseDescriber>(FIgnoreList.get(), ALog)) {
  FDescriber->SetStopRequest(&FCancel);
}

TCheckSession::~TCheckSession() {
  // The model goes before the connection it was read over.
  FDescriber.reset();
  FDatabase.reset();
}

bool TCheckSession::Ready() const { return FInfoRead && FDatabase->Connected(); }

const TDatabaseInfo& TCheckSession::Connect() {
  TMSSQLConnString& ConnString = FDatabase->ConnectionParameters();
  const QString Where = QStringLiteral("%1/%2").arg(ConnString.Server(), ConnString.Database());
  FObserver->StatusChanged(QStringLiteral("Connecting to %1...").arg(Where));
  Step(QStringLiteral("cannot connect to %1").arg(Where), [&] { FDatabase->Connect(); });
  return ReadDatabaseInfo();
}

const TDatabaseInfo& TCheckSession::ReadDatabaseInfo() {
  FInfoRead = false;
  TMSSQLConnString& ConnString = FDatabase->ConnectionParameters();
  const QString Where = QStringLiteral("%1/%2").arg(ConnString.Server(), ConnString.Database());
  TDatabaseInfo Info;
  Step(QStringLiteral("cannot read the database version of %1 (EXEC dbo.GetDatabaseInfo)").arg(Where), [&] {
    TDataSet* Row = FDatabase->FastQuery(QStringLiteral("EXEC dbo.GetDatabaseInfo"));
    if (Row->Eof())
      throw Exception(QStringLiteral("no row returned"));
    Info.Version = Row->FieldByName(QStringLiteral("DatabaseVersion")).AsInteger();
    Info.DatabaseName = Row->FieldByName(QStringLiteral("DatabaseName")).AsString();
    Row->Close();
  });
  Info.Server = FDatabase->ServerName();
  Info.Login = FDatabase->GetUserName();
  FInfo = Info;
  FInfoRead = true;
  return FInfo;
}

void TCheckSession::Load(unsigned AKinds) {
  const QString Name = FInfo.DatabaseName;
  FObserver->CatalogueRead(Name, QString(), 0, false);
  SelectKinds(*FDescriber, AKinds);
  Step(QStringLiteral("cannot read the catalogue of %1").arg(Name), [&] {
    FDescriber->Load(FDatabase.get(), [&](const QString& AKind, qint64 ARows, bool ADone) {
      FObserver->CatalogueRead(Name, AKind, ARows, ADone);
    });
  });
}

void TCheckSession::LoadSnapshot(const QString& AFileName, unsigned AKinds, qint32 AVersion) {
  const TXmlDocument Xml = Step(QStringLiteral("cannot read the snapshot %1").arg(AFileName),
                                [&] { return TXmlDocument::FromFile(AFileName); });
  const TXmlNode* Root = Xml.DocumentElement();
  if (!Root || Root->NodeName() != QLatin1String("Database") || !Root->HasAttribute(QStringLiteral("DatabaseName")))
    throw Exception(QStringLiteral("%1 is not a snapshot (no Database element with a DatabaseName)").arg(AFileName));
  SelectKinds(*FDescriber, AKinds);
  Step(QStringLiteral("cannot read the snapshot %1").arg(AFileName), [&] { FDescriber->LoadFromXml(AFileName); });
  FInfo = TDatabaseInfo{Root->Attribute(QStringLiteral("Server")), Root->Attribute(QStringLiteral("DatabaseName")),
                        AVersion > 0 ? AVersion : SnapshotVersion(*Root, AFileName), QString()};
}

QString TCheckSession::WriteSnapshot(const QString& AFileName) {
  return Step(QStringLiteral("cannot write the snapshot"), [&] {
    const QString FileName =
        AFileName.isEmpty() ? SnapshotFileName(FInfo.Server, FInfo.DatabaseName, FInfo.Version) : AFileName;
    // The installed program's snapshot folder may not exist yet; a failure to make it shows as
    // the failure to write the file.
    QDir().mkpath(QFileInfo(FileName).absolutePath());
    SaveSnapshot(FDescriber->SnapshotLists(), FileName, FInfo.Server, FInfo.DatabaseName, FInfo.Version);
    return FileName;
  });
}

TCompareOutcome TCheckSession::CompareWithGold(TTargetResult ABase, const TNameFilter& AFilter) {
  TComparisonListener Listener(*FDescriber, FObserver);
  FDescriber->SetProgress(&Listener);
  FDescriber->NarrowTo(AFilter);
  try {
    FDescriber->CompareToService(FInfo.DatabaseName, FInfo.Version);
  } catch (const std::exception&) {
    // RunStatus says where and why the comparison stopped.
  }
  FDescriber->SetProgress(nullptr);
  TCompareOutcome Outcome;
  Outcome.RunStatus = FDescriber->RunStatus();
  Outcome.Cancelled = FCancel && !Outcome.RunStatus.Complete();
  if (!Outcome.RunStatus.Complete())
    ABase.Error = Outcome.RunStatus.StoppedText();
  Outcome.Result = CompareRunResult(std::move(ABase), *FDescriber, Listener.Anomalies, Listener.Ignored);
  Outcome.AnomalyObjects = Listener.Anomalies;
  return Outcome;
}

TDriftSide TCheckSession::ModelSide() const {
  return TDriftSide::FromLists(FDescriber->SnapshotLists(), FInfo.Server, FInfo.DatabaseName, FInfo.Version);
}

TDriftResult DriftBetween(const TDriftSide& ABaseline, const TDriftSide& ATarget, const TDriftOptions& AOptions,
                          ISessionObserver* AObserver) {
  AObserver->StatusChanged(QStringLiteral("Comparing %1 objects with the baseline...").arg(ATarget.Count()));
  return CompareDrift(ABaseline, ATarget, AOptions);
}

TCompareOutcome TCheckSession::RunCompare(const TCompareRequest& ARequest) {
  FCancel = false;
  QElapsedTimer Timer;
  Timer.start();
  TTargetResult Base;
  Base.Name = ARequest.TargetName;
  Base.Server = FInfo.Server;
  Base.Database = FInfo.DatabaseName;
  Base.Version = FInfo.Version;
  Base.FailOn = ARequest.FailOn;
  Base.Includes = ARequest.Includes;
  Base.Excludes = ARequest.Excludes;
  // The baseline is read before anything is written: it may be the very file the run's
  // snapshot goes to.
  const QList<TDriftKind> DriftKinds = BaselineDriftKinds(ARequest.Kinds);
  std::optional<TDriftSide> Baseline;
  QString BaselineFailure;
  if (!DriftKinds.isEmpty() && !ARequest.BaselinePath.isEmpty()) {
    try {
      Baseline = TDriftSide::FromSnapshot(ARequest.BaselinePath);
    } catch (const std::exception& E) {
      BaselineFailure =
          Format(QStringLiteral("The baseline was not read, no drift compared: %s"), {QString::fromUtf8(E.what())});
    }
  }
  TCompareOutcome Outcome;
  QStringList SnapshotLines;
  try {
    Load(ARequest.Kinds);
    if (ARequest.WriteSnapshot) {
      const QString Path = ARequest.SnapshotPath.isEmpty()
                               ? SnapshotFileName(FInfo.Server, FInfo.DatabaseName, FInfo.Version)
                               : ARequest.SnapshotPath;
      if (!ARequest.BaselinePath.isEmpty() && SameFile(Path, ARequest.BaselinePath))
        SnapshotLines.append(Format(QStringLiteral("The snapshot was not written: %s is the baseline"), {Path}));
      else
        Base.SnapshotPath = WriteSnapshot(Path);
    }
    Outcome = CompareWithGold(Base, TNameFilter(ARequest.Includes, ARequest.Excludes));
  } catch (const std::exception& E) {
    // A failure before the comparison began stops the run as much as one during it.
    Outcome.Result = Base;
    Outcome.Result.Error = OneLine(E.what());
    Outcome.RunStatus.Start({});
    Outcome.RunStatus.Stop(Outcome.Result.Error);
  }
  Outcome.Drift.Lines = SnapshotLines;
  // Drift is of a database that was read whole.
  if (!DriftKinds.isEmpty() && Outcome.RunStatus.Complete()) {
    const QString Kinds = BaselineKindsText(ARequest.Kinds);
    if (ARequest.BaselinePath.isEmpty()) {
      Outcome.Drift.Lines.append(
          Format(QStringLiteral("%s: need a baseline snapshot (Baseline\u2026) to be compared"), {Kinds}));
    } else if (!Baseline) {
      Outcome.Drift.Lines.append(BaselineFailure);
      FLog->SilentError(QStringLiteral("%s"), {BaselineFailure});
    } else {
      TDriftOptions Options;
      Options.IgnoreList = FIgnoreList.get();
      TDriftResult Drift = DriftBetween(*Baseline, ModelSide(), Options, FObserver);
      for (TDriftItem& Item : Drift.Items)
        if (DriftKinds.contains(Item.Kind))
          Outcome.Drift.Items.append(std::move(Item));
      Outcome.Drift.Lines.append(Format(QStringLiteral("Drift from baseline %s: %d objects in %s"),
                                        {QFileInfo(ARequest.BaselinePath).fileName(),
                                         static_cast<qint32>(Outcome.Drift.Items.size()), Kinds}));
      Outcome.Drift.Lines.append(Drift.Notes);
    }
  }
  Outcome.Result.Seconds = Timer.elapsed() / 1000.0;
  return Outcome;
}

TRepairScript TCheckSession::PlanRepair(const QList<TDatabaseObject*>& AObjects, bool AAllowIndexLoss) const {
  TRepairScript Script;
  for (TDatabaseObject* Object : AObjects) {
    if (auto* View = dynamic_cast<TDatabaseView*>(Object))
      View->AllowIndexLoss(AAllowIndexLoss);
    Script.Add(Object);
  }
  return Script;
}

QList<TRepairResult> TCheckSession::Repair(const TRepairScript& AScript) {
  FCancel = false;
  return AScript.Run(
      FDatabase.get(),
      [&](qsizetype AStep, const TRepairResult& AResult) {
        const TRepairStep& Step = AScript.Steps()[AStep];
        if (AResult.Outcome == TRepairOutcome::Failed)
          FLog->SilentError(QStringLiteral("Repair of %s failed: %s"), {Step.ObjectName, AResult.Message});
        FObserver->RepairDone(TRepairRecord{Step.ObjectName, AnomalyRecord(Step.Object).Kind,
                                            RepairOutcomeText(AResult.Outcome), AResult.Message});
      },
      &FCancel);
}

void TCheckSession::Publish(bool AForce) {
  FCancel = false;
  FDescriber->SetPublish(true);
  FDescriber->SetForcePublish(AForce);
  FDescriber->SetSourceServer(FInfo.Server);
  TComparisonListener Listener(*FDescriber, FObserver);
  FDescriber->SetProgress(&Listener);
  try {
    Step(QStringLiteral("publishing to the gold standard failed"),
         [&] { FDescriber->CompareToService(FInfo.DatabaseName, FInfo.Version); });
  } catch (...) {
    FDescriber->SetProgress(nullptr);
    FDescriber->SetPublish(false);
    throw;
  }
  FDescriber->SetProgress(nullptr);
  FDescriber->SetPublish(false);
}

}  // namespace quillon
