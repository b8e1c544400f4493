#include "catalogue/Catalogue.Read.h"
#include "catalogue/Catalogue.Store.h"
#include "catalogue/Catalogue.Store.h"
#include "database/Database.Interfaces.h"
#include "gold/Gold.Publish.h"
#include "infra/xml/Support.Xml.h"
#include "repair/Repair.Alter.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "support/MemorySql.h"
#include "support/RecordingService.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TMemorySQL;

TEST(DatabaseObjectName, FullNameKeyAndStrippedName) {
  struct TCase {
    QString Schema, Name, FullName, Key, Stripped;
  } Cases[] = {
      {"dbo", "x", "[dbo].[x]", "[DBO].[X]", "dbo.x"},
      {"Sales", "Kæfer]Øl", "[Sales].[Kæfer]Øl]", "[SALES].[KÆFER]ØL]", "Sales.Kæfer]Øl"},
      // One character for one: the German sharp s keeps its length in a key.
      {"dbo", "straße", "[dbo].[straße]", "[DBO].[STRAßE]", "dbo.straße"},
      {"", "", "[].[]", "[].[]", "."},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.FullName.toStdString());
    const TDatabaseObjectName Name(Case.Schema, Case.Name);
    EXPECT_EQ(Name.FullName(), Case.FullName);
    EXPECT_EQ(Name.Key(), Case.Key);
    EXPECT_EQ(Name.StrippedName(), Case.Stripped);
  }
}

TEST(DatabaseObject, SetStandardDefinitionTrimsWhiteSpaceAndControlCharacters) {
  TDatabaseView View;
  View.SetStandardDefinition(QStringLiteral("  CREATE VIEW v AS SELECT 1\r\n"));
  EXPECT_EQ(View.GetStandardDefinition(), QStringLiteral("CREATE VIEW v AS SELECT 1"));
  View.SetStandardDefinition(QStringLiteral(" \t\r\n\x01 "));
  EXPECT_EQ(View.GetStandardDefinition(), QString());
}

TEST(DatabaseObject, MatchesNeedsTheSameClassAndTheSameNameUpToAsciiCase) {
  const TDatabaseView Orders("dbo", "Orders");
  const TDatabaseView OrdersOtherCase("DBO", "orders");
  const TDatabaseView Other("dbo", "Order");
  const TDatabaseRoutine Routine("dbo", "Orders", "PROCEDURE");
  const TDatabaseView Accented("dbo", "Øl");
  const TDatabaseView AccentedLower("dbo", "øl");
  EXPECT_EQ(Orders.Matches(&OrdersOtherCase), ltDebug);
  EXPECT_EQ(Orders.Matches(&Other), ltError);
  EXPECT_EQ(Orders.Matches(&Routine), ltError);
  EXPECT_EQ(Routine.Matches(&Orders), ltError);
  EXPECT_EQ(Orders.Matches(nullptr), ltError);
  // Only a-z fold: other letters must match exactly.
  EXPECT_EQ(Accented.Matches(&AccentedLower), ltError);
}

TEST(DatabaseObject, OperationsAKindDoesNotOverrideRaiseTheAbstractError) {
  TDatabaseObject Bare;
  TXmlDocument Xml;
  TXmlNode* Root = Xml.CreateDocumentElement(QStringLiteral("R"));
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("q"), {QStringLiteral("A")}, {{1}});
  EXPECT_THROW(Bare.AddNode(Root), EAbstractError);
  EXPECT_THROW(Bare.Parse(Root), EAbstractError);
  EXPECT_THROW(LoadFromRow(Bare, *Sql.FastQuery(QStringLiteral("q"))), EAbstractError);
  // The constraint base reads but cannot write itself.
  TDatabaseConstraint Constraint;
  EXPECT_THROW(Constraint.AddNode(Root), EAbstractError);
  EXPECT_TRUE(Root->ChildNodes().empty());
}

TEST(DatabaseObject, EachKindOffersExactlyItsInterfaces) {
  struct TCase {
    const char* Kind;
    std::unique_ptr<TDatabaseObject> Object;
    bool Child, Coded, Alter, SaveToDb, SaveToService;
  };
  TCase Cases[] = {
      {"schema", std::make_unique<TDatabaseSchema>(), false, false, false, false, true},
      {"table", std::make_unique<TDatabaseTable>(), true, false, false, false, false},
      {"view", std::make_unique<TDatabaseView>(), false, true, true, true, true},
      {"column", std::make_unique<TDatabaseColumn>(), true, false, false, false, false},
      {"index", std::make_unique<TDatabaseIndex>(), false, false, false, false, true},
      {"routine", std::make_unique<TDatabaseRoutine>(), false, true, true, true, true},
      {"check constraint", std::make_unique<TDatabaseCheckConstraint>(), true, true, true, true, true},
      {"referential constraint", std::make_unique<TDatabaseReferentialConstraint>(), true, false, false, true, true},
      {"table privilege", std::make_unique<TTablePrivilege>(), true, true, false, false, false},
      {"routine privilege", std::make_unique<TRoutinePrivilege>(), true, true, false, false, false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Kind);
    TDatabaseObject* Object = Case.Object.get();
    EXPECT_NE(dynamic_cast<IDbObjectName*>(Object), nullptr);
    EXPECT_EQ(dynamic_cast<IChildObject*>(Object) != nullptr, Case.Child);
    EXPECT_EQ(dynamic_cast<ICodedObject*>(Object) != nullptr, Case.Coded);
    EXPECT_EQ(IsAlterable(*Object), Case.Alter);
    TMemorySQL Store;
    EXPECT_EQ(SaveObjectToDb(&Store, *Object, 12), Case.SaveToDb);
    // The service keeps a record of the kind; a readable text stands in for the coded ones.
    if (auto* Coded = dynamic_cast<TDatabaseView*>(Object))
      Coded->SetViewDefinition(QStringLiteral("CREATE VIEW V AS SELECT 1"));
    if (auto* Coded = dynamic_cast<TDatabaseRoutine*>(Object))
      Coded->SetSourceCode(QStringLiteral("CREATE PROCEDURE P AS SELECT 1"));
    test::TRecordingService Service;
    EXPECT_EQ(SaveObjectToService(*Object, &Service, 12), Case.SaveToService);
    EXPECT_EQ(Service.Calls.size(), Case.SaveToService ? 1 : 0);
  }
}

TEST(DatabaseObject, InterfacesShareTheObjectsOneFullName) {
  TDatabaseCheckConstraint Constraint;
  TDatabaseIndex Index;
  const TDatabaseObject* Object = &Index;
  EXPECT_EQ(dynamic_cast<const IDbObjectName*>(Object)->FullName(), QStringLiteral("[].[].[]"));
  dynamic_cast<ICodedObject*>(static_cast<TDatabaseObject*>(&Constraint))->SetStandardDefinition(QStringLiteral(" (x>0) "));
  EXPECT_EQ(Constraint.GetStandardDefinition(), QStringLiteral("(x>0)"));
  EXPECT_EQ(dynamic_cast<IDbObjectName*>(static_cast<TDatabaseObject*>(&Constraint))->FullName(), QStringLiteral("[].[]"));
}

TEST(DatabaseObject, FieldValuesAreFoundIgnoringCaseAndAMissingOneIsNamed) {
  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("q"), {QStringLiteral("Table_Name"), QStringLiteral("N")}, {{QStringLiteral("T"), QVariant()}});
  TDataSet& Rows = *Sql.FastQuery(QStringLiteral("q"));
  EXPECT_EQ(GetFieldValue(Rows, QStringLiteral("TABLE_NAME")).toString(), QStringLiteral("T"));
  EXPECT_TRUE(GetFieldValue(Rows, QStringLiteral("N")).isNull());
  EXPECT_EQ(GetFieldText(Rows, QStringLiteral("N")), QString());
  EXPECT_TRUE(FieldExists(Rows, QStringLiteral("n")));
  EXPECT_FALSE(FieldExists(Rows, QStringLiteral("GRANTOR")));
  try {
    GetFieldValue(Rows, QStringLiteral("GRANTOR"));
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Unknown field GRANTOR"));
  }
}

TEST(DatabaseObject, CreateFromNodeAndFromDataSetFillTheObject) {
  TXmlDocument Xml;
  TXmlNode* Node = Xml.CreateDocumentElement(QStringLiteral("ROUTINE"));
  Node->SetAttribute(QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("dbo"));
  Node->SetAttribute(QStringLiteral("ROUTINE_NAME"), QStringLiteral("P"));
  EXPECT_EQ(TDatabaseObject::CreateFromNode<TDatabaseRoutine>(Node)->Key(), QStringLiteral("[DBO].[P]"));

  TMemorySQL Sql;
  Sql.AddResult(QStringLiteral("q"), {QStringLiteral("SCHEMA_NAME"), QStringLiteral("SCHEMA_OWNER")},
                {{QStringLiteral("Sales"), QStringLiteral("dbo")}});
  EXPECT_EQ(CreateFromDataSet<TDatabaseSchema>(*Sql.FastQuery(QStringLiteral("q")))->SchemaOwner(),
            QStringLiteral("dbo"));
}

TEST(DatabaseObject, AnUnreadableDefinitionReadsBackAndIsNeverRepairedOrSent) {
  const TXmlDocument Xml = TXmlDocument::FromBytes(
      "<L><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"V\" DEFINITION_UNREADABLE=\"true\"/>"
      "<VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"W\">CREATE VIEW dbo.W AS SELECT 1</VIEW>"
      "<ROUTINE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"P\" ROUTINE_TYPE=\"PROCEDURE\" DEFINITION_UNREADABLE=\"true\"/></L>");
  const auto& Nodes = Xml.DocumentElement()->ChildNodes();
  const auto Hidden = TDatabaseObject::CreateFromNode<TDatabaseView>(Nodes[0].get());
  const auto Plain = TDatabaseObject::CreateFromNode<TDatabaseView>(Nodes[1].get());
  const auto Routine = TDatabaseObject::CreateFromNode<TDatabaseRoutine>(Nodes[2].get());
  EXPECT_TRUE(Hidden->DefinitionUnreadable());
  EXPECT_FALSE(Plain->DefinitionUnreadable());
  EXPECT_TRUE(Routine->DefinitionUnreadable());

  TXmlDocument Written;
  TXmlNode* Root = Written.CreateDocumentElement(QStringLiteral("L"));
  Hidden->AddNode(Root);
  Plain->AddNode(Root);
  EXPECT_EQ(Root->ChildNodes()[0]->Attribute(UnreadableAttribute), QStringLiteral("true"));
  EXPECT_FALSE(Root->ChildNodes()[1]->HasAttribute(UnreadableAttribute)) << "older readers see nothing new";

  Hidden->SetStandardDefinition(QStringLiteral("CREATE VIEW dbo.V AS SELECT 2"));
  Routine->SetStandardDefinition(QStringLiteral("CREATE PROCEDURE dbo.P AS SELECT 2"));
  TMemorySQL Sql;
  for (const TDatabaseObject* Object : {static_cast<TDatabaseObject*>(Hidden.get()), static_cast<TDatabaseObject*>(Routine.get())}) {
    try {
      Alter(&Sql, *Object);
      ADD_FAILURE() << "repaired";
    } catch (const Exception& E) {
      EXPECT_TRUE(E.Message().endsWith(QStringLiteral(" cannot be repaired: its definition is unreadable (encrypted or "
                                                      "no VIEW DEFINITION permission)")))
          << E.Message().toStdString();
    }
  }
  SaveToDb(&Sql, *Hidden, 12);
  SaveToDb(&Sql, *Routine, 12);
  EXPECT_TRUE(Sql.Calls.isEmpty());
  EXPECT_THROW(SaveToService(*Hidden, nullptr, 12), Exception);
  // An empty text is no definition either.
  TDatabaseView Empty(QStringLiteral("dbo"), QStringLiteral("E"));
  EXPECT_THROW(SaveToService(Empty, nullptr, 12), Exception);
}

}  // namespace
}  // namespace quillon
