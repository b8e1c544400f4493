// The result values of a compare run, made from the session's model once the run is over.
#pragma once

#include "report/Report.Result.h"

#include <QList>

namespace quillon {

class TDatabaseDescriber;
class TDatabaseObject;

// How the reports know AObject: its name, key, kind ("view", "routine", "check", "index") and
// its local and gold-standard texts.
TAnomalyRecord AnomalyRecord(TDatabaseObject* AObject);

// AResult (its target, server, database, version and any failure) completed with what the
// describer's last comparison found: the objects of the kinds it compared, AAnomalies (those
// reported and not ignored), AIgnored (reported, but on the ignore list), what was compared
// per kind, and the findings.
TTargetResult CompareRunResult(TTargetResult AResult, const TDatabaseDescriber& ADescriber,
                               const QList<TDatabaseObject*>& AAnomalies, const QList<TDatabaseObject*>& AIgnored = {});

}  // namespace quillon
