#include "model/Xml.NodeList.h"
#include "model/Xml.Snapshot.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "support/CatalogueFixture.h"
#include "support/RecordingLog.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TCatalogueLists;
using test::TMemorySQL;
using test::TRecordingLog;

QByteArray ReadFile(const QString& AFileName) {
  QFile File(AFileName);
  EXPECT_TRUE(File.open(QIODevice::ReadOnly)) << AFileName.toStdString();
  return File.readAll();
}

QByteArray WithoutCreatedAt(QByteArray AXml) {
  return QString::fromUtf8(AXml).replace(QRegularExpression(QStringLiteral(" CreatedAt=\"[^\"]*\"")), QString()).toUtf8();
}

TEST(Snapshot, LayoutOfTheDocument) {
  TRecordingLog Log;
  TCatalogueLists Catalogue(&Log);
  TMemorySQL Sql;
  TXmlDocument Source;
  TXmlNode* Root = Source.CreateDocumentElement(QStringLiteral("Database"));
  Root->SetAttribute(QStringLiteral("DatabaseName"), QStringLiteral("Shop"));
  TXmlNode* Routine = Root->AddChild(QStringLiteral("ROUTINES"))->AddChild(QStringLiteral("ROUTINE"));
  Routine->SetAttribute(QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("dbo"));
  Routine->SetAttribute(QStringLiteral("ROUTINE_NAME"), QStringLiteral("P"));
  Routine->SetAttribute(QStringLiteral("ROUTINE_TYPE"), QStringLiteral("PROCEDURE"));
  Routine->SetText(QStringLiteral("X"));
  test::ScriptCatalogue(Sql, Source, Catalogue.Lists());
  Catalogue.Load(&Sql);

  const QDateTime At(QDate(2015, 4, 24), QTime(13, 39, 34, 120), QTimeZone(2 * 3600));
  EXPECT_EQ(BuildSnapshot(Catalogue.Lists(), QStringLiteral("SRV"), QStringLiteral("Shop"), 42, At).ToBytes(),
            QByteArray("<?xml version=\"1.0\"?>\n"
                       "<Database Server=\"SRV\" DatabaseName=\"Shop\" Version=\"42\" CreatedAt=\"2015-04-24T13:39:34.120+02:00\">\n"
                       "  <SCHEMAS/>\n"
                       "  <TABLES/>\n"
                       "  <COLUMNS/>\n"
                       "  <INDICES/>\n"
                       "  <CHECK_CONSTRAINTS/>\n"
                       "  <REFERENTIAL_CONSTRAINTS/>\n"
                       "  <TABLE_PRIVILEGES/>\n"
                       "  <ROUTINE_PRIVILEGES/>\n"
                       "  <VIEWS/>\n"
                       "  <ROUTINES>\n"
                       "    <ROUTINE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"P\" ROUTINE_TYPE=\"PROCEDURE\" "
                       "USES_QUOTED_IDENTIFIER=\"1\" USES_ANSI_NULLS=\"1\">&#xd;\nX&#xd;\n</ROUTINE>\n"
                       "  </ROUTINES>\n"
                       "</Database>\n"));
}

TEST(Snapshot, CreatedAtCarriesMillisecondsAndTheOffset) {
  const struct {
    QDateTime Value;
    const char* Text;
  } Cases[] = {
      {QDateTime(QDate(2015, 4, 24), QTime(13, 39, 34, 120), QTimeZone(7200)), "2015-04-24T13:39:34.120+02:00"},
      {QDateTime(QDate(2001, 1, 2), QTime(3, 4, 5, 6), QTimeZone(-(3 * 3600 + 1800))), "2001-01-02T03:04:05.006-03:30"},
      {QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999), QTimeZone::utc()), "2024-12-31T23:59:59.999Z"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    EXPECT_EQ(XmlDateTime(Case.Value), QString::fromLatin1(Case.Text));
  }
  EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)"))
                  .match(XmlDateTime(QDateTime::currentDateTime()))
                  .hasMatch());
}

// Every kind, names in several letter cases, non-ASCII letters, quotes and brackets, an
// unbounded column, and a routine of several hundred KB with CR LF line breaks: written,
// read back into fresh lists and written again, the two files differ only in CreatedAt.
TEST(Snapshot, ARoundTripThroughTheFileChangesNothingButTheTime) {
  TXmlDocument Catalogue =
      TXmlDocument::FromFile(QStringLiteral(QUILLON_TEST_FIXTURES) + QStringLiteral("/schema_catalogue.xml"));
  QString Giant = QStringLiteral("CREATE PROCEDURE dbo.Giant AS\r\nBEGIN\r\n");
  for (int Line = 0; Giant.size() < 200000; ++Line)
    Giant += QStringLiteral("  UPDATE dbo.Orders SET Note = N'Linje %1 – «æøå» <&>' WHERE Id = %1;\r\n").arg(Line);
  Giant += QStringLiteral("END");
  TXmlNode* Routine = Catalogue.DocumentElement()->ChildElement(QStringLiteral("ROUTINES"))->AddChild(QStringLiteral("ROUTINE"));
  Routine->SetAttribute(QStringLiteral("ROUTINE_SCHEMA"), QStringLiteral("dbo"));
  Routine->SetAttribute(QStringLiteral("ROUTINE_NAME"), QStringLiteral("Giant"));
  Routine->SetAttribute(QStringLiteral("ROUTINE_TYPE"), QStringLiteral("PROCEDURE"));
  Routine->SetText(QStringLiteral("\r\n  ") + Giant + QStringLiteral("\r\n"));

  TRecordingLog Log;
  TCatalogueLists Loaded(&Log);
  TMemorySQL Sql;
  test::ScriptCatalogue(Sql, Catalogue, Loaded.Lists());
  Loaded.Load(&Sql);
  EXPECT_EQ(Loaded.Count(), 37);
  EXPECT_TRUE(Log.Texts(test::TLogEntry::SilentWarning).isEmpty()) << Log.Dump().toStdString();

  QTemporaryDir Dir;
  const QString First = Dir.filePath(QStringLiteral("first.xml"));
  const QString Second = Dir.filePath(QStringLiteral("second.xml"));
  SaveSnapshot(Loaded.Lists(), First, QStringLiteral("TDSTEST"), QStringLiteral("Tellwick"), 42);

  TCatalogueLists Read(&Log);
  LoadSnapshot(Read.Lists(), First);
  EXPECT_EQ(Read.Count(), Loaded.Count());
  SaveSnapshot(Read.Lists(), Second, QStringLiteral("TDSTEST"), QStringLiteral("Tellwick"), 42);

  const QByteArray FirstXml = ReadFile(First);
  EXPECT_GT(FirstXml.size(), 200000);
  EXPECT_EQ(WithoutCreatedAt(ReadFile(Second)), WithoutCreatedAt(FirstXml));
  EXPECT_NE(WithoutCreatedAt(FirstXml), FirstXml);

  TDatabaseObject* Found = nullptr;
  ASSERT_TRUE(Read.Lists().Routines->TryGetValue(QStringLiteral("[DBO].[GIANT]"), Found));
  EXPECT_EQ(static_cast<TDatabaseRoutine*>(Found)->SourceCode(), Giant);
  ASSERT_TRUE(Read.Lists().Indices->TryGetValue(QStringLiteral("[DBO].[ORDERLINES].[IX_NUMBER]"), Found));
  EXPECT_TRUE(FirstXml.contains("CHARACTER_MAXIMUM_LENGTH=\"-1\""));
  EXPECT_TRUE(FirstXml.contains("TABLE_NAME=\"Kunde &quot;Æ&quot; [gammel]]\""));
  EXPECT_TRUE(FirstXml.contains("CHECK_CLAUSE=\"([Sats]&gt;=(0)&#xd;&#xa;AND [Sats]&lt;(1))\""));
}

// Neither reaches a list: the routine's text would lose the entity's part without a word, and
// the nesting used to exhaust the stack when the tree was freed.
TEST(Snapshot, AHostileFileIsRefusedWithWhereAndLoadsNothing) {
  const struct {
    const char* Name;
    QByteArray Content;
    const char* Message;
  } Cases[] = {
      {"external entity in a routine's text",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE Database [<!ENTITY body SYSTEM \"file:///etc/hostname\">]>\n<Database><ROUTINES>"
       "<ROUTINE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"P\" ROUTINE_TYPE=\"PROCEDURE\">CREATE PROCEDURE P AS &body;</ROUTINE>"
       "</ROUTINES></Database>",
       "snapshot.xml: the external entity 'body' cannot be read (line 2, column 66)"},
      {"deep nesting", "<Database><VIEWS>" + QByteArray("<VIEW>").repeated(100000) + QByteArray("</VIEW>").repeated(100000) +
                           "</VIEWS></Database>",
       "snapshot.xml: elements are nested deeper than 256 levels (line 1, column 1547)"},
  };
  QTemporaryDir Dir;
  const QString FileName = Dir.filePath(QStringLiteral("snapshot.xml"));
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    QFile File(FileName);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(Case.Content);
    File.close();
    TRecordingLog Log;
    TCatalogueLists Read(&Log);
    try {
      LoadSnapshot(Read.Lists(), FileName);
      ADD_FAILURE() << "no exception";
    } catch (const EXmlParseError& E) {
      EXPECT_EQ(E.Message().toStdString(), Dir.filePath(QString::fromUtf8(Case.Message)).toStdString());
    }
    EXPECT_EQ(Read.Count(), 0);
  }
}

TEST(NodeList, FindsElementsAtAnyDepthParentsFirst) {
  const TXmlDocument Page = TXmlDocument::FromBytes(
      "<DbRoutine n=\"root\"><DbRoutine n=\"1\"><DbRoutine n=\"1.1\"/></DbRoutine>"
      "<Group><x><DbRoutine n=\"2\"/></x><dbroutine n=\"other case\"/></Group><DbRoutine n=\"3\"/></DbRoutine>");
  QStringList Found;
  TNodeList Nodes(Page, QStringLiteral("DbRoutine"));
  for (const TXmlNode* Node : Nodes)
    Found.append(Node->Attribute(QStringLiteral("n")));
  EXPECT_EQ(Found, (QStringList{"1", "1.1", "2", "3"}));
  EXPECT_EQ(Nodes.FindNodes(Nodes[0], QStringLiteral("DbRoutine")), 5);
  EXPECT_EQ(TNodeList(TXmlDocument(), QStringLiteral("DbRoutine")).Count(), 0);

  // A tree built in code has no depth limit; the walk must not recurse through it.
  constexpr int Depth = 200000;
  TXmlDocument Deep;
  TXmlNode* Node = Deep.CreateDocumentElement(QStringLiteral("R"));
  for (int I = 0; I < Depth; ++I)
    Node = Node->AddChild(I % 2 == 0 ? QStringLiteral("DbRoutine") : QStringLiteral("x"));
  TNodeList DeepNodes(Deep, QStringLiteral("DbRoutine"));
  ASSERT_EQ(DeepNodes.Count(), Depth / 2);
  EXPECT_EQ(DeepNodes[1]->ParentNode()->ParentNode(), DeepNodes[0]);
}

}  // namespace
}  // namespace quillon
