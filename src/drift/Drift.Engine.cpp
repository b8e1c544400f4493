// Drift between a target and a baseline: the objects added, removed and changed, and the
// options that narrow them.
#include "drift/Drift.Engine.h"

#include "gold/Describer.h"
#include "gold/Normalizer.h"
#include "gold/Sync.IgnoreList.h"
#include "drift/Drift.Texts.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace quillon {

namespace {

enum class TFieldRule { Exact, IgnoreCase, Definition };

struct TFieldValue {
  const char* Name;
  QString Value;
  TFieldRule Rule;
  // An unreadable definition: nothing can be said about its text.
  bool Unknown = false;
};

QString BoolText(bool AValue) { return AValue ? QStringLiteral("true") : QStringLiteral("false"); }

QString DottedName(const QString& ASchema, const QString& AName) { return ASchema + QLatin1Char('.') + AName; }

std::vector<TFieldValue> FieldValues(TDriftKind AKind, const TDatabaseObject* AObject) {
  using R = TFieldRule;
  switch (AKind) {
    case TDriftKind::Schema:
      return {{"SCHEMA_OWNER", static_cast<const TDatabaseSchema*>(AObject)->SchemaOwner(), R::IgnoreCase}};
    case TDriftKind::Table:
      return {{"TABLE_TYPE", static_cast<const TDatabaseTable*>(AObject)->TableType(), R::IgnoreCase}};
    case TDriftKind::Column: {
      const auto* Column = static_cast<const TDatabaseColumn*>(AObject);
      return {{"DATA_TYPE", Column->DataType(), R::IgnoreCase},
              {"CHARACTER_MAXIMUM_LENGTH", QString::number(Column->CharacterMaximumLength()), R::Exact},
              {"NUMERIC_PRECISION", QString::number(Column->NumericPrecision()), R::Exact},
              {"NUMERIC_SCALE", QString::number(Column->NumericScale()), R::Exact},
              {"IS_NULLABLE", Column->IsNullable(), R::IgnoreCase},
              {"COLUMN_DEFAULT", Column->ColumnDefault(), R::Exact}};
    }
    case TDriftKind::Index:
      return {{"IS_UNIQUE", BoolText(static_cast<const TDatabaseIndex*>(AObject)->Unique()), R::Exact}};
    case TDriftKind::Check: {
      const auto* Check = static_cast<const TDatabaseCheckConstraint*>(AObject);
      return {{"TABLE", DottedName(Check->TableSchema(), Check->TableName()), R::IgnoreCase},
              {"CHECK_CLAUSE", Check->CheckClause(), R::Definition}};
    }
    case TDriftKind::ForeignKey: {
      const auto* Key = static_cast<const TDatabaseReferentialConstraint*>(AObject);
      return {{"TABLE", DottedName(Key->TableSchema(), Key->TableName()), R::IgnoreCase},
              {"UNIQUE_CONSTRAINT", DottedName(Key->UniqueConstraintSchema(), Key->UniqueConstraintName()),
               R::IgnoreCase},
              {"UPDATE_RULE", Key->UpdateRule(), R::IgnoreCase},
              {"DELETE_RULE", Key->DeleteRule(), R::IgnoreCase}};
    }
    case TDriftKind::TablePrivilege:
    case TDriftKind::RoutinePrivilege: {
      const auto* Privilege = static_cast<const TDbPrivilege*>(AObject);
      return {{"PRIVILEGE_STATE", Privilege->PrivilegeState(), R::IgnoreCase},
              {"GRANTOR", Privilege->Grantor(), R::IgnoreCase}};
    }
    case TDriftKind::View: {
      const auto* View = static_cast<const TDatabaseView*>(AObject);
      return {{"DEFINITION_UNREADABLE", BoolText(View->DefinitionUnreadable()), R::Exact},
              {"VIEW_DEFINITION", View->GetViewDefinition(), R::Definition, View->DefinitionUnreadable()}};
    }
    case TDriftKind::Routine: {
      const auto* Routine = static_cast<const TDatabaseRoutine*>(AObject);
      return {{"ROUTINE_TYPE", Routine->RoutineType(), R::IgnoreCase},
              {"DEFINITION_UNREADABLE", BoolText(Routine->DefinitionUnreadable()), R::Exact},
              {"ROUTINE_DEFINITION", Routine->SourceCode(), R::Definition, Routine->DefinitionUnreadable()}};
    }
  }
  return {};
}

bool SameValue(const TFieldValue& ABaseline, const TFieldValue& ATarget) {
  if (ABaseline.Unknown || ATarget.Unknown || ABaseline.Value == ATarget.Value)
    return true;
  switch (ABaseline.Rule) {
    case TFieldRule::Exact: return false;
    case TFieldRule::IgnoreCase: return ABaseline.Value.compare(ATarget.Value, Qt::CaseInsensitive) == 0;
    case TFieldRule::Definition: return SameNormalizedDefinition(ABaseline.Value, ATarget.Value);
  }
  return false;
}

// A schema's FullName and Key are upper-cased whatever the collation (the gold-standard
// compare and the snapshot files rely on that); drift names a schema as the database spells it
// and tells its names apart as the collation does.
QString SchemaNameAsWritten(const TDatabaseObject* AObject) {
  return QLatin1Char('[') + static_cast<const TDatabaseSchema*>(AObject)->SchemaName() + QLatin1Char(']');
}

// How an item names its object in the reports.
QString ShownName(TDriftKind AKind, const TDatabaseObject* AObject) {
  return AKind == TDriftKind::Schema ? SchemaNameAsWritten(AObject) : AObject->FullName();
}

// The key two objects of a kind are matched by. A privilege's key holds its state, which
// drift reports as a change instead: the state is cut out of the key, which keeps everything
// else (and the letter case rule) as the key has it.
QString MatchKey(TDriftKind AKind, const TDatabaseObject* AObject) {
  if (AKind == TDriftKind::Schema && AObject->CaseSensitiveKey())
    return SchemaNameAsWritten(AObject);
  const QString Key = AObject->Key();
  if (AKind != TDriftKind::TablePrivilege && AKind != TDriftKind::RoutinePrivilege)
    return Key;
  const auto* Privilege = static_cast<const TDbPrivilege*>(AObject);
  // "SCHEMA.TABLE.STATE.TYPE.GRANTEE" and "[SCHEMA].[ROUTINE] STATE [GRANTEE]".
  const qsizetype Decoration = AKind == TDriftKind::TablePrivilege ? 2 : 5;
  const qsizetype StateAt = Privilege->SchemaName().size() + Privilege->ObjectName().size() + Decoration;
  return Key.left(StateAt) + Key.mid(StateAt + Privilege->PrivilegeState().size() + 1);
}

// The texts of the tables of one side.
class TSideTables {
public:
  explicit TSideTables(const TDriftSide& ASide) : FSide(ASide) {}

  const TDriftSide& Side() const { return FSide; }

  QString TableText(const QString& ATableKey) {
    const TDatabaseTable* Table = FSide.Table(ATableKey);
    return Table ? quillon::TableText(*Table, FSide.ColumnsOf(ATableKey)) : QString();
  }

private:
  const TDriftSide& FSide;
};

class TDriftComparison {
public:
  TDriftComparison(const TDriftSide& ABaseline, const TDriftSide& ATarget, const TDriftOptions& AOptions)
      : FBaseline(ABaseline), FTarget(ATarget), FOptions(AOptions), FBaselineTables(ABaseline),
        FTargetTables(ATarget), FMixedCaseRules(ABaseline.CaseSensitiveNames != ATarget.CaseSensitiveNames) {}

  TDriftResult Run() {
    if (!FBaseline.DatabaseName.isEmpty() &&
        FBaseline.DatabaseName.compare(FTarget.DatabaseName, Qt::CaseInsensitive) != 0)
      FResult.Notes.append(QStringLiteral("The baseline describes the database %1 on %2, the target is %3 on %4.")
                               .arg(FBaseline.DatabaseName, FBaseline.Server, FTarget.DatabaseName, FTarget.Server));
    if (FMixedCaseRules)
      FResult.Notes.append(QStringLiteral("Only the %1 tells names apart by letter case; names are compared ignoring it.")
                               .arg(FBaseline.CaseSensitiveNames ? QStringLiteral("baseline") : QStringLiteral("target")));
    for (std::size_t Kind = 0; Kind < DriftKindCount; ++Kind)
      CompareKind(static_cast<TDriftKind>(Kind));
    return std::move(FResult);
  }

private:
  // The match key the column's table has on the column's side.
  QString MatchTableKey(const TDatabaseColumn* AColumn) const {
    TDatabaseObjectName Table(AColumn->SchemaName(), AColumn->TableName());
    Table.SetCaseSensitiveKey(!FMixedCaseRules && FBaseline.CaseSensitiveNames);
    return Table.Key();
  }

  bool Excluded(TDriftKind AKind, const TDatabaseObject* AObject) const {
    if (AKind == TDriftKind::Table && !static_cast<const TDatabaseTable*>(AObject)->IsBaseTable())
      return true;  // views are compared as views
    if (AKind == TDriftKind::Column) {
      const auto* Column = static_cast<const TDatabaseColumn*>(AObject);
      if (FTablesAddedOrRemoved.contains(MatchTableKey(Column)))
        return true;
    }
    if (FOptions.IgnoreList && FOptions.IgnoreList->ContainsName(AObject))
      return true;
    return !FOptions.Filter.IsEmpty() && !FOptions.Filter.Accepts(FilterName(*AObject));
  }

  // The side's objects of a kind that take part, by match key; a key met again is noted and
  // its later objects are left out.
  QHash<QString, const TDatabaseObject*> Index(TDriftKind AKind, const TDriftSide& ASide, const QString& ASideName) {
    QHash<QString, const TDatabaseObject*> Objects;
    Objects.reserve(static_cast<qsizetype>(ASide.Objects(AKind).size()));
    for (const TDatabaseObject* Object : ASide.Objects(AKind)) {
      if (Excluded(AKind, Object))
        continue;
      const QString Key = FMixedCaseRules ? AnsiUpperCase(MatchKey(AKind, Object)) : MatchKey(AKind, Object);
      if (Objects.contains(Key))
        FResult.Notes.append(QStringLiteral("The %1 holds the %2 %3 more than once; the first is compared.")
                                 .arg(ASideName, DriftKindName(AKind), ShownName(AKind, Object)));
      else
        Objects.insert(Key, Object);
    }
    return Objects;
  }

  QString Text(TDriftKind AKind, const TDatabaseObject* AObject, TSideTables& ATables) const {
    switch (AKind) {
      case TDriftKind::Schema: return SchemaText(*static_cast<const TDatabaseSchema*>(AObject));
      case TDriftKind::Table: return ATables.TableText(AObject->Key());
      case TDriftKind::Column: {
        const auto* Column = static_cast<const TDatabaseColumn*>(AObject);
        return ATables.TableText(ATables.Side().TableKey(Column->SchemaName(), Column->TableName()));
      }
      case TDriftKind::Index: return IndexText(*static_cast<const TDatabaseIndex*>(AObject));
      case TDriftKind::ForeignKey: return ForeignKeyText(*static_cast<const TDatabaseReferentialConstraint*>(AObject));
      case TDriftKind::TablePrivilege: return TablePrivilegeText(*static_cast<const TTablePrivilege*>(AObject));
      case TDriftKind::RoutinePrivilege: return RoutinePrivilegeText(*static_cast<const TRoutinePrivilege*>(AObject));
      default: return dynamic_cast<const ICodedObject*>(AObject)->DDL();
    }
  }

  TDriftItem Item(TDriftKind AKind, const TDatabaseObject* ABaseline, const TDatabaseObject* ATarget,
                  TDriftChange AChange) {
    TDriftItem Item;
    Item.Kind = AKind;
    Item.FullName = ShownName(AKind, ATarget ? ATarget : ABaseline);
    Item.Change = AChange;
    if (FOptions.Texts && ABaseline)
      Item.BaselineText = Text(AKind, ABaseline, FBaselineTables);
    if (FOptions.Texts && ATarget)
      Item.TargetText = Text(AKind, ATarget, FTargetTables);
    return Item;
  }

  void CompareKind(TDriftKind AKind) {
    const QHash<QString, const TDatabaseObject*> Baseline = Index(AKind, FBaseline, QStringLiteral("baseline"));
    const QHash<QString, const TDatabaseObject*> Target = Index(AKind, FTarget, QStringLiteral("target"));
    QList<TDriftItem> Items;
    for (auto It = Target.constBegin(); It != Target.constEnd(); ++It) {
      const TDatabaseObject* Base = Baseline.value(It.key());
      if (FOptions.ListCompared)
        FResult.Compared.append({AKind, ShownName(AKind, It.value())});
      if (!Base) {
        Items.append(Item(AKind, nullptr, It.value(), TDriftChange::Added));
        if (AKind == TDriftKind::Table)
          FTablesAddedOrRemoved.insert(It.key());
        continue;
      }
      const std::vector<TFieldValue> BaseFields = FieldValues(AKind, Base);
      const std::vector<TFieldValue> TargetFields = FieldValues(AKind, It.value());
      QList<TDriftField> Changed;
      for (std::size_t Field = 0; Field < BaseFields.size(); ++Field)
        if (!SameValue(BaseFields[Field], TargetFields[Field]))
          Changed.append({QLatin1String(BaseFields[Field].Name), BaseFields[Field].Value, TargetFields[Field].Value});
      if (Changed.isEmpty())
        continue;
      Items.append(Item(AKind, Base, It.value(), TDriftChange::Changed));
      Items.last().Fields = std::move(Changed);
    }
    for (auto It = Baseline.constBegin(); It != Baseline.constEnd(); ++It) {
      if (Target.contains(It.key()))
        continue;
      if (FOptions.ListCompared)
        FResult.Compared.append({AKind, ShownName(AKind, It.value())});
      Items.append(Item(AKind, It.value(), nullptr, TDriftChange::Removed));
      if (AKind == TDriftKind::Table)
        FTablesAddedOrRemoved.insert(It.key());
    }
    std::sort(Items.begin(), Items.end(), [](const TDriftItem& A, const TDriftItem& B) {
      return A.FullName.compare(B.FullName, Qt::CaseInsensitive) < 0;
    });
    FResult.Items.append(Items);
  }

  const TDriftSide& FBaseline;
  const TDriftSide& FTarget;
  const TDriftOptions& FOptions;
  TSideTables FBaselineTables;
  TSideTables FTargetTables;
  QSet<QString> FTablesAddedOrRemoved;
  // One side keys names with their case, the other upper-cased: keys are upper-cased to meet.
  bool FMixedCaseRules;
  TDriftResult FResult;
};

}  // namespace

QString DriftChangeName(TDriftChange AChange) {
  switch (AChange) {
    case TDriftChange::Added: return QStringLiteral("added");
    case TDriftChange::Removed: return QStringLiteral("removed");
    case TDriftChange::Changed: break;
  }
  return QStringLiteral("changed");
}

TDriftResult CompareDrift(const TDriftSide& ABaseline, const TDriftSide& ATarget, const TDriftOptions& AOptions) {
  return TDriftComparison(ABaseline, ATarget, AOptions).Run();
}

}  // namespace quillon
