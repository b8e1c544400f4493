#include "catalogue/Catalogue.Read.h"
#include "gold/Gold.Compare.h"
#include "gold/Gold.Progress.h"
#include "gold/Sync.IgnoreList.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "service/Service.Http.h"
#include "service/Service.Soap.h"
#include "support/GoldService.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TLogEntry;
using test::TRecordingLog;

class TInfo : public ISourceDatabaseInfo {
public:
  QString DbName() override { return QStringLiteral("Shop"); }
  qint32 DbVer() override { return 4; }
};

class ListPages : public test::TGoldServiceSuite<ListPages> {
protected:
  TRecordingLog Log;
};

TEST_F(ListPages, ListsLoadFromTheServicesPagesAndFromAnyAddress) {
  TDatabaseViewList Views(&Log);
  Views.LoadFromWeb();
  TDatabaseObject* Orders = nullptr;
  ASSERT_TRUE(Views.TryGetValue(QStringLiteral("[DBO].[ORDERS]"), Orders));
  EXPECT_EQ(static_cast<TDatabaseView*>(Orders)->GetViewDefinition(),
            QStringLiteral("CREATE VIEW dbo.Orders AS SELECT Id FROM dbo.OrderLines"));
  EXPECT_EQ(Views.DbName(), QStringLiteral("XML"));

  TDatabaseIndexList Indices(&Log);
  const QString Address = Service->Config().PageAddress(QStringLiteral("INDICES"));
  Indices.LoadFromXml(Address);
  EXPECT_EQ(Indices.Count(), 1);
  EXPECT_TRUE(Indices.ContainsKey(QStringLiteral("[DBO].[ORDERLINES].[IX_ORDERLINES_ORDER]")));
  EXPECT_EQ(Log.Texts(TLogEntry::Event).last(), "TDatabaseIndexList.LoadFromXml: " + Address);
}

TEST_F(ListPages, APageThatCannotBeReadLeavesTheListAsItWas) {
  TDatabaseViewList Views(&Log);
  Views.LoadFromWeb();
  Service->Fail(QStringLiteral("VIEWS"), QStringLiteral("truncated"));
  EXPECT_THROW(Views.LoadFromWeb(), EXmlParseError);
  Service->Fail(QStringLiteral("VIEWS"), QStringLiteral("http500"));
  EXPECT_THROW(Views.LoadFromWeb(), EServiceHttpError);
  EXPECT_EQ(Views.Count(), 1);
}

TEST_F(ListPages, TheRoutineListIsCheckedOverTheClientsConnection) {
  test::TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{QStringLiteral("Shop")}});
  TDatabaseRoutineList Routines(&Log);
  Sql.AddResult(CatalogueQuery(Routines), {"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION"},
                {{"GETORDER", "DBO", "PROCEDURE", "CREATE PROCEDURE dbo.GetOrder AS SELECT 4"}});
  LoadFromCatalogue(Routines, &Sql);
  TOstrelServiceClient Client(Service->Config());
  TInfo Info;
  Client.GetDbRoutine(QStringLiteral("dbo"), QStringLiteral("GetOrder"), Info.DbVer());
  ReportMissingRoutines(Routines, TGoldRun{&Client, &Info});
  EXPECT_EQ(Log.Texts(TLogEntry::SilentError), QStringList{"Could not find FUNCTION [sales].[A&B C] locally!"});
  EXPECT_EQ(Service->Connections(), 1);

  Service->Fail(QStringLiteral("GetDbRoutineList"), QStringLiteral("garbage"));
  EXPECT_THROW(ReportMissingRoutines(Routines, TGoldRun{&Client, &Info}), EXmlParseError);
}

TEST_F(ListPages, TheProcedureListIsFetchedAndReadButNotUsed) {
  TDatabaseObjectIgnoreList Ignored;
  Ignored.LoadProcList();
  EXPECT_EQ(Ignored.Count(), 3);
  Service->Fail(QStringLiteral("DbProcList"), QStringLiteral("html"));
  EXPECT_THROW(Ignored.LoadProcList(), EXmlParseError);
  EXPECT_EQ(Ignored.Count(), 3);
}

}  // namespace
}  // namespace quillon
