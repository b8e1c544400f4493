#include "support/GeneratedCatalogue.h"

#include "catalogue/Catalogue.Read.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"

#include <sys/resource.h>

namespace quillon::bench {

namespace {

QString Name(const char* APrefix, int AIndex) { return QString::fromLatin1(APrefix) + QString::number(AIndex); }

QString Schema(int AIndex, const TCounts& ACounts) { return Name("Schema", AIndex % ACounts.Schemata); }

// A routine text of about 4 KB with CR LF line breaks, different for every routine.
QString RoutineText(int AIndex) {
  QString Text = QStringLiteral("CREATE PROCEDURE dbo.Proc%1 @Id int, @Navn nvarchar(40)\r\nAS\r\nBEGIN\r\n").arg(AIndex);
  for (int Line = 0; Text.size() < 4000; ++Line)
    Text += QStringLiteral("  UPDATE dbo.Table%1 SET Col%2 = @Navn WHERE Id = @Id AND Col%2 <> N'æøå' -- %3\r\n")
                .arg(AIndex % 8000)
                .arg(Line)
                .arg(AIndex);
  return Text + QStringLiteral("END");
}

}  // namespace

void GenerateCatalogue(test::TMemorySQL& ASql, const TSnapshotLists& ALists, const TCounts& ACounts, int AVariant) {
  const auto Drifts = [AVariant](int AIndex) { return AVariant != 0 && AIndex % 100 == 0; };
  const auto Either = [&Drifts](int AIndex, const char* ABase, const char* AVaried) {
    return QString::fromLatin1(Drifts(AIndex) ? AVaried : ABase);
  };
  ASql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{QStringLiteral("Bench")}});
  auto Script = [&ASql](TDatabaseObjectList* AList, const QStringList& AFields, int ACount, auto ARow) {
    QList<QVariantList> Rows;
    Rows.reserve(ACount);
    for (int I = 0; I < ACount; ++I)
      Rows.append(ARow(I));
    ASql.AddResult(CatalogueQuery(*AList), AFields, Rows);
  };
  const TCounts& C = ACounts;
  Script(ALists.Schemata, {"SCHEMA_NAME", "SCHEMA_OWNER"}, C.Schemata,
         [&](int I) { return QVariantList{Name("Schema", I), Either(I, "dbo", "Owner")}; });
  Script(ALists.Tables, {"TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}, C.Tables,
         [&](int I) { return QVariantList{Schema(I, C), Name(Drifts(I) ? "Renamed" : "Table", I), "BASE TABLE"}; });
  Script(ALists.Columns,
         {"TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "COLUMN_DEFAULT", "IS_NULLABLE", "DATA_TYPE",
          "CHARACTER_MAXIMUM_LENGTH", "NUMERIC_PRECISION", "NUMERIC_SCALE"},
         C.Columns, [&](int I) {
           // The changed columns are those of the hundreds plus one, whose tables keep their name.
           const int Table = I % C.Tables;
           switch (I % 4) {
             case 0: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), QVariant(), "NO", "int", QVariant(), 10, 0};
             case 1: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), "(N'')", Either(I + 99, "YES", "NO"), "nvarchar", 50, QVariant(), QVariant()};
             case 2: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), "((0))", "NO", "decimal", QVariant(), 18, 4};
             default: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), QVariant(), "YES", "nvarchar", -1, QVariant(), QVariant()};
           }
         });
  Script(ALists.Indices, {"TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME", "IS_UNIQUE"}, C.Indices,
         [&](int I) { return QVariantList{Schema(I, C), Name("Table", I % C.Tables), Name("IX_", I), (I % 3 == 0) != Drifts(I)}; });
  Script(ALists.CheckConstraints, {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "CHECK_CLAUSE", "TABLE_NAME", "TABLE_SCHEMA"},
         C.Checks, [&](int I) {
           return QVariantList{Schema(I, C), Name("CK_", I), QStringLiteral("([Col%1]%2(0))").arg(I).arg(Either(I, ">=", ">")), Name("Table", I),
                               Schema(I, C)};
         });
  Script(ALists.ReferentialConstraints,
         {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "UNIQUE_CONSTRAINT_SCHEMA", "UNIQUE_CONSTRAINT_NAME", "UPDATE_RULE",
          "DELETE_RULE", "TABLE_NAME", "TABLE_SCHEMA"},
         C.ForeignKeys, [&](int I) {
           return QVariantList{Schema(I, C), Name("FK_", I), "dbo", Name("PK_", I), "NO ACTION", Either(I, "CASCADE", "NO ACTION"),
                               Name("Table", I), Schema(I, C)};
         });
  Script(ALists.TablePrivileges, {"GRANTOR", "GRANTEE", "TABLE_SCHEMA", "TABLE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"},
         C.TablePrivileges,
         [&](int I) { return QVariantList{"dbo", Name("Role", I % 7), Schema(I, C), Name("Table", I), "SELECT", Either(I, "GRANT", "DENY")}; });
  Script(ALists.RoutinePrivileges,
         {"GRANTOR", "GRANTEE", "ROUTINE_SCHEMA", "ROUTINE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"},
         C.RoutinePrivileges,
         [&](int I) { return QVariantList{"dbo", "public", Schema(I, C), Name("Proc", I), "EXECUTE", Either(I, "GRANT", "GRANT_WITH_GRANT_OPTION")}; });
  Script(ALists.Views, {"TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION"}, C.Views, [&](int I) {
    return QVariantList{Schema(I, C), Name("View", I),
                        QStringLiteral("CREATE VIEW View%1\r\nAS\r\nSELECT a.Id, b.Col%1 FROM dbo.Table%1 a\r\n"
                                       "JOIN dbo.Table%2 b ON b.Id = a.Id WHERE a.Col1 > %3")
                            .arg(I)
                            .arg(I + 1)
                            .arg(Drifts(I) ? 1 : 0)};
  });
  Script(ALists.Routines, {"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION"}, C.Routines,
         [&](int I) { return QVariantList{Name("Proc", I), Schema(I, C), "PROCEDURE", RoutineText(I) + Either(I, "", " -- changed")}; });
}

double PeakMegabytes() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_maxrss / 1024.0;
}

}  // namespace quillon::bench
