#include "support/CatalogueFixture.h"

#include "catalogue/Catalogue.Read.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"

namespace quillon::test {

namespace {

struct TCatalogueView {
  QStringList Fields;
  // The column that carries the element's text, if any.
  QString TextField;
};

// The columns each catalogue query returns, as the server names them.
TCatalogueView CatalogueView(const QString& ANodeName) {
  static const QHash<QString, TCatalogueView> Views = {
      {"SCHEMA", {{"CATALOG_NAME", "SCHEMA_NAME", "SCHEMA_OWNER"}, {}}},
      {"TABLE", {{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}, {}}},
      {"COLUMN",
       {{"TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION", "COLUMN_DEFAULT", "IS_NULLABLE", "DATA_TYPE",
         "CHARACTER_MAXIMUM_LENGTH", "NUMERIC_PRECISION", "NUMERIC_SCALE"},
        {}}},
      {"INDEX", {{"TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME", "IS_UNIQUE"}, {}}},
      {"CHECK_CONSTRAINT", {{"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "CHECK_CLAUSE", "TABLE_NAME", "TABLE_SCHEMA"}, {}}},
      {"REFERENTIAL_CONSTRAINT",
       {{"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "UNIQUE_CONSTRAINT_SCHEMA", "UNIQUE_CONSTRAINT_NAME", "MATCH_OPTION",
         "UPDATE_RULE", "DELETE_RULE", "TABLE_NAME", "TABLE_SCHEMA"},
        {}}},
      {"TABLE_PRIVILEGE",
       {{"GRANTOR", "GRANTEE", "TABLE_SCHEMA", "TABLE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"}, {}}},
      {"ROUTINE_PRIVILEGE",
       {{"GRANTOR", "GRANTEE", "ROUTINE_SCHEMA", "ROUTINE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"}, {}}},
      {"VIEW",
       {{"TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION", "CHECK_OPTION", "USES_QUOTED_IDENTIFIER", "USES_ANSI_NULLS"},
        "VIEW_DEFINITION"}},
      {"ROUTINE",
       {{"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION", "USES_QUOTED_IDENTIFIER",
         "USES_ANSI_NULLS"},
        "ROUTINE_DEFINITION"}},
  };
  return Views.value(ANodeName);
}

// A module's SET options, where the catalogue does not name them, are those of a module created
// through ODBC, as the TDS test server answers too.
const QStringList ModuleOptions = {"USES_QUOTED_IDENTIFIER", "USES_ANSI_NULLS"};

QVariant ColumnValue(const QString& AField, const QString& AText) {
  static const QStringList Numbers = {"ORDINAL_POSITION", "CHARACTER_MAXIMUM_LENGTH", "NUMERIC_PRECISION",
                                      "NUMERIC_SCALE"};
  if (ModuleOptions.contains(AField))
    return AText != QLatin1String("0");
  if (AField == QLatin1String("IS_UNIQUE"))
    return AText.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || AText == QLatin1String("1");
  bool Ok = false;
  const qint32 Number = AText.toInt(&Ok);
  return Numbers.contains(AField) && Ok ? QVariant(Number) : QVariant(AText);
}

}  // namespace

void ScriptCatalogue(TMemorySQL& ASql, const TXmlDocument& ACatalogue, const TSnapshotLists& ALists) {
  const TXmlNode* Root = ACatalogue.DocumentElement();
  ASql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{Root->Attribute(QStringLiteral("DatabaseName"))}});
  ASql.AddResult(QStringLiteral("SELECT DATABASEPROPERTYEX(DB_NAME(), 'Collation')"), {QString()},
                 {{Root->Attribute(QStringLiteral("Collation"), QStringLiteral("SQL_Latin1_General_CP1_CI_AS"))}});
  for (TDatabaseObjectList* List : ALists.All()) {
    const TCatalogueView View = CatalogueView(List->NodeName());
    TScriptedResult Result;
    Result.Fields = View.Fields;
    const TXmlNode* Container = Root->ChildElement(List->ListName());
    if (!Container && List == ALists.Indices)
      Container = Root->ChildElement(IndicesContainerName);
    const qsizetype Objects = Container ? static_cast<qsizetype>(Container->ChildNodes().size()) : 0;
    for (qsizetype I = 0; I < Objects; ++I) {
      const TXmlNode* Node = Container->ChildNodes()[I].get();
      if (!Node->IsElement() || Node->NodeName() != List->NodeName())
        continue;
      QVariantList Row;
      for (const QString& Field : View.Fields) {
        if (Field == View.TextField)
          Row.append(IsUnreadableNode(Node) ? QVariant() : QVariant(Node->Text()));
        else if (Node->HasAttribute(Field) || ModuleOptions.contains(Field))
          Row.append(ColumnValue(Field, Node->Attribute(Field)));
        else
          Row.append(QVariant());
      }
      Result.Rows.append(Row);
    }
    ASql.AddResult(CatalogueQuery(*List), std::move(Result));
  }
}

struct TCatalogueLists::TOwned {
  explicit TOwned(ILog* ALog)
      : Schemata(ALog),
        Tables(ALog),
        Columns(ALog),
        Indices(ALog),
        CheckConstraints(ALog),
        ReferentialConstraints(ALog),
        TablePrivileges(ALog),
        RoutinePrivileges(ALog),
        Views(ALog),
        Routines(ALog) {}
  TDatabaseSchemaList Schemata;
  TDatabaseTableList Tables;
  TDatabaseColumnList Columns;
  TDatabaseIndexList Indices;
  TCheckConstraintList CheckConstraints;
  TForeignKeyList ReferentialConstraints;
  TTablePrivilegeList TablePrivileges;
  TRoutinePrivilegeList RoutinePrivileges;
  TDatabaseViewList Views;
  TDatabaseRoutineList Routines;
};

TCatalogueLists::TCatalogueLists(ILog* ALog)
    : FOwned(std::make_unique<TOwned>(ALog)),
      FLists{&FOwned->Schemata,         &FOwned->Tables,          &FOwned->Columns,
             &FOwned->Indices,          &FOwned->CheckConstraints, &FOwned->ReferentialConstraints,
             &FOwned->TablePrivileges,  &FOwned->RoutinePrivileges, &FOwned->Views,
             &FOwned->Routines} {}

TCatalogueLists::~TCatalogueLists() = default;

void TCatalogueLists::Load(ISQL* ASQL) const {
  for (TDatabaseObjectList* List : FLists.All())
    LoadFromCatalogue(*List, ASQL);
}

qint32 TCatalogueLists::Count() const {
  qint32 Result = 0;
  for (TDatabaseObjectList* List : FLists.All())
    Result += List->Count();
  return Result;
}

}  // namespace quillon::test
