#include "catalogue/Catalogue.Read.h"
#include "database/Database.Odbc.h"
#include "database/Database.Simple.h"
#include "gold/Describer.h"
#include "gold/Sync.IgnoreList.h"
#include "repair/Repair.Alter.h"
#include "repair/Repair.Script.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "support/CatalogueFixture.h"
#include "support/FixedLogin.h"
#include "support/MemorySql.h"
#include "support/QtPrinters.h"
#include "support/RecordingLog.h"
#include "support/SqlScalar.h"
#include "support/TdsServer.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TFixedLogin;
using test::ScalarOf;
using test::TRecordingLog;
using test::TTdsServer;

// The schema model's own catalogue fixture, served by the TDS stand-in to a SQL login.
const QString Catalogue = QStringLiteral("schema_catalogue.xml");

QByteArray SnapshotWithoutStamp(const QString& AFileName) {
  QFile File(AFileName);
  EXPECT_TRUE(File.open(QIODevice::ReadOnly)) << AFileName.toStdString();
  const QString Text = QString::fromUtf8(File.readAll());
  File.remove();
  return QString(Text).replace(QRegularExpression(QStringLiteral(" CreatedAt=\"[^\"]*\"")), QString()).toUtf8();
}

class CatalogueOverOdbcTest : public ::testing::Test {
protected:
  void SetUp() override {
    FDb.SetLoginDialog(&FLogin);
    FDb.SetConnectionString(FServer.ConnectionString(QStringLiteral("Tellwick")));
    FDb.Connect();
  }

  // Reads AList afresh from the server and finds the check constraint on ATable in it.
  TDatabaseCheckConstraint* CheckOn(TCheckConstraintList& AList, const QString& ATable) {
    LoadFromCatalogue(AList, &FDb);
    for (TDatabaseObject* Object : AList.Values())
      if (auto* Check = dynamic_cast<TDatabaseCheckConstraint*>(Object); Check && Check->TableName() == ATable)
        return Check;
    ADD_FAILURE() << "no check constraint on " << ATable.toStdString();
    return nullptr;
  }

  TTdsServer FServer{Catalogue, {QStringLiteral("quillon:pw")}};
  TRecordingLog FLog;
  TFixedLogin FLogin{QStringLiteral("quillon"), QStringLiteral("pw")};
  TSimpleDatabase FDb{&FLog};
};

TEST_F(CatalogueOverOdbcTest, TheDescribersSnapshotEqualsTheOneFromTheSameCatalogueInMemory) {
  TDatabaseObjectIgnoreList IgnoreList;
  TDatabaseDescriber OverOdbc(&IgnoreList, &FLog);
  OverOdbc.Load(&FDb);
  const QByteArray FromServer =
      SnapshotWithoutStamp(OverOdbc.SaveToFile(FDb.ServerName(), FDb.DatabaseName(), 42));

  test::TMemorySQL Sql;
  test::ScriptCatalogue(Sql, TXmlDocument::FromFile(QStringLiteral(QUILLON_TEST_FIXTURES "/") + Catalogue),
                        test::TCatalogueLists(&FLog).Lists());
  TDatabaseDescriber InMemory(&IgnoreList, &FLog);
  InMemory.Load(&Sql);
  const QByteArray FromMemory = SnapshotWithoutStamp(InMemory.SaveToFile(FDb.ServerName(), FDb.DatabaseName(), 42));

  EXPECT_EQ(FromServer, FromMemory);
  EXPECT_EQ(OverOdbc.Columns()->Count(), 9);
  EXPECT_EQ(OverOdbc.Routines()->Count(), 3);
  EXPECT_TRUE(FromServer.contains(QString::fromUtf8("Kunde &quot;Æ&quot; [gammel]]").toUtf8())) << FromServer.toStdString();
}

TEST_F(CatalogueOverOdbcTest, CheckConstraintRepairChangesTheClauseAndAFailingAddKeepsTheOldOne) {
  const QString Table = QString::fromUtf8("Beløp");
  TCheckConstraintList Checks(&FLog);
  TDatabaseCheckConstraint* Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  ASSERT_EQ(Check->ConstraintName(), QStringLiteral("CK_Sats]"));
  Check->SetStandardDefinition(QStringLiteral("([Sats]>=(0) AND [Sats]<=(1))"));
  Alter(&FDb, *Check);

  Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  EXPECT_EQ(Check->CheckClause(), QStringLiteral("([Sats]>=(0) AND [Sats]<=(1))"));
  EXPECT_EQ(Checks.Count(), 2);

  FServer.Fail(QStringLiteral("ADD CONSTRAINT"));
  Check->SetStandardDefinition(QStringLiteral("([Sats]>(5))"));
  EXPECT_THROW(Alter(&FDb, *Check), EOdbcError);
  FServer.Clear();
  Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  EXPECT_EQ(Check->CheckClause(), QStringLiteral("([Sats]>=(0) AND [Sats]<=(1))"));
}

// A constraint added NOT FOR REPLICATION and WITH NOCHECK comes back so.
TEST_F(CatalogueOverOdbcTest, CheckConstraintRepairKeepsHowTheConstraintWasAdded) {
  const QString Table = QStringLiteral("orderLines");
  const QString Add = QStringLiteral("ALTER TABLE [dbo].[orderLines] WITH NOCHECK ADD CONSTRAINT [CK_Qty] CHECK NOT FOR "
                                     "REPLICATION ([Qty]>=(0));");
  TCheckConstraintList Checks(&FLog);
  TDatabaseCheckConstraint* Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  Check->SetStandardDefinition(QStringLiteral("([Qty]>=(0))"));
  EXPECT_TRUE(AlterCommand(*Check).contains(Add)) << AlterCommand(*Check).toStdString();
  Alter(&FDb, *Check);

  Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  EXPECT_EQ(Check->CheckClause(), QStringLiteral("([Qty]>=(0))"));
  Check->SetStandardDefinition(QStringLiteral("([Qty]>=(0))"));
  EXPECT_TRUE(AlterCommand(*Check).contains(Add)) << AlterCommand(*Check).toStdString();
}

// orderLines holds a row with Qty 0, which the untrusted CK_Qty never checked: added back WITH
// NOCHECK, as the repair does, a stricter clause comes back; added as a trusted one, that row
// stops it and the old constraint stays.
TEST_F(CatalogueOverOdbcTest, AnUntrustedConstraintComesBackOverRowsThatBreakIt) {
  const QString Table = QStringLiteral("orderLines");
  const QString Stricter = QStringLiteral("([Qty]>(0) AND [Qty]<(1000))");
  TCheckConstraintList Checks(&FLog);
  TDatabaseCheckConstraint* Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  const QString Before = Check->CheckClause();
  Check->SetStandardDefinition(Stricter);
  try {
    FDb.ExecuteCommand(QString(AlterCommand(*Check)).remove(QStringLiteral(" WITH NOCHECK")));
    ADD_FAILURE() << "a row that breaks the clause did not stop it";
  } catch (const EOdbcError& E) {
    ASSERT_FALSE(E.Diagnostics().isEmpty());
    EXPECT_EQ(E.Diagnostics().first().NativeError, 547);
    EXPECT_TRUE(E.Message().contains(QStringLiteral(
        "The ALTER TABLE statement conflicted with the CHECK constraint \"CK_Qty\". The conflict occurred in "
        "database \"Tellwick\", table \"dbo.orderLines\", column 'Qty'.")))
        << E.what();
  }
  Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  EXPECT_EQ(Check->CheckClause(), Before);

  Check->SetStandardDefinition(Stricter);
  Alter(&FDb, *Check);
  Check = CheckOn(Checks, Table);
  ASSERT_NE(Check, nullptr);
  EXPECT_EQ(Check->CheckClause(), Stricter);
}

// A repair the server gives up on (chosen as a deadlock victim, tired of waiting for a lock, or
// ending the session with a fatal error once the drop has run inside the batch's transaction)
// fails that object with the server's words and changes nothing; the objects after it are not
// attempted. A fatal error also says the connection was lost, and leaves it closed.
TEST_F(CatalogueOverOdbcTest, ARepairTheServerGivesUpOnFailsThatObjectChangesNothingAndAttemptsNoMore) {
  const struct {
    void (TTdsServer::*Rule)(const QString&);
    const char* Message;
    bool ConnectionLost;
  } Cases[] = {
      {&TTdsServer::Deadlock,
       "was deadlocked on lock resources with another process and has been chosen as the deadlock victim. Rerun the "
       "transaction.",
       false},
      {&TTdsServer::TimeOutLocks, "Lock request time out period exceeded.", false},
      {&TTdsServer::FailFatally, "Fatal error 9001", true},
  };
  const QString Table = QString::fromUtf8("Beløp");
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Message);
    TCheckConstraintList Checks(&FLog);
    TDatabaseCheckConstraint* Check = CheckOn(Checks, Table);
    ASSERT_NE(Check, nullptr);
    const QString Before = Check->CheckClause();
    Check->SetStandardDefinition(QStringLiteral("([Sats]>=(0))"));
    TDatabaseRoutineList Routines(&FLog);
    LoadFromCatalogue(Routines, &FDb);
    TDatabaseObject* Routine = nullptr;
    ASSERT_TRUE(Routines.TryGetValue(QStringLiteral("[DBO].[GETORDER]"), Routine));
    const QString RoutineBefore = static_cast<TDatabaseRoutine*>(Routine)->SourceCode();
    static_cast<TDatabaseRoutine*>(Routine)->SetStandardDefinition(
        QStringLiteral("CREATE PROCEDURE dbo.GetOrder @Id int AS SELECT Id FROM dbo.Orders WHERE Id = @Id"));
    TRepairScript Script;
    Script.Add(Check);
    Script.Add(Routine);

    (FServer.*Case.Rule)(QStringLiteral("ADD CONSTRAINT"));
    const QList<TRepairResult> Results = Script.Run(&FDb);
    FServer.Clear();

    ASSERT_EQ(Results.size(), 2);
    EXPECT_EQ(Results[0].Outcome, TRepairOutcome::Failed);
    EXPECT_TRUE(Results[0].Message.contains(QString::fromLatin1(Case.Message))) << Results[0].Message.toStdString();
    EXPECT_EQ(Results[0].Message.contains(QStringLiteral("The connection to the server was lost")), Case.ConnectionLost)
        << Results[0].Message.toStdString();
    EXPECT_EQ(Results[1].Outcome, TRepairOutcome::NotAttempted);
    EXPECT_EQ(FDb.Connected(), !Case.ConnectionLost);
    if (Case.ConnectionLost)
      FDb.Connect();
    EXPECT_EQ(ScalarOf(FDb, QStringLiteral("SELECT @@TRANCOUNT")).toInt(), 0);
    Check = CheckOn(Checks, Table);
    ASSERT_NE(Check, nullptr);
    EXPECT_EQ(Check->CheckClause(), Before);
    LoadFromCatalogue(Routines, &FDb);
    ASSERT_TRUE(Routines.TryGetValue(QStringLiteral("[DBO].[GETORDER]"), Routine));
    EXPECT_EQ(static_cast<TDatabaseRoutine*>(Routine)->SourceCode(), RoutineBefore);
  }
}

// Altering an indexed view drops its indexes: without leave nothing reaches the server.
TEST_F(CatalogueOverOdbcTest, AnIndexedViewIsAlteredOnlyWhenTheLossOfItsIndexesIsAllowed) {
  const auto OrderSummary = [this](TDatabaseViewList& AViews) {
    LoadFromCatalogue(AViews, &FDb);
    TDatabaseObject* Found = nullptr;
    EXPECT_TRUE(AViews.TryGetValue(QStringLiteral("[DBO].[ORDERSUMMARY]"), Found));
    return static_cast<TDatabaseView*>(Found);
  };
  TDatabaseViewList Views(&FLog);
  TDatabaseView* View = OrderSummary(Views);
  ASSERT_NE(View, nullptr);
  ASSERT_TRUE(View->Indexed());
  View->SetStandardDefinition(QStringLiteral("CREATE VIEW dbo.OrderSummary AS SELECT Id FROM dbo.Orders"));
  FServer.Forget();
  EXPECT_THROW(Alter(&FDb, *View), Exception);
  EXPECT_TRUE(FServer.Statements().isEmpty());

  View->AllowIndexLoss(true);
  Alter(&FDb, *View);
  View = OrderSummary(Views);
  ASSERT_NE(View, nullptr);
  EXPECT_FALSE(View->Indexed());
  EXPECT_EQ(View->DDL(), QStringLiteral("CREATE VIEW dbo.OrderSummary AS SELECT Id FROM dbo.Orders"));
}

TEST_F(CatalogueOverOdbcTest, ARoutineRepairAltersOnlyItsOwnLeadingCreate) {
  TDatabaseRoutineList Routines(&FLog);
  LoadFromCatalogue(Routines, &FDb);
  TDatabaseObject* Found = nullptr;
  ASSERT_TRUE(Routines.TryGetValue(QStringLiteral("[DBO].[GETORDER]"), Found));
  auto* Routine = static_cast<TDatabaseRoutine*>(Found);
  const QString Standard = QStringLiteral(
      "/* CREATE PROCEDURE dbo.Old */\r\nCREATE PROC dbo.GetOrder @Id int\r\nAS\r\n"
      "EXEC('CREATE PROCEDURE dbo.Made AS SELECT 1')");
  Routine->SetStandardDefinition(Standard);
  Alter(&FDb, *Routine);

  LoadFromCatalogue(Routines, &FDb);
  ASSERT_TRUE(Routines.TryGetValue(QStringLiteral("[DBO].[GETORDER]"), Found));
  EXPECT_EQ(static_cast<TDatabaseRoutine*>(Found)->SourceCode(), Standard);
}

// A procedure written with QUOTED_IDENTIFIER OFF, whose double-quoted text is a string: altered
// under the session's options (ON) it no longer compiles, so the repair runs under its own and
// gives the session its options back.
TEST_F(CatalogueOverOdbcTest, ARoutineRepairKeepsTheSetOptionsTheRoutineWasCreatedWith) {
  const QString Standard = QStringLiteral("CREATE PROCEDURE Økonomi.BeregnSats AS SELECT \"ny sats\" AS Navn");
  try {
    FDb.ExecuteCommand(QStringLiteral("ALTER PROCEDURE Økonomi.BeregnSats AS SELECT \"ny sats\" AS Navn"));
    ADD_FAILURE() << "compiled under QUOTED_IDENTIFIER ON";
  } catch (const EOdbcError& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("Invalid column name 'ny sats'"))) << E.what();
  }

  TDatabaseRoutineList Routines(&FLog);
  LoadFromCatalogue(Routines, &FDb);
  TDatabaseObject* Found = nullptr;
  ASSERT_TRUE(Routines.TryGetValue(QStringLiteral("[ØKONOMI].[BEREGNSATS]"), Found));
  auto* Routine = static_cast<TDatabaseRoutine*>(Found);
  Routine->SetStandardDefinition(Standard);
  EXPECT_TRUE(AlterCommand(*Routine).startsWith(QStringLiteral("SET QUOTED_IDENTIFIER OFF;\r\nSET ANSI_NULLS OFF;\r\nGO\r\n")))
      << AlterCommand(*Routine).toStdString();
  Alter(&FDb, *Routine);

  LoadFromCatalogue(Routines, &FDb);
  ASSERT_TRUE(Routines.TryGetValue(QStringLiteral("[ØKONOMI].[BEREGNSATS]"), Found));
  Routine = static_cast<TDatabaseRoutine*>(Found);
  EXPECT_EQ(Routine->SourceCode(), Standard);
  Routine->SetStandardDefinition(Standard);
  EXPECT_TRUE(AlterCommand(*Routine).startsWith(QStringLiteral("SET QUOTED_IDENTIFIER OFF;\r\nSET ANSI_NULLS OFF;")));
  TDataSet* Options = FDb.FastQuery(QStringLiteral("SELECT @@OPTIONS"));
  constexpr qint32 QuotedIdentifierAndAnsiNulls = 256 | 32;
  EXPECT_EQ(Options->Fields(0).AsInteger() & QuotedIdentifierAndAnsiNulls, QuotedIdentifierAndAnsiNulls);
  Options->Close();
}

TEST_F(CatalogueOverOdbcTest, ARepairLeavesNoTransactionOpenAndTheSessionsXactAbortAsItWas) {
  constexpr qint32 XactAbort = 16384;
  const struct {
    const char* Name;
    bool XactAbortBefore;
    void (TTdsServer::*Rule)(const QString&);
    const char* Clause;
    const char* Error;
  } Cases[] = {
      {"succeeds", false, nullptr, "([Sats]>=(0))", nullptr},
      {"succeeds with XACT_ABORT on", true, nullptr, "([Sats]>=(1))", nullptr},
      {"add fails and CATCH rolls back", false, &TTdsServer::Fail, "([Sats]>(5))", "Forced failure of: ALTER TABLE"},
      {"add fails past CATCH", false, &TTdsServer::FailUnresolved, "([Sats]>(6))", "Invalid column name 'Unresolved'."},
      {"add fails past CATCH with XACT_ABORT on", true, &TTdsServer::FailUnresolved, "([Sats]>(7))",
       "Invalid column name 'Unresolved'."},
  };
  const QString Table = QString::fromUtf8("Beløp");
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    FDb.ExecuteCommand(Case.XactAbortBefore ? QStringLiteral("SET XACT_ABORT ON") : QStringLiteral("SET XACT_ABORT OFF"));
    TCheckConstraintList Checks(&FLog);
    TDatabaseCheckConstraint* Check = CheckOn(Checks, Table);
    ASSERT_NE(Check, nullptr);
    const QString Before = Check->CheckClause();
    Check->SetStandardDefinition(QString::fromUtf8(Case.Clause));
    if (Case.Rule) {
      (FServer.*Case.Rule)(QStringLiteral("ADD CONSTRAINT"));
      try {
        Alter(&FDb, *Check);
        ADD_FAILURE() << "the repair passed";
      } catch (const EOdbcError& E) {
        EXPECT_TRUE(E.Message().contains(QString::fromUtf8(Case.Error))) << E.what();
      }
      FServer.Clear();
    } else {
      Alter(&FDb, *Check);
    }
    EXPECT_EQ(ScalarOf(FDb, QStringLiteral("SELECT @@TRANCOUNT")).toInt(), 0);
    EXPECT_EQ(ScalarOf(FDb, QStringLiteral("SELECT @@OPTIONS")).toInt() & XactAbort, Case.XactAbortBefore ? XactAbort : 0);
    Check = CheckOn(Checks, Table);
    ASSERT_NE(Check, nullptr);
    EXPECT_EQ(Check->CheckClause(), Case.Rule ? Before : QString::fromUtf8(Case.Clause));
  }
}

}  // namespace
}  // namespace quillon
