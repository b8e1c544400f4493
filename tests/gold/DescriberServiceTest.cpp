#include "gold/Describer.h"
#include "gold/Gold.Publish.h"
#include "gold/Sync.IgnoreList.h"
#include "infra/settings/Support.IniFile.h"
#include "model/Constraints.h"
#include "model/Lists.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "service/Service.Config.h"
#include "service/Service.Pages.h"
#include "service/Service.Soap.h"
#include "support/CatalogueFixture.h"
#include "support/GoldService.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"
#include "support/RecordingProgress.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TGoldService;

// A describer loaded from the catalogue fixture, compared with the gold-standard test service
// seeded from its own fixture: equal, differing, unknown and ignored objects of every kind.
class DescriberAgainstService : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Service = std::make_unique<TGoldService>(QStringLiteral("compare_gold.json")); }
  static void TearDownTestSuite() { Service.reset(); }

  void SetUp() override {
    Service->Reset();
    Service->Install();
    QFile::remove(PublishStateFileName());
    test::ScriptCatalogue(Sql, TXmlDocument::FromFile(QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml")),
                          test::TCatalogueLists(&Log).Lists());
    Describer = std::make_unique<TDatabaseDescriber>(&IgnoreList, &Log);
    Describer->SetProgress(&Progress);
    Describer->Load(&Sql);
  }

  // A section of the publish cache as the runs of these tests (no server name) scope it.
  static QString Scoped(const QString& ASection) {
    return ASection + u' ' + PublishScope(TServiceConfig::Current().BaseAddress, QString(), QStringLiteral("Tellwick"));
  }

  // "Operation(ObjectKey|ExpectedDDL|ActualDDL|InfoText)" of every SaveDbAnomaly received, with
  // database name and version checked on the way.
  QStringList AnomaliesRecorded() const {
    QStringList Result;
    for (const TGoldService::TCall& Call : Service->Calls(QStringLiteral("SaveDbAnomaly"))) {
      EXPECT_EQ(Call.Params[QStringLiteral("DatabaseName")].toString(), QStringLiteral("Tellwick"));
      EXPECT_EQ(Call.Params[QStringLiteral("DbVer")].toInt(), 12);
      Result.append(QStringList{Call.Params[QStringLiteral("ObjectKey")].toString(),
                                Call.Params[QStringLiteral("ObjectClass")].toString(),
                                Call.Params[QStringLiteral("ExpectedDDL")].toString(),
                                Call.Params[QStringLiteral("ActualDDL")].toString(),
                                Call.Params[QStringLiteral("InfoText")].toString()}
                        .join(u'|'));
    }
    return Result;
  }

  // Every call whose operation begins with "Save" other than SaveDbAnomaly, as
  // "Operation(first parameters)".
  QStringList SavesRecorded() const {
    QStringList Result;
    for (const TGoldService::TCall& Call : Service->Calls()) {
      if (!Call.Operation.startsWith(QStringLiteral("Save")) || Call.Operation == u"SaveDbAnomaly")
        continue;
      QStringList Values;
      for (const char* Name : {"SchemaName", "ViewSchema", "TableSchema", "RoutineSchema", "ConstraintName", "ViewName",
                               "TableName", "RoutineName", "IndexName", "IsUnique"})
        if (Call.Params.contains(QLatin1String(Name)))
          Values.append(Call.Params[QLatin1String(Name)].toString());
      Result.append(Call.Operation + u'(' + Values.join(u'|') + u')');
    }
    return Result;
  }

  // What a compare run leaves behind, as far as a user or the service can tell.
  struct TRunRecord {
    QString Failure;
    QString Log;
    QStringList Progress;
    // Every call but the lookups, in the order the service received them.
    QStringList Writes;
    // The lookups, sorted: the order they reach the service in may differ.
    QStringList Lookups;
    // "key=stored gold-standard text" of every view, routine and check constraint.
    QStringList StandardTexts;
    qint32 PeakConnections = 0;
  };

  // A compare run with AConcurrency requests in flight, after the service was reset and
  // AInjectFailures told it what to do; every object's stored text is cleared first.
  TRunRecord Run(qint32 AConcurrency, const std::function<void()>& AInjectFailures) {
    Service->Reset();
    Service->Install(AConcurrency, 1);
    AInjectFailures();
    Log.Entries.clear();
    Progress.Clear();
    for (TDatabaseObjectList* List : TextLists())
      for (TDatabaseObject* Object : List->Values())
        Object->SetStandardDefinition(QString());
    TRunRecord Record;
    try {
      Describer->CompareToService(QStringLiteral("Tellwick"), 12);
    } catch (const EServiceError& E) {
      Record.Failure = E.Message();
    }
    Record.Log = Log.Dump();
    Record.Progress = Progress.Reports;
    for (const TGoldService::TCall& Call : Service->Calls()) {
      QStringList Values;
      for (auto It = Call.Params.begin(); It != Call.Params.end(); ++It)
        Values.append(It.key() + u'=' + It.value().toString());
      (Call.Operation.startsWith(QStringLiteral("Get")) ? Record.Lookups : Record.Writes)
          .append(Call.Operation + u'(' + Values.join(u'|') + u')');
    }
    Record.Lookups.sort();
    for (TDatabaseObjectList* List : TextLists())
      for (TDatabaseObject* Object : List->Values())
        Record.StandardTexts.append(Object->Key() + u'=' + Object->GetStandardDefinition());
    Record.PeakConnections = Service->PeakConnections();
    return Record;
  }

  QList<TDatabaseObjectList*> TextLists() const {
    return {Describer->Views(), Describer->Routines(), Describer->CheckConstraints()};
  }

  static void ExpectSameRun(const TRunRecord& AActual, const TRunRecord& AExpected) {
    // curl's own words on a broken transfer vary with timing (how long it waited, how many idle
    // connections it tried); what the program says around them must agree.
    const auto Message = [](QString AFailure) {
      return AFailure.remove(QRegularExpression(QStringLiteral("( failed|in time \\(.*\\)): .*$"))).toStdString();
    };
    EXPECT_EQ(Message(AActual.Failure), Message(AExpected.Failure));
    EXPECT_EQ(AActual.Log.toStdString(), AExpected.Log.toStdString());
    EXPECT_EQ(AActual.Progress.join(u'\n').toStdString(), AExpected.Progress.join(u'\n').toStdString());
    EXPECT_EQ(AActual.Writes.join(u'\n').toStdString(), AExpected.Writes.join(u'\n').toStdString());
    EXPECT_EQ(AActual.StandardTexts.join(u'\n').toStdString(), AExpected.StandardTexts.join(u'\n').toStdString());
  }

  static std::unique_ptr<TGoldService> Service;
  test::TMemorySQL Sql;
  test::TRecordingLog Log;
  test::TRecordingProgress Progress;
  TDatabaseObjectIgnoreList IgnoreList;
  std::unique_ptr<TDatabaseDescriber> Describer;
};

std::unique_ptr<TGoldService> DescriberAgainstService::Service;

TEST_F(DescriberAgainstService, ReportsEveryDifferenceInOrderAndRecordsItWithTheService) {
  Describer->CompareToService(QStringLiteral("Tellwick"), 12);

  EXPECT_EQ(Progress.Reports.join(u'\n').toStdString(),
            QStringList({"S:Comparing Tellwick to version 12",
                         "S:Comparing 4 schemata...", "P:0.25", "P:0.5", "P:0.75", "P:1",
                         "S:Comparing 4 check constraints...", "A:[dbo].[CK_Diff]", "P:0.25", "P:0.5", "P:0.75",
                         "A:[dbo].[GetDatabaseInfo]", "P:1",
                         "S:Comparing 5 views...", "A:[dbo].[FnEventTimeToNum]", "P:0.2", "A:[dbo].[V_Diff]", "P:0.4",
                         "P:0.6", "P:0.8", "A:[sales].[V_Blank]", "P:1",
                         "S:Comparing 4 routines...", "P:0.25", "A:[dbo].[GetDatabaseInfo]", "P:0.5",
                         "A:[dbo].[P_Diff]", "P:0.75", "P:1",
                         "S:Comparing 1 referential constraints...", "P:1",
                         "A:[dbo].[OrderLines].[IX_Diff]", "P:0.25", "P:0.5", "P:0.75", "A:[dbo].[Orders].[IX_Unknown]",
                         "P:1"})
                .join(u'\n')
                .toStdString());

  // Ignoring is the owner's business: ignored objects are reported and recorded all the same.
  QStringList Ignored;
  for (TDatabaseObject* Object : Progress.Anomalies)
    if (Describer->IgnoreObject(Object))
      Ignored.append(ClassNameOf(typeid(*Object)) + u' ' + Object->FullName());
  EXPECT_EQ(Ignored, QStringList({"TDatabaseCheckConstraint [dbo].[GetDatabaseInfo]", "TDatabaseView [dbo].[FnEventTimeToNum]",
                                  "TDatabaseRoutine [dbo].[GetDatabaseInfo]"}));

  EXPECT_EQ(AnomaliesRecorded().join(u'\n').toStdString(),
            QStringList({"[DBO].[CK_DIFF]|TDatabaseCheckConstraint|([Price]>(0))|([Price]>=(0))|Check different",
                         "[DBO].[GETDATABASEINFO]|TDatabaseCheckConstraint|([Version]>(1))|([Version]>(0))|Check different",
                         "[DBO].[FNEVENTTIMETONUM]|TDatabaseView|CREATE VIEW dbo.FnEventTimeToNum AS SELECT 20 AS Two|"
                         "CREATE VIEW dbo.FnEventTimeToNum AS SELECT 2 AS Two|View different",
                         "[DBO].[V_DIFF]|TDatabaseView|CREATE VIEW dbo.V_Diff AS SELECT Id FROM dbo.Orders|"
                         "CREATE VIEW dbo.V_Diff AS SELECT Id, Qty FROM dbo.Orders|View different",
                         "[SALES].[V_BLANK]|TDatabaseView| \r\n |CREATE VIEW sales.V_Blank AS SELECT 3 AS Three|View different",
                         "[DBO].[GETDATABASEINFO]|TDatabaseRoutine|CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 11 AS "
                         "DatabaseVersion|CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 12 AS DatabaseVersion|PROCEDURE different",
                         "[DBO].[P_DIFF]|TDatabaseRoutine|CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 20|"
                         "CREATE PROCEDURE dbo.P_Diff AS\r\nSELECT 2|PROCEDURE different",
                         "[DBO].[ORDERLINES].[IX_DIFF]|TDatabaseIndex|0|-1|Index different",
                         "[DBO].[ORDERS].[IX_UNKNOWN]|TDatabaseIndex|-1|0|Index different"})
                .join(u'\n')
                .toStdString());
  EXPECT_EQ(SavesRecorded(), QStringList({"SaveDbSchema(dbo)", "SaveDbSchema(sales)"}));

  EXPECT_EQ(Log.Texts(test::TLogEntry::SilentError),
            QStringList({"CHECK [dbo].[CK_Diff]: Not equal", "CHECK [dbo].[GetDatabaseInfo]: Not equal",
                         "VIEW [dbo].[FnEventTimeToNum]: Not equal", "VIEW [dbo].[V_Diff]: Not equal",
                         "VIEW [sales].[V_Blank]: Not equal", "Could not find PROCEDURE [dbo].[P_GoldOnly] locally!",
                         "PROCEDURE [dbo].[GetDatabaseInfo]: Not equal for version 12",
                         "PROCEDURE [dbo].[P_Diff]: Not equal for version 12",
                         "INDEX [dbo].[OrderLines].[IX_Diff]: Not equal", "INDEX [dbo].[Orders].[IX_Unknown]: Not equal"}));
  EXPECT_EQ(Log.Texts(test::TLogEntry::SilentWarning),
            QStringList({"Check [dbo].[CK_Unknown]: Unknown for version 12", "VIEW [dbo].[V_Unknown]: Unknown for version 12",
                         "FUNCTION [dbo].[F_Unknown]: Unknown for version 12"}));
  EXPECT_EQ(Log.Texts(test::TLogEntry::SilentSuccess), QStringList({"PROCEDURE [dbo].[P_Equal]: Verified for version 12"}));

  // The gold standard stays with each object for review and repair.
  TDatabaseObject* View = nullptr;
  ASSERT_TRUE(Describer->Views()->TryGetValue(QStringLiteral("[DBO].[V_EQUAL]"), View));
  EXPECT_EQ(View->GetStandardDefinition(), QStringLiteral("create view dbo.V_Equal as select Id from Orders where Qty >= 1"));

  // The default sends lookups ahead over up to eight connections, never more.
  EXPECT_GT(Service->PeakConnections(), 1);
  EXPECT_LE(Service->PeakConnections(), 8);
}

TEST_F(DescriberAgainstService, PublishRunSendsLocalDefinitionsAndThenHasNothingLeftToSend) {
  Sql.AddResult(QStringLiteral("SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=:P0 AND "
                               "SPECIFIC_NAME=:P1"),
                {QStringLiteral("LAST_ALTERED")}, {{QDateTime(QDate(2026, 3, 1), QTime(10, 0))}});
  Service->Install(1);
  Describer->SetPublish(true);
  Describer->CompareToService(QStringLiteral("Tellwick"), 12);

  EXPECT_TRUE(AnomaliesRecorded().isEmpty());
  EXPECT_TRUE(Progress.Anomalies.isEmpty());
  EXPECT_EQ(SavesRecorded().join(u'\n').toStdString(),
            QStringList({"SaveDbSchema(dbo)", "SaveDbSchema(sales)",
                         "SaveDbCheckConstraint(dbo|CK_Diff|OrderLines)", "SaveDbCheckConstraint(dbo|CK_Unknown|OrderLines)",
                         "SaveDbCheckConstraint(dbo|GetDatabaseInfo|Orders)",
                         "SaveDbView(dbo|FnEventTimeToNum)", "SaveDbView(dbo|V_Diff)", "SaveDbView(dbo|V_Unknown)",
                         "SaveDbView(sales|V_Blank)",
                         "SaveDbRoutine(dbo|F_Unknown)", "SaveDbRoutine(dbo|GetDatabaseInfo)", "SaveDbRoutine(dbo|P_Diff)",
                         "SaveDbReferentialConstraint(dbo|FK_Lines_Orders|OrderLines)",
                         "SaveDbIndex(dbo|OrderLines|IX_Diff|false)", "SaveDbIndex(dbo|Orders|IX_Unknown|true)"})
                .join(u'\n')
                .toStdString());
  EXPECT_EQ(Log.Texts(test::TLogEntry::Event).filter(QStringLiteral("for version")).join(u'\n').toStdString(),
            QStringList({"SCHEMA [DBO]: Published for version 12", "SCHEMA [SALES]: Published for version 12",
                         "CHECK [dbo].[CK_Diff]: Updated for version 12", "CHECK [dbo].[CK_Unknown]: Published for version 12",
                         "CHECK [dbo].[GetDatabaseInfo]: Updated for version 12",
                         "VIEW [dbo].[FnEventTimeToNum]: Updated for version 12", "VIEW [dbo].[V_Diff]: Updated for version 12",
                         "VIEW [dbo].[V_Unknown]: Published for version 12", "VIEW [sales].[V_Blank]: Updated for version 12",
                         "FUNCTION [dbo].[F_Unknown]: Updated for version 12",
                         "PROCEDURE [dbo].[GetDatabaseInfo]: Updated for version 12",
                         "PROCEDURE [dbo].[P_Diff]: Updated for version 12",
                         "REFERENTIAL [dbo].[FK_Lines_Orders]: Published for version 12",
                         "INDEX [dbo].[OrderLines].[IX_Diff]: Updated for version 12",
                         "INDEX [dbo].[Orders].[IX_Unknown]: Updated for version 12"})
                .join(u'\n')
                .toStdString());
  TIniFile Settings(PublishStateFileName());
  EXPECT_EQ(Settings.ReadString(Scoped(QStringLiteral("DbDescribe")), QStringLiteral("DbName"), QString()),
            QStringLiteral("Tellwick"));
  EXPECT_EQ(Settings.ReadString(Scoped(QStringLiteral("DbChanges.Version.12")), QStringLiteral("dbo.P_Equal"), QString()),
            QStringLiteral("CREATE"));

  // Unchanged routines are not even asked for; the service now holds every local definition.
  const qint32 RoutineLookups = Service->Calls(QStringLiteral("GetDbRoutine")).size();
  EXPECT_EQ(RoutineLookups, 4);
  Describer->Load(&Sql);
  Describer->CompareToService(QStringLiteral("Tellwick"), 12);
  EXPECT_EQ(Service->Calls(QStringLiteral("GetDbRoutine")).size(), RoutineLookups);
  EXPECT_EQ(SavesRecorded().size(), 15 + 3);  // the second run sends the schemata and the foreign key again

  // Changed routines are looked up again; one is sent only when altered after its last
  // publication, and P_Diff's was published with the very alteration time the catalogue gives.
  for (const QString& Key : {QStringLiteral("[DBO].[P_EQUAL]"), QStringLiteral("[DBO].[P_DIFF]")}) {
    TDatabaseObject* Routine = nullptr;
    ASSERT_TRUE(Describer->Routines()->TryGetValue(Key, Routine));
    static_cast<TDatabaseRoutine*>(Routine)->SetSourceCode(QStringLiteral("CREATE PROCEDURE x AS SELECT 99"));
  }
  Describer->CompareToService(QStringLiteral("Tellwick"), 12);
  EXPECT_EQ(Service->Calls(QStringLiteral("GetDbRoutine")).size(), RoutineLookups + 2);
  EXPECT_EQ(SavesRecorded().filter(QStringLiteral("SaveDbRoutine")).mid(3), QStringList({"SaveDbRoutine(dbo|P_Equal)"}));
  EXPECT_EQ(Settings.ReadString(Scoped(QStringLiteral("DbChanges.Version.12")), QStringLiteral("dbo.P_Equal"), QString()),
            QStringLiteral("ALTER"));
  EXPECT_EQ(Settings.ReadString(Scoped(QStringLiteral("DbChanges.Version.12")), QStringLiteral("dbo.P_Diff"), QString()),
            QStringLiteral("ALTER"));
  EXPECT_EQ(Service->Connections(), 3);  // one client per run, one connection at a time
}

TEST_F(DescriberAgainstService, EightRequestsInFlightReportExactlyWhatOneAtATimeReports) {
  // The first lookup of each kind answers last, so the answers arrive out of order.
  const auto DelayFirstLookups = [] {
    Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("slow"), 0, 0.3, {{QStringLiteral("ViewName"), QStringLiteral("FnEventTimeToNum")}});
    Service->Fail(QStringLiteral("GetDbRoutine"), QStringLiteral("slow"), 0, 0.3, {{QStringLiteral("RoutineName"), QStringLiteral("F_Unknown")}});
    Service->Fail(QStringLiteral("GetDbCheckConstraint"), QStringLiteral("slow"), 0, 0.3, {{QStringLiteral("ConstraintName"), QStringLiteral("CK_Diff")}});
  };
  const TRunRecord OneAtATime = Run(1, DelayFirstLookups);
  const TRunRecord Eight = Run(8, DelayFirstLookups);
  ExpectSameRun(Eight, OneAtATime);
  EXPECT_EQ(Eight.Lookups, OneAtATime.Lookups);  // nothing asked twice, nothing left out
  EXPECT_EQ(OneAtATime.PeakConnections, 1);
  EXPECT_GT(Eight.PeakConnections, 1);
  EXPECT_LE(Eight.PeakConnections, 8);

  // A service that closes the connection after every answer costs connections, not results.
  const TRunRecord Closing = Run(8, [] {
    for (const char* Operation : {"GetDbView", "GetDbRoutine", "GetDbCheckConstraint", "GetDbIndex", "SaveDbAnomaly"})
      Service->Fail(QString::fromUtf8(Operation), QStringLiteral("close"));
  });
  ExpectSameRun(Closing, OneAtATime);
  EXPECT_LE(Closing.PeakConnections, 8);

  // A publish run of the kinds that send ahead writes the same, in the same order.
  Describer->SetPublish(true);
  Describer->CompareRoutines = false;
  const TRunRecord PublishOneAtATime = Run(1, [] {});
  ASSERT_FALSE(PublishOneAtATime.Writes.filter(QStringLiteral("SaveDbView")).isEmpty());
  ExpectSameRun(Run(8, [] {}), PublishOneAtATime);
}

TEST_F(DescriberAgainstService, ARoutineWhosePublicationFailedIsSentAgainByTheNextRun) {
  Sql.AddResult(QStringLiteral("SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=:P0 AND "
                               "SPECIFIC_NAME=:P1"),
                {QStringLiteral("LAST_ALTERED")}, {{QDateTime(QDate(2026, 3, 1), QTime(10, 0))}});
  Describer->CompareSchemata = Describer->CompareCheckConstraints = Describer->CompareViews = false;
  Describer->SetPublish(true);
  TIniFile Settings(PublishStateFileName());
  for (const char* Failing : {"GetDbRoutine", "SaveDbRoutine"}) {
    SCOPED_TRACE(Failing);
    Service->Reset();
    Service->Fail(QString::fromUtf8(Failing), QStringLiteral("fault"));
    EXPECT_THROW(Describer->CompareToService(QStringLiteral("Tellwick"), 12), EServiceError);
    EXPECT_EQ(Settings.ReadString(Scoped(QStringLiteral("DbDescribe")), QStringLiteral("dbo.F_Unknown"), QString()), QString());
    EXPECT_EQ(Settings.ReadString(Scoped(QStringLiteral("DbChanges.Version.12")), QStringLiteral("dbo.F_Unknown"), QString()),
              QString());

    Service->Reset();
    Describer->CompareToService(QStringLiteral("Tellwick"), 12);
    EXPECT_EQ(SavesRecorded().filter(QStringLiteral("SaveDbRoutine")).value(0), QStringLiteral("SaveDbRoutine(dbo|F_Unknown)"));
    EXPECT_NE(Settings.ReadString(Scoped(QStringLiteral("DbDescribe")), QStringLiteral("dbo.F_Unknown"), QString()), QString());
    EXPECT_EQ(Settings.ReadString(Scoped(QStringLiteral("DbChanges.Version.12")), QStringLiteral("dbo.F_Unknown"), QString()),
              QStringLiteral("CREATE"));
    QFile::remove(PublishStateFileName());  // nothing published yet
  }
}

TEST_F(DescriberAgainstService, FailureAtOneLookupKeepsTheSamePrefixWithOneOrEightInFlight) {
  struct TCase {
    const char* Mode;
    const char* MessagePart;
  };
  const TCase Cases[] = {
      {"fault", "answered GetDbView with a fault: Injected failure in GetDbView"},
      {"http500", "answered GetDbView with HTTP status 500"},
      {"busy", "answered GetDbView with HTTP status 503: <html><body>Service Unavailable"},
      {"garbage", "sent a malformed answer to GetDbView"},
      {"drop", "/OstrelService.asmx failed"},
      {"slow", "did not answer in time"},
  };
  // The second view in the list's order; the lookups after it may well have been answered.
  const QVariantMap SecondView{{QStringLiteral("ViewName"), QStringLiteral("V_Diff")}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Mode);
    TRunRecord Records[2];
    for (const qint32 Concurrency : {1, 8}) {
      SCOPED_TRACE(Concurrency);
      QElapsedTimer Timer;
      Timer.start();
      TRunRecord& Record = Records[Concurrency == 1 ? 0 : 1];
      Record = Run(Concurrency, [&] { Service->Fail(QStringLiteral("GetDbView"), QString::fromUtf8(Case.Mode), 0, 3, SecondView); });
      EXPECT_LT(Timer.elapsed(), 2500) << "waited past the time-out";
      EXPECT_TRUE(Record.Failure.contains(QString::fromUtf8(Case.MessagePart))) << Record.Failure.toStdString();
      EXPECT_EQ(Progress.AnomalyNames(), QStringList({"[dbo].[CK_Diff]", "[dbo].[GetDatabaseInfo]", "[dbo].[FnEventTimeToNum]"}));
      EXPECT_EQ(Record.StandardTexts.filter(QStringLiteral("[DBO].[V_EQUAL]=")), QStringList({"[DBO].[V_EQUAL]="}));
      EXPECT_TRUE(Service->Calls(QStringLiteral("GetDbRoutine")).isEmpty());
      EXPECT_TRUE(Service->Calls(QStringLiteral("GetDbIndex")).isEmpty());
    }
    ExpectSameRun(Records[1], Records[0]);
  }

  // The next run works.
  const TRunRecord Again = Run(8, [] {});
  EXPECT_TRUE(Again.Failure.isEmpty()) << Again.Failure.toStdString();
  EXPECT_EQ(Progress.AnomalyNames().size(), 9);
}

TEST_F(DescriberAgainstService, AServiceThatStopsAnsweringEndsTheRunWithinTheTimeOut) {
  QElapsedTimer Timer;
  Timer.start();
  // From the third routine lookup on, nothing comes back within the one-second time-out.
  const TRunRecord Record = Run(8, [] { Service->Fail(QStringLiteral("GetDbRoutine"), QStringLiteral("slow"), 2, 3); });
  EXPECT_LT(Timer.elapsed(), 2500);
  EXPECT_TRUE(Record.Failure.contains(QStringLiteral("did not answer in time"))) << Record.Failure.toStdString();
  // Everything before the routines was handled; no index was asked for.
  EXPECT_EQ(Record.Writes.filter(QStringLiteral("[SALES].[V_BLANK]")).size(), 1);
  EXPECT_TRUE(Service->Calls(QStringLiteral("GetDbIndex")).isEmpty());
}

TEST_F(DescriberAgainstService, UnreadableRoutineListStopsTheRoutinesBeforeTheFirstOne) {
  Describer->CompareSchemata = Describer->CompareCheckConstraints = Describer->CompareViews = false;
  Service->Fail(QStringLiteral("GetDbRoutineList"), QStringLiteral("garbage"));
  EXPECT_THROW(Describer->CompareToService(QStringLiteral("Tellwick"), 12), EXmlParseError);
  EXPECT_TRUE(Service->Calls(QStringLiteral("GetDbRoutine")).isEmpty());
  EXPECT_TRUE(Service->Calls(QStringLiteral("GetDbIndex")).isEmpty());
}

TEST_F(DescriberAgainstService, ListsAndTheIgnoreListReadTheServicePages) {
  TDatabaseViewList Views(&Log);
  Views.LoadFromWeb();
  QStringList Keys;
  for (TDatabaseObject* View : Views.Values())
    Keys.append(View->Key());
  EXPECT_EQ(Keys, QStringList({"[DBO].[FNEVENTTIMETONUM]", "[DBO].[V_DIFF]", "[DBO].[V_EQUAL]", "[DBO].[V_UNKNOWN]",
                               "[SALES].[V_BLANK]"}));
  EXPECT_EQ(Views.DbName(), QStringLiteral("XML"));

  IgnoreList.LoadProcList();
  Service->Fail(QStringLiteral("DbProcList"), QStringLiteral("garbage"));
  EXPECT_THROW(IgnoreList.LoadProcList(), EXmlParseError);
  EXPECT_EQ(IgnoreList.Count(), 3);
}

}  // namespace
}  // namespace quillon
