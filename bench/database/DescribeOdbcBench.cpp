// Describes a generated catalogue (50,000 columns and 5,000 routines of about 2 KB by default,
// with tables, views, indices, constraints and privileges to match) through TSimpleDatabase,
// the FreeTDS ODBC driver and the TDS test server, and splits the time between this process
// (our code and the driver) and waiting on the server. The same catalogue is then loaded
// through the in-memory ISQL, which times our own code without any driver.
//
//   bench_database_describe [columns] [routines]
#include "gold/Describer.h"
#include "gold/Sync.IgnoreList.h"
#include "database/Database.Simple.h"
#include "infra/xml/Support.Xml.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "support/CatalogueFixture.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"
#include "support/TdsServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace quillon;

struct TCounts {
  int Columns = 50000;
  int Routines = 5000;
  int Schemata() const { return 20; }
  int Tables() const { return Columns / 10; }
  int Views() const { return Routines / 5; }
  int Indices() const { return Tables() / 2; }
  int Checks() const { return Tables() / 4; }
  int ForeignKeys() const { return Tables() / 4; }
  int TablePrivileges() const { return Tables() / 2; }
  int RoutinePrivileges() const { return Routines / 2; }
};

QString Name(const char* APrefix, int AIndex) { return QString::fromLatin1(APrefix) + QString::number(AIndex); }

QString RoutineText(int AIndex) {
  QString Text = QStringLiteral("CREATE PROCEDURE dbo.Proc%1 @Id int\r\nAS\r\nBEGIN\r\n").arg(AIndex);
  for (int Line = 0; Text.size() < 2000; ++Line)
    Text += QStringLiteral("  UPDATE dbo.Table%1 SET Col%2 = N'æøå' WHERE Id = @Id -- %3\r\n").arg(AIndex).arg(Line).arg(AIndex);
  return Text + QStringLiteral("END");
}

// One element per object in the snapshot layout, plus the login the benchmark uses.
void WriteFixture(const QString& AFileName, const TCounts& C) {
  TXmlDocument Document;
  TXmlNode* Root = Document.CreateDocumentElement(QStringLiteral("Database"));
  Root->SetAttribute(QStringLiteral("Server"), QStringLiteral("BENCHSRV"));
  Root->SetAttribute(QStringLiteral("DatabaseName"), QStringLiteral("Bench"));
  Root->SetAttribute(QStringLiteral("Version"), QStringLiteral("1"));
  TXmlNode* Login = Root->AddChild(QStringLiteral("LOGINS"))->AddChild(QStringLiteral("LOGIN"));
  Login->SetAttribute(QStringLiteral("NAME"), QStringLiteral("bench"));
  Login->SetAttribute(QStringLiteral("PASSWORD"), QStringLiteral("bench"));
  const auto Add = [Root](const char* AContainer, const char* AElement, int ACount, auto AFill) {
    TXmlNode* Container = Root->AddChild(QString::fromLatin1(AContainer));
    for (int I = 0; I < ACount; ++I)
      AFill(Container->AddChild(QString::fromLatin1(AElement)), I);
  };
  const auto Set = [](TXmlNode* ANode, std::initializer_list<std::pair<const char*, QString>> AValues) {
    for (const auto& [Key, Value] : AValues)
      ANode->SetAttribute(QString::fromLatin1(Key), Value);
  };
  const auto Schema = [&C](int I) { return Name("Schema", I % C.Schemata()); };
  Add("SCHEMAS", "SCHEMA", C.Schemata(),
      [&](TXmlNode* N, int I) { Set(N, {{"SCHEMA_NAME", Name("Schema", I)}, {"SCHEMA_OWNER", "dbo"}}); });
  Add("TABLES", "TABLE", C.Tables(), [&](TXmlNode* N, int I) {
    Set(N, {{"TABLE_SCHEMA", Schema(I)}, {"TABLE_NAME", Name("Table", I)}, {"TABLE_TYPE", "BASE TABLE"}});
  });
  Add("COLUMNS", "COLUMN", C.Columns, [&](TXmlNode* N, int I) {
    const int Table = I % C.Tables();
    Set(N, {{"TABLE_SCHEMA", Schema(Table)}, {"TABLE_NAME", Name("Table", Table)}, {"COLUMN_NAME", Name("Col", I)}});
    if (I % 3 == 0)
      Set(N, {{"DATA_TYPE", "int"}, {"IS_NULLABLE", "NO"}});
    else if (I % 3 == 1)
      Set(N, {{"DATA_TYPE", "nvarchar"}, {"IS_NULLABLE", "YES"}, {"CHARACTER_MAXIMUM_LENGTH", "50"},
              {"COLUMN_DEFAULT", "(N'')"}});
    else
      Set(N, {{"DATA_TYPE", "decimal"}, {"IS_NULLABLE", "NO"}, {"NUMERIC_PRECISION", "18"}, {"NUMERIC_SCALE", "4"},
              {"COLUMN_DEFAULT", "((0))"}});
  });
  Add("INDICES", "INDEX", C.Indices(), [&](TXmlNode* N, int I) {
    Set(N, {{"TABLE_SCHEMA", Schema(I)}, {"TABLE_NAME", Name("Table", I)}, {"INDEX_NAME", Name("IX_", I)},
            {"IS_UNIQUE", I % 3 ? "false" : "true"}});
  });
  Add("CHECK_CONSTRAINTS", "CHECK_CONSTRAINT", C.Checks(), [&](TXmlNode* N, int I) {
    Set(N, {{"CONSTRAINT_SCHEMA", Schema(I)}, {"CONSTRAINT_NAME", Name("CK_", I)}, {"TABLE_NAME", Name("Table", I)},
            {"TABLE_SCHEMA", Schema(I)}, {"CHECK_CLAUSE", QStringLiteral("([Col%1]>=(0))").arg(I)}});
  });
  Add("REFERENTIAL_CONSTRAINTS", "REFERENTIAL_CONSTRAINT", C.ForeignKeys(), [&](TXmlNode* N, int I) {
    Set(N, {{"CONSTRAINT_SCHEMA", Schema(I)}, {"CONSTRAINT_NAME", Name("FK_", I)}, {"TABLE_NAME", Name("Table", I)},
            {"TABLE_SCHEMA", Schema(I)}, {"UNIQUE_CONSTRAINT_NAME", Name("PK_", I)}, {"UNIQUE_CONSTRAINT_SCHEMA", "dbo"},
            {"UPDATE_RULE", "NO ACTION"}, {"DELETE_RULE", "CASCADE"}});
  });
  Add("TABLE_PRIVILEGES", "TABLE_PRIVILEGE", C.TablePrivileges(), [&](TXmlNode* N, int I) {
    Set(N, {{"TABLE_SCHEMA", Schema(I)}, {"TABLE_NAME", Name("Table", I)}, {"PRIVILEGE_TYPE", "SELECT"},
            {"PRIVILEGE_STATE", "GRANT"}, {"GRANTOR", "dbo"}, {"GRANTEE", Name("Role", I % 7)}});
  });
  Add("ROUTINE_PRIVILEGES", "ROUTINE_PRIVILEGE", C.RoutinePrivileges(), [&](TXmlNode* N, int I) {
    Set(N, {{"ROUTINE_SCHEMA", "dbo"}, {"ROUTINE_NAME", Name("Proc", I)}, {"PRIVILEGE_TYPE", "EXECUTE"},
            {"PRIVILEGE_STATE", "GRANT"}, {"GRANTOR", "dbo"}, {"GRANTEE", "public"}});
  });
  Add("VIEWS", "VIEW", C.Views(), [&](TXmlNode* N, int I) {
    Set(N, {{"TABLE_SCHEMA", "dbo"}, {"TABLE_NAME", Name("View", I)}});
    N->SetText(QStringLiteral("CREATE VIEW dbo.View%1\r\nAS\r\nSELECT Id, Col%1 FROM dbo.Table%1").arg(I));
  });
  Add("ROUTINES", "ROUTINE", C.Routines, [&](TXmlNode* N, int I) {
    Set(N, {{"ROUTINE_SCHEMA", "dbo"}, {"ROUTINE_NAME", Name("Proc", I)}, {"ROUTINE_TYPE", "PROCEDURE"}});
    N->SetText(RoutineText(I));
  });
  Document.SaveToFile(AFileName);
}

double ProcessSeconds() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec + (Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds the process APid has used so far, from /proc.
double OtherProcessSeconds(qint64 APid) {
  QFile Stat(QStringLiteral("/proc/%1/stat").arg(APid));
  if (!Stat.open(QIODevice::ReadOnly))
    return 0;
  const QByteArray Line = Stat.readAll();
  // Fields after the command name, which is in parentheses and may hold blanks.
  const QList<QByteArray> Fields = Line.mid(Line.lastIndexOf(')') + 2).split(' ');
  const double Ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  return Fields.size() > 12 ? (Fields[11].toDouble() + Fields[12].toDouble()) / Ticks : 0;
}

class TBenchLogin : public IDatabaseLoginDialog {
public:
  bool Login(QString& AUserName, QString& APassword) override {
    AUserName = APassword = QStringLiteral("bench");
    return true;
  }
};

qint64 Objects(TDatabaseDescriber& ADescriber) {
  return static_cast<qint64>(ADescriber.Schemata()->Count()) + ADescriber.Tables()->Count() +
         ADescriber.Columns()->Count() + ADescriber.Views()->Count() + ADescriber.Routines()->Count() +
         ADescriber.CheckConstraints()->Count() + ADescriber.ForeignKeys()->Count() +
         ADescriber.TablePrivileges()->Count() + ADescriber.RoutinePrivileges()->Count();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  TCounts Counts;
  if (argc > 1)
    Counts.Columns = std::atoi(argv[1]);
  if (argc > 2)
    Counts.Routines = std::atoi(argv[2]);
  QTemporaryDir Temp;
  const QString Fixture = Temp.filePath(QStringLiteral("bench_catalogue.xml"));
  WriteFixture(Fixture, Counts);

  test::TTdsServer Server(Fixture);
  test::TRecordingLog Log;
  Log.SetEnabled(false);
  TBenchLogin Login;
  TSimpleDatabase Db(&Log);
  Db.SetLoginDialog(&Login);
  Db.SetConnectionString(Server.ConnectionString(QStringLiteral("Bench")));
  Db.Connect();

  TDatabaseObjectIgnoreList IgnoreList;
  TDatabaseDescriber OverOdbc(&IgnoreList, &Log);
  QElapsedTimer Timer;
  const double ClientBefore = ProcessSeconds();
  const double ServerBefore = OtherProcessSeconds(Server.ProcessId());
  Timer.start();
  OverOdbc.Load(&Db);
  const double WallS = Timer.nsecsElapsed() / 1e9;
  const double ClientS = ProcessSeconds() - ClientBefore;
  const double ServerS = OtherProcessSeconds(Server.ProcessId()) - ServerBefore;
  // The describer has no property for its index list; the generated index names are unique.
  const qint64 Rows = Objects(OverOdbc) + Counts.Indices();

  test::TMemorySQL Sql;
  test::ScriptCatalogue(Sql, TXmlDocument::FromFile(Fixture), test::TCatalogueLists(&Log).Lists());
  TDatabaseDescriber InMemory(&IgnoreList, &Log);
  const double OwnBefore = ProcessSeconds();
  Timer.restart();
  InMemory.Load(&Sql);
  const double OwnWallS = Timer.nsecsElapsed() / 1e9;
  const double OwnS = ProcessSeconds() - OwnBefore;

  const double WaitS = std::max(0.0, WallS - ClientS);
  std::printf("catalogue: %d columns, %d routines, %lld rows in all\n", Counts.Columns, Counts.Routines,
              static_cast<long long>(Rows));
  std::printf("describe over FreeTDS: %.3f s wall = %.0f rows/s\n", WallS, Rows / WallS);
  std::printf("  this process (our code and the ODBC driver): %.3f s CPU (%.0f%% of wall)\n", ClientS,
              100 * ClientS / WallS);
  std::printf("  waiting on the server:                       %.3f s (%.0f%% of wall)\n", WaitS, 100 * WaitS / WallS);
  std::printf("  TDS test server (Python): %.3f s CPU in the same time (%.0f%% of wall)\n", ServerS,
              100 * ServerS / WallS);
  std::printf("the same load through the in-memory ISQL (lists only, no driver): %.3f s CPU, %.3f s wall = %.0f rows/s\n",
              OwnS, OwnWallS, Rows / OwnWallS);
  return 0;
}
