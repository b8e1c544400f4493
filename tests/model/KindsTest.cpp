#include "catalogue/Catalogue.Read.h"
#include "catalogue/Catalogue.Store.h"
#include "gold/Gold.Compare.h"
#include "gold/Gold.Progress.h"
#include "gold/Gold.Publish.h"
#include "infra/xml/Support.Xml.h"
#include "repair/Repair.Alter.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "support/LoadedObject.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"
#include "support/RecordingService.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TLogEntry;
using test::TMemorySQL;
using test::TRecordingLog;
using test::TRecordingService;
using test::TSqlCall;

using test::Loaded;
using test::ParsedFrom;
using test::Written;

class TInfo : public ISourceDatabaseInfo {
public:
  QString DbName() override { return QStringLiteral("Shop"); }
  qint32 DbVer() override { return 7; }
};

TEST(Kinds, EveryListRunsItsCatalogueQuery) {
  TRecordingLog Log;
  TDatabaseSchemaList Schemata(&Log);
  TDatabaseTableList Tables(&Log);
  TDatabaseViewList Views(&Log);
  TDatabaseColumnList Columns(&Log);
  TDatabaseIndexList Indices(&Log);
  TDatabaseRoutineList Routines(&Log);
  TCheckConstraintList Checks(&Log);
  TForeignKeyList ForeignKeys(&Log);
  TTablePrivilegeList TablePrivileges(&Log);
  TRoutinePrivilegeList RoutinePrivileges(&Log);
  const struct {
    TDatabaseObjectList* List;
    const char* ListName;
    const char* Query;
  } Cases[] = {
      {&Schemata, "SCHEMAS", "SELECT * FROM INFORMATION_SCHEMA.SCHEMATA ORDER BY SCHEMA_NAME,SCHEMA_OWNER"},
      {&Tables, "TABLES", "SELECT * FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_SCHEMA,TABLE_NAME"},
      {&Views, "VIEWS",
       "SELECT TABLE_SCHEMA,TABLE_NAME,OBJECT_DEFINITION(OBJECT_ID(QUOTENAME(TABLE_SCHEMA)+'.'+QUOTENAME(TABLE_NAME))) "
       "AS VIEW_DEFINITION,m.uses_quoted_identifier AS USES_QUOTED_IDENTIFIER,m.uses_ansi_nulls AS USES_ANSI_NULLS,"
       "OBJECTPROPERTY(m.object_id,'IsIndexed') AS IS_INDEXED FROM INFORMATION_SCHEMA.VIEWS LEFT JOIN sys.sql_modules m "
       "ON m.object_id=OBJECT_ID(QUOTENAME(TABLE_SCHEMA)+'.'+QUOTENAME(TABLE_NAME)) ORDER BY TABLE_SCHEMA,TABLE_NAME"},
      {&Columns, "COLUMNS", "SELECT * FROM INFORMATION_SCHEMA.COLUMNS ORDER BY TABLE_SCHEMA,COLUMN_NAME"},
      {&Indices, "INDEXS",
       "SELECT SCHEMA_NAME(t.schema_id) as TABLE_SCHEMA,t.name as TABLE_NAME,i.name as INDEX_NAME,i.is_unique AS "
       "IS_UNIQUE FROM sys.indexes i JOIN sys.tables t on i.object_id=t.object_id WHERE i.is_primary_key = 0 AND "
       "i.type=2 AND i.is_hypothetical = 0"},
      {&Routines, "ROUTINES",
       "SELECT ROUTINE_NAME,ROUTINE_SCHEMA,ROUTINE_TYPE,"
       "OBJECT_DEFINITION(OBJECT_ID(QUOTENAME(ROUTINE_SCHEMA)+'.'+QUOTENAME(ROUTINE_NAME))) "
       "AS ROUTINE_DEFINITION,m.uses_quoted_identifier AS USES_QUOTED_IDENTIFIER,m.uses_ansi_nulls AS USES_ANSI_NULLS "
       "FROM INFORMATION_SCHEMA.ROUTINES LEFT JOIN sys.sql_modules m "
       "ON m.object_id=OBJECT_ID(QUOTENAME(ROUTINE_SCHEMA)+'.'+QUOTENAME(ROUTINE_NAME)) "
       "WHERE NOT ( ROUTINE_NAME LIKE 'dt[_]%' ) ORDER BY ROUTINE_SCHEMA,ROUTINE_NAME"},
      {&Checks, "CHECK_CONSTRAINTS",
       "SELECT DISTINCT c.*,u.TABLE_NAME,u.TABLE_SCHEMA,k.is_not_for_replication AS IS_NOT_FOR_REPLICATION,"
       "k.is_not_trusted AS IS_NOT_TRUSTED FROM INFORMATION_SCHEMA.CHECK_CONSTRAINTS c JOIN "
       "INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE u ON u.CONSTRAINT_SCHEMA=c.CONSTRAINT_SCHEMA AND "
       "u.CONSTRAINT_NAME=c.CONSTRAINT_NAME LEFT JOIN sys.check_constraints k "
       "ON k.object_id=OBJECT_ID(QUOTENAME(c.CONSTRAINT_SCHEMA)+'.'+QUOTENAME(c.CONSTRAINT_NAME)) "
       "ORDER BY c.CONSTRAINT_SCHEMA,c.CONSTRAINT_NAME"},
      {&ForeignKeys, "REFERENTIAL_CONSTRAINTS",
       "SELECT DISTINCT c.*,u.TABLE_NAME,u.TABLE_SCHEMA FROM INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS c JOIN "
       "INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE u ON u.CONSTRAINT_SCHEMA=c.CONSTRAINT_SCHEMA AND "
       "u.CONSTRAINT_NAME=c.CONSTRAINT_NAME ORDER BY c.CONSTRAINT_SCHEMA,c.CONSTRAINT_NAME"},
      {&TablePrivileges, "TABLE_PRIVILEGES",
       "SELECT USER_NAME(grantor_principal_id) AS GRANTOR, USER_NAME(grantee_principal_id) AS "
       "GRANTEE,SCHEMA_NAME(o.schema_id) as TABLE_SCHEMA, OBJECT_NAME(major_id) AS TABLE_NAME, permission_name AS "
       "PRIVILEGE_TYPE, state_desc AS PRIVILEGE_STATE FROM sys.database_permissions p JOIN sys.all_objects o on "
       "o.object_id=p.major_id WHERE p.class=1 AND p.minor_id=0 AND o.type='U' ORDER BY o.schema_id,grantee_principal_id"},
      {&RoutinePrivileges, "ROUTINE_PRIVILEGES",
       "SELECT USER_NAME(grantor_principal_id) AS GRANTOR, USER_NAME(grantee_principal_id) AS "
       "GRANTEE,SCHEMA_NAME(o.schema_id) as ROUTINE_SCHEMA, OBJECT_NAME(major_id) AS ROUTINE_NAME, permission_name AS "
       "PRIVILEGE_TYPE, state_desc AS PRIVILEGE_STATE FROM sys.database_permissions p JOIN sys.all_objects o on "
       "o.object_id=p.major_id WHERE o.type IN ('P','FN','SN') AND permission_name='EXECUTE' AND NOT "
       "OBJECT_NAME(major_id) LIKE 'dt[_]%' ORDER BY o.schema_id,grantee_principal_id"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.ListName);
    TMemorySQL Sql;
    Sql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{QStringLiteral("Shop")}});
    Sql.AddResult(QString::fromLatin1(Case.Query), {}, {});
    LoadFromCatalogue(*Case.List, &Sql);
    EXPECT_EQ(Sql.QueryTexts().last(), QString::fromLatin1(Case.Query));
    EXPECT_EQ(Case.List->ListName(), QString::fromLatin1(Case.ListName));
    EXPECT_EQ(HasGoldComparison(*Case.List),
              Case.List != &Tables && Case.List != &Columns && Case.List != &TablePrivileges &&
                  Case.List != &RoutinePrivileges);
  }
}

TEST(Schemata, NamesClassificationAndOwner) {
  const auto Sales = Loaded<TDatabaseSchema>({"SCHEMA_NAME", "SCHEMA_OWNER"}, {"Sales", "SALES"});
  EXPECT_EQ(Sales->FullName(), QStringLiteral("[SALES]"));
  EXPECT_EQ(Sales->Key(), QStringLiteral("[SALES]"));
  EXPECT_TRUE(Sales->OwnedBySelf());
  EXPECT_FALSE(Sales->OwnedByDbo());
  EXPECT_FALSE(ParsedFrom<TDatabaseSchema>("<SCHEMA SCHEMA_NAME=\"Sales\" SCHEMA_OWNER=\"Sales\"/>")->OwnedBySelf());
  EXPECT_TRUE(ParsedFrom<TDatabaseSchema>("<SCHEMA SCHEMA_NAME=\"Sales\"/>")->OwnedBySelf());

  const struct {
    const char* Name;
    const char* Owner;
    bool Private, Standard, OwnedByDbo;
  } Cases[] = {
      {"DOMAIN\\user", "DOMAIN\\user", true, false, false},
      {"db_owner", "DBO", false, true, true},
      {"DB_owner", "dbo", false, false, true},
      {"xdb_owner", "sa", false, false, false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const auto Schema = Loaded<TDatabaseSchema>({"SCHEMA_NAME", "SCHEMA_OWNER"}, {Case.Name, Case.Owner});
    EXPECT_EQ(Schema->IsPrivate(), Case.Private);
    EXPECT_EQ(Schema->IsStandard(), Case.Standard);
    EXPECT_EQ(Schema->OwnedByDbo(), Case.OwnedByDbo);
  }
  TRecordingService Service;
  TInfo Info;
  SaveToService(*Sales, &Service, Info.DbVer());
  EXPECT_EQ(Service.Calls, QStringList{"SaveDbSchema(Sales|SALES|7)"});
}

TEST(Tables, BaseTablesAndTheOwningSchema) {
  const struct {
    const char* Type;
    bool Base;
  } Cases[] = {{"BASE TABLE", true}, {"base table", true}, {"VIEW", false}, {"view", false}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Type);
    EXPECT_EQ(TDatabaseTable("dbo", "T", Case.Type).IsBaseTable(), Case.Base);
  }
  const auto Table = Loaded<TDatabaseTable>({"TABLE_NAME", "TABLE_SCHEMA", "TABLE_TYPE"}, {"Orders", "Sales", "VIEW"});
  EXPECT_EQ(Table->ParentObjectKey(), QStringLiteral("[SALES]"));
  EXPECT_EQ(Table->Key(), QStringLiteral("[SALES].[ORDERS]"));
  EXPECT_EQ(Written(*Table), QByteArray("<TABLE TABLE_SCHEMA=\"Sales\" TABLE_NAME=\"Orders\" TABLE_TYPE=\"VIEW\"/>"));
}

TEST(Views, LoadWriteAndSave) {
  auto View = Loaded<TDatabaseView>({"TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION"},
                                    {"dbo", "V", "\r\n  CREATE VIEW dbo.V AS SELECT 1  \r\n"});
  EXPECT_EQ(View->DDL(), QStringLiteral("CREATE VIEW dbo.V AS SELECT 1"));
  EXPECT_EQ(Written(*View),
            QByteArray("<VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"V\">&#xd;\nCREATE VIEW dbo.V AS SELECT 1&#xd;\n</VIEW>"));
  TMemorySQL Sql;
  SaveToDb(&Sql, *View, 7);
  EXPECT_EQ(Sql.Calls, (QList<TSqlCall>{{TSqlCall::Command, "EXEC dbo.SaveDbView :VS,:VN,:VD,:V",
                                         {"dbo", "V", "CREATE VIEW dbo.V AS SELECT 1", 7}, true}}));
  TRecordingService Service;
  SaveToService(*View, &Service, 9);
  EXPECT_EQ(Service.Calls, QStringList{"SaveDbView(dbo|V|CREATE VIEW dbo.V AS SELECT 1|9)"});
}

TEST(Columns, DefaultsLengthsPrecisionAndNames) {
  const QStringList Fields = {"TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "IS_NULLABLE",
                              "CHARACTER_MAXIMUM_LENGTH", "COLUMN_DEFAULT", "NUMERIC_PRECISION", "NUMERIC_SCALE"};
  const struct {
    QVariantList Row;
    QString DataType, Default;
    qint32 Length, Precision, Scale;
    QByteArray Element;
  } Cases[] = {
      {{"dbo", "Orders", "Total", "DECIMAL", "NO", QVariant(), "((0))", 10, 2}, "decimal", "(0)", 0, 10, 2,
       "<COLUMN TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" COLUMN_NAME=\"Total\" DATA_TYPE=\"decimal\" IS_NULLABLE=\"NO\" "
       "COLUMN_DEFAULT=\"(0)\" NUMERIC_PRECISION=\"10\" NUMERIC_SCALE=\"2\"/>"},
      {{"dbo", "Orders", "Total", "numeric", "NO", QVariant(), "((1))", 10, 2}, "numeric", "(1)", 0, 0, 0,
       "<COLUMN TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" COLUMN_NAME=\"Total\" DATA_TYPE=\"numeric\" IS_NULLABLE=\"NO\" "
       "COLUMN_DEFAULT=\"(1)\"/>"},
      {{"dbo", "Orders", "Note", "nvarchar", "YES", -1, "((10))", QVariant(), QVariant()}, "nvarchar", "((10))", -1, 0, 0,
       "<COLUMN TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" COLUMN_NAME=\"Note\" DATA_TYPE=\"nvarchar\" IS_NULLABLE=\"YES\" "
       "CHARACTER_MAXIMUM_LENGTH=\"-1\" COLUMN_DEFAULT=\"((10))\"/>"},
      {{"dbo", "Orders", "Id", "int", "NO", QVariant(), QVariant(), 10, 0}, "int", "", 0, 0, 0,
       "<COLUMN TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" COLUMN_NAME=\"Id\" DATA_TYPE=\"int\" IS_NULLABLE=\"NO\"/>"},
      // A precision of 0 is written too, or the element would not read back.
      {{"dbo", "Orders", "Rate", "money", "NO", QVariant(), QVariant(), 0, 0}, "money", "", 0, 0, 0,
       "<COLUMN TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" COLUMN_NAME=\"Rate\" DATA_TYPE=\"money\" IS_NULLABLE=\"NO\" "
       "NUMERIC_PRECISION=\"0\" NUMERIC_SCALE=\"0\"/>"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Element.toStdString());
    auto Column = Loaded<TDatabaseColumn>(Fields, Case.Row);
    EXPECT_EQ(Column->DataType(), Case.DataType);
    EXPECT_EQ(Column->ColumnDefault(), Case.Default);
    EXPECT_EQ(Column->CharacterMaximumLength(), Case.Length);
    EXPECT_EQ(Column->NumericPrecision(), Case.Precision);
    EXPECT_EQ(Column->NumericScale(), Case.Scale);
    EXPECT_EQ(Written(*Column), Case.Element);
    auto Read = ParsedFrom<TDatabaseColumn>(Case.Element);
    EXPECT_EQ(Written(*Read), Case.Element);
  }
  const auto Total = Loaded<TDatabaseColumn>(Fields, Cases[0].Row);
  EXPECT_EQ(Total->FullName(), QStringLiteral("dbo.Orders.Total"));
  EXPECT_EQ(Total->Key(), QStringLiteral("DBO.ORDERS.TOTAL"));
  EXPECT_EQ(Total->ParentObjectKey(), QStringLiteral("DBO.ORDERS"));
}

TEST(Columns, BadSnapshotValues) {
  EXPECT_EQ(ParsedFrom<TDatabaseColumn>("<COLUMN DATA_TYPE=\"nchar\" CHARACTER_MAXIMUM_LENGTH=\"ten\"/>")
                ->CharacterMaximumLength(),
            0);
  EXPECT_THROW(ParsedFrom<TDatabaseColumn>("<COLUMN DATA_TYPE=\"money\" NUMERIC_SCALE=\"4\"/>"), EConvertError);
  EXPECT_THROW(ParsedFrom<TDatabaseColumn>("<COLUMN DATA_TYPE=\"float\" NUMERIC_PRECISION=\"x\" NUMERIC_SCALE=\"0\"/>"),
               EConvertError);
  EXPECT_THROW(ParsedFrom<TDatabaseColumn>("<COL/>"), EAssertionFailed);
}

TEST(Columns, MatchesReportsTheFirstDifferenceThroughTheLogItIsGiven) {
  auto Column = [](const char* AType, qint32 ALength, const char* ANullable, const char* ADefault, qint32 AScale) {
    auto Result = std::make_unique<TDatabaseColumn>("dbo", "T", "C", AType);
    Result->SetCharacterMaximumLength(ALength);
    Result->SetIsNullable(QString::fromLatin1(ANullable));
    Result->SetColumnDefault(QString::fromLatin1(ADefault));
    Result->SetNumericScale(AScale);
    return Result;
  };
  const auto Target = Column("int", 4, "NO", "(0)", 0);
  const struct {
    std::unique_ptr<TDatabaseColumn> Source;
    TLogLevel Level;
    TLogEntry::TKind Kind;
    const char* Text;
  } Cases[] = {
      {Column("bigint", 8, "YES", "(0)", 0), ltError, TLogEntry::SilentError,
       "DataType is different: dbo.T.C ( Source: bigint <> Target: int)"},
      {Column("int", 8, "YES", "(0)", 0), ltWarning, TLogEntry::SilentWarning,
       "CharacterMaximumLength is different: dbo.T.C ( Source: 8 <> Target: 4)"},
      {Column("int", 4, "YES", "(1)", 0), ltWarning, TLogEntry::SilentWarning,
       "IsNullable is different: dbo.T.C ( Source: YES <> Target: NO)"},
      {Column("int", 4, "NO", "(1)", 0), ltWarning, TLogEntry::SilentWarning,
       "Default is different: dbo.T.C ( Source: (1) <> Target: (0))"},
      {Column("int", 4, "NO", "(0)", 2), ltWarning, TLogEntry::SilentWarning,
       "NumericScale is different: dbo.T.C ( Source: 2 <> Target: 0)"},
  };
  TRecordingLog Log;
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    Log.Entries.clear();
    EXPECT_EQ(Target->Matches(Case.Source.get(), &Log), Case.Level);
    EXPECT_EQ(Log.Entries, (QList<TLogEntry>{{Case.Kind, Case.Level, QString::fromLatin1(Case.Text)}}));
  }
  Log.Entries.clear();
  EXPECT_EQ(Target->Matches(Column("int", 4, "NO", "((0))", 0).get(), &Log), ltDebug);
  EXPECT_TRUE(Log.Entries.isEmpty());
  const TDatabaseTable Table;
  EXPECT_THROW(Target->Matches(&Table, &Log), EInvalidCast);
  try {
    Target->Matches(Target.get());
    FAIL() << "no exception";
  } catch (const EAssertionFailed& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Log must be assigned"));
  }
}

TEST(Indices, TheTableIsPartOfTheNameAndKey) {
  const QStringList Fields = {"TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME", "IS_UNIQUE"};
  auto Index = Loaded<TDatabaseIndex>(Fields, {"dbo", "T", "IX_A", true});
  EXPECT_EQ(Index->FullName(), QStringLiteral("[dbo].[T].[IX_A]"));
  EXPECT_EQ(Index->Key(), QStringLiteral("[DBO].[T].[IX_A]"));
  EXPECT_TRUE(Index->Unique());
  EXPECT_EQ(Written(*Index),
            QByteArray("<INDEX TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"T\" INDEX_NAME=\"IX_A\" IS_UNIQUE=\"true\"/>"));
  TRecordingService Service;
  TInfo Info;
  SaveToService(*Index, &Service, Info.DbVer());
  EXPECT_EQ(Service.Calls, QStringList{"SaveDbIndex(dbo|T|IX_A|true|7)"});

  // The same index name on two tables gives two objects.
  TRecordingLog Log;
  TDatabaseIndexList Indices(&Log);
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{QStringLiteral("Shop")}});
  Sql.AddResult(CatalogueQuery(Indices), Fields, {{"dbo", "T1", "IX", false}, {"dbo", "T2", "IX", 1}});
  LoadFromCatalogue(Indices, &Sql);
  EXPECT_EQ(Indices.Count(), 2);
  EXPECT_TRUE(Log.Texts(TLogEntry::SilentWarning).isEmpty());
}

TEST(Indices, ReadingTheUniqueFlagAndTheElementName) {
  const struct {
    const char* Value;
    bool Unique;
  } Cases[] = {{"true", true}, {"FALSE", false}, {"1", true}, {"0", false}, {"-1", true}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Value);
    EXPECT_EQ(ParsedFrom<TDatabaseIndex>("<INDEX IS_UNIQUE=\"" + QByteArray(Case.Value) + "\"/>")->Unique(),
              Case.Unique);
  }
  EXPECT_THROW(ParsedFrom<TDatabaseIndex>("<INDEX/>"), EConvertError);
  EXPECT_THROW(ParsedFrom<TDatabaseIndex>("<INDEX IS_UNIQUE=\"yes\"/>"), EConvertError);
  try {
    ParsedFrom<TDatabaseIndex>("<INDEXS IS_UNIQUE=\"true\"/>");
    FAIL() << "no exception";
  } catch (const EAssertionFailed& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Assertion failure"));
  }
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("q"), {"TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME"}, {{"dbo", "T", "IX"}});
  TDatabaseIndex Index;
  try {
    LoadFromRow(Index, *Sql.FastQuery(QStringLiteral("q")));
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Field 'IS_UNIQUE' not found"));
  }
}

TEST(Routines, LoadWriteReadAndSave) {
  auto Routine = Loaded<TDatabaseRoutine>({"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION"},
                                          {"P", "dbo", "PROCEDURE", "\r\nCREATE PROCEDURE dbo.P\r\nAS SELECT 1\r\n"});
  EXPECT_EQ(Routine->SourceCode(), QStringLiteral("CREATE PROCEDURE dbo.P\r\nAS SELECT 1"));
  const QByteArray Element = Written(*Routine);
  EXPECT_EQ(Element, QByteArray("<ROUTINE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"P\" ROUTINE_TYPE=\"PROCEDURE\">&#xd;\n"
                                "CREATE PROCEDURE dbo.P&#xd;\nAS SELECT 1&#xd;\n</ROUTINE>"));
  EXPECT_EQ(ParsedFrom<TDatabaseRoutine>(Element)->SourceCode(), Routine->SourceCode());
  EXPECT_EQ(ParsedFrom<TDatabaseRoutine>("<ROUTINE>\r\nX\r\n</ROUTINE>")->SourceCode(), QStringLiteral("X"));
  EXPECT_EQ(Loaded<TDatabaseRoutine>({"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION"},
                                     {"P", "dbo", "PROCEDURE", QVariant()})
                ->SourceCode(),
            QString());

  TMemorySQL Sql;
  SaveToDb(&Sql, *Routine, 7);
  EXPECT_EQ(Sql.Calls, (QList<TSqlCall>{{TSqlCall::Command, "EXEC dbo.SaveDbRoutine :S,:N,:T,:C,:V",
                                         {"dbo", "P", "PROCEDURE", Routine->SourceCode(), 7}, true}}));
  TRecordingService Service;
  TInfo Info;
  SaveToService(*Routine, &Service, Info.DbVer());
  EXPECT_EQ(Service.Calls, QStringList{"SaveDbRoutine(dbo|P|PROCEDURE|" + Routine->SourceCode() + "|7)"});
}

TEST(CheckConstraints, RepairDropsAndAddsInOneTransactionWithQuotedNames) {
  auto Constraint = Loaded<TDatabaseCheckConstraint>(
      {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_NAME", "TABLE_SCHEMA", "CHECK_CLAUSE"},
      {"dbo", "CK_Qty]x", "Order Lines", "dbo", "([Qty]>=(0))"});
  Constraint->SetStandardDefinition(QStringLiteral(" ([Qty]>(0)) "));
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("SELECT @@OPTIONS"), {QString()}, {{5496}});
  Alter(&Sql, *Constraint);
  const QString Batch = QStringLiteral(
      "SET XACT_ABORT ON;\r\n"
      "BEGIN TRY\r\n"
      "BEGIN TRANSACTION;\r\n"
      "ALTER TABLE [dbo].[Order Lines] DROP CONSTRAINT [CK_Qty]]x];\r\n"
      "ALTER TABLE [dbo].[Order Lines] ADD CONSTRAINT [CK_Qty]]x] CHECK ([Qty]>(0));\r\n"
      "COMMIT TRANSACTION;\r\n"
      "END TRY\r\n"
      "BEGIN CATCH\r\n"
      "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;\r\n"
      "THROW;\r\n"
      "END CATCH;");
  const QString Restore = QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;\r\nSET XACT_ABORT OFF;");
  EXPECT_EQ(Sql.Calls, (QList<TSqlCall>{{TSqlCall::Query, "SELECT @@OPTIONS", {}, false},
                                        {TSqlCall::Command, Batch, {}, false},
                                        {TSqlCall::Command, Restore, {}, false}}));
  // A failing batch is followed by the same clean-up and its own error reaches the caller.
  Sql.Calls.clear();
  Sql.FailOn(Batch, QStringLiteral("Forced failure"));
  EXPECT_THROW(Alter(&Sql, *Constraint), Exception);
  EXPECT_EQ(Sql.Calls.value(2), (TSqlCall{TSqlCall::Command, Restore, {}, false}));
  EXPECT_EQ(AlterCommand(*Constraint), Batch);
  EXPECT_EQ(Constraint->ParentObjectKey(), QStringLiteral("[DBO].[ORDER LINES]"));
  EXPECT_EQ(Constraint->DDL(), QStringLiteral("([Qty]>=(0))"));

  Sql.Calls.clear();
  SaveToDb(&Sql, *Constraint, 7);
  EXPECT_EQ(Sql.Calls, (QList<TSqlCall>{{TSqlCall::Command, "EXEC dbo.SaveDbCheckConstraint :TS,:TN,:CS,:CN,:CC,:V",
                                         {"dbo", "Order Lines", "dbo", "CK_Qty]x", "([Qty]>=(0))", 7}, true}}));
  TRecordingService Service;
  TInfo Info;
  SaveToService(*Constraint, &Service, Info.DbVer());
  EXPECT_EQ(Service.Calls, QStringList{"SaveDbCheckConstraint(dbo|Order Lines|dbo|CK_Qty]x|([Qty]>=(0))|7)"});
  const QByteArray Element = Written(*Constraint);
  EXPECT_EQ(Element, QByteArray("<CHECK_CONSTRAINT CONSTRAINT_SCHEMA=\"dbo\" CONSTRAINT_NAME=\"CK_Qty]x\" "
                                "TABLE_NAME=\"Order Lines\" TABLE_SCHEMA=\"dbo\" CHECK_CLAUSE=\"([Qty]&gt;=(0))\"/>"));
  EXPECT_EQ(Written(*ParsedFrom<TDatabaseCheckConstraint>(Element)), Element);
}

TEST(CheckConstraints, ClausesMatchUpToWhiteSpaceAndLetterCase) {
  auto Check = [](const char* AName, const char* AClause) {
    auto Result = ParsedFrom<TDatabaseCheckConstraint>("<CHECK_CONSTRAINT CONSTRAINT_SCHEMA=\"dbo\" CONSTRAINT_NAME=\"" +
                                                       QByteArray(AName) + "\"/>");
    Result->SetCheckClause(QString::fromLatin1(AClause));
    return Result;
  };
  const auto Mine = Check("CK", "([Qty] > (0)\nAND [Qty]<(10))");
  EXPECT_EQ(Mine->Matches(Check("ck", "([QTY] > (0) and\r\n   [qty]<(10))").get()), ltDebug);
  EXPECT_EQ(Mine->Matches(Check("CK", "([Qty] > (0) AND [Qty]<(10)").get()), ltError);
  EXPECT_EQ(Mine->Matches(Check("CK", "[Qty] > (0) AND [Qty]<(10))").get()), ltError);
  EXPECT_EQ(Mine->Matches(Check("CK2", "([Qty] > (0) AND [Qty]<(10))").get()), ltError);
  const TDatabaseView View;
  EXPECT_EQ(Mine->Matches(&View), ltError);
}

TEST(ReferentialConstraints, RulesWarnAndTheReferencedKeyDecides) {
  const QStringList Fields = {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_NAME", "TABLE_SCHEMA",
                              "UNIQUE_CONSTRAINT_SCHEMA", "UNIQUE_CONSTRAINT_NAME", "UPDATE_RULE", "DELETE_RULE"};
  auto Key = [&](const char* AUnique, const char* AUpdate, const char* ADelete) {
    return Loaded<TDatabaseReferentialConstraint>(Fields, {"dbo", "FK", "Lines", "dbo", "dbo", AUnique, AUpdate, ADelete});
  };
  const auto Mine = Key("PK_Orders", "CASCADE", "NO ACTION");
  TRecordingLog Log;
  EXPECT_EQ(Mine->Matches(Key("PK_Orders", "CASCADE", "NO ACTION").get(), &Log), ltDebug);
  EXPECT_EQ(Mine->Matches(Key("PK_Other", "NO ACTION", "CASCADE").get(), &Log), ltError);
  EXPECT_TRUE(Log.Entries.isEmpty());
  EXPECT_EQ(Mine->Matches(Key("PK_Orders", "NO ACTION", "CASCADE").get(), &Log), ltWarning);
  EXPECT_EQ(Log.Texts(), (QStringList{"[dbo].[FK]: UPDATE rule differs (CASCADE|NO ACTION)",
                                      "[dbo].[FK]: DELETE rule differs (NO ACTION|CASCADE)"}));
  EXPECT_EQ(Mine->Matches(Key("PK_Orders", "CASCADE", "SET NULL").get()), ltWarning);
  const TDatabaseCheckConstraint Check;
  EXPECT_THROW(Mine->Matches(&Check), EInvalidCast);

  TMemorySQL Sql;
  SaveToDb(&Sql, *Mine, 7);
  EXPECT_EQ(Sql.Calls, (QList<TSqlCall>{{TSqlCall::Command,
                                         "EXEC dbo.SaveDbReferentialConstraint :TS,:TN,:CS,:CN,:US,:UN,:UR,:DR,:V",
                                         {"dbo", "Lines", "dbo", "FK", "dbo", "PK_Orders", "CASCADE", "NO ACTION", 7},
                                         true}}));
  TRecordingService Service;
  TInfo Info;
  SaveToService(*Mine, &Service, Info.DbVer());
  EXPECT_EQ(Service.Calls, QStringList{"SaveDbReferentialConstraint(dbo|Lines|dbo|FK|dbo|PK_Orders|CASCADE|NO ACTION|7)"});
  const QByteArray Element = Written(*Mine);
  EXPECT_EQ(Element, QByteArray("<REFERENTIAL_CONSTRAINT CONSTRAINT_SCHEMA=\"dbo\" CONSTRAINT_NAME=\"FK\" TABLE_NAME=\"Lines\" "
                                "TABLE_SCHEMA=\"dbo\" UNIQUE_CONSTRAINT_NAME=\"PK_Orders\" UNIQUE_CONSTRAINT_SCHEMA=\"dbo\" "
                                "UPDATE_RULE=\"CASCADE\" DELETE_RULE=\"NO ACTION\"/>"));
  EXPECT_EQ(Written(*ParsedFrom<TDatabaseReferentialConstraint>(Element)), Element);
}

TEST(Privileges, TablePrivilegeStatementKeyAndDefaults) {
  const TTablePrivilege Blank;
  EXPECT_EQ(Blank.Grantee(), QStringLiteral("public"));
  EXPECT_EQ(Blank.Grantor(), QStringLiteral("dbo"));
  EXPECT_EQ(Blank.PrivilegeState(), QStringLiteral("GRANT"));

  auto Select = Loaded<TTablePrivilege>({"GRANTOR", "GRANTEE", "TABLE_SCHEMA", "TABLE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"},
                                        {"dbo", "R", "dbo", "Orders", "SELECT", "GRANT"});
  EXPECT_EQ(Select->DDL(), QStringLiteral("GRANT SELECT ON dbo.Orders TO [R] AS [dbo]"));
  EXPECT_EQ(Select->Key(), QStringLiteral("DBO.ORDERS.GRANT.SELECT.R"));
  EXPECT_EQ(Select->ParentObjectKey(), QStringLiteral("[DBO].[ORDERS]"));
  EXPECT_EQ(Select->TableName(), QStringLiteral("[dbo].[Orders]"));
  EXPECT_TRUE(Select->DefaultPrivilegeType());
  EXPECT_EQ(Select->Matches(TTablePrivilege::Clone(*Select).get()), ltDebug);

  const auto Read = ParsedFrom<TTablePrivilege>(
      "<TABLE_PRIVILEGE TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" PRIVILEGE_TYPE=\"SELECT\" GRANTEE=\"R\"/>");
  EXPECT_EQ(Read->DDL(), Select->DDL());
  EXPECT_EQ(Read->Matches(ParsedFrom<TTablePrivilege>("<TABLE_PRIVILEGE GRANTOR=\"DBO\"/>").get()), ltWarning);
  const QByteArray Element = Written(*Select);
  EXPECT_EQ(Element, QByteArray("<TABLE_PRIVILEGE TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" PRIVILEGE_TYPE=\"SELECT\" "
                                "PRIVILEGE_STATE=\"GRANT\" GRANTOR=\"dbo\" GRANTEE=\"R\"/>"));
  const auto Empty = ParsedFrom<TTablePrivilege>("<TABLE_PRIVILEGE GRANTOR=\"\" GRANTEE=\"\" PRIVILEGE_STATE=\"\"/>");
  EXPECT_EQ(Empty->Grantor(), QString());
  const auto Cloned = TTablePrivilege::Clone(*Empty);
  EXPECT_EQ(Cloned->Grantee() + u'|' + Cloned->Grantor() + u'|' + Cloned->PrivilegeState(), QStringLiteral("public|dbo|GRANT"));
}

TEST(Privileges, RoutinePrivilegeStatementKeyAndOptionalGrantor) {
  auto Execute = Loaded<TRoutinePrivilege>({"GRANTEE", "ROUTINE_SCHEMA", "ROUTINE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"},
                                           {"public", "dbo", "P", "EXECUTE", "GRANT"});
  EXPECT_EQ(Execute->Grantor(), QStringLiteral("dbo"));
  EXPECT_EQ(Execute->DDL(), QStringLiteral("GRANT EXECUTE ON [dbo].[P] TO [public] AS [dbo]"));
  EXPECT_EQ(Execute->Key(), QStringLiteral("[DBO].[P] GRANT [PUBLIC]"));
  EXPECT_EQ(Execute->RoutineName(), QStringLiteral("[dbo].[P]"));
  EXPECT_FALSE(Execute->DefaultState());
  const QByteArray Element = Written(*Execute);
  EXPECT_EQ(Element, QByteArray("<ROUTINE_PRIVILEGE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"P\" GRANTOR=\"dbo\" "
                                "GRANTEE=\"public\" PRIVILEGE_STATE=\"GRANT\"/>"));
  const auto Read = ParsedFrom<TRoutinePrivilege>("<ROUTINE_PRIVILEGE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"P\" GRANTEE=\"u\"/>");
  EXPECT_EQ(Read->Grantor(), QStringLiteral("dbo"));
  EXPECT_EQ(Read->PrivilegeState(), QString());
  EXPECT_EQ(TRoutinePrivilege::Clone(*Read)->PrivilegeState(), QStringLiteral("GRANT"));
}

}  // namespace
}  // namespace quillon
