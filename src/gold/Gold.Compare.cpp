// The comparison of each list with the gold standard: one lookup per object, one log line per
// outcome, every differing object reported to the run's receiver and recorded with the service.
// The lookups are announced to the service first, so a client that can sends them ahead; the
// objects are still handled one by one in the list's order, each when its own answer is asked
// for. Failures of the service are not caught: they end the list's comparison.
#include "gold/Gold.Compare.h"

#include "model/Xml.NodeList.h"
#include "gold/Gold.Progress.h"
#include "gold/Gold.Publish.h"
#include "gold/Normalizer.h"
#include "infra/logging/Logging.Interfaces.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/settings/Support.IniFile.h"
#include "infra/text/Support.Format.h"
#include "infra/xml/Support.Xml.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "service/OstrelService.h"
#include "service/Service.Lookahead.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Pages.h"

#include <functional>
#include <vector>

namespace quillon {

namespace {

// One list's comparison: the list, what the run works with, and the reports to its receiver.
class TListRun {
public:
  TListRun(const TDatabaseObjectList& AList, const TGoldRun& ARun) : List(AList), Run(ARun), Log(*AList.Log()) {}

  void ShowStatus(const QString& AText) const {
    if (Run.Progress)
      Run.Progress->ShowStatus(AText);
  }
  void ShowProgress(double AFraction) const {
    if (Run.Progress)
      Run.Progress->ShowProgress(AFraction);
  }
  void ReportAnomaly(TDatabaseObject& AObject) const {
    if (Run.Progress)
      Run.Progress->ReportAnomaly(AObject.FullName(), &AObject);
  }
  void ReportFinding(TFindingStatus AStatus, const QString& AFullName, TDatabaseObject* AObject,
                     const QString& AGoldText = QString()) const {
    if (auto* Findings = dynamic_cast<IRunFindings*>(Run.Progress))
      Findings->ReportFinding(TFinding{AStatus, List.KindName(), AFullName, AObject, AGoldText});
  }
  void ObjectCompared() const {
    if (auto* Findings = dynamic_cast<IRunFindings*>(Run.Progress))
      Findings->ObjectCompared(List.KindName());
  }
  bool StopRequested() const {
    const auto* Findings = dynamic_cast<const IRunFindings*>(Run.Progress);
    return Findings != nullptr && Findings->StopRequested();
  }
  qint32 Version() const { return Run.SourceDb->DbVer(); }

  const TDatabaseObjectList& List;
  const TGoldRun& Run;
  ILog& Log;
};

// Runs ACompareOne on every object in the list's own order and reports the fraction done after
// each, whatever happened to the object. A stop asked for ends the walk before the next object.
void CompareEach(const TListRun& ARun, const std::function<void(TDatabaseObject&)>& ACompareOne) {
  qint32 Counter = 0;
  for (TDatabaseObject* Object : ARun.List.Values()) {
    if (ARun.StopRequested())
      return;
    ACompareOne(*Object);
    ++Counter;
    ARun.ShowProgress(double(Counter) / ARun.List.Count());
  }
}

// CompareEach, with the lookup ALookupOf gives for each object announced to the service for the
// span of the walk.
void CompareEachLookingAhead(const TListRun& ARun, const std::function<TServiceLookup(TDatabaseObject&)>& ALookupOf,
                             const std::function<void(TDatabaseObject&)>& ACompareOne) {
  std::vector<TServiceLookup> Lookups;
  for (TDatabaseObject* Object : ARun.List.Values())
    Lookups.push_back(ALookupOf(*Object));
  const TLookahead Ahead(ARun.Run.Service, std::move(Lookups));
  CompareEach(ARun, [&](TDatabaseObject& AObject) {
    ACompareOne(AObject);
    ARun.ObjectCompared();
  });
}

// Tells the receiver about a differing object, then records it with the service under the
// kind's ObjectClass.
void ReportDifference(const TListRun& ARun, TDatabaseObject& AObject, const QString& AObjectClass,
                      const QString& AExpectedDDL, const QString& AActualDDL, const QString& AInfoText) {
  ARun.ReportAnomaly(AObject);
  ARun.Run.Service->SaveDbAnomaly(ARun.Run.SourceDb->DbName(), ARun.Version(), AObject.Key(), AObjectClass,
                                  AExpectedDDL, AActualDDL, AInfoText);
}

// The log lines of a kind whose definition text is compared: each takes the full name and the
// version, except NotEqual, Unreadable and Skipped, which take the full name only.
struct TTextOutcomes {
  QString Published;
  QString Updated;
  QString Unknown;
  QString Verified;
  QString NotEqual;
  QString InfoText;
  QString Unreadable;
  QString Skipped;
};

QString UnreadableOutcome(const QString& AKindName) {
  return AKindName + QStringLiteral(" %s: Unreadable (") + UnreadableReason + u')';
}

QString SkippedOutcome(const QString& AKindName) {
  return AKindName + QStringLiteral(" %s: Skipped, its definition is unreadable (") + UnreadableReason + u')';
}

// An object whose definition the server would not give is never compared, sent or recorded
// as an anomaly: a publish run logs it as skipped, a compare run reports it as unreadable.
// False for every other object.
bool HandledAsUnreadable(const TListRun& ARun, TDatabaseObject& AObject, const QString& AUnreadable,
                         const QString& ASkipped) {
  const auto* Coded = dynamic_cast<const ICodedObject*>(&AObject);
  if (!Coded || !Coded->DefinitionUnreadable())
    return false;
  if (ARun.Run.Publish) {
    ARun.Log.Event(ASkipped, {AObject.FullName()}, ltWarning);
  } else {
    ARun.Log.SilentWarning(AUnreadable, {AObject.FullName()});
    ARun.ReportFinding(TFindingStatus::Unreadable, AObject.FullName(), &AObject);
  }
  return true;
}

// The comparison of views and check constraints. ALookupOf names the service's question for an
// object's gold-standard text and ALocal gives its local text; a publish run sends the local
// text with SaveToService.
template <class T>
void CompareTexts(const TListRun& ARun, const TTextOutcomes& AOutcomes, const QString& AObjectClass,
                  const std::function<TServiceLookup(T&)>& ALookupOf, const std::function<QString(T&)>& ALocal) {
  const auto LookupOf = [&](TDatabaseObject& AObject) { return ALookupOf(static_cast<T&>(AObject)); };
  CompareEachLookingAhead(ARun, LookupOf, [&](TDatabaseObject& AObject) {
    T& Object = static_cast<T&>(AObject);
    const QString Standard = LookupText(*ARun.Run.Service, LookupOf(Object));
    Object.SetStandardDefinition(Standard);
    if (HandledAsUnreadable(ARun, Object, AOutcomes.Unreadable, AOutcomes.Skipped))
      return;
    const QVariantList NameAndVersion{Object.FullName(), ARun.Version()};
    const QString Local = ALocal(Object);
    if (Standard.isEmpty()) {
      if (ARun.Run.Publish) {
        SaveToService(Object, ARun.Run.Service, ARun.Version());
        ARun.Log.Event(AOutcomes.Published, NameAndVersion, ltInfo);
      } else {
        ARun.Log.SilentWarning(AOutcomes.Unknown, NameAndVersion);
        ARun.ReportFinding(TFindingStatus::UnknownToGold, Object.FullName(), &Object);
      }
    } else if (SameNormalizedDefinition(Standard, Local)) {
      if (ARun.Run.LogMatches)
        ARun.Log.SilentSuccess(AOutcomes.Verified, NameAndVersion);
    } else if (ARun.Run.Publish) {
      SaveToService(Object, ARun.Run.Service, ARun.Version());
      ARun.Log.Event(AOutcomes.Updated, NameAndVersion, ltInfo);
    } else {
      ReportDifference(ARun, Object, AObjectClass, Standard, Local, AOutcomes.InfoText);
      ARun.Log.SilentError(AOutcomes.NotEqual, {Object.FullName()});
    }
  });
}

void ShowCount(const TListRun& ARun, const QString& AFormat) { ARun.ShowStatus(Format(AFormat, {ARun.List.Count()})); }

// How the index comparison writes a uniqueness into an anomaly record.
QString UniquenessText(bool AUnique) { return AUnique ? QStringLiteral("-1") : QStringLiteral("0"); }

void CompareSchemata(const TListRun& ARun) {
  ShowCount(ARun, QStringLiteral("Comparing %d schemata..."));
  CompareEach(ARun, [&](TDatabaseObject& AObject) {
    auto& Schema = static_cast<TDatabaseSchema&>(AObject);
    if (!Schema.IsPrivate() && !Schema.IsStandard()) {
      SaveToService(Schema, ARun.Run.Service, ARun.Version());
      if (ARun.Run.Publish)
        ARun.Log.Event(QStringLiteral("SCHEMA %s: Published for version %d"), {Schema.FullName(), ARun.Version()}, ltInfo);
    }
  });
}

void CompareViews(const TListRun& ARun) {
  ShowCount(ARun, QStringLiteral("Comparing %d views..."));
  const qint32 Version = ARun.Version();
  CompareTexts<TDatabaseView>(
      ARun,
      {QStringLiteral("VIEW %s: Published for version %d"), QStringLiteral("VIEW %s: Updated for version %d"),
       QStringLiteral("VIEW %s: Unknown for version %d"), QStringLiteral("VIEW %s: Verified for version %d"),
       QStringLiteral("VIEW %s: Not equal"), QStringLiteral("View different"), UnreadableOutcome(QStringLiteral("VIEW")),
       SkippedOutcome(QStringLiteral("VIEW"))},
      GoldObjectClass::View,
      [&](TDatabaseView& AView) {
        return TServiceLookup{TServiceLookup::GetDbView, AView.ViewSchema(), AView.ViewName(), QString(), Version};
      },
      [](TDatabaseView& AView) { return AView.GetViewDefinition(); });
}

void CompareCheckConstraints(const TListRun& ARun) {
  ShowCount(ARun, QStringLiteral("Comparing %d check constraints..."));
  const qint32 Version = ARun.Version();
  CompareTexts<TDatabaseCheckConstraint>(
      ARun,
      {QStringLiteral("CHECK %s: Published for version %d"), QStringLiteral("CHECK %s: Updated for version %d"),
       QStringLiteral("Check %s: Unknown for version %d"), QStringLiteral("CHECK %s: Verified for version %d"),
       QStringLiteral("CHECK %s: Not equal"), QStringLiteral("Check different"),
       UnreadableOutcome(QStringLiteral("CHECK")), SkippedOutcome(QStringLiteral("CHECK"))},
      GoldObjectClass::CheckConstraint,
      [&](TDatabaseCheckConstraint& ACheck) {
        return TServiceLookup{TServiceLookup::GetDbCheckConstraint, ACheck.TableSchema(), ACheck.ConstraintName(),
                              QString(), Version};
      },
      [](TDatabaseCheckConstraint& ACheck) { return ACheck.CheckClause(); });
}

void CompareIndices(const TListRun& ARun) {
  const qint32 Version = ARun.Version();
  OstrelServiceSoap* Service = ARun.Run.Service;
  const auto LookupOf = [&](TDatabaseObject& AObject) {
    auto& Index = static_cast<TDatabaseIndex&>(AObject);
    return TServiceLookup{TServiceLookup::GetDbIndex, Index.SchemaName(), Index.ObjectName(), Index.TableName(), Version};
  };
  CompareEachLookingAhead(ARun, LookupOf, [&](TDatabaseObject& AObject) {
    auto& Index = static_cast<TDatabaseIndex&>(AObject);
    // The port cannot say "unknown": an index the service does not hold comes back not unique.
    const bool StandardUnique = LookupIsUnique(*Service, LookupOf(Index));
    if (StandardUnique == Index.Unique()) {
      if (ARun.Run.LogMatches)
        ARun.Log.SilentSuccess(QStringLiteral("INDEX %s: Verified for version %d"), {Index.FullName(), Version});
    } else if (ARun.Run.Publish) {
      ARun.Log.Event(QStringLiteral("INDEX %s: Updated for version %d"), {Index.FullName(), Version}, ltInfo);
      SaveToService(Index, Service, Version);
    } else {
      ReportDifference(ARun, Index, GoldObjectClass::Index, UniquenessText(Index.Unique()),
                       UniquenessText(StandardUnique), QStringLiteral("Index different"));
      ARun.Log.SilentError(QStringLiteral("INDEX %s: Not equal"), {Index.FullName()});
    }
  });
}

// The publish cache remembers each routine's checksum at the last publish run to this service
// from this database, so a routine that has not changed since costs no service call at all
// (unless the run is forced).
void PublishRoutines(const TListRun& ARun) {
  Assert(ARun.Run.Publisher != nullptr, QStringLiteral("A publish run of routines needs its publisher"));
  TRoutinePublisher& Publisher = *ARun.Run.Publisher;
  const qint32 Version = ARun.Version();
  const QString DescribeSection = Publisher.ScopedSection(QStringLiteral("DbDescribe"));
  const QString ChangesSection = Publisher.ScopedSection(Format(QStringLiteral("DbChanges.Version.%d"), {Version}));
  TIniFile& Ini = Publisher.PublishCache();
  Ini.WriteInteger(DescribeSection, QStringLiteral("DbVer"), Version);
  Ini.WriteString(DescribeSection, QStringLiteral("DbName"), ARun.Run.SourceDb->DbName());
  CompareEach(ARun, [&](TDatabaseObject& AObject) {
    auto& Routine = static_cast<TDatabaseRoutine&>(AObject);
    if (HandledAsUnreadable(ARun, Routine, QString(), SkippedOutcome(Routine.RoutineType())))
      return;
    const QString Entry = Routine.StrippedName();
    const qint32 OldChecksum = Ini.ReadInteger(DescribeSection, Entry, 0);
    const qint32 NewChecksum = SourceChecksum(Routine.SourceCode());
    if (OldChecksum == NewChecksum && !Publisher.ForcePublish())
      return;
    const QString Standard = ARun.Run.Service->GetDbRoutine(Routine.RoutineSchema(), Routine.RoutineName(), Version);
    Routine.SetStandardDefinition(Standard);
    if (Standard.isEmpty() || !SameNormalizedDefinition(Standard, Routine.SourceCode()))
      Publisher.PublishIfNewer(Routine, ARun.Run.Service, ARun.Run.SourceDb);
    // Recorded only now, so that a routine whose lookup or publication failed is tried again.
    Ini.WriteInteger(DescribeSection, Entry, NewChecksum);
    Ini.WriteString(ChangesSection, Entry, OldChecksum == 0 ? QStringLiteral("CREATE") : QStringLiteral("ALTER"));
  });
}

void CompareRoutines(const TListRun& ARun) {
  ShowCount(ARun, QStringLiteral("Comparing %d routines..."));
  if (ARun.Run.Publish) {
    PublishRoutines(ARun);
    return;
  }
  ReportMissingRoutines(static_cast<const TDatabaseRoutineList&>(ARun.List), ARun.Run);
  const qint32 Version = ARun.Version();
  const auto LookupOf = [&](TDatabaseObject& AObject) {
    auto& Routine = static_cast<TDatabaseRoutine&>(AObject);
    return TServiceLookup{TServiceLookup::GetDbRoutine, Routine.RoutineSchema(), Routine.RoutineName(), QString(), Version};
  };
  CompareEachLookingAhead(ARun, LookupOf, [&](TDatabaseObject& AObject) {
    auto& Routine = static_cast<TDatabaseRoutine&>(AObject);
    const QString Standard = LookupText(*ARun.Run.Service, LookupOf(Routine));
    Routine.SetStandardDefinition(Standard);
    if (HandledAsUnreadable(ARun, Routine, UnreadableOutcome(Routine.RoutineType()), QString()))
      return;
    const QVariantList TypeNameAndVersion{Routine.RoutineType(), Routine.FullName(), Version};
    if (Standard.isEmpty()) {
      ARun.Log.SilentWarning(QStringLiteral("%s %s: Unknown for version %d"), TypeNameAndVersion);
      ARun.ReportFinding(TFindingStatus::UnknownToGold, Routine.FullName(), &Routine);
    } else if (SameNormalizedDefinition(Standard, Routine.SourceCode())) {
      ARun.Log.SilentSuccess(QStringLiteral("%s %s: Verified for version %d"), TypeNameAndVersion);
    } else {
      ReportDifference(ARun, Routine, GoldObjectClass::Routine, Standard, Routine.SourceCode(),
                       Routine.RoutineType() + QStringLiteral(" different"));
      ARun.Log.SilentError(QStringLiteral("%s %s: Not equal for version %d"), TypeNameAndVersion);
    }
  });
}

void CompareForeignKeys(const TListRun& ARun) {
  ShowCount(ARun, QStringLiteral("Comparing %d referential constraints..."));
  CompareEach(ARun, [&](TDatabaseObject& AObject) {
    if (!ARun.Run.Publish)
      return;
    SaveToService(static_cast<TDatabaseReferentialConstraint&>(AObject), ARun.Run.Service, ARun.Version());
    ARun.Log.Event(QStringLiteral("REFERENTIAL %s: Published for version %d"), {AObject.FullName(), ARun.Version()},
                   ltInfo);
  });
}

// The comparison of each list kind that has one.
using TListComparison = void (*)(const TListRun&);
TListComparison ComparisonOf(const TDatabaseObjectList& AList) {
  if (dynamic_cast<const TDatabaseSchemaList*>(&AList))
    return CompareSchemata;
  if (dynamic_cast<const TCheckConstraintList*>(&AList))
    return CompareCheckConstraints;
  if (dynamic_cast<const TDatabaseViewList*>(&AList))
    return CompareViews;
  if (dynamic_cast<const TDatabaseRoutineList*>(&AList))
    return CompareRoutines;
  if (dynamic_cast<const TForeignKeyList*>(&AList))
    return CompareForeignKeys;
  if (dynamic_cast<const TDatabaseIndexList*>(&AList))
    return CompareIndices;
  return nullptr;
}

}  // namespace

bool HasGoldComparison(const TDatabaseObjectList& AList) { return ComparisonOf(AList) != nullptr; }

void CompareWithGold(TDatabaseObjectList& AList, const TGoldRun& ARun) {
  const TListComparison Comparison = ComparisonOf(AList);
  if (!Comparison)
    throw Exception(Format(QStringLiteral("%s has no comparison with the gold standard"), {AList.FullName()}));
  Comparison(TListRun(AList, ARun));
}

void ReportMissingRoutines(const TDatabaseRoutineList& ARoutines, const TGoldRun& ARun) {
  const TListRun Run(ARoutines, ARun);
  const TXmlDocument Page = LoadServicePage(*ARun.Service, RoutineListPageAddress(ARun.SourceDb->DbVer()));
  for (const TXmlNode* Node : TNodeList(Page, TDatabaseRoutine::NodeName())) {
    const auto Routine = TDatabaseObject::CreateFromNode<TDatabaseRoutine>(Node);
    Routine->SetCaseSensitiveKey(ARoutines.CaseSensitiveKeys());
    if (!ARoutines.ContainsKey(Routine->Key())) {
      Run.Log.SilentError(QStringLiteral("Could not find %s %s locally!"), {Routine->RoutineType(), Routine->FullName()});
      Run.ReportFinding(TFindingStatus::MissingLocally, Routine->FullName(), Routine.get(), Routine->SourceCode());
    }
  }
}

}  // namespace quillon
