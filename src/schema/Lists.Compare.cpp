// The comparison of each list with the gold standard: one lookup per object, one log line per
// outcome, every differing object reported to the progress receiver and recorded with the
// service. The lookups are announced to the service first, so a client that can sends them
// ahead; the objects are still handled one by one in the list's order, each when its own answer
// is asked for. Failures of the service are not caught: they end the list's comparison.
#include "compare/Normalizer.h"
#include "infra/logging/Logging.Interfaces.h"
#include "infra/settings/Support.IniFile.h"
#include "infra/text/Support.Format.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Routines.h"
#include "schema/Schemata.h"
#include "schema/Tables.h"
#include "service/OstrelService.h"
#include "service/Service.Lookahead.h"

#include <functional>
#include <vector>

namespace quillon {

namespace {

// Runs ACompareOne on every object in the list's own order and reports the fraction done after
// each, whatever happened to the object. A stop asked for ends the walk before the next object.
void CompareEach(TDatabaseObjectList& AList, const std::function<void(TDatabaseObject&)>& ACompareOne) {
  qint32 Counter = 0;
  for (TDatabaseObject* Object : AList.Values()) {
    if (AList.StopRequested())
      return;
    ACompareOne(*Object);
    ++Counter;
    AList.ShowProgress(double(Counter) / AList.Count());
  }
}

// CompareEach, with the lookup ALookupOf gives for each object announced to the service for the
// span of the walk.
void CompareEachLookingAhead(TDatabaseObjectList& AList, OstrelServiceSoap* AService,
                             const std::function<TServiceLookup(TDatabaseObject&)>& ALookupOf,
                             const std::function<void(TDatabaseObject&)>& ACompareOne) {
  std::vector<TServiceLookup> Lookups;
  for (TDatabaseObject* Object : AList.Values())
    Lookups.push_back(ALookupOf(*Object));
  const TLookahead Ahead(AService, std::move(Lookups));
  CompareEach(AList, [&](TDatabaseObject& AObject) {
    ACompareOne(AObject);
    AList.ObjectCompared();
  });
}

// Tells the progress receiver about a differing object, then records it with the service.
void ReportDifference(TDatabaseObjectList& AList, TDatabaseObject& AObject, OstrelServiceSoap* AService,
                      ISourceDatabaseInfo* ASourceDb, const QString& AExpectedDDL, const QString& AActualDDL,
                      const QString& AInfoText) {
  AList.ReportAnomaly(AObject.FullName(), &AObject);
  AService->SaveDbAnomaly(ASourceDb->DbName(), ASourceDb->DbVer(), AObject.Key(), ClassNameOf(typeid(AObject)),
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
bool HandledAsUnreadable(TDatabaseObjectList& AList, ILog& ALog, TDatabaseObject& AObject,
                         const QString& AUnreadable, const QString& ASkipped) {
  const auto* Coded = dynamic_cast<const ICodedObject*>(&AObject);
  if (!Coded || !Coded->DefinitionUnreadable())
    return false;
  if (AList.Publish()) {
    ALog.Event(ASkipped, {AObject.FullName()}, ltWarning);
  } else {
    ALog.SilentWarning(AUnreadable, {AObject.FullName()});
    AList.ReportFinding(TFindingStatus::Unreadable, AObject.FullName(), &AObject);
  }
  return true;
}

// The comparison of views and check constraints. ALookupOf names the service's question for an
// object's gold-standard text, ALocal gives its local text and ASave sends the local text to
// the service.
template <class T>
void CompareTexts(TDatabaseObjectList& AList, ILog& ALog, OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb,
                  const TTextOutcomes& AOutcomes, const std::function<TServiceLookup(T&)>& ALookupOf,
                  const std::function<QString(T&)>& ALocal, const std::function<void(T&)>& ASave) {
  const auto LookupOf = [&](TDatabaseObject& AObject) { return ALookupOf(static_cast<T&>(AObject)); };
  CompareEachLookingAhead(AList, AService, LookupOf, [&](TDatabaseObject& AObject) {
    T& Object = static_cast<T&>(AObject);
    const QString Standard = LookupText(*AService, LookupOf(Object));
    Object.SetStandardDefinition(Standard);
    if (HandledAsUnreadable(AList, ALog, Object, AOutcomes.Unreadable, AOutcomes.Skipped))
      return;
    const QVariantList NameAndVersion{Object.FullName(), ASourceDb->DbVer()};
    const QString Local = ALocal(Object);
    if (Standard.isEmpty()) {
      if (AList.Publish()) {
        ASave(Object);
        ALog.Event(AOutcomes.Published, NameAndVersion, ltInfo);
      } else {
        ALog.SilentWarning(AOutcomes.Unknown, NameAndVersion);
        AList.ReportFinding(TFindingStatus::UnknownToGold, Object.FullName(), &Object);
      }
    } else if (SameNormalizedDefinition(Standard, Local)) {
      if (AList.LogMatches())
        ALog.SilentSuccess(AOutcomes.Verified, NameAndVersion);
    } else if (AList.Publish()) {
      ASave(Object);
      ALog.Event(AOutcomes.Updated, NameAndVersion, ltInfo);
    } else {
      ReportDifference(AList, Object, AService, ASourceDb, Standard, Local, AOutcomes.InfoText);
      ALog.SilentError(AOutcomes.NotEqual, {Object.FullName()});
    }
  });
}

QString CountStatus(const QString& AFormat, const TDatabaseObjectList& AList) { return Format(AFormat, {AList.Count()}); }

// How the index comparison writes a uniqueness into an anomaly record.
QString UniquenessText(bool AUnique) { return AUnique ? QStringLiteral("-1") : QStringLiteral("0"); }

}  // namespace

void TDatabaseSchemaList::Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) {
  ShowStatus(CountStatus(QStringLiteral("Comparing %d schemata..."), *this));
  CompareEach(*this, [&](TDatabaseObject& AObject) {
    auto& Schema = static_cast<TDatabaseSchema&>(AObject);
    if (!Schema.IsPrivate() && !Schema.IsStandard()) {
      Schema.SaveToService(AService, ASourceDb);
      if (Publish())
        Log()->Event(QStringLiteral("SCHEMA %s: Published for version %d"), {Schema.FullName(), ASourceDb->DbVer()}, ltInfo);
    }
  });
}

void TDatabaseViewList::Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) {
  ShowStatus(CountStatus(QStringLiteral("Comparing %d views..."), *this));
  const qint32 Version = ASourceDb->DbVer();
  CompareTexts<TDatabaseView>(
      *this, *Log(), AService, ASourceDb,
      {QStringLiteral("VIEW %s: Published for version %d"), QStringLiteral("VIEW %s: Updated for version %d"),
       QStringLiteral("VIEW %s: Unknown for version %d"), QStringLiteral("VIEW %s: Verified for version %d"),
       QStringLiteral("VIEW %s: Not equal"), QStringLiteral("View different"), UnreadableOutcome(QStringLiteral("VIEW")),
       SkippedOutcome(QStringLiteral("VIEW"))},
      [&](TDatabaseView& AView) {
        return TServiceLookup{TServiceLookup::GetDbView, AView.ViewSchema(), AView.ViewName(), QString(), Version};
      },
      [](TDatabaseView& AView) { return AView.GetViewDefinition(); },
      [&](TDatabaseView& AView) { AView.SaveToService(AService, Version); });
}

void TCheckConstraintList::Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) {
  ShowStatus(CountStatus(QStringLiteral("Comparing %d check constraints..."), *this));
  CompareTexts<TDatabaseCheckConstraint>(
      *this, *Log(), AService, ASourceDb,
      {QStringLiteral("CHECK %s: Published for version %d"), QStringLiteral("CHECK %s: Updated for version %d"),
       QStringLiteral("Check %s: Unknown for version %d"), QStringLiteral("CHECK %s: Verified for version %d"),
       QStringLiteral("CHECK %s: Not equal"), QStringLiteral("Check different"),
       UnreadableOutcome(QStringLiteral("CHECK")), SkippedOutcome(QStringLiteral("CHECK"))},
      [&](TDatabaseCheckConstraint& ACheck) {
        return TServiceLookup{TServiceLookup::GetDbCheckConstraint, ACheck.TableSchema(), ACheck.ConstraintName(),
                              QString(), ASourceDb->DbVer()};
      },
      [](TDatabaseCheckConstraint& ACheck) { return ACheck.CheckClause(); },
      [&](TDatabaseCheckConstraint& ACheck) { ACheck.SaveToService(AService, ASourceDb); });
}

void TDatabaseIndexList::Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) {
  const qint32 Version = ASourceDb->DbVer();
  const auto LookupOf = [&](TDatabaseObject& AObject) {
    auto& Index = static_cast<TDatabaseIndex&>(AObject);
    return TServiceLookup{TServiceLookup::GetDbIndex, Index.SchemaName(), Index.ObjectName(), Index.TableName(), Version};
  };
  CompareEachLookingAhead(*this, AService, LookupOf, [&](TDatabaseObject& AObject) {
    auto& Index = static_cast<TDatabaseIndex&>(AObject);
    // The port cannot say "unknown": an index the service does not hold comes back not unique.
    const bool StandardUnique = LookupIsUnique(*AService, LookupOf(Index));
    if (StandardUnique == Index.Unique()) {
      if (LogMatches())
        Log()->SilentSuccess(QStringLiteral("INDEX %s: Verified for version %d"), {Index.FullName(), Version});
    } else if (Publish()) {
      Log()->Event(QStringLiteral("INDEX %s: Updated for version %d"), {Index.FullName(), Version}, ltInfo);
      Index.SaveToService(AService, ASourceDb);
    } else {
      ReportDifference(*this, Index, AService, ASourceDb, UniquenessText(Index.Unique()), UniquenessText(StandardUnique),
                       QStringLiteral("Index different"));
      Log()->SilentError(QStringLiteral("INDEX %s: Not equal"), {Index.FullName()});
    }
  });
}

void TDatabaseRoutineList::Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) {
  ShowStatus(CountStatus(QStringLiteral("Comparing %d routines..."), *this));
  const qint32 Version = ASourceDb->DbVer();
  if (Publish()) {
    // The publish cache remembers each routine's checksum at the last publish run to this
    // service from this database, so a routine that has not changed since costs no service call
    // at all (unless the run is forced).
    const QString DescribeSection = ScopedSection(QStringLiteral("DbDescribe"));
    const QString ChangesSection = ScopedSection(Format(QStringLiteral("DbChanges.Version.%d"), {Version}));
    TIniFile& Ini = PublishCache();
    Ini.WriteInteger(DescribeSection, QStringLiteral("DbVer"), Version);
    Ini.WriteString(DescribeSection, QStringLiteral("DbName"), ASourceDb->DbName());
    CompareEach(*this, [&](TDatabaseObject& AObject) {
      auto& Routine = static_cast<TDatabaseRoutine&>(AObject);
      if (HandledAsUnreadable(*this, *Log(), Routine, QString(), SkippedOutcome(Routine.RoutineType())))
        return;
      const QString Entry = Routine.StrippedName();
      const qint32 OldChecksum = Ini.ReadInteger(DescribeSection, Entry, 0);
      const qint32 NewChecksum = SourceChecksum(Routine.SourceCode());
      if (OldChecksum == NewChecksum && !ForcePublish())
        return;
      const QString Standard = AService->GetDbRoutine(Routine.RoutineSchema(), Routine.RoutineName(), Version);
      Routine.SetStandardDefinition(Standard);
      if (Standard.isEmpty() || !SameNormalizedDefinition(Standard, Routine.SourceCode()))
        PublishIfNewer(Routine, AService, ASourceDb);
      // Recorded only now, so that a routine whose lookup or publication failed is tried again.
      Ini.WriteInteger(DescribeSection, Entry, NewChecksum);
      Ini.WriteString(ChangesSection, Entry, OldChecksum == 0 ? QStringLiteral("CREATE") : QStringLiteral("ALTER"));
    });
    return;
  }
  ReportMissingRoutines(AService, ASourceDb);
  const auto LookupOf = [&](TDatabaseObject& AObject) {
    auto& Routine = static_cast<TDatabaseRoutine&>(AObject);
    return TServiceLookup{TServiceLookup::GetDbRoutine, Routine.RoutineSchema(), Routine.RoutineName(), QString(), Version};
  };
  CompareEachLookingAhead(*this, AService, LookupOf, [&](TDatabaseObject& AObject) {
    auto& Routine = static_cast<TDatabaseRoutine&>(AObject);
    const QString Standard = LookupText(*AService, LookupOf(Routine));
    Routine.SetStandardDefinition(Standard);
    if (HandledAsUnreadable(*this, *Log(), Routine, UnreadableOutcome(Routine.RoutineType()), QString()))
      return;
    const QVariantList TypeNameAndVersion{Routine.RoutineType(), Routine.FullName(), Version};
    if (Standard.isEmpty()) {
      Log()->SilentWarning(QStringLiteral("%s %s: Unknown for version %d"), TypeNameAndVersion);
      ReportFinding(TFindingStatus::UnknownToGold, Routine.FullName(), &Routine);
    } else if (SameNormalizedDefinition(Standard, Routine.SourceCode())) {
      Log()->SilentSuccess(QStringLiteral("%s %s: Verified for version %d"), TypeNameAndVersion);
    } else {
      ReportDifference(*this, Routine, AService, ASourceDb, Standard, Routine.SourceCode(),
                       Routine.RoutineType() + QStringLiteral(" different"));
      Log()->SilentError(QStringLiteral("%s %s: Not equal for version %d"), TypeNameAndVersion);
    }
  });
}

void TForeignKeyList::Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) {
  ShowStatus(CountStatus(QStringLiteral("Comparing %d referential constraints..."), *this));
  CompareEach(*this, [&](TDatabaseObject& AObject) {
    if (!Publish())
      return;
    static_cast<TDatabaseReferentialConstraint&>(AObject).SaveToService(AService, ASourceDb);
    Log()->Event(QStringLiteral("REFERENTIAL %s: Published for version %d"), {AObject.FullName(), ASourceDb->DbVer()},
                 ltInfo);
  });
}

}  // namespace quillon
