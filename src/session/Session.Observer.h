// What a check session tells the front end that runs it while it runs.
#pragma once

#include "report/Report.Result.h"

#include <QString>

namespace quillon {

// Called on the thread the session runs on; a front end with a window passes the calls on to
// its own thread. Nothing an observer does stops the session: a front end stops a run with
// TCheckSession::Cancel.
class ISessionObserver {
public:
  virtual ~ISessionObserver() = default;
  // What the session does now: "Connecting to ...", "Comparing 5 views...".
  virtual void StatusChanged(const QString& AText) = 0;
  // The catalogue is being read: AKind's list ("view", ...) has given ARows rows so far, all of
  // them when ADone; an empty AKind when the reading begins.
  virtual void CatalogueRead(const QString& ADatabaseName, const QString& AKind, qint64 ARows, bool ADone) = 0;
  // The fraction done of the step in progress, and of the whole comparison the objects
  // compared so far of all it takes part in.
  virtual void ProgressChanged(double AStepFraction, qint32 ACompared, qint32 ATotal) = 0;
  // What became of one object of a repair, as soon as the server has answered for it.
  virtual void RepairDone(const TRepairRecord& ARecord) = 0;
};

}  // namespace quillon
