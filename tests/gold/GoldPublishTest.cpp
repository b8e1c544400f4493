// Publish runs: each kind's record with the service, and what they remember of routines.
#include "catalogue/Catalogue.Read.h"
#include "gold/Gold.Progress.h"
#include "gold/Gold.Publish.h"
#include "infra/settings/Support.IniFile.h"
#include "model/Routines.h"
#include "service/Service.Config.h"
#include "support/FixedSourceDb.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"
#include "support/RecordingService.h"

#include <QFile>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TMemorySQL;
using test::TRecordingLog;
using test::TRecordingService;
using test::TSqlCall;

using TInfo = test::TFixedSourceDb;

TEST(Publish, SourceChecksumCoversEveryByte) {
  EXPECT_EQ(SourceChecksum(QString()), 0);
  // CRC-32 of the UTF-16LE bytes with the register starting at 0 and no final inversion.
  EXPECT_EQ(quint32(SourceChecksum(QStringLiteral("A"))), 0xE9627E44u);
  EXPECT_EQ(quint32(SourceChecksum(QStringLiteral("CREATE PROCEDURE p AS SELECT 1"))), 0x1BE77A44u);
  EXPECT_NE(SourceChecksum(QStringLiteral("SELECT 1 -- first half")),
            SourceChecksum(QStringLiteral("SELECT 1 -- other half")));
  EXPECT_NE(SourceChecksum(QString::fromUtf8("ĀB")), SourceChecksum(QString::fromUtf8("āB")));
}

class RoutinePublisherTest : public ::testing::Test {
protected:
  void SetUp() override { QFile::remove(PublishStateFileName()); }
  void TearDown() override { QFile::remove(PublishStateFileName()); }

  void LoadRoutines(const QList<QVariantList>& ARows) {
    Sql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QString()}, {{QStringLiteral("Shop")}});
    Sql.AddResult(CatalogueQuery(Routines), {"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION"},
                  ARows);
    LoadFromCatalogue(Routines, &Sql);
    Publisher.SetLastAlteredSource([this](const TDatabaseRoutine& ARoutine) { return LastAltered(&Sql, ARoutine); });
  }
  TDatabaseRoutine& Routine(const QString& AKey) {
    TDatabaseObject* Found = nullptr;
    EXPECT_TRUE(Routines.TryGetValue(AKey, Found)) << AKey.toStdString();
    return *static_cast<TDatabaseRoutine*>(Found);
  }

  static inline const QString LastAlteredQuery = QStringLiteral(
      "SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=:P0 AND SPECIFIC_NAME=:P1");
  TRecordingLog Log;
  TMemorySQL Sql;
  TDatabaseRoutineList Routines{&Log};
  TRoutinePublisher Publisher{&Log};
  TRecordingService Service;
  TInfo Info;
};

TEST_F(RoutinePublisherTest, LastAlteredAsksTheCatalogueOfTheLastLoad) {
  TDatabaseRoutine Unloaded("dbo", "P", "PROCEDURE");
  EXPECT_EQ(Publisher.LastAltered(Unloaded), 1.0);
  LoadRoutines({{"P", "dbo", "PROCEDURE", "CREATE PROCEDURE dbo.P AS SELECT 1"}});
  Sql.AddParamResult(LastAlteredQuery, {"dbo", "P"}, {{"LAST_ALTERED"}, {{45000.5}}});
  Sql.AddResult(LastAlteredQuery, {"LAST_ALTERED"}, {});
  EXPECT_EQ(Publisher.LastAltered(Routine("[DBO].[P]")), 45000.5);
  EXPECT_EQ(Sql.Calls.last(), (TSqlCall{TSqlCall::Query, LastAlteredQuery, {"dbo", "P"}, true}));
  EXPECT_FALSE(Sql.DataSet().Active());
  TDatabaseRoutine Other("dbo", "Q", "PROCEDURE");
  EXPECT_EQ(Publisher.LastAltered(Other), 1.0);
  EXPECT_FALSE(Sql.DataSet().Active());
}

TEST_F(RoutinePublisherTest, PublishIfNewerSendsOnlyWhatChangedSinceItsLastPublication) {
  LoadRoutines({{"P", "dbo", "PROCEDURE", "CREATE PROCEDURE dbo.P AS SELECT 1"}});
  TDatabaseRoutine& P = Routine("[DBO].[P]");
  EXPECT_EQ(Publisher.PublishedAt(P), 0.0);
  Sql.AddResult(LastAlteredQuery, {"LAST_ALTERED"}, {{45000.5}});

  Publisher.PublishIfNewer(P, &Service, &Info);
  Publisher.PublishIfNewer(P, &Service, &Info);
  EXPECT_EQ(Service.Calls, QStringList{"SaveDbRoutine(dbo|P|PROCEDURE|CREATE PROCEDURE dbo.P AS SELECT 1|7)"});
  EXPECT_DOUBLE_EQ(Publisher.PublishedAt(P), 45000.5);
  EXPECT_EQ(Log.Texts(), QStringList{"PROCEDURE [dbo].[P]: Updated for version 7"});

  Sql.AddResult(LastAlteredQuery, {"LAST_ALTERED"}, {{45001.25}});
  Publisher.PublishIfNewer(P, &Service, &Info);
  EXPECT_EQ(Service.Calls.size(), 2);

  Publisher.PublishCache().WriteString(Publisher.ScopedSection(PublishedSection), QStringLiteral("dbo.P"),
                                       QStringLiteral("not a date"));
  EXPECT_EQ(Publisher.PublishedAt(P), 0.0);

  // What went to one service or from one database says nothing about another.
  Publisher.SetPublishScope(PublishScope(QStringLiteral("http://other"), QStringLiteral("SQL01"), QStringLiteral("Tellwick")));
  EXPECT_EQ(Publisher.PublishedAt(P), 0.0);
  Publisher.PublishIfNewer(P, &Service, &Info);
  EXPECT_EQ(Service.Calls.size(), 3);
}

TEST_F(RoutinePublisherTest, WithoutADatabaseARoutineIsPublishedOnce) {
  TRecordingLog XmlLog;
  TRoutinePublisher FromXml(&XmlLog);
  TDatabaseRoutine P("dbo", "P", "PROCEDURE");
  P.SetSourceCode(QStringLiteral("CREATE PROCEDURE dbo.P AS SELECT 1"));
  FromXml.PublishIfNewer(P, &Service, &Info);
  FromXml.PublishIfNewer(P, &Service, &Info);
  EXPECT_EQ(Service.Calls.size(), 1);
  EXPECT_EQ(FromXml.PublishedAt(P), 1.0);
}

}  // namespace
}  // namespace quillon
