#include "catalogue/Catalogue.Read.h"
#include "gold/Describer.h"
#include "gold/Gold.Compare.h"
#include "gold/Sync.IgnoreList.h"
#include "infra/platform/Support.Paths.h"
#include "infra/settings/Support.IniFile.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Lists.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "service/Service.Config.h"
#include "support/CatalogueFixture.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"
#include "support/RecordingProgress.h"
#include "support/RecordingService.h"

#include <QFile>

#include <memory>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TMemorySQL;

// A describer loaded from the small catalogue fixture. No gold-standard service listens: the
// settings file points the service at a port nothing answers on, so any comparison that
// reached the service would fail the test.
class Describer : public ::testing::Test {
protected:
  void SetUp() override {
    QFile::remove(ExeSettingsFileName());
    TIniFile(ExeSettingsFileName()).WriteString(QStringLiteral("Service"), QStringLiteral("BaseAddress"),
                                                QStringLiteral("http://127.0.0.1:9"));
    test::ScriptCatalogue(Sql, TXmlDocument::FromFile(QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml")),
                          test::TCatalogueLists(&Log).Lists());
    Subject = std::make_unique<TDatabaseDescriber>(&IgnoreList, &Log);
    Subject->SetProgress(&Progress);
    Subject->Load(&Sql);
  }

  void TearDown() override { QFile::remove(ExeSettingsFileName()); }

  TMemorySQL Sql;
  test::TRecordingLog Log;
  test::TRecordingProgress Progress;
  TDatabaseObjectIgnoreList IgnoreList;
  std::unique_ptr<TDatabaseDescriber> Subject;
};

TEST_F(Describer, RunWithNothingSelectedStillAnnouncesItselfAndRelaysTheReports) {
  for (bool Tables : {false, true}) {
    SCOPED_TRACE(Tables);
    Progress.Clear();
    Subject->CompareSchemata = Subject->CompareViews = Subject->CompareIndices = Subject->CompareRoutines =
        Subject->CompareCheckConstraints = Subject->CompareForeignKeys = false;
    Subject->CompareTables = Tables;
    Subject->CompareToService(QStringLiteral("Tellwick"), 7);
    EXPECT_EQ(Progress.Reports, QStringList({"S:Comparing Tellwick to version 7"}));
    EXPECT_EQ(Subject->DbName(), QStringLiteral("Tellwick"));
    EXPECT_EQ(Subject->DbVer(), 7);
  }
  // The comparisons report to the describer, which passes it on to its owner, and to nobody
  // once it has none.
  Subject->ShowStatus(QStringLiteral("from a list"));
  Subject->SetProgress(nullptr);
  Subject->ShowStatus(QStringLiteral("to nobody"));
  EXPECT_EQ(Progress.Reports.last(), QStringLiteral("S:from a list"));
}

TEST_F(Describer, ReportsOfOneDescribersRunReachNoOtherDescriber) {
  test::TRecordingProgress OtherProgress;
  TDatabaseDescriber Other(&IgnoreList, &Log);
  Other.SetProgress(&OtherProgress);
  for (TDatabaseDescriber* Describer : {Subject.get(), &Other})
    Describer->CompareSchemata = Describer->CompareViews = Describer->CompareIndices = Describer->CompareRoutines =
        Describer->CompareCheckConstraints = Describer->CompareForeignKeys = false;
  Subject->CompareToService(QStringLiteral("Tellwick"), 7);
  Other.CompareToService(QStringLiteral("Elsewhere"), 8);
  EXPECT_EQ(Progress.Reports, QStringList({"S:Comparing Tellwick to version 7"}));
  EXPECT_EQ(OtherProgress.Reports, QStringList({"S:Comparing Elsewhere to version 8"}));
}

TEST_F(Describer, SelectedKindsRunInTheFixedOrderAndAFailureStopsTheRest) {
  Subject->CompareCheckConstraints = Subject->CompareViews = Subject->CompareRoutines = Subject->CompareForeignKeys = false;
  // Schemata only send to the service: the unreachable one fails them before the indices start.
  try {
    Subject->CompareToService(QStringLiteral("Tellwick"), 7);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("http://127.0.0.1:9/OstrelService.asmx"))) << E.what();
  }
  EXPECT_EQ(Progress.Reports, QStringList({"S:Comparing Tellwick to version 7", "S:Comparing 4 schemata...", "P:0.25"}));
}

TEST_F(Describer, WritesTheSnapshotBesideTheProgramAndReadsItBack) {
  const QString FileName = Subject->SaveToFile(QStringLiteral("S"), QStringLiteral("D"), 12);
  EXPECT_EQ(FileName, ExeFolder() + QStringLiteral("S.D.12.xml"));
  const TXmlDocument Snapshot = TXmlDocument::FromFile(FileName);
  EXPECT_EQ(Snapshot.DocumentElement()->Attribute(QStringLiteral("Version")), QStringLiteral("12"));

  TDatabaseDescriber Copy(&IgnoreList, &Log);
  Copy.LoadFromXml(FileName);
  QFile::remove(FileName);
  // The index list reads the "INDICES" container too: the copy writes the same snapshot.
  const QString CopyName = Copy.SaveToFile(QStringLiteral("S"), QStringLiteral("Copy"), 12);
  const TXmlDocument CopySnapshot = TXmlDocument::FromFile(CopyName);
  QFile::remove(CopyName);
  for (const QString& Container : {QStringLiteral("INDICES"), QStringLiteral("VIEWS"), QStringLiteral("ROUTINES")}) {
    SCOPED_TRACE(Container.toStdString());
    const TXmlNode* Written = Snapshot.DocumentElement()->ChildElement(Container);
    const TXmlNode* Read = CopySnapshot.DocumentElement()->ChildElement(Container);
    ASSERT_TRUE(Written && Read);
    EXPECT_EQ(Read->ChildNodes().size(), Written->ChildNodes().size());
    EXPECT_GT(Read->ChildNodes().size(), 3u);
  }
}

TEST_F(Describer, SavesRoutinesConstraintsAndViewsIntoAStoreDatabase) {
  TMemorySQL Store;
  Subject->SaveToDb(&Store, 12);
  QStringList Procedures;
  for (const QString& Command : Store.CommandTexts())
    Procedures.append(Command.section(u' ', 1, 1));
  EXPECT_EQ(Procedures.join(u' ').toStdString(),
            QStringList({"dbo.SaveDbRoutine", "dbo.SaveDbRoutine", "dbo.SaveDbRoutine", "dbo.SaveDbRoutine",
                         "dbo.SaveDbCheckConstraint", "dbo.SaveDbCheckConstraint", "dbo.SaveDbCheckConstraint",
                         "dbo.SaveDbCheckConstraint", "dbo.SaveDbReferentialConstraint", "dbo.SaveDbView",
                         "dbo.SaveDbView", "dbo.SaveDbView", "dbo.SaveDbView", "dbo.SaveDbView"})
                .join(u' ')
                .toStdString());
  EXPECT_EQ(Store.Calls.first().Params.last(), QVariant(12));
}

TEST_F(Describer, FailingListEndsTheLoadAndTheListsAfterItKeepTheirObjects) {
  TDatabaseObjectList* Views = Subject->Views();
  Sql.FailOn(CatalogueQuery(*Views), QStringLiteral("Connection lost"));
  EXPECT_THROW(Subject->Load(&Sql), Exception);
  EXPECT_EQ(Subject->Schemata()->Count(), 4);
  EXPECT_EQ(Views->Count(), 0);
  EXPECT_EQ(Subject->Routines()->Count(), 4);
}

TEST(DescriberKeys, ACaseSensitiveCollationKeepsNamesApartAndACollisionIsAFinding) {
  struct TCase {
    const char* Collation;
    qint32 Views;
    QStringList Hidden;
  } Cases[] = {
      {"Latin1_General_CS_AS", 2, {}},
      {"Latin1_General_100_BIN2", 2, {}},
      {"SQL_Latin1_General_CP1_CI_AS", 1, {QStringLiteral("[dbo].[ORDERS2]")}},
  };
  QFile::remove(ExeSettingsFileName());
  TIniFile(ExeSettingsFileName()).WriteString(QStringLiteral("Service"), QStringLiteral("BaseAddress"),
                                              QStringLiteral("http://127.0.0.1:9"));
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Collation);
    test::TRecordingLog Log;
    TMemorySQL Sql;
    test::ScriptCatalogue(Sql,
                          TXmlDocument::FromBytes(QStringLiteral("<Database DatabaseName=\"T\" Collation=\"%1\"><VIEWS>"
                                                                 "<VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders2\">a</VIEW>"
                                                                 "<VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"ORDERS2\">b</VIEW>"
                                                                 "</VIEWS></Database>")
                                                      .arg(QLatin1String(Case.Collation))
                                                      .toUtf8()),
                          test::TCatalogueLists(&Log).Lists());
    TDatabaseObjectIgnoreList IgnoreList;
    TDatabaseDescriber Subject(&IgnoreList, &Log);
    Subject.Load(&Sql);
    EXPECT_EQ(Subject.Views()->Count(), Case.Views);
    for (const QString& Name : {QStringLiteral("[dbo].[Orders2]"), QStringLiteral("[dbo].[ORDERS2]")}) {
      TDatabaseObject* View = nullptr;
      if (Case.Views == 2) {
        EXPECT_TRUE(Subject.Views()->TryGetValue(Name, View)) << Name.toStdString();
      }
    }
    Subject.CompareSchemata = Subject.CompareViews = Subject.CompareRoutines = Subject.CompareIndices =
        Subject.CompareCheckConstraints = Subject.CompareForeignKeys = false;
    Subject.CompareToService(QStringLiteral("T"), 1);
    QStringList Hidden;
    for (const TFinding& Finding : Subject.RunStatus().FindingsWith(TFindingStatus::DuplicateKey))
      Hidden.append(Finding.FullName);
    EXPECT_EQ(Hidden, Case.Hidden);
  }
  QFile::remove(ExeSettingsFileName());
}

TEST(CompareRunStatus, SaysWhatWasComparedWhatItFoundAndWhereItStopped) {
  TCompareRunStatus Status;
  Status.Start({{QStringLiteral("schema"), 0, 3, false},
                {QStringLiteral("view"), 0, 4, true},
                {QStringLiteral("index"), 0, 2, true},
                {QStringLiteral("foreign key"), 0, 1, false}});
  for (const char* Kind : {"view", "view", "view", "view", "index"})
    Status.ObjectCompared(QLatin1String(Kind));
  Status.AddFinding({TFindingStatus::UnknownToGold, QStringLiteral("view"), QStringLiteral("[dbo].[A]"), nullptr, {}});
  Status.AddFinding({TFindingStatus::Unreadable, QStringLiteral("view"), QStringLiteral("[dbo].[B]"), nullptr, {}});
  Status.AddFinding({TFindingStatus::Unreadable, QStringLiteral("view"), QStringLiteral("[dbo].[C]"), nullptr, {}});
  EXPECT_EQ(Status.ComparedText(),
            QStringLiteral("Compared 1 views, 1 indexes; schemata, foreign keys: not held by the gold standard"));
  EXPECT_EQ(Status.FindingsText(), QStringLiteral("1 unknown to the gold standard, 2 unreadable"));
  EXPECT_TRUE(Status.Complete());
  EXPECT_EQ(Status.StoppedText(), QString());
  Status.Stop(QStringLiteral("the service did not answer"));
  // Unknown and unreadable objects count as gone through, not as compared.
  EXPECT_EQ(Status.StoppedText(), QStringLiteral("Stopped after 5 of 6 objects: the service did not answer"));

  Status.Start({{QStringLiteral("table"), 0, 5, false}});
  EXPECT_EQ(Status.ComparedText(), QStringLiteral("Nothing compared with the gold standard; tables: not held by the gold standard"));
  EXPECT_EQ(Status.FindingsText(), QString());
}

TEST(ListComparison, LogsMatchesOnlyWhenAsked) {
  test::TRecordingLog Log;
  TMemorySQL Sql;
  test::TCatalogueLists Catalogue(&Log);
  test::ScriptCatalogue(Sql, TXmlDocument::FromFile(QStringLiteral(QUILLON_TEST_FIXTURES "/compare_catalogue.xml")),
                        Catalogue.Lists());
  Catalogue.Load(&Sql);
  test::TRecordingService Service;
  Service.Answers.insert(QStringLiteral("GetDbView(dbo|V_Equal|3)"), QStringLiteral("CREATE VIEW dbo.V_Equal AS SELECT Id FROM Orders WHERE Qty>=1"));
  Service.Answers.insert(QStringLiteral("GetDbCheckConstraint(dbo|CK_Equal|3)"), QStringLiteral("([Qty]>(0))"));
  Service.Answers.insert(QStringLiteral("GetDbIndex(dbo|OrderLines|IX_Equal|3)"), QStringLiteral("true"));
  struct TInfo : ISourceDatabaseInfo {
    QString DbName() override { return QStringLiteral("Tellwick"); }
    qint32 DbVer() override { return 3; }
  } Info;
  for (bool LogMatches : {false, true}) {
    SCOPED_TRACE(LogMatches);
    Log.Entries.clear();
    for (TDatabaseObjectList* List : QList<TDatabaseObjectList*>{Catalogue.Lists().Views, Catalogue.Lists().CheckConstraints,
                                                                 Catalogue.Lists().Indices})
      CompareWithGold(*List, TGoldRun{&Service, &Info, nullptr, false, LogMatches});
    EXPECT_EQ(Log.Texts(test::TLogEntry::SilentSuccess),
              LogMatches ? QStringList({"VIEW [dbo].[V_Equal]: Verified for version 3", "CHECK [dbo].[CK_Equal]: Verified for version 3",
                                        "INDEX [dbo].[OrderLines].[IX_Diff]: Verified for version 3",
                                        "INDEX [dbo].[OrderLines].[IX_Equal]: Verified for version 3",
                                        "INDEX [dbo].[Orders].[IX_UnknownPlain]: Verified for version 3"})
                         : QStringList());
  }
}

}  // namespace
}  // namespace quillon
