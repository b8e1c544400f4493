// The result values of a compare run, made from the session's model.
#include "session/Session.Results.h"

#include "gold/Describer.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Tables.h"

#include <algorithm>
#include <tuple>

namespace quillon {

TAnomalyRecord AnomalyRecord(TDatabaseObject* AObject) {
  TAnomalyRecord Record{AObject->FullName(), QString(), AObject->Key(), AObject->GetStandardDefinition(), QString()};
  if (const auto* View = dynamic_cast<const TDatabaseView*>(AObject)) {
    Record.Kind = QStringLiteral("view");
    Record.Actual = View->GetViewDefinition();
  } else if (const auto* Routine = dynamic_cast<const TDatabaseRoutine*>(AObject)) {
    Record.Kind = QStringLiteral("routine");
    Record.Actual = Routine->SourceCode();
  } else if (const auto* Check = dynamic_cast<const TDatabaseCheckConstraint*>(AObject)) {
    Record.Kind = QStringLiteral("check");
    Record.Actual = Check->CheckClause();
  } else if (const auto* Index = dynamic_cast<const TDatabaseIndex*>(AObject)) {
    // The service only answers whether the gold index is unique, and an index differs only
    // in that, so the gold standard is the opposite of the local index.
    Record.Kind = QStringLiteral("index");
    Record.Expected = UniquenessCaption(!Index->Unique());
    Record.Actual = UniquenessCaption(Index->Unique());
  }
  return Record;
}

namespace {

// The objects of the kinds the describer compared, sorted by name.
QList<TComparedObject> ComparedObjects(const TDatabaseDescriber& ADescriber) {
  const QList<std::tuple<bool, TDatabaseObjectList*, QString>> Lists{
      {ADescriber.CompareCheckConstraints, ADescriber.CheckConstraints(), QStringLiteral("check")},
      {ADescriber.CompareViews, ADescriber.Views(), QStringLiteral("view")},
      {ADescriber.CompareRoutines, ADescriber.Routines(), QStringLiteral("routine")},
      {ADescriber.CompareIndices, ADescriber.Indices(), QStringLiteral("index")}};
  QList<TComparedObject> Objects;
  for (const auto& [Compared, List, Name] : Lists) {
    if (!Compared)
      continue;
    QList<TComparedObject> OfKind;
    for (const TDatabaseObject* Object : List->Values())
      OfKind.append(TComparedObject{Object->FullName(), Name});
    std::sort(OfKind.begin(), OfKind.end(),
              [](const auto& A, const auto& B) { return A.FullName < B.FullName; });
    Objects += OfKind;
  }
  return Objects;
}

}  // namespace

TTargetResult CompareRunResult(TTargetResult AResult, const TDatabaseDescriber& ADescriber,
                               const QList<TDatabaseObject*>& AAnomalies, const QList<TDatabaseObject*>& AIgnored) {
  AResult.Compared = ComparedObjects(ADescriber);
  for (TDatabaseObject* Object : AAnomalies)
    AResult.Anomalies.append(AnomalyRecord(Object));
  for (TDatabaseObject* Object : AIgnored) {
    const TAnomalyRecord Record = AnomalyRecord(Object);
    AResult.Ignored.append(TFindingRecord{Record.FullName, Record.Kind});
  }
  const TCompareRunStatus& Status = ADescriber.RunStatus();
  AResult.ComparedText = Status.ComparedText();
  for (const auto& [FindingStatus, Records] :
       {std::pair{TFindingStatus::UnknownToGold, &AResult.Unknown},
        std::pair{TFindingStatus::MissingLocally, &AResult.MissingLocally},
        std::pair{TFindingStatus::Unreadable, &AResult.Unreadable},
        std::pair{TFindingStatus::DuplicateKey, &AResult.DuplicateNames}})
    for (const TFinding& Finding : Status.FindingsWith(FindingStatus))
      Records->append(TFindingRecord{Finding.FullName, Finding.Kind});
  return AResult;
}

}  // namespace quillon
