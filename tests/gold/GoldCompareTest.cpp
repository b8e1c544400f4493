// The comparison with the gold standard: what reaches the run's receiver and the service.
#include "catalogue/Catalogue.Read.h"
#include "gold/Gold.Compare.h"
#include "gold/Gold.Progress.h"
#include "infra/xml/Support.Xml.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Soap.h"
#include "support/FixedSourceDb.h"
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

using TInfo = test::TFixedSourceDb;

class TRecordingProgress : public IDbProgress {
public:
  void ShowStatus(const QString& AText) override { Calls.append("status " + AText); }
  void ShowProgress(double AFraction) override { Calls.append("progress " + QString::number(AFraction)); }
  void ReportAnomaly(const QString& AText, TDatabaseObject* AObject) override {
    Calls.append("anomaly " + AText + " " + (AObject ? AObject->Key() : QStringLiteral("-")));
  }
  QStringList Calls;
};

class GoldCompareTest : public ::testing::Test {
protected:
  void LoadRoutines(const QList<QVariantList>& ARows) {
    Sql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{QStringLiteral("Shop")}});
    Sql.AddResult(CatalogueQuery(Routines), {"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION"},
                  ARows);
    LoadFromCatalogue(Routines, &Sql);
  }

  TRecordingLog Log;
  TMemorySQL Sql;
  TDatabaseRoutineList Routines{&Log};
  TInfo Info;
};

TEST_F(GoldCompareTest, ProgressReachesTheReceiverTheRunIsHandedAndNobodyElse) {
  TDatabaseViewList Views(&Log);
  Views.LoadFromXml(TXmlDocument::FromBytes("<Database><VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"V\">"
                                            "CREATE VIEW dbo.V AS SELECT 1</VIEW></VIEWS></Database>"),
                    QStringLiteral("test"));
  TRecordingService Service;
  Service.Answers.insert(QStringLiteral("GetDbView(dbo|V|7)"), QStringLiteral("CREATE VIEW dbo.V AS SELECT 2"));
  CompareWithGold(Views, TGoldRun{&Service, &Info});
  EXPECT_EQ(Service.Calls.size(), 2) << Service.Calls.join(u'\n').toStdString();
  TRecordingProgress Receiver;
  CompareWithGold(Views, TGoldRun{&Service, &Info, &Receiver});
  EXPECT_EQ(Receiver.Calls,
            (QStringList{"status Comparing 1 views...", "anomaly [dbo].[V] [DBO].[V]", "progress 1"}));
}

// A service whose pages are canned documents.
class TPageService : public TRecordingService, public IServicePageLoader {
public:
  TXmlDocument LoadPage(const QString& AAddress) override {
    Pages.append(AAddress);
    return TXmlDocument::FromBytes(Page, AAddress);
  }
  QByteArray Page;
  QStringList Pages;
};

TEST_F(GoldCompareTest, AnomaliesAreFiledUnderTheObjectClassOfTheirKind) {
  const TXmlDocument Snapshot = TXmlDocument::FromBytes(
      "<Database><VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"V\">CREATE VIEW dbo.V AS SELECT 1</VIEW></VIEWS>"
      "<ROUTINES><ROUTINE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"P\" ROUTINE_TYPE=\"PROCEDURE\">"
      "CREATE PROCEDURE dbo.P AS SELECT 1</ROUTINE></ROUTINES>"
      "<CHECK_CONSTRAINTS><CHECK_CONSTRAINT CONSTRAINT_SCHEMA=\"dbo\" CONSTRAINT_NAME=\"CK\" TABLE_NAME=\"T\" "
      "TABLE_SCHEMA=\"dbo\" CHECK_CLAUSE=\"([A]&gt;(0))\"/></CHECK_CONSTRAINTS>"
      "<INDICES><INDEX TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"T\" INDEX_NAME=\"IX\" IS_UNIQUE=\"false\"/></INDICES></Database>");
  TDatabaseViewList Views(&Log);
  TCheckConstraintList Checks(&Log);
  TDatabaseIndexList Indices(&Log);
  const struct {
    TDatabaseObjectList* List;
    const char* Question;
    const char* ObjectClass;
  } Cases[] = {
      {&Views, "GetDbView(dbo|V|7)", "TDatabaseView"},
      {&Routines, "GetDbRoutine(dbo|P|7)", "TDatabaseRoutine"},
      {&Checks, "GetDbCheckConstraint(dbo|CK|7)", "TDatabaseCheckConstraint"},
      {&Indices, "GetDbIndex(dbo|T|IX|7)", "TDatabaseIndex"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.ObjectClass);
    Case.List->LoadFromXml(Snapshot, QStringLiteral("test"));
    TPageService Service;
    Service.Page = "<DbRoutines/>";
    // The index is unique by the gold standard only; every text differs.
    Service.Answers.insert(QString::fromLatin1(Case.Question),
                           Case.List == &Indices ? QStringLiteral("true") : QStringLiteral("SELECT 2"));
    CompareWithGold(*Case.List, TGoldRun{&Service, &Info});
    QStringList Classes;
    for (const QString& Call : Service.Calls)
      if (Call.startsWith(QStringLiteral("SaveDbAnomaly(")))
        Classes.append(Call.section(u'|', 3, 3));
    EXPECT_EQ(Classes, QStringList{QString::fromLatin1(Case.ObjectClass)}) << Service.Calls.join(u'\n').toStdString();
  }
}

TEST_F(GoldCompareTest, ReportMissingRoutinesNamesEveryServiceRoutineNotHeldLocally) {
  LoadRoutines({{"GetOrder", "dbo", "PROCEDURE", "x"}});
  TPageService Pages;
  Pages.Page =
      "<DbRoutines><ROUTINE ROUTINE_SCHEMA=\"DBO\" ROUTINE_NAME=\"getorder\" ROUTINE_TYPE=\"PROCEDURE\">x</ROUTINE>"
      "<Group><ROUTINE ROUTINE_SCHEMA=\"sales\" ROUTINE_NAME=\"Gone\" ROUTINE_TYPE=\"FUNCTION\"/>"
      "<Deeper><ROUTINE ROUTINE_SCHEMA=\"sales\" ROUTINE_NAME=\"Gone\" ROUTINE_TYPE=\"FUNCTION\"/></Deeper></Group>"
      "<routine ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"LowerCaseElement\"/></DbRoutines>";
  ReportMissingRoutines(Routines, TGoldRun{&Pages, &Info});
  EXPECT_EQ(Pages.Pages, QStringList{RoutineListPageAddress(7)});
  EXPECT_TRUE(Pages.Pages.first().endsWith(QStringLiteral("GetDbRoutineList.asp?MaxVersion=7")));
  EXPECT_EQ(Log.Texts(TLogEntry::SilentError),
            (QStringList{"Could not find FUNCTION [sales].[Gone] locally!", "Could not find FUNCTION [sales].[Gone] locally!"}));
  Pages.Page = "<DbRoutines><ROUTINE";
  EXPECT_THROW(ReportMissingRoutines(Routines, TGoldRun{&Pages, &Info}), Exception);
}


}  // namespace
}  // namespace quillon

