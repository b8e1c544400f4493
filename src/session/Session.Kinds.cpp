// The table of the kinds a check takes part in.
#include "session/Session.Kinds.h"

#include "gold/Describer.h"

#include <QStringList>

namespace quillon {

const QList<TCheckKind>& CheckKinds() {
  static const QList<TCheckKind> Kinds{
      {kindSchemata, QStringLiteral("Schemata"), QStringLiteral("schemata"), {TDriftKind::Schema}},
      {kindTables, QStringLiteral("Tables"), QString(), {TDriftKind::Table, TDriftKind::Column}},
      {kindViews, QStringLiteral("Views"), QStringLiteral("views"), {}},
      {kindIndexes, QStringLiteral("Indices"), QStringLiteral("indexes"), {}},
      {kindRoutines, QStringLiteral("Routines"), QStringLiteral("routines"), {}},
      {kindChecks, QStringLiteral("Check constraints"), QStringLiteral("checks"), {}},
      {kindForeignKeys, QStringLiteral("Referential constraints"), QStringLiteral("foreignkeys"), {TDriftKind::ForeignKey}}};
  return Kinds;
}

void SelectKinds(TDatabaseDescriber& ADescriber, unsigned AKinds) {
  ADescriber.CompareSchemata = AKinds & kindSchemata;
  ADescriber.CompareTables = AKinds & kindTables;
  ADescriber.CompareCheckConstraints = AKinds & kindChecks;
  ADescriber.CompareViews = AKinds & kindViews;
  ADescriber.CompareRoutines = AKinds & kindRoutines;
  ADescriber.CompareForeignKeys = AKinds & kindForeignKeys;
  ADescriber.CompareIndices = AKinds & kindIndexes;
}

QList<TDriftKind> BaselineDriftKinds(unsigned AKinds) {
  QList<TDriftKind> Result;
  for (const TCheckKind& Kind : CheckKinds())
    if (AKinds & Kind.Flag)
      Result.append(Kind.BaselineKinds);
  // Privileges have no kind of their own to tick: they drift with any of these.
  if (!Result.isEmpty())
    Result.append({TDriftKind::TablePrivilege, TDriftKind::RoutinePrivilege});
  return Result;
}

QString BaselineKindsText(unsigned AKinds) {
  QStringList Names;
  for (const TCheckKind& Kind : CheckKinds())
    if ((AKinds & Kind.Flag) && !Kind.BaselineKinds.isEmpty())
      Names.append(Kind.Caption.toLower());
  if (!Names.isEmpty())
    Names.append(QStringLiteral("privileges"));
  return Names.join(QStringLiteral(", "));
}

}  // namespace quillon
