// Runs the window's check session on a worker thread and hands what the session says to the
// window's thread as signals.
#pragma once

#include "session/Session.Observer.h"

#include <QObject>

#include <functional>
#include <thread>

namespace quillon {

class TCheckSession;

// One run at a time. The session's observer calls come from the worker; the signals reach the
// receivers on the controller's own (the window's) thread, in the order the session made them,
// and Finished comes after all of them.
class TRunController : public QObject, public ISessionObserver {
  Q_OBJECT

public:
  explicit TRunController(QObject* AParent = nullptr);
  // Stops a run still going (cancelled, then waited for): the session it works on goes next.
  ~TRunController() override;

  // Runs AWork on the worker thread with ASession as what Cancel stops; false while a run is
  // going. AWork must not throw.
  bool Start(TCheckSession& ASession, std::function<void()> AWork);
  bool Running() const { return FWorker.joinable(); }
  // Asks the run to stop before its next object or request.
  void Cancel();

  void StatusChanged(const QString& AText) override;
  void CatalogueRead(const QString& ADatabaseName, const QString& AKind, qint64 ARows, bool ADone) override;
  void ProgressChanged(double AStepFraction, qint32 ACompared, qint32 ATotal) override;
  void RepairDone(const TRepairRecord& ARecord) override;

signals:
  void Status(const QString& AText);
  // The catalogue is being read.
  void CatalogueReading();
  void Progress(qint32 ACompared, qint32 ATotal);
  void Repaired(const quillon::TRepairRecord& ARecord);
  void Finished();

private:
  void Ended();

  std::thread FWorker;
  TCheckSession* FSession = nullptr;
};

}  // namespace quillon
