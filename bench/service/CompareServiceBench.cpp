// A compare run of many views, routines, check constraints and indexes (one in ten differing
// from its gold standard) against the local gold-standard test service, with a simulated round
// trip of 0, 5 and 20 ms, one request at a time and eight in flight; beside it the floor: one
// curl process sending as many SOAP requests over one kept-alive connection without delay.
//
//   bench_compare_service [objects]      (default 10000)

#include "catalogue/Catalogue.Read.h"
#include "gold/Describer.h"
#include "gold/Sync.IgnoreList.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "service/Service.Soap.h"
#include "support/CatalogueFixture.h"
#include "support/GoldService.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

using namespace quillon;

namespace {

constexpr qint32 Version = 12;

double Seconds(const timeval& ATime) { return ATime.tv_sec + ATime.tv_usec / 1e6; }

// User and system CPU time of this process or of its waited-for children.
struct TCpu {
  double User;
  double System;
  double Total() const { return User + System; }
  TCpu operator-(const TCpu& AOther) const { return {User - AOther.User, System - AOther.System}; }
};

TCpu CpuTime(int AWho = RUSAGE_SELF) {
  rusage Usage{};
  getrusage(AWho, &Usage);
  return {Seconds(Usage.ru_utime), Seconds(Usage.ru_stime)};
}

QString RoutineSource(const QString& AName, int ASeed) {
  QString Source = QStringLiteral("CREATE PROCEDURE dbo.%1 @Id int AS\r\nBEGIN\r\n").arg(AName);
  for (int Line = 0; Line < 40; ++Line)
    Source += QStringLiteral("  UPDATE dbo.Orders SET Qty = Qty + %1 WHERE Id = @Id AND Line = %2\r\n").arg(ASeed).arg(Line);
  return Source + QStringLiteral("END");
}

// The local catalogue in ASQL and the gold standard as a fixture file; every tenth object's
// gold standard differs, the others differ only in layout, brackets and letter case.
void Generate(int AObjects, test::TMemorySQL& ASQL, const QString& AFixture) {
  QJsonArray Gold;
  QList<QVariantList> Views, Routines, Checks, Indexes;
  const int PerKind = AObjects / 4;
  for (int I = 0; I < PerKind; ++I) {
    const bool Differs = I % 10 == 0;
    const QString View = QStringLiteral("V%1").arg(I);
    const QString Definition =
        QStringLiteral("CREATE VIEW [dbo].[%1] AS\r\nSELECT o.[Id], o.[Qty], l.[Price] FROM [dbo].[Orders] o "
                       "JOIN [dbo].[OrderLines] l ON l.[OrderId]=o.[Id] WHERE o.[Qty]>=%2 AND l.[Price]<>0")
            .arg(View)
            .arg(I);
    Views.append({QStringLiteral("dbo"), View, Definition});
    Gold.append(QJsonObject{{"kind", "VIEW"}, {"schema", "dbo"}, {"name", View}, {"version", Version},
                            {"definition", Differs ? Definition + QStringLiteral(" AND 1=1") : Definition.toLower().remove(u'[').remove(u']')}});

    const QString Routine = QStringLiteral("P%1").arg(I);
    Routines.append({Routine, QStringLiteral("dbo"), QStringLiteral("PROCEDURE"), RoutineSource(Routine, I)});
    Gold.append(QJsonObject{{"kind", "ROUTINE"}, {"schema", "dbo"}, {"name", Routine}, {"type", "PROCEDURE"},
                            {"version", Version}, {"definition", RoutineSource(Routine, Differs ? I + 1 : I)}});

    const QString Check = QStringLiteral("CK%1").arg(I);
    Checks.append({QStringLiteral("dbo"), Check, QStringLiteral("([Qty]>=(%1))").arg(I), QStringLiteral("Orders"), QStringLiteral("dbo")});
    Gold.append(QJsonObject{{"kind", "CHECK_CONSTRAINT"}, {"schema", "dbo"}, {"table", "Orders"}, {"name", Check},
                            {"version", Version}, {"definition", QStringLiteral("([Qty] >= (%1))").arg(Differs ? I + 1 : I)}});

    const QString Index = QStringLiteral("IX%1").arg(I);
    Indexes.append({QStringLiteral("dbo"), QStringLiteral("Orders"), Index, true});
    Gold.append(QJsonObject{{"kind", "INDEX"}, {"schema", "dbo"}, {"table", "Orders"}, {"name", Index},
                            {"version", Version}, {"unique", !Differs}});
  }
  QFile File(AFixture);
  File.open(QIODevice::WriteOnly);
  File.write(QJsonDocument(QJsonObject{{"gold", Gold}}).toJson(QJsonDocument::Compact));

  const test::TCatalogueLists Catalogue(nullptr);
  const TSnapshotLists& Lists = Catalogue.Lists();
  ASQL.AddResult(QStringLiteral("SELECT DB_NAME()"), {QStringLiteral("Name")}, {{QStringLiteral("Bench")}});
  for (const TDatabaseObjectList* Empty :
       QList<const TDatabaseObjectList*>{Lists.Schemata, Lists.Tables, Lists.Columns, Lists.ReferentialConstraints,
                                         Lists.TablePrivileges, Lists.RoutinePrivileges})
    ASQL.AddResult(CatalogueQuery(*Empty), {QStringLiteral("NONE")}, {});
  ASQL.AddResult(CatalogueQuery(*Lists.Views),
                 {QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME"), QStringLiteral("VIEW_DEFINITION")}, Views);
  ASQL.AddResult(CatalogueQuery(*Lists.Routines),
                 {QStringLiteral("ROUTINE_NAME"), QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("ROUTINE_TYPE"),
                  QStringLiteral("ROUTINE_DEFINITION")},
                 Routines);
  ASQL.AddResult(CatalogueQuery(*Lists.CheckConstraints),
                 {QStringLiteral("CONSTRAINT_SCHEMA"), QStringLiteral("CONSTRAINT_NAME"), QStringLiteral("CHECK_CLAUSE"),
                  QStringLiteral("TABLE_NAME"), QStringLiteral("TABLE_SCHEMA")},
                 Checks);
  ASQL.AddResult(CatalogueQuery(*Lists.Indices),
                 {QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME"), QStringLiteral("INDEX_NAME"), QStringLiteral("IS_UNIQUE")},
                 Indexes);
}

struct TFloor {
  double Wall;
  double Cpu;
};

// One curl process sending ACount GetDbView requests over one connection: its wall time and
// its own CPU time.
TFloor CurlFloor(const test::TGoldService& AService, int ACount, const QString& AFolder) {
  const QString Request = AFolder + QStringLiteral("/request.xml");
  QFile Body(Request);
  Body.open(QIODevice::WriteOnly);
  Body.write("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
             "<soap:Body><GetDbView xmlns=\"http://ulmora.no/Ostrel/\"><SchemaName>dbo</SchemaName><ViewName>V1</ViewName>"
             "<DbVer>12</DbVer></GetDbView></soap:Body></soap:Envelope>");
  Body.close();
  const QString Config = AFolder + QStringLiteral("/curl.cfg");
  QFile Lines(Config);
  Lines.open(QIODevice::WriteOnly);
  const QByteArray Url = "url = \"" + AService.Config().EndpointAddress().toUtf8() + "\"\n";
  for (int I = 0; I < ACount; ++I)
    Lines.write(Url);
  Lines.close();
  QProcess Curl;
  Curl.setStandardOutputFile(QProcess::nullDevice());
  const TCpu ChildrenBefore = CpuTime(RUSAGE_CHILDREN);
  QElapsedTimer Timer;
  Timer.start();
  Curl.start(QStringLiteral("curl"),
             {QStringLiteral("-s"), QStringLiteral("-K"), Config, QStringLiteral("--data-binary"), QLatin1Char('@') + Request,
              QStringLiteral("-H"), QStringLiteral("Content-Type: text/xml; charset=utf-8"), QStringLiteral("-H"),
              QStringLiteral("SOAPAction: \"http://ulmora.no/Ostrel/GetDbView\""), QStringLiteral("-H"), QStringLiteral("Expect:")});
  Curl.waitForFinished(-1);
  return {Timer.elapsed() / 1000.0, (CpuTime(RUSAGE_CHILDREN) - ChildrenBefore).Total()};
}

struct TRun {
  double Wall;
  TCpu Cpu;
  qint32 Requests;
  qint32 Connections;
  qint32 PeakConnections;
};

TRun CompareRun(const test::TGoldService& AService, TDatabaseDescriber& ADescriber, qint32 AConcurrency) {
  AService.Reset();
  AService.Install(AConcurrency);
  const TCpu CpuBefore = CpuTime();
  QElapsedTimer Timer;
  Timer.start();
  ADescriber.CompareToService(QStringLiteral("Bench"), Version);
  const double Wall = Timer.elapsed() / 1000.0;
  return {Wall, CpuTime() - CpuBefore, AService.Requests(), AService.Connections(), AService.PeakConnections()};
}

void PrintRun(qint32 ALatencyMs, qint32 AConcurrency, const TRun& ARun, const TRun& AOneAtATime) {
  std::printf("%5d ms  N=%-2d  %9.3f s  %8d  %5d (at most %d at once)  %6.2fx  %6.1f us CPU/call\n", ALatencyMs,
              AConcurrency, ARun.Wall, ARun.Requests, ARun.Connections, ARun.PeakConnections, AOneAtATime.Wall / ARun.Wall,
              ARun.Cpu.Total() / ARun.Requests * 1e6);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication Application(argc, argv);
  const int Objects = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
  constexpr qint32 Concurrency = 8;
  QTemporaryDir Folder;
  test::TMemorySQL Sql;
  const QString Fixture = Folder.filePath(QStringLiteral("gold.json"));
  Generate(Objects, Sql, Fixture);

  test::TRecordingLog Log;
  TDatabaseObjectIgnoreList IgnoreList;
  TDatabaseDescriber Describer(&IgnoreList, &Log);
  Describer.Load(&Sql);
  Describer.CompareSchemata = false;
  Describer.CompareForeignKeys = false;

  std::printf("objects compared: %d\n", Objects);
  std::printf("latency  N     wall time    requests  connections               speed-up  client\n");
  for (const qint32 LatencyMs : {0, 5, 20}) {
    const test::TGoldService Service(Fixture, LatencyMs);
    const TRun OneAtATime = CompareRun(Service, Describer, 1);
    PrintRun(LatencyMs, 1, OneAtATime, OneAtATime);
    const TRun InFlight = CompareRun(Service, Describer, Concurrency);
    PrintRun(LatencyMs, Concurrency, InFlight, OneAtATime);
    if (LatencyMs == 0) {
      std::printf("          target: N=%d no slower than N=1: %s\n", Concurrency, InFlight.Wall <= OneAtATime.Wall ? "met" : "MISSED");
      const qint32 FloorConnectionsBefore = Service.Connections();
      const TFloor Floor = CurlFloor(Service, OneAtATime.Requests, Folder.path());
      std::printf("          curl floor, same requests: %.3f s over %d connection(s), curl CPU per request %.1f us; "
                  "N=1 wall / floor %.2f\n",
                  Floor.Wall, Service.Connections() - FloorConnectionsBefore, Floor.Cpu / OneAtATime.Requests * 1e6,
                  OneAtATime.Wall / Floor.Wall);
    } else {
      const double Ideal = InFlight.Requests * LatencyMs / 1000.0 / Concurrency;
      std::printf("          ideal (requests x %d ms / %d) %.3f s; wall / ideal %.2f (target <= 1.30 at 20 ms)\n", LatencyMs,
                  Concurrency, Ideal, InFlight.Wall / Ideal);
    }
  }
  return 0;
}
