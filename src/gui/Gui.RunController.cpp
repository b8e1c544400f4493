// The window's worker thread for check sessions.
#include "gui/Gui.RunController.h"

#include "session/Session.Check.h"

#include <QMetaObject>

namespace quillon {

TRunController::TRunController(QObject* AParent) : QObject(AParent) {}

TRunController::~TRunController() {
  if (!Running())
    return;
  FSession->Cancel();
  FWorker.join();
}

bool TRunController::Start(TCheckSession& ASession, std::function<void()> AWork) {
  if (Running())
    return false;
  FSession = &ASession;
  FWorker = std::thread([this, Work = std::move(AWork)] {
    Work();
    QMetaObject::invokeMethod(this, [this] { Ended(); }, Qt::QueuedConnection);
  });
  return true;
}

void TRunController::Cancel() {
  if (Running())
    FSession->Cancel();
}

void TRunController::Ended() {
  FWorker.join();
  emit Finished();
}

void TRunController::StatusChanged(const QString& AText) {
  QMetaObject::invokeMethod(this, [this, AText] { emit Status(AText); }, Qt::QueuedConnection);
}

void TRunController::CatalogueRead(const QString&, const QString& AKind, qint64, bool) {
  if (AKind.isEmpty())
    QMetaObject::invokeMethod(this, [this] { emit CatalogueReading(); }, Qt::QueuedConnection);
}

void TRunController::ProgressChanged(double, qint32 ACompared, qint32 ATotal) {
  QMetaObject::invokeMethod(this, [this, ACompared, ATotal] { emit Progress(ACompared, ATotal); }, Qt::QueuedConnection);
}

void TRunController::RepairDone(const TRepairRecord& ARecord) {
  QMetaObject::invokeMethod(this, [this, ARecord] { emit Repaired(ARecord); }, Qt::QueuedConnection);
}

}  // namespace quillon
