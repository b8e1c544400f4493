// The comparison of the model's lists with the gold standard, and the ObjectClass values under
// which the service files the anomalies it finds.
#pragma once

#include <QString>

namespace quillon {

class IDbProgress;
class ISourceDatabaseInfo;
class OstrelServiceSoap;
class TDatabaseObjectList;
class TDatabaseRoutineList;
class TRoutinePublisher;

// What one list's comparison works with; everything is borrowed. Progress, when set, hears the
// status, the fraction done and each differing object, and, when it also keeps findings
// (IRunFindings), what else the run finds and whether to stop before the next object.
struct TGoldRun {
  OstrelServiceSoap* Service = nullptr;
  ISourceDatabaseInfo* SourceDb = nullptr;
  IDbProgress* Progress = nullptr;
  // A publish run sends what differs to the service instead of reporting it.
  bool Publish = false;
  // Also log every object that matches.
  bool LogMatches = false;
  // What a publish run of routines remembers between runs; required for one.
  TRoutinePublisher* Publisher = nullptr;
};

// True for the lists the gold standard is compared with: schemata, check constraints, views,
// routines, referential constraints and indices.
bool HasGoldComparison(const TDatabaseObjectList& AList);
// Compares every object of AList with the gold standard of ARun's version: one lookup per
// object, one log line (in the list's log) per outcome, every differing object reported to the
// receiver and recorded with the service. The lookups are announced to the service first, so a
// client that can sends them ahead; the objects are still handled one by one in the list's
// order. Failures of the service are not caught: they end the list's comparison. Raises
// Exception for a list HasGoldComparison refuses.
void CompareWithGold(TDatabaseObjectList& AList, const TGoldRun& ARun);
// Logs "Could not find %s %s locally!" for every routine of the service's routine list (up to
// the database's version) that ARoutines does not hold, and reports it as missing locally. The
// page travels over the service's connection.
void ReportMissingRoutines(const TDatabaseRoutineList& ARoutines, const TGoldRun& ARun);

// The ObjectClass under which the service files an anomaly of each kind. The service keeps
// these values, so they stay as they are whatever the model's classes are called.
namespace GoldObjectClass {
inline const QString View = QStringLiteral("TDatabaseView");
inline const QString Routine = QStringLiteral("TDatabaseRoutine");
inline const QString CheckConstraint = QStringLiteral("TDatabaseCheckConstraint");
inline const QString Index = QStringLiteral("TDatabaseIndex");
}  // namespace GoldObjectClass

}  // namespace quillon
