#include "catalogue/Catalogue.Read.h"
#include "infra/platform/Support.Paths.h"
#include "infra/xml/Support.Xml.h"
#include "model/Indices.h"
#include "model/Tables.h"
#include "support/MemorySql.h"
#include "support/RecordingLog.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TLogEntry;
using test::TMemorySQL;
using test::TRecordingLog;
using test::TScriptedResult;

QString ViewQuery() { return CatalogueQuery(TDatabaseViewList(nullptr)); }
const QStringList ViewFields = {QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME"), QStringLiteral("VIEW_DEFINITION")};

QVariantList ViewRow(const QString& ASchema, const QString& AName) {
  return {ASchema, AName, QStringLiteral("CREATE VIEW ") + AName};
}

QStringList Keys(const TDatabaseObjectList& AList) {
  QStringList Result;
  for (const TDatabaseObject* Object : AList.Values())
    Result.append(Object->Key());
  Result.sort();
  return Result;
}

// A list without order clause or custom query: the generic query alone.
class TBareTableList : public TDatabaseObjectList {
public:
  explicit TBareTableList(ILog* ALog) : TDatabaseObjectList(QStringLiteral("TABLE"), ALog) {}
  QString FullName() const override { return QStringLiteral("TBareTableList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override { return std::make_unique<TDatabaseTable>(); }
};

class ListsTest : public ::testing::Test {
protected:
  ListsTest() {
    Log.SetLogCallStack(true);
    Sql.AddResult(QStringLiteral("SELECT DB_NAME()"), {QStringLiteral("")}, {{QStringLiteral("Shop")}});
  }

  QStringList EntriesOf(TLogEntry::TKind AKind) const { return Log.Texts(AKind); }

  TRecordingLog Log;
  TMemorySQL Sql;
};

TEST_F(ListsTest, LoadRunsTheCatalogueQueryAndFilesEveryRowUnderItsKey) {
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "B"), ViewRow("Sales", "A")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  EXPECT_EQ(Sql.QueryTexts(), (QStringList{QStringLiteral("SELECT DB_NAME()"), ViewQuery()}));
  EXPECT_EQ(Views.DbName(), QStringLiteral("Shop"));
  EXPECT_EQ(Keys(Views), (QStringList{"[DBO].[B]", "[SALES].[A]"}));
  EXPECT_EQ(Views.ListName(), QStringLiteral("VIEWS"));
  EXPECT_EQ(Views.FullName(), QStringLiteral("TDatabaseViewList"));
  EXPECT_EQ(EntriesOf(TLogEntry::SqlQuery), QStringList{ViewQuery()});
  EXPECT_FALSE(Sql.DataSet().Active());
}

TEST_F(ListsTest, TheGenericQueryWithoutOrderClauseEndsInTheListName) {
  Sql.AddResult(QStringLiteral("SELECT * FROM INFORMATION_SCHEMA.TABLES"), {}, {});
  TBareTableList Tables(&Log);
  LoadFromCatalogue(Tables, &Sql);
  EXPECT_EQ(Tables.Count(), 0);
  EXPECT_EQ(Tables.DbName(), QStringLiteral("Shop"));
}

TEST_F(ListsTest, ARepeatedKeyKeepsTheFirstRowAndWarnsSilently) {
  Sql.AddResult(ViewQuery(), ViewFields,
                {{"dbo", "Orders", "first"}, {"DBO", "orders", "second"}, {"dbo", "Other", "x"}});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  TDatabaseObject* Found = nullptr;
  ASSERT_TRUE(Views.TryGetValue(QStringLiteral("[DBO].[ORDERS]"), Found));
  EXPECT_EQ(static_cast<TDatabaseView*>(Found)->GetViewDefinition(), QStringLiteral("first"));
  EXPECT_EQ(Views.Count(), 2);
  EXPECT_EQ(EntriesOf(TLogEntry::SilentWarning), QStringList{"Duplicate key: [DBO].[ORDERS]"});
}

TEST_F(ListsTest, LoadReplacesWhatTheListHeld) {
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "Old")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "New")});
  LoadFromCatalogue(Views, &Sql);
  EXPECT_EQ(Keys(Views), QStringList{"[DBO].[NEW]"});
}

TEST_F(ListsTest, AFailureDuringTheLoadKeepsTheRowsBeforeItAndClosesEverything) {
  TScriptedResult Result{ViewFields, {ViewRow("dbo", "A"), ViewRow("dbo", "B"), ViewRow("dbo", "C")}};
  Result.FailAtRow = 2;
  Sql.AddResult(ViewQuery(), Result);
  TDatabaseViewList Views(&Log);
  EXPECT_THROW(LoadFromCatalogue(Views, &Sql), Exception);
  EXPECT_EQ(Keys(Views), (QStringList{"[DBO].[A]", "[DBO].[B]"}));
  EXPECT_FALSE(Sql.DataSet().Active());
  EXPECT_EQ(EntriesOf(TLogEntry::Enter), QStringList{"TDatabaseViewList.Load"});
  EXPECT_EQ(EntriesOf(TLogEntry::Leave), QStringList{"TDatabaseViewList.Load"});
}

TEST_F(ListsTest, ARowWithoutAColumnTheKindReadsStopsTheLoad) {
  Sql.AddResult(ViewQuery(), {QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")}, {{"dbo", "A"}});
  TDatabaseViewList Views(&Log);
  try {
    LoadFromCatalogue(Views, &Sql);
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Unknown field VIEW_DEFINITION"));
  }
  EXPECT_EQ(Views.Count(), 0);
  EXPECT_EQ(EntriesOf(TLogEntry::Leave), QStringList{"TDatabaseViewList.Load"});
}

TEST_F(ListsTest, AFailingQueryReachesTheCallerAndLeavesTheListEmpty) {
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "A")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  Sql.FailOn(ViewQuery(), QStringLiteral("Invalid object name 'INFORMATION_SCHEMA.VIEWS'."));
  EXPECT_THROW(LoadFromCatalogue(Views, &Sql), Exception);
  EXPECT_EQ(Views.Count(), 0);
}

TEST_F(ListsTest, SaveToXmlWritesTheObjectsInKeyOrderReplacingTheChildren) {
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "B"), ViewRow("dbo", "A"), ViewRow("dbo", "AB")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  TXmlDocument Xml;
  TXmlNode* Container = Xml.CreateDocumentElement(QStringLiteral("R"))->AddChild(QStringLiteral("VIEWS"));
  Container->AddChild(QStringLiteral("STALE"));
  Views.SaveToXml(Container);
  QStringList Names;
  for (const auto& Child : Container->ChildNodes())
    Names.append(Child->Attribute(QStringLiteral("TABLE_NAME")));
  EXPECT_EQ(Names, (QStringList{"A", "AB", "B"}));
}

TEST_F(ListsTest, SaveToXmlOfTheDocumentAppendsTheListNamedContainer) {
  TDatabaseViewList Views(&Log);
  TXmlDocument Xml;
  Xml.CreateDocumentElement(QStringLiteral("Database"))->AddChild(QStringLiteral("FIRST"));
  Views.SaveToXml(Xml);
  const auto& Children = Xml.DocumentElement()->ChildNodes();
  ASSERT_EQ(Children.size(), 2u);
  EXPECT_EQ(Children.back()->NodeName(), QStringLiteral("VIEWS"));
  EXPECT_TRUE(Children.back()->ChildNodes().empty());
}

class ListsXmlTest : public ListsTest {
protected:
  QString Write(const QByteArray& AContent) {
    const QString FileName = Dir.filePath(QStringLiteral("snapshot%1.xml").arg(++FFiles));
    QFile File(FileName);
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(AContent);
    return FileName;
  }

  QTemporaryDir Dir;
  int FFiles = 0;
};

TEST_F(ListsXmlTest, LoadFromXmlReadsTheListsContainerOnlyAndAddsToTheList) {
  const QString FileName = Write(
      "<?xml version=\"1.0\"?><Database><TABLES><VIEW TABLE_SCHEMA=\"x\" TABLE_NAME=\"NotMine\"/></TABLES>"
      "<VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"A\">\r\nSELECT 1\r\n</VIEW><UNKNOWN/>"
      "<VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"B\"/></VIEWS><VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Second\"/></VIEWS>"
      "</Database>");
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "Loaded")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  Views.LoadFromXml(FileName);
  EXPECT_EQ(Keys(Views), (QStringList{"[DBO].[A]", "[DBO].[B]", "[DBO].[LOADED]"}));
  EXPECT_EQ(Views.DbName(), QStringLiteral("XML"));
  TDatabaseObject* A = nullptr;
  ASSERT_TRUE(Views.TryGetValue(QStringLiteral("[DBO].[A]"), A));
  EXPECT_EQ(static_cast<TDatabaseView*>(A)->GetViewDefinition(), QStringLiteral("SELECT 1"));
  EXPECT_EQ(EntriesOf(TLogEntry::Event), QStringList{"TDatabaseViewList.LoadFromXml: " + FileName});
}

TEST_F(ListsXmlTest, ADocumentWithoutTheContainerLeavesTheListAsItWas) {
  const QString FileName = Write("<Database><TABLES/></Database>");
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "A")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  Views.LoadFromXml(FileName);
  EXPECT_EQ(Keys(Views), QStringList{"[DBO].[A]"});
  EXPECT_EQ(Views.DbName(), QStringLiteral("XML"));
}

TEST_F(ListsXmlTest, ARepeatedKeyInTheDocumentIsRefusedAfterTheObjectsBeforeIt) {
  const QString FileName = Write(
      "<Database><VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"A\"/><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"B\"/>"
      "<VIEW TABLE_SCHEMA=\"DBO\" TABLE_NAME=\"a\"/><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"C\"/></VIEWS></Database>");
  TDatabaseViewList Views(&Log);
  try {
    Views.LoadFromXml(FileName);
    FAIL() << "no exception";
  } catch (const EListError& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("Duplicates not allowed"));
  }
  EXPECT_EQ(Keys(Views), (QStringList{"[DBO].[A]", "[DBO].[B]"}));
}

TEST_F(ListsXmlTest, ReadingTheSameDocumentTwiceFailsAtItsFirstObject) {
  const QString FileName = Write(
      "<Database><VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"A\"/><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"B\"/>"
      "</VIEWS></Database>");
  TDatabaseViewList Views(&Log);
  Views.LoadFromXml(FileName);
  EXPECT_THROW(Views.LoadFromXml(FileName), EListError);
  EXPECT_EQ(Views.Count(), 2);
}

TEST_F(ListsXmlTest, AnUnreadableDocumentRaisesWithThePositionAndChangesNothing) {
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "A")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  const QString Truncated = Write("<Database>\n<VIEWS>\n<VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"B\"/>\n<VIEW TABLE_SC");
  try {
    Views.LoadFromXml(Truncated);
    FAIL() << "no exception";
  } catch (const EXmlParseError& E) {
    EXPECT_EQ(E.Line(), 4);
    EXPECT_TRUE(E.Message().startsWith(Truncated + QStringLiteral(": "))) << E.what();
    EXPECT_TRUE(E.Message().contains(QStringLiteral("(line 4, column"))) << E.what();
  }
  EXPECT_THROW(Views.LoadFromXml(Dir.filePath(QStringLiteral("missing.xml"))), Exception);
  EXPECT_EQ(Keys(Views), QStringList{"[DBO].[A]"});
}

TEST_F(ListsXmlTest, LoadFromLocalReadsTheFileNamedLikeTheProgramAndSaysSo) {
  const QString FileName = ExeFolder() + ExeName() + QStringLiteral(".xml");
  QFile File(FileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write("<Database><VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Local\"/></VIEWS></Database>");
  File.close();
  TDatabaseViewList Views(&Log);
  testing::internal::CaptureStdout();
  Views.LoadFromLocal();
  const std::string Output = testing::internal::GetCapturedStdout();
  QFile::remove(FileName);
  EXPECT_EQ(Output, "--  Loading TDatabaseViewList from file: " + (ExeName() + QStringLiteral(".xml")).toStdString() + "\n");
  EXPECT_EQ(Keys(Views), QStringList{"[DBO].[LOCAL]"});
}

TEST_F(ListsXmlTest, TheIndexListAlsoReadsTheSnapshotsIndicesContainer) {
  const QString FileName = Write(
      "<Database><INDICES><INDEX TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"T\" INDEX_NAME=\"IX\" IS_UNIQUE=\"true\"/>"
      "</INDICES></Database>");
  TDatabaseIndexList Indices(&Log);
  Indices.LoadFromXml(FileName);
  EXPECT_EQ(Keys(Indices), QStringList{"[DBO].[T].[IX]"});
}

TEST_F(ListsTest, DeleteExtrasRemovesWhatTheOtherListLacks) {
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "A"), ViewRow("dbo", "B"), ViewRow("dbo", "C")});
  TDatabaseViewList Views(&Log);
  LoadFromCatalogue(Views, &Sql);
  Sql.AddResult(ViewQuery(), ViewFields, {ViewRow("dbo", "B"), ViewRow("dbo", "D")});
  TDatabaseViewList Other(&Log);
  LoadFromCatalogue(Other, &Sql);
  Log.Entries.clear();
  Views.DeleteExtras(Other);
  EXPECT_EQ(Keys(Views), QStringList{"[DBO].[B]"});
  EXPECT_EQ(EntriesOf(TLogEntry::Event),
            (QStringList{"Removing [DBO].[A] from VIEWS (Shop)", "Removing [DBO].[C] from VIEWS (Shop)"}));
  EXPECT_EQ(EntriesOf(TLogEntry::Enter), QStringList{"TDatabaseViewList.DeleteExtras"});
  EXPECT_EQ(EntriesOf(TLogEntry::Leave), QStringList{"TDatabaseViewList.DeleteExtras"});
  Views.Remove(QStringLiteral("[DBO].[NOTHERE]"));
  EXPECT_EQ(Views.Count(), 1);
}

}  // namespace
}  // namespace quillon
