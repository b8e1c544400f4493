// The repair ALTER of each kind and how it is sent: under the module's SET options, or in one
// transaction for a check constraint.
#include "infra/platform/Support.Exceptions.h"
#include "model/Constraints.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "repair/Repair.Alter.h"
#include "support/LoadedObject.h"
#include "support/MemorySql.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::Loaded;
using test::ParsedFrom;
using test::TMemorySQL;
using test::TSqlCall;
using test::Written;

// What a repair script says of a view or routine whose SET options are not known.
const QString OptionsNotKnown =
    QStringLiteral("-- The SET options this object was created with are not known: it is not altered.\r\n");

TEST(Views, RepairTurnsTheLeadingCreateViewIntoAlterView) {
  const struct {
    QString Standard, Command;
  } Cases[] = {
      {"create   view dbo.V AS SELECT 1", "ALTER   view dbo.V AS SELECT 1"},
      {"/* CREATE\r\nVIEW */ CREATE VIEW dbo.V AS SELECT 1\r\nGO", "/* CREATE\r\nVIEW */ ALTER VIEW dbo.V AS SELECT 1\r\nGO"},
      {"CREATE /* x */ VIEW dbo.V AS SELECT 1", "ALTER /* x */ VIEW dbo.V AS SELECT 1"},
      {"-- CREATE VIEW\r\n/* a /* nested */ CREATE VIEW */\r\n\tCreate View dbo.V AS SELECT 'CREATE VIEW x' AS T",
       "-- CREATE VIEW\r\n/* a /* nested */ CREATE VIEW */\r\n\tALTER View dbo.V AS SELECT 'CREATE VIEW x' AS T"},
      {"CREATE OR ALTER VIEW dbo.V AS SELECT 1", "CREATE OR ALTER VIEW dbo.V AS SELECT 1"},
      {"CREATE VIEWS", "CREATE VIEWS"},
      {"/* never closed CREATE VIEW", "/* never closed CREATE VIEW"},
      {"", ""},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Standard.toStdString());
    TDatabaseView View("dbo", "V");
    View.SetStandardDefinition(Case.Standard);
    // Without a gold text there is nothing to send, not even the SET options' comment.
    EXPECT_EQ(AlterCommand(View), Case.Command.isEmpty() ? QString() : OptionsNotKnown + Case.Command);
  }
}

// The ALTER runs under the SET options the module was created with, read from the catalogue
// or the snapshot, and the session gets its own back; without them nothing runs.
TEST(Modules, RepairRunsUnderTheModulesOwnSetOptions) {
  const QStringList Fields{"TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION", "USES_QUOTED_IDENTIFIER",
                           "USES_ANSI_NULLS"};
  std::unique_ptr<TDatabaseView> Views[] = {
      Loaded<TDatabaseView>(Fields, {"dbo", "V", "CREATE VIEW dbo.V AS SELECT \"x\" AS A", false, true}),
      ParsedFrom<TDatabaseView>("<VIEW TABLE_SCHEMA='dbo' TABLE_NAME='V' USES_QUOTED_IDENTIFIER='0' "
                                "USES_ANSI_NULLS='1'>CREATE VIEW dbo.V AS SELECT \"x\" AS A</VIEW>"),
  };
  for (const auto& View : Views) {
    View->SetStandardDefinition(QStringLiteral("CREATE VIEW dbo.V AS SELECT \"y\" AS A"));
    EXPECT_EQ(AlterCommand(*View),
              QStringLiteral("SET QUOTED_IDENTIFIER OFF;\r\nSET ANSI_NULLS ON;\r\nGO\r\nALTER VIEW dbo.V AS SELECT \"y\" AS A"));
    EXPECT_EQ(Written(*View), QByteArray("<VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"V\" USES_QUOTED_IDENTIFIER=\"0\" "
                                         "USES_ANSI_NULLS=\"1\">&#xd;\nCREATE VIEW dbo.V AS SELECT \"x\" AS A&#xd;\n</VIEW>"));
    TMemorySQL Sql;
    Sql.AddResult(QStringLiteral("SELECT @@OPTIONS"), {QString()}, {{5496 & ~32}});
    Alter(&Sql, *View);
    EXPECT_EQ(Sql.Calls, (QList<TSqlCall>{{TSqlCall::Query, "SELECT @@OPTIONS", {}, false},
                                          {TSqlCall::Command, "SET QUOTED_IDENTIFIER OFF;\r\nSET ANSI_NULLS ON;", {}, false},
                                          {TSqlCall::Command, "ALTER VIEW dbo.V AS SELECT \"y\" AS A", {}, false},
                                          {TSqlCall::Command, "SET QUOTED_IDENTIFIER ON;\r\nSET ANSI_NULLS OFF;", {}, false}}));
  }

  const auto Indexed = Loaded<TDatabaseView>(
      {"TABLE_SCHEMA", "TABLE_NAME", "VIEW_DEFINITION", "USES_QUOTED_IDENTIFIER", "USES_ANSI_NULLS", "IS_INDEXED"},
      {"dbo", "V", "CREATE VIEW dbo.V AS SELECT 1 AS A", true, true, 1});
  Indexed->SetStandardDefinition(QStringLiteral("CREATE VIEW dbo.V AS SELECT 2 AS A"));
  EXPECT_TRUE(AlterCommand(*Indexed).startsWith(
      QStringLiteral("-- An indexed view: this ALTER drops all its indexes, which must be made again.\r\nSET ")))
      << AlterCommand(*Indexed).toStdString();
  const auto Unknown = ParsedFrom<TDatabaseRoutine>(
      "<ROUTINE ROUTINE_SCHEMA='dbo' ROUTINE_NAME='P' ROUTINE_TYPE='PROCEDURE'>CREATE PROC dbo.P AS SELECT 1</ROUTINE>");
  Unknown->SetStandardDefinition(QStringLiteral("CREATE PROC dbo.P AS SELECT 2"));
  const struct {
    const TDatabaseObject* Object;
    const char* Message;
  } Refusals[] = {{Indexed.get(), "[dbo].[V] is an indexed view"},
                  {Unknown.get(), "[dbo].[P] was created with cannot be read"}};
  for (const auto& Refusal : Refusals) {
    SCOPED_TRACE(Refusal.Message);
    TMemorySQL Sql;
    try {
      Alter(&Sql, *Refusal.Object);
      ADD_FAILURE() << "altered";
    } catch (const Exception& E) {
      EXPECT_TRUE(E.Message().contains(QString::fromLatin1(Refusal.Message))) << E.what();
    }
    EXPECT_TRUE(Sql.Calls.isEmpty());
  }
  Indexed->AllowIndexLoss(true);
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("SELECT @@OPTIONS"), {QString()}, {{5496}});
  Alter(&Sql, *Indexed);
  EXPECT_EQ(Sql.Calls.value(2), (TSqlCall{TSqlCall::Command, "ALTER VIEW dbo.V AS SELECT 2 AS A", {}, false}));
}

TEST(Routines, RepairTurnsTheLeadingCreateOfTheRoutinesTypeIntoAlter) {
  const struct {
    const char* Type;
    QString Standard, Command;
  } Cases[] = {
      {"PROCEDURE", "create\nprocedure dbo.P AS SELECT 1", "ALTER\nprocedure dbo.P AS SELECT 1"},
      {"PROCEDURE", "CREATE PROC dbo.P AS EXEC('CREATE PROCEDURE dbo.Q AS SELECT 1')",
       "ALTER PROC dbo.P AS EXEC('CREATE PROCEDURE dbo.Q AS SELECT 1')"},
      {"PROCEDURE", "CREATE PROCEDURE dbo.P AS\r\n-- CREATE PROCEDURE again\r\nSELECT 1",
       "ALTER PROCEDURE dbo.P AS\r\n-- CREATE PROCEDURE again\r\nSELECT 1"},
      {"FUNCTION", "create\nprocedure dbo.P AS SELECT 1", "create\nprocedure dbo.P AS SELECT 1"},
      {"FUNCTION", "CREATE PROC dbo.P AS SELECT 1", "CREATE PROC dbo.P AS SELECT 1"},
      {"FUNCTION", "-- CREATE FUNCTION old\r\nCREATE  FUNCTION dbo.F() RETURNS int",
       "-- CREATE FUNCTION old\r\nALTER  FUNCTION dbo.F() RETURNS int"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Standard.toStdString());
    TDatabaseRoutine Routine("dbo", "P", Case.Type);
    Routine.SetStandardDefinition(Case.Standard);
    EXPECT_EQ(AlterCommand(Routine), OptionsNotKnown + Case.Command);
  }
  TDatabaseRoutine Routine("dbo", "P", "PROCEDURE");
  TMemorySQL Sql;
  try {
    Alter(&Sql, Routine);
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Standard definition missing"));
  }
  EXPECT_TRUE(Sql.Calls.isEmpty());
}

// What the constraint was stays: NOT FOR REPLICATION, and not trusted (added WITH NOCHECK).
TEST(CheckConstraints, RepairKeepsNotForReplicationAndAddsAnUntrustedOneBackWithNoCheck) {
  const struct {
    bool NotForReplication, NotTrusted;
    QString Prefix, Add;
  } Cases[] = {
      {true, false, "", "ALTER TABLE [dbo].[T] ADD CONSTRAINT [CK] CHECK NOT FOR REPLICATION ([x]>(0));"},
      {false, true,
       "-- Added back WITH NOCHECK, as it was: the rows it never checked are not checked now.\r\n",
       "ALTER TABLE [dbo].[T] WITH NOCHECK ADD CONSTRAINT [CK] CHECK ([x]>(0));"},
      {true, true,
       "-- Added back WITH NOCHECK, as it was: the rows it never checked are not checked now.\r\n",
       "ALTER TABLE [dbo].[T] WITH NOCHECK ADD CONSTRAINT [CK] CHECK NOT FOR REPLICATION ([x]>(0));"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Add.toStdString());
    auto Constraint = Loaded<TDatabaseCheckConstraint>(
        {"CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_NAME", "TABLE_SCHEMA", "CHECK_CLAUSE", "IS_NOT_FOR_REPLICATION",
         "IS_NOT_TRUSTED"},
        {"dbo", "CK", "T", "dbo", "([x]>=(0))", Case.NotForReplication, Case.NotTrusted});
    Constraint->SetStandardDefinition(QStringLiteral("([x]>(0))"));
    const QString Command = AlterCommand(*Constraint);
    EXPECT_TRUE(Command.startsWith(Case.Prefix + QStringLiteral("SET XACT_ABORT ON;"))) << Command.toStdString();
    EXPECT_TRUE(Command.contains(QStringLiteral("DROP CONSTRAINT [CK];\r\n") + Case.Add + QStringLiteral("\r\n")))
        << Command.toStdString();
  }
}

}  // namespace
}  // namespace quillon
