// Each list's catalogue query and each kind's catalogue row, and reading a list with them.
#include "catalogue/Catalogue.Read.h"

#include "database/Database.DataSet.h"
#include "database/Database.Interfaces.h"
#include "infra/logging/Logging.Interfaces.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"

#include <QScopeGuard>

namespace quillon {

namespace {

const QString QuotedIdentifierColumn = QStringLiteral("USES_QUOTED_IDENTIFIER");
const QString AnsiNullsColumn = QStringLiteral("USES_ANSI_NULLS");

// A select-list item giving the whole source text of the module named by the two columns
// (schema and name), as AAlias. The name is built with QUOTENAME, so that points, brackets
// and quotes in either part cannot change which object it names.
QString ModuleDefinitionColumn(const QString& ASchemaColumn, const QString& ANameColumn, const QString& AAlias) {
  return Format(QStringLiteral("OBJECT_DEFINITION(OBJECT_ID(QUOTENAME(%s)+'.'+QUOTENAME(%s))) AS %s"),
                {ASchemaColumn, ANameColumn, AAlias});
}

// The SET options a module was created with: the columns and the LEFT JOIN of sys.sql_modules
// as m for the object named by the two columns.
QString SetOptionsColumns() {
  return QStringLiteral(",m.uses_quoted_identifier AS %1,m.uses_ansi_nulls AS %2").arg(QuotedIdentifierColumn,
                                                                                        AnsiNullsColumn);
}

QString SetOptionsJoin(const QString& ASchemaColumn, const QString& ANameColumn) {
  return QStringLiteral(" LEFT JOIN sys.sql_modules m ON m.object_id=OBJECT_ID(QUOTENAME(%1)+'.'+QUOTENAME(%2))")
      .arg(ASchemaColumn, ANameColumn);
}

TModuleSetOptions SetOptionsOf(TDataSet& ARow) {
  return TModuleSetOptions(GetFieldFlag(ARow, QuotedIdentifierColumn), GetFieldFlag(ARow, AnsiNullsColumn));
}

// Both constraint lists read their catalogue view joined with the column usage view, which
// gives each constraint its table. AColumns and AJoin extend the query: further select-list
// items and joins after the column-usage view. Constraint names are unique per schema only, so
// the usage view is joined on both.
QString ConstraintQuery(const TDatabaseObjectList& AList, const QString& AColumns = QString(),
                        const QString& AJoin = QString()) {
  return Format(QStringLiteral("SELECT DISTINCT c.*,u.TABLE_NAME,u.TABLE_SCHEMA%s FROM INFORMATION_SCHEMA.%s c "
                               "JOIN INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE u "
                               "ON u.CONSTRAINT_SCHEMA=c.CONSTRAINT_SCHEMA AND u.CONSTRAINT_NAME=c.CONSTRAINT_NAME%s "
                               "ORDER BY c.CONSTRAINT_SCHEMA,c.CONSTRAINT_NAME"),
                {AColumns, AList.ListName(), AJoin});
}

QString GenericQuery(const TDatabaseObjectList& AList, const QString& AOrderBy) {
  return Trim(Format(QStringLiteral("SELECT * FROM INFORMATION_SCHEMA.%s %s"), {AList.ListName(), AOrderBy}));
}

void LoadSchema(TDatabaseSchema& ASchema, TDataSet& ARow) {
  const QString Name = GetFieldText(ARow, QStringLiteral("SCHEMA_NAME"));
  ASchema.SetName(Name, Name);
  ASchema.SetSchemaOwner(GetFieldText(ARow, QStringLiteral("SCHEMA_OWNER")));
}

void LoadTable(TDatabaseTable& ATable, TDataSet& ARow) {
  ATable.SetName(GetFieldText(ARow, QStringLiteral("TABLE_SCHEMA")), GetFieldText(ARow, QStringLiteral("TABLE_NAME")));
  ATable.SetTableType(GetFieldText(ARow, QStringLiteral("TABLE_TYPE")));
}

void LoadView(TDatabaseView& AView, TDataSet& ARow) {
  AView.SetName(GetFieldText(ARow, QStringLiteral("TABLE_SCHEMA")), GetFieldText(ARow, QStringLiteral("TABLE_NAME")));
  const QVariant Definition = GetFieldValue(ARow, QStringLiteral("VIEW_DEFINITION"));
  AView.SetDefinitionUnreadable(Definition.isNull());
  AView.SetViewDefinition(Trim(VarToStr(Definition)));
  AView.SetSetOptions(SetOptionsOf(ARow));
  AView.SetIndexed(GetFieldFlag(ARow, QStringLiteral("IS_INDEXED")).value_or(false));
}

void LoadColumn(TDatabaseColumn& AColumn, TDataSet& ARow) {
  AColumn.SetName(GetFieldText(ARow, QStringLiteral("TABLE_SCHEMA")), GetFieldText(ARow, QStringLiteral("COLUMN_NAME")));
  AColumn.SetTableName(GetFieldText(ARow, QStringLiteral("TABLE_NAME")));
  AColumn.SetDataType(GetFieldText(ARow, QStringLiteral("DATA_TYPE")));
  AColumn.SetIsNullable(GetFieldText(ARow, QStringLiteral("IS_NULLABLE")));
  AColumn.SetCharacterMaximumLength(StrToIntDef(GetFieldText(ARow, QStringLiteral("CHARACTER_MAXIMUM_LENGTH")), 0));
  AColumn.SetColumnDefault(GetFieldText(ARow, QStringLiteral("COLUMN_DEFAULT")));
  const bool Numeric = AColumn.HasPrecisionAndScale();
  AColumn.SetNumericPrecision(Numeric ? VarToInt(GetFieldValue(ARow, QStringLiteral("NUMERIC_PRECISION"))) : 0);
  AColumn.SetNumericScale(Numeric ? StrToIntDef(GetFieldText(ARow, QStringLiteral("NUMERIC_SCALE")), 0) : 0);
}

void LoadIndex(TDatabaseIndex& AIndex, TDataSet& ARow) {
  AIndex.SetName(ARow.FieldByName(QStringLiteral("TABLE_SCHEMA")).AsString(),
                 ARow.FieldByName(QStringLiteral("INDEX_NAME")).AsString());
  AIndex.SetTableName(ARow.FieldByName(QStringLiteral("TABLE_NAME")).AsString());
  AIndex.SetUnique(ARow.FieldByName(QStringLiteral("IS_UNIQUE")).AsBoolean());
}

void LoadRoutine(TDatabaseRoutine& ARoutine, TDataSet& ARow) {
  ARoutine.SetName(GetFieldText(ARow, QStringLiteral("ROUTINE_SCHEMA")), GetFieldText(ARow, QStringLiteral("ROUTINE_NAME")));
  ARoutine.SetRoutineType(GetFieldText(ARow, QStringLiteral("ROUTINE_TYPE")));
  const QVariant Definition = GetFieldValue(ARow, QStringLiteral("ROUTINE_DEFINITION"));
  ARoutine.SetDefinitionUnreadable(Definition.isNull());
  ARoutine.SetSourceCode(Trim(VarToStr(Definition)));
  ARoutine.SetSetOptions(SetOptionsOf(ARow));
}

void LoadConstraint(TDatabaseConstraint& AConstraint, TDataSet& ARow) {
  AConstraint.SetName(GetFieldText(ARow, QStringLiteral("CONSTRAINT_SCHEMA")),
                      GetFieldText(ARow, QStringLiteral("CONSTRAINT_NAME")));
  AConstraint.SetTable(GetFieldText(ARow, QStringLiteral("TABLE_SCHEMA")), GetFieldText(ARow, QStringLiteral("TABLE_NAME")));
}

void LoadCheck(TDatabaseCheckConstraint& ACheck, TDataSet& ARow) {
  LoadConstraint(ACheck, ARow);
  ACheck.SetCheckClause(GetFieldText(ARow, QStringLiteral("CHECK_CLAUSE")));
  ACheck.SetNotForReplication(GetFieldFlag(ARow, QStringLiteral("IS_NOT_FOR_REPLICATION")).value_or(false));
  ACheck.SetNotTrusted(GetFieldFlag(ARow, QStringLiteral("IS_NOT_TRUSTED")).value_or(false));
}

void LoadForeignKey(TDatabaseReferentialConstraint& AKey, TDataSet& ARow) {
  LoadConstraint(AKey, ARow);
  AKey.SetUniqueConstraint(GetFieldText(ARow, QStringLiteral("UNIQUE_CONSTRAINT_SCHEMA")),
                           GetFieldText(ARow, QStringLiteral("UNIQUE_CONSTRAINT_NAME")));
  AKey.SetRules(GetFieldText(ARow, QStringLiteral("UPDATE_RULE")), GetFieldText(ARow, QStringLiteral("DELETE_RULE")));
}

void LoadTablePrivilege(TTablePrivilege& APrivilege, TDataSet& ARow) {
  APrivilege.SetName(GetFieldText(ARow, QStringLiteral("TABLE_SCHEMA")), GetFieldText(ARow, QStringLiteral("TABLE_NAME")));
  APrivilege.SetPrivilegeType(GetFieldText(ARow, QStringLiteral("PRIVILEGE_TYPE")));
  APrivilege.SetState(GetFieldText(ARow, QStringLiteral("PRIVILEGE_STATE")));
  APrivilege.SetGrantor(GetFieldText(ARow, QStringLiteral("GRANTOR")));
  APrivilege.SetGrantee(GetFieldText(ARow, QStringLiteral("GRANTEE")));
}

void LoadRoutinePrivilege(TRoutinePrivilege& APrivilege, TDataSet& ARow) {
  APrivilege.SetName(GetFieldText(ARow, QStringLiteral("ROUTINE_SCHEMA")),
                     GetFieldText(ARow, QStringLiteral("ROUTINE_NAME")));
  APrivilege.SetGrantor(FieldExists(ARow, QStringLiteral("GRANTOR")) ? GetFieldText(ARow, QStringLiteral("GRANTOR"))
                                                                     : QStringLiteral("dbo"));
  APrivilege.SetGrantee(GetFieldText(ARow, QStringLiteral("GRANTEE")));
  APrivilege.SetState(GetFieldText(ARow, QStringLiteral("PRIVILEGE_STATE")));
}

// Calls ALoad when AObject is a T; false when it is not.
template <class T>
bool LoadAs(TDatabaseObject& AObject, TDataSet& ARow, void (*ALoad)(T&, TDataSet&)) {
  auto* Object = dynamic_cast<T*>(&AObject);
  if (Object)
    ALoad(*Object, ARow);
  return Object != nullptr;
}

}  // namespace

QString CatalogueQuery(const TDatabaseObjectList& AList) {
  if (dynamic_cast<const TDatabaseSchemaList*>(&AList))
    return QStringLiteral("SELECT * FROM INFORMATION_SCHEMA.SCHEMATA ORDER BY SCHEMA_NAME,SCHEMA_OWNER");
  if (dynamic_cast<const TDatabaseTableList*>(&AList))
    return GenericQuery(AList, QStringLiteral("ORDER BY TABLE_SCHEMA,TABLE_NAME"));
  if (dynamic_cast<const TDatabaseColumnList*>(&AList))
    return GenericQuery(AList, QStringLiteral("ORDER BY TABLE_SCHEMA,COLUMN_NAME"));
  // VIEW_DEFINITION of the catalogue view is nvarchar(4000) and cuts longer definitions.
  if (dynamic_cast<const TDatabaseViewList*>(&AList))
    return QStringLiteral("SELECT TABLE_SCHEMA,TABLE_NAME,") +
           ModuleDefinitionColumn(QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME"),
                                  QStringLiteral("VIEW_DEFINITION")) +
           SetOptionsColumns() +
           QStringLiteral(",OBJECTPROPERTY(m.object_id,'IsIndexed') AS IS_INDEXED FROM INFORMATION_SCHEMA.VIEWS") +
           SetOptionsJoin(QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")) +
           QStringLiteral(" ORDER BY TABLE_SCHEMA,TABLE_NAME");
  if (dynamic_cast<const TDatabaseIndexList*>(&AList))
    return QStringLiteral(
        "SELECT SCHEMA_NAME(t.schema_id) as TABLE_SCHEMA,t.name as TABLE_NAME,i.name as INDEX_NAME,"
        "i.is_unique AS IS_UNIQUE FROM sys.indexes i JOIN sys.tables t on i.object_id=t.object_id "
        "WHERE i.is_primary_key = 0 AND i.type=2 AND i.is_hypothetical = 0");
  // "dt[_]" escapes the underscore, which LIKE would otherwise take for any character.
  if (dynamic_cast<const TDatabaseRoutineList*>(&AList))
    return QStringLiteral("SELECT ROUTINE_NAME,ROUTINE_SCHEMA,ROUTINE_TYPE,") +
           ModuleDefinitionColumn(QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("ROUTINE_NAME"),
                                  QStringLiteral("ROUTINE_DEFINITION")) +
           SetOptionsColumns() + QStringLiteral(" FROM INFORMATION_SCHEMA.ROUTINES") +
           SetOptionsJoin(QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("ROUTINE_NAME")) +
           QStringLiteral(" WHERE NOT ( ROUTINE_NAME LIKE 'dt[_]%' ) ORDER BY ROUTINE_SCHEMA,ROUTINE_NAME");
  if (dynamic_cast<const TCheckConstraintList*>(&AList))
    return ConstraintQuery(
        AList, QStringLiteral(",k.is_not_for_replication AS IS_NOT_FOR_REPLICATION,k.is_not_trusted AS IS_NOT_TRUSTED"),
        QStringLiteral(" LEFT JOIN sys.check_constraints k "
                       "ON k.object_id=OBJECT_ID(QUOTENAME(c.CONSTRAINT_SCHEMA)+'.'+QUOTENAME(c.CONSTRAINT_NAME))"));
  if (dynamic_cast<const TForeignKeyList*>(&AList))
    return ConstraintQuery(AList);
  // Only object-level rows: a column's grant (minor_id > 0) or a grant on a schema or the
  // database (another class) is no grant on the table. Type codes are spelled as the catalogue
  // stores them, in upper case, which a case-sensitive database insists on.
  if (dynamic_cast<const TTablePrivilegeList*>(&AList))
    return QStringLiteral(
        "SELECT USER_NAME(grantor_principal_id) AS GRANTOR, USER_NAME(grantee_principal_id) AS GRANTEE,"
        "SCHEMA_NAME(o.schema_id) as TABLE_SCHEMA, OBJECT_NAME(major_id) AS TABLE_NAME, "
        "permission_name AS PRIVILEGE_TYPE, state_desc AS PRIVILEGE_STATE "
        "FROM sys.database_permissions p JOIN sys.all_objects o on o.object_id=p.major_id "
        "WHERE p.class=1 AND p.minor_id=0 AND o.type='U' ORDER BY o.schema_id,grantee_principal_id");
  if (dynamic_cast<const TRoutinePrivilegeList*>(&AList))
    return QStringLiteral(
        "SELECT USER_NAME(grantor_principal_id) AS GRANTOR, USER_NAME(grantee_principal_id) AS GRANTEE,"
        "SCHEMA_NAME(o.schema_id) as ROUTINE_SCHEMA, OBJECT_NAME(major_id) AS ROUTINE_NAME, "
        "permission_name AS PRIVILEGE_TYPE, state_desc AS PRIVILEGE_STATE "
        "FROM sys.database_permissions p JOIN sys.all_objects o on o.object_id=p.major_id "
        "WHERE o.type IN ('P','FN','SN') AND permission_name='EXECUTE' AND NOT OBJECT_NAME(major_id) LIKE 'dt[_]%' "
        "ORDER BY o.schema_id,grantee_principal_id");
  return GenericQuery(AList, QString());
}

void LoadFromCatalogue(TDatabaseObjectList& AList, ISQL* ASQL,
                       const std::function<void(qint64 ARows, bool ADone)>& ARowsRead) {
  const auto RowsRead = [&ARowsRead](qint64 ARows, bool ADone) {
    if (ARowsRead)
      ARowsRead(ARows, ADone);
  };
  RowsRead(0, false);
  ILog* Log = AList.Log();
  const TMethodLog Method(Log, typeid(AList), QStringLiteral("Load"));

  AList.SetDbName(QString());
  TDataSet* Names = ASQL->FastQuery(QStringLiteral("SELECT DB_NAME()"));
  {
    const auto CloseNames = qScopeGuard([Names] { Names->Close(); });
    if (!Names->Eof())
      AList.SetDbName(Names->Fields(0).AsString());
  }

  AList.Clear();
  const QString Query = CatalogueQuery(AList);
  Log->LogSqlQuery(Query);
  TDataSet* Rows = ASQL->FastQuery(Query);
  const auto CloseRows = qScopeGuard([Rows] { Rows->Close(); });
  qint64 Read = 0;
  while (!Rows->Eof()) {
    if (++Read % 64 == 0)
      RowsRead(Read, false);
    std::unique_ptr<TDatabaseObject> Object = AList.AddElement();
    LoadFromRow(*Object, *Rows);
    Object->SetCaseSensitiveKey(AList.CaseSensitiveKeys());
    if (!AList.TryAdd(Object)) {
      Log->SilentWarning(QStringLiteral("Duplicate key: %s"), {Object->Key()});
      AList.AddDuplicateName(Object->FullName());
    }
    Rows->Next();
  }
  RowsRead(Read, true);
}

void LoadFromRow(TDatabaseObject& AObject, TDataSet& ARow) {
  if (!(LoadAs(AObject, ARow, LoadSchema) || LoadAs(AObject, ARow, LoadTable) || LoadAs(AObject, ARow, LoadView) ||
        LoadAs(AObject, ARow, LoadColumn) || LoadAs(AObject, ARow, LoadIndex) || LoadAs(AObject, ARow, LoadRoutine) ||
        LoadAs(AObject, ARow, LoadCheck) || LoadAs(AObject, ARow, LoadForeignKey) ||
        LoadAs(AObject, ARow, LoadTablePrivilege) || LoadAs(AObject, ARow, LoadRoutinePrivilege)))
    throw EAbstractError();
}

bool IsCaseSensitiveCollation(const QString& ACollation) {
  return ACollation.contains(QLatin1String("_CS_"), Qt::CaseInsensitive) ||
         ACollation.endsWith(QLatin1String("_CS"), Qt::CaseInsensitive) ||
         ACollation.endsWith(QLatin1String("_BIN"), Qt::CaseInsensitive) ||
         ACollation.endsWith(QLatin1String("_BIN2"), Qt::CaseInsensitive);
}

bool CaseSensitiveNames(ISQL* ASQL) {
  TDataSet* Collation = ASQL->FastQuery(QStringLiteral("SELECT DATABASEPROPERTYEX(DB_NAME(), 'Collation')"));
  const auto Close = qScopeGuard([Collation] { Collation->Close(); });
  return !Collation->Eof() && IsCaseSensitiveCollation(Collation->Fields(0).AsString());
}

TDateTime LastAltered(ISQL* ASQL, const TDatabaseRoutine& ARoutine) {
  constexpr TDateTime NotKnown = 1.0;
  TDataSet* Rows = ASQL->FastQuery(
      QStringLiteral("SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=:P0 AND SPECIFIC_NAME=:P1"),
      {ARoutine.RoutineSchema(), ARoutine.RoutineName()});
  const auto Close = qScopeGuard([Rows] { Rows->Close(); });
  return Rows->Eof() ? NotKnown : Rows->Fields(0).AsDateTime();
}

QVariant GetFieldValue(TDataSet& ADataset, const QString& AFieldName) {
  const TField* Field = ADataset.FindField(AFieldName);
  if (!Field)
    throw Exception(Format(QStringLiteral("Unknown field %s"), {AFieldName}));
  return Field->AsVariant();
}

bool FieldExists(TDataSet& ADataset, const QString& AFieldName) { return ADataset.FindField(AFieldName) != nullptr; }

QString GetFieldText(TDataSet& ADataset, const QString& AFieldName) {
  return VarToStr(GetFieldValue(ADataset, AFieldName));
}

std::optional<bool> GetFieldFlag(TDataSet& ADataset, const QString& AFieldName) {
  const TField* Field = ADataset.FindField(AFieldName);
  if (!Field || Field->IsNull())
    return std::nullopt;
  return Field->AsBoolean();
}

}  // namespace quillon
