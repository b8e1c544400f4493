#include "infra/platform/Support.Exceptions.h"
#include "repair/Repair.Alter.h"
#include "repair/Repair.Script.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "support/LoadedObject.h"
#include "support/MemorySql.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TMemorySQL;
using test::TSqlCall;

using test::Loaded;

// What a view's or routine's batch starts with: the SET options the module was created with.
const QString OptionsOn = QStringLiteral("SET QUOTED_IDENTIFIER ON;\r\nSET ANSI_NULLS ON;\r\nGO\r\n");

// One object of each kind a repair meets, with its gold text, in the order of the list.
class RepairScriptTest : public testing::Test {
protected:
  RepairScriptTest() {
    View->SetStandardDefinition(QStringLiteral("CREATE VIEW dbo.V AS SELECT 1 AS One"));
    Check->SetStandardDefinition(QStringLiteral("([Qty]>(0))"));
    Routine->SetStandardDefinition(QStringLiteral("create proc dbo.P as\r\nselect 2"));
    for (TDatabaseObject* Object : std::initializer_list<TDatabaseObject*>{View.get(), Index.get(), Check.get(),
                                                                          Routine.get(), Blank.get()})
      Script.Add(Object);
    Sql.AddResult(QStringLiteral("SELECT @@OPTIONS"), {QString()}, {{5496}});
  }

  QString CheckBatch() const { return AlterCommand(*Check); }

  std::unique_ptr<TDatabaseView> View = Loaded<TDatabaseView>(
      {"TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION", "USES_QUOTED_IDENTIFIER", "USES_ANSI_NULLS"},
      {"dbo", "V", "CREATE VIEW dbo.V AS SELECT 0 AS Zero", true, true});
  std::unique_ptr<TDatabaseIndex> Index =
      Loaded<TDatabaseIndex>({"INDEX_NAME", "TABLE_SCHEMA", "TABLE_NAME", "IS_UNIQUE"}, {"IX", "dbo", "T", true});
  std::unique_ptr<TDatabaseCheckConstraint> Check = Loaded<TDatabaseCheckConstraint>(
      {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_NAME", "TABLE_SCHEMA", "CHECK_CLAUSE"},
      {"dbo", "CK", "T", "dbo", "([Qty]>=(0))"});
  std::unique_ptr<TDatabaseRoutine> Routine = Loaded<TDatabaseRoutine>(
      {"ROUTINE_NAME", "ROUTINE_SCHEMA", "ROUTINE_TYPE", "ROUTINE_DEFINITION", "USES_QUOTED_IDENTIFIER", "USES_ANSI_NULLS"},
      {"P", "dbo", "PROCEDURE", "create proc dbo.P as select 1", true, true});
  // A routine the gold standard holds no text for.
  std::unique_ptr<TDatabaseRoutine> Blank =
      std::make_unique<TDatabaseRoutine>(QStringLiteral("dbo"), QStringLiteral("Blank"), QStringLiteral("FUNCTION"));
  TRepairScript Script;
  TMemorySQL Sql;
};

QStringList Outcomes(const QList<TRepairResult>& AResults) {
  QStringList Result;
  for (const TRepairResult& Item : AResults)
    Result.append(RepairOutcomeText(Item.Outcome) + (Item.Message.isEmpty() ? QString() : QStringLiteral(": ") + Item.Message));
  return Result;
}

TEST_F(RepairScriptTest, EachObjectGetsItsExactBatchOrTheReasonItCannotBeRepaired) {
  QStringList Planned;
  for (const TRepairStep& Step : Script.Steps())
    Planned.append(Step.Kind + u' ' + Step.ObjectName + QStringLiteral(" | ") + (Step.Repairable() ? Step.Batch : Step.Refusal));
  EXPECT_EQ(Planned,
            (QStringList{"View [dbo].[V] | " + OptionsOn + "ALTER VIEW dbo.V AS SELECT 1 AS One",
                         "Index [dbo].[T].[IX] | The gold standard only says whether the index is unique (it should be "
                         "NOT UNIQUE); recreate it by hand.",
                         "Check constraint [dbo].[CK] | " + CheckBatch(),
                         "Routine [dbo].[P] | " + OptionsOn + "ALTER proc dbo.P as\r\nselect 2",
                         "Routine [dbo].[Blank] | Standard definition missing"}));
  EXPECT_EQ(Script.RepairableCount(), 3);
  EXPECT_TRUE(CheckBatch().contains(QStringLiteral("BEGIN TRANSACTION")));
}

TEST_F(RepairScriptTest, TheScriptSeparatesBatchesWithGoAndSavesAsUtf8) {
  const QString Expected = QStringLiteral("-- View [dbo].[V]\r\n") + OptionsOn +
                           QStringLiteral("ALTER VIEW dbo.V AS SELECT 1 AS One\r\nGO\r\n\r\n"
                                          "-- Index [dbo].[T].[IX]\r\n-- Cannot be repaired: The gold standard only "
                                          "says whether the index is unique (it should be NOT UNIQUE); recreate it by "
                                          "hand.\r\n\r\n"
                                          "-- Check constraint [dbo].[CK]\r\n") +
                           CheckBatch() +
                           QStringLiteral("\r\nGO\r\n\r\n-- Routine [dbo].[P]\r\n") + OptionsOn +
                           QStringLiteral("ALTER proc dbo.P as\r\nselect 2\r\nGO\r\n\r\n"
                                          "-- Routine [dbo].[Blank]\r\n-- Cannot be repaired: Standard definition "
                                          "missing\r\n\r\n");
  EXPECT_EQ(Script.Text(), Expected);

  View->SetStandardDefinition(QString::fromUtf8("CREATE VIEW dbo.V AS SELECT N'Ærøskøbing' AS Town"));
  TRepairScript Utf8;
  Utf8.Add(View.get());
  QTemporaryDir Folder;
  const QString FileName = Folder.filePath(QStringLiteral("repair.sql"));
  Utf8.SaveToFile(FileName);
  QFile Saved(FileName);
  ASSERT_TRUE(Saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(Saved.readAll(), Utf8.Text().toUtf8());
  EXPECT_TRUE(Utf8.Text().contains(QString::fromUtf8("Ærøskøbing")));

  const QString Unwritable = Folder.filePath(QStringLiteral("no/such/folder/repair.sql"));
  try {
    Utf8.SaveToFile(Unwritable);
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_TRUE(E.Message().contains(Unwritable)) << E.Message().toStdString();
  }
}

TEST_F(RepairScriptTest, RunSendsThePlannedBatchesAndStopsAtTheFirstFailure) {
  EXPECT_EQ(Outcomes(Script.Run(&Sql)), (QStringList{"repaired", "cannot be repaired: " + Script.Steps()[1].Refusal,
                                                     "repaired", "repaired",
                                                     "cannot be repaired: Standard definition missing"}));
  EXPECT_TRUE(Sql.CommandTexts().contains(QStringLiteral("ALTER VIEW dbo.V AS SELECT 1 AS One")));
  EXPECT_TRUE(Sql.CommandTexts().contains(CheckBatch()));

  // The gold text changes after the plan: what runs is still what was planned (and shown).
  Sql.Calls.clear();
  View->SetStandardDefinition(QStringLiteral("CREATE VIEW dbo.V AS SELECT 2 AS Two"));
  Sql.FailOn(CheckBatch(), QStringLiteral("The ALTER TABLE statement conflicted with the CHECK constraint"));
  EXPECT_EQ(Outcomes(Script.Run(&Sql)),
            (QStringList{"repaired", "cannot be repaired: " + Script.Steps()[1].Refusal,
                         "failed: The ALTER TABLE statement conflicted with the CHECK constraint", "not attempted",
                         "cannot be repaired: Standard definition missing"}));
  EXPECT_TRUE(Sql.CommandTexts().contains(QStringLiteral("ALTER VIEW dbo.V AS SELECT 1 AS One")));
  EXPECT_FALSE(Sql.CommandTexts().contains(QStringLiteral("ALTER VIEW dbo.V AS SELECT 2 AS Two")));
  for (const QString& Sent : Sql.CommandTexts())
    EXPECT_FALSE(Sent.startsWith(QStringLiteral("ALTER proc"))) << Sent.toStdString();
}

}  // namespace
}  // namespace quillon
