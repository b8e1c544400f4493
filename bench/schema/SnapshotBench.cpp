// Loads a generated catalogue (100,000 columns, 10,000 routines of about 4 KB, 5,000 views
// and 20,000 other objects) through the in-memory ISQL, writes its snapshot, and times
// `xmllint --format` on the written file for comparison. With --load, reads a snapshot file
// written before into empty lists and says how much memory that took against the file's size.
//
//   bench_schema_snapshot [output folder]
//   bench_schema_snapshot --load <snapshot file>
#include "compare/Xml.Snapshot.h"
#include "schema/Columns.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Permissions.h"
#include "schema/Routines.h"
#include "schema/Schemata.h"
#include "schema/Tables.h"
#include "support/CatalogueFixture.h"
#include "support/RecordingLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace {

using namespace quillon;

struct TCounts {
  int Schemata = 50, Tables = 8000, Columns = 100000, Indices = 3000, Checks = 2000, ForeignKeys = 1950,
      TablePrivileges = 3000, RoutinePrivileges = 2000, Views = 5000, Routines = 10000;
};

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

// Scripts the catalogue queries of ALists with generated rows.
void Generate(test::TMemorySQL& ASql, const TSnapshotLists& ALists, const TCounts& ACounts) {
  ASql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{QStringLiteral("Bench")}});
  auto Script = [&ASql](TDatabaseObjectList* AList, const QStringList& AFields, int ACount, auto ARow) {
    QList<QVariantList> Rows;
    Rows.reserve(ACount);
    for (int I = 0; I < ACount; ++I)
      Rows.append(ARow(I));
    ASql.AddResult(AList->CatalogueQuery(), AFields, Rows);
  };
  const TCounts& C = ACounts;
  Script(ALists.Schemata, {"SCHEMA_NAME", "SCHEMA_OWNER"}, C.Schemata,
         [](int I) { return QVariantList{Name("Schema", I), "dbo"}; });
  Script(ALists.Tables, {"TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}, C.Tables,
         [&](int I) { return QVariantList{Schema(I, C), Name("Table", I), "BASE TABLE"}; });
  Script(ALists.Columns,
         {"TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "COLUMN_DEFAULT", "IS_NULLABLE", "DATA_TYPE",
          "CHARACTER_MAXIMUM_LENGTH", "NUMERIC_PRECISION", "NUMERIC_SCALE"},
         C.Columns, [&](int I) {
           const int Table = I % C.Tables;
           switch (I % 4) {
             case 0: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), QVariant(), "NO", "int", QVariant(), 10, 0};
             case 1: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), "(N'')", "YES", "nvarchar", 50, QVariant(), QVariant()};
             case 2: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), "((0))", "NO", "decimal", QVariant(), 18, 4};
             default: return QVariantList{Schema(Table, C), Name("Table", Table), Name("Col", I), QVariant(), "YES", "nvarchar", -1, QVariant(), QVariant()};
           }
         });
  Script(ALists.Indices, {"TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME", "IS_UNIQUE"}, C.Indices,
         [&](int I) { return QVariantList{Schema(I, C), Name("Table", I % C.Tables), Name("IX_", I), I % 3 == 0}; });
  Script(ALists.CheckConstraints, {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "CHECK_CLAUSE", "TABLE_NAME", "TABLE_SCHEMA"},
         C.Checks, [&](int I) {
           return QVariantList{Schema(I, C), Name("CK_", I), QStringLiteral("([Col%1]>=(0))").arg(I), Name("Table", I),
                               Schema(I, C)};
         });
  Script(ALists.ReferentialConstraints,
         {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "UNIQUE_CONSTRAINT_SCHEMA", "UNIQUE_CONSTRAINT_NAME", "UPDATE_RULE",
          "DELETE_RULE", "TABLE_NAME", "TABLE_SCHEMA"},
         C.ForeignKeys, [&](int I) {
           return QVariantList{Schema(I, C), Name("FK_", I), "dbo", Name("PK_", I), "NO ACTION", "CASCADE",
                               Name("Table", I), Schema(I, C)};
         });
  Script(ALists.TablePrivileges, {"GRANTOR", "GRANTEE", "TABLE_SCHEMA", "TABLE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"},
         C.TablePrivileges,
         [&](int I) { return QVariantList{"dbo", Name("Role", I % 7), Schema(I, C), Name("Table", I), "SELECT", "GRANT"}; });
  Script(ALists.RoutinePrivileges,
         {"GRANTOR", "GRANTEE", "ROUTINE_SCHEMA", "ROUTINE_NAME", "PRIVILEGE_TYPE", "PRIVILEGE_STATE"},
         C.RoutinePrivileges,
         [&](int I) { return QVariantList{"dbo", "public", Schema(I, C), Name("Proc", I), "EXECUTE", "GRANT"}; });
  Script(ALists.Views, {"TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION"}, C.Views, [&](int I) {
    return QVariantList{Schema(I, C), Name("View", I),
                        QStringLiteral("CREATE VIEW View%1\r\nAS\r\nSELECT a.Id, b.Col%1 FROM dbo.Table%1 a\r\n"
                                       "JOIN dbo.Table%2 b ON b.Id = a.Id WHERE a.Col1 > 0")
                            .arg(I)
                            .arg(I + 1)};
  });
  Script(ALists.Routines, {"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION"}, C.Routines,
         [&](int I) { return QVariantList{Name("Proc", I), Schema(I, C), "PROCEDURE", RoutineText(I)}; });
}

double PeakMegabytes() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_maxrss / 1024.0;
}

double ResidentMegabytes() {
  QFile Status(QStringLiteral("/proc/self/statm"));
  if (!Status.open(QIODevice::ReadOnly))
    return 0;
  const QList<QByteArray> Pages = Status.readAll().split(' ');
  return Pages.size() > 1 ? Pages[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

int LoadOnly(const QString& AFileName) {
  const double BeforeMb = ResidentMegabytes();
  test::TRecordingLog Log;
  test::TCatalogueLists Catalogue(&Log);
  QElapsedTimer Timer;
  Timer.start();
  LoadSnapshot(Catalogue.Lists(), AFileName);
  const double Seconds = Timer.nsecsElapsed() / 1e9;
  const double PeakMb = PeakMegabytes() - BeforeMb;
  const double HeldMb = ResidentMegabytes() - BeforeMb;
  const double FileMb = QFileInfo(AFileName).size() / (1024.0 * 1024.0);
  const double Objects = Catalogue.Count();
  std::printf("load:     %.0f objects from %.1f MB in %.3f s\n", Objects, FileMb, Seconds);
  std::printf("memory:   %.0f MB at the peak (%.1f x the file), %.0f MB held after (%.1f x the file, %.0f bytes an object)\n",
              PeakMb, PeakMb / FileMb, HeldMb, HeldMb / FileMb, HeldMb * 1024 * 1024 / Objects);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  if (argc > 2 && QByteArray(argv[1]) == "--load")
    return LoadOnly(QString::fromLocal8Bit(argv[2]));
  QTemporaryDir Temp;
  const QString Folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temp.path();
  const QString FileName = Folder + QStringLiteral("/bench.snapshot.xml");

  test::TRecordingLog Log;
  test::TCatalogueLists Catalogue(&Log);
  test::TMemorySQL Sql;
  QElapsedTimer Timer;
  Timer.start();
  Generate(Sql, Catalogue.Lists(), TCounts());
  const qint64 GenerateMs = Timer.restart();
  const double GeneratedMb = PeakMegabytes();

  Catalogue.Load(&Sql);
  const qint64 LoadNs = Timer.nsecsElapsed();
  Timer.restart();
  const TXmlDocument Snapshot =
      BuildSnapshot(Catalogue.Lists(), QStringLiteral("BENCH"), QStringLiteral("Bench"), 1, QDateTime::currentDateTime());
  const qint64 BuildNs = Timer.nsecsElapsed();
  Timer.restart();
  Snapshot.SaveToFile(FileName);
  const qint64 SaveNs = Timer.nsecsElapsed();
  const double PeakMb = PeakMegabytes();

  const double Objects = Catalogue.Count();
  const double FileMb = QFileInfo(FileName).size() / 1e6;
  const double LoadS = LoadNs / 1e9;
  const double WriteS = (BuildNs + SaveNs) / 1e9;

  QProcess Lint;
  Lint.setStandardOutputFile(QProcess::nullDevice());
  Timer.restart();
  Lint.start(QStringLiteral("xmllint"), {QStringLiteral("--format"), FileName});
  const bool LintRan = Lint.waitForFinished(-1) && Lint.exitStatus() == QProcess::NormalExit && Lint.exitCode() == 0;
  const double LintS = Timer.nsecsElapsed() / 1e9;

  std::printf("catalogue generated in %lld ms (%.0f MB resident)\n", static_cast<long long>(GenerateMs), GeneratedMb);
  std::printf("load:     %.0f objects in %.3f s = %.0f objects/s\n", Objects, LoadS, Objects / LoadS);
  std::printf("write:    %.1f MB in %.3f s = %.1f MB/s (tree %.3f s, file %.3f s)\n", FileMb, WriteS, FileMb / WriteS,
              BuildNs / 1e9, SaveNs / 1e9);
  std::printf("total:    %.3f s load and write (target < 3 s)\n", LoadS + WriteS);
  std::printf("memory:   %.0f MB peak resident (target < 1024 MB)\n", PeakMb);
  if (LintRan)
    std::printf("xmllint --format: %.3f s; our write / xmllint = %.2f (target <= 1)\n", LintS, WriteS / LintS);
  else
    std::printf("xmllint --format did not run: %s\n", qPrintable(Lint.errorString()));
  return 0;
}
