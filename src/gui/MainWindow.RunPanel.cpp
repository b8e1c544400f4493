// The main window's compare panel: a compare run or a repair on the worker thread through the
// run controller, with the run's progress, outcome and failure in the panel's labels.
#include "gui/MainWindow.RunPanel.h"

#include "gui/Gui.RunController.h"
#include "gui/MainWindow.Handlers.h"
#include "gui/MainWindow.Layout.h"
#include "gold/Compare.RunStatus.h"
#include "repair/Repair.Script.h"
#include "infra/text/Support.Format.h"

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QStyle>

#include <algorithm>
#include <memory>

namespace quillon {

TRunPanel::TRunPanel(TMainWindowLayout& AControls, TCheckSession& ASession, TRunController& ARun, ILog* ALog)
    : FControls(AControls), FSession(ASession), FRun(ARun), FLog(ALog) {
  QLabel* Status = FControls.lblProgress;
  connect(&FRun, &TRunController::Status, this, [Status](const QString& AText) {
    Status->setText(AText);
    // Each step is seen, however quickly the next follows.
    Status->repaint();
  });
  connect(&FRun, &TRunController::CatalogueReading, this, [Status] {
    Status->setText(QStringLiteral("Analyzing database..."));
    Status->repaint();
  });
  connect(&FRun, &TRunController::Progress, this, &TRunPanel::ShowProgress);
  connect(FControls.actCancelRun, &QAction::triggered, this, GuardedSlot(this, &TRunPanel::Cancel));
}

bool TRunPanel::Running() const { return FRun.Running(); }

void TRunPanel::Start(const TCompareRequest& ARequest) {
  FOutcome = TCompareOutcome();
  FControls.lblFailure->clear();
  FControls.lblFailure->hide();
  FControls.lblFindings->clear();
  FControls.pbProgress->setValue(0);
  SetProgressState(psNormal);
  FRun.Start(FSession, [this, ARequest] { FPendingOutcome = FSession.RunCompare(ARequest); });
  const auto Connection = std::make_shared<QMetaObject::Connection>();
  *Connection = connect(&FRun, &TRunController::Finished, this, [this, Connection] {
    disconnect(*Connection);
    Guarded([this] { RunEnded(); });
    emit Finished();
  });
}

void TRunPanel::RunEnded() {
  FOutcome = std::move(FPendingOutcome);
  FPendingOutcome = TCompareOutcome();
  const TCompareRunStatus& Status = FOutcome.RunStatus;
  if (FOutcome.Cancelled)
    FLog->SilentWarning(QStringLiteral("%s"), {StatusText()});
  else if (!Status.Complete())
    ShowError(FOutcome.Result.Error);
  else
    FControls.pbProgress->setValue(100);
  FRepairedCount = 0;
}

void TRunPanel::Cancel() {
  if (!Running())
    return;
  FRun.Cancel();
  FControls.lblProgress->setText(QStringLiteral("Cancelling..."));
}

// One bar over the whole run: the objects compared out of all the run takes part in.
void TRunPanel::ShowProgress(qint32 ACompared, qint32 ATotal) {
  if (ATotal > 0)
    FControls.pbProgress->setValue(ACompared * 100 / ATotal);
}

void TRunPanel::SetProgressState(TProgressState AState) {
  FProgressState = AState;
  QProgressBar* Bar = FControls.pbProgress;
  QPalette Colours = Bar->style()->standardPalette();
  if (AState == psError)
    Colours.setColor(QPalette::Highlight, QColor(0xD0, 0x30, 0x30));
  Bar->setPalette(Colours);
}

QString TRunPanel::RunFailure() const { return FControls.lblFailure->text(); }

void TRunPanel::ShowError(const QString& AMessage) {
  SetProgressState(psError);
  FControls.lblProgress->setText(AMessage);
  FControls.lblFailure->setText(AMessage);
  FControls.lblFailure->setToolTip(AMessage);
  FControls.lblFailure->show();
  // The message is data, never a format: a "%d" in it must not break the log.
  FLog->SilentError(QStringLiteral("%s"), {AMessage});
}

QString TRunPanel::StatusText() const {
  const TCompareRunStatus& Status = FOutcome.RunStatus;
  if (FOutcome.Cancelled)
    return Format(QStringLiteral("Cancelled after %d of %d objects"), {Status.Compared(), Status.Total()});
  if (!Status.Complete())
    return Status.StoppedText();
  QString Text = Format(QStringLiteral("Found %d anomalies"), {static_cast<qint32>(FOutcome.Result.Anomalies.size())});
  if (FRepairedCount > 0)
    Text += Format(QStringLiteral(", %d repaired"), {FRepairedCount});
  return Text;
}

void TRunPanel::ShowOutcome() {
  const TCompareRunStatus& Status = FOutcome.RunStatus;
  FControls.lblProgress->setText(StatusText());
  QStringList Lines;
  if (!Status.FindingsText().isEmpty())
    Lines.append(Status.FindingsText());
  // The drift lines say what became of the kinds the gold standard does not hold.
  if (!Status.Kinds().isEmpty())
    Lines.append(Status.ComparedText(FOutcome.Drift.Lines.isEmpty()));
  Lines.append(FOutcome.Drift.Lines);
  FControls.lblFindings->setText(Lines.join(u'\n'));
}

QList<TRepairResult> TRunPanel::Repair(const TRepairScript& AScript) {
  QList<TRepairResult> Results;
  QEventLoop Repairing;
  const QMetaObject::Connection Recording = connect(&FRun, &TRunController::Repaired, this, &TRunPanel::RecordRepair);
  const QMetaObject::Connection Ending = connect(&FRun, &TRunController::Finished, &Repairing, &QEventLoop::quit);
  FRun.Start(FSession, [this, &AScript, &Results] { Results = FSession.Repair(AScript); });
  Repairing.exec();
  disconnect(Recording);
  disconnect(Ending);
  return Results;
}

void TRunPanel::RecordRepair(const TRepairRecord& ARecord) {
  if (ARecord.Outcome != RepairOutcomeText(TRepairOutcome::Repaired) &&
      ARecord.Outcome != RepairOutcomeText(TRepairOutcome::Failed))
    return;
  TTargetResult& Result = FOutcome.Result;
  Result.RepairApplied = true;
  const auto Earlier = std::find_if(Result.Repairs.begin(), Result.Repairs.end(), [&](const TRepairRecord& R) {
    return R.FullName == ARecord.FullName && R.Kind == ARecord.Kind;
  });
  if (Earlier != Result.Repairs.end())
    *Earlier = ARecord;
  else
    Result.Repairs.append(ARecord);
}

}  // namespace quillon
