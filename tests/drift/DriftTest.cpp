#include "gold/Sync.IgnoreList.h"
#include "drift/Drift.Engine.h"
#include "drift/Drift.Scanner.h"
#include "drift/Drift.Texts.h"
#include "infra/platform/Support.Exceptions.h"
#include "model/Columns.h"
#include "model/Tables.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <numeric>

namespace quillon {
namespace {

// One object of every kind; each case below changes this text into the target.
const char* const Baseline = R"~(<?xml version="1.0"?>
<Database Server="SQL1" DatabaseName="Shop" Version="7" CreatedAt="2026-01-01T00:00:00.000Z">
  <SCHEMAS>
    <SCHEMA SCHEMA_NAME="dbo" SCHEMA_OWNER="dbo"/>
    <SCHEMA SCHEMA_NAME="Sales" SCHEMA_OWNER="dbo"/>
  </SCHEMAS>
  <TABLES>
    <TABLE TABLE_SCHEMA="dbo" TABLE_NAME="Orders" TABLE_TYPE="BASE TABLE"/>
    <TABLE TABLE_SCHEMA="dbo" TABLE_NAME="Old" TABLE_TYPE="BASE TABLE"/>
    <TABLE TABLE_SCHEMA="dbo" TABLE_NAME="V" TABLE_TYPE="VIEW"/>
  </TABLES>
  <COLUMNS>
    <COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Old" COLUMN_NAME="Id" DATA_TYPE="int" IS_NULLABLE="NO"/>
    <COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Orders" COLUMN_NAME="Id" DATA_TYPE="int" IS_NULLABLE="NO"/>
    <COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Orders" COLUMN_NAME="Note" DATA_TYPE="nvarchar" IS_NULLABLE="YES" CHARACTER_MAXIMUM_LENGTH="50"/>
    <COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Orders" COLUMN_NAME="Total" DATA_TYPE="decimal" IS_NULLABLE="NO" COLUMN_DEFAULT="((0))" NUMERIC_PRECISION="10" NUMERIC_SCALE="2"/>
  </COLUMNS>
  <INDICES>
    <INDEX TABLE_SCHEMA="dbo" TABLE_NAME="Orders" INDEX_NAME="IX_Note" IS_UNIQUE="false"/>
  </INDICES>
  <CHECK_CONSTRAINTS>
    <CHECK_CONSTRAINT CONSTRAINT_SCHEMA="dbo" CONSTRAINT_NAME="CK_Total" TABLE_NAME="Orders" TABLE_SCHEMA="dbo" CHECK_CLAUSE="([Total]&gt;=(0))"/>
  </CHECK_CONSTRAINTS>
  <REFERENTIAL_CONSTRAINTS>
    <REFERENTIAL_CONSTRAINT CONSTRAINT_SCHEMA="dbo" CONSTRAINT_NAME="FK_Orders_Old" TABLE_NAME="Orders" TABLE_SCHEMA="dbo" UNIQUE_CONSTRAINT_NAME="PK_Old" UNIQUE_CONSTRAINT_SCHEMA="dbo" UPDATE_RULE="NO ACTION" DELETE_RULE="NO ACTION"/>
  </REFERENTIAL_CONSTRAINTS>
  <TABLE_PRIVILEGES>
    <TABLE_PRIVILEGE TABLE_SCHEMA="dbo" TABLE_NAME="Orders" PRIVILEGE_TYPE="SELECT" PRIVILEGE_STATE="GRANT" GRANTOR="dbo" GRANTEE="Clerk"/>
  </TABLE_PRIVILEGES>
  <ROUTINE_PRIVILEGES>
    <ROUTINE_PRIVILEGE ROUTINE_SCHEMA="dbo" ROUTINE_NAME="P" GRANTOR="dbo" GRANTEE="public" PRIVILEGE_STATE="GRANT"/>
  </ROUTINE_PRIVILEGES>
  <VIEWS>
    <VIEW TABLE_SCHEMA="dbo" TABLE_NAME="V">
CREATE VIEW dbo.V AS SELECT Id FROM dbo.Orders
</VIEW>
  </VIEWS>
  <ROUTINES>
    <ROUTINE ROUTINE_SCHEMA="dbo" ROUTINE_NAME="P" ROUTINE_TYPE="PROCEDURE">
CREATE PROCEDURE dbo.P AS SELECT 1
</ROUTINE>
    <ROUTINE ROUTINE_SCHEMA="dbo" ROUTINE_NAME="GetDatabaseInfo" ROUTINE_TYPE="PROCEDURE">
CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 1
</ROUTINE>
  </ROUTINES>
</Database>
)~";

class DriftTest : public ::testing::Test {
protected:
  TDriftSide Side(const QString& AText) { return TDriftSide::FromSnapshot(File(AText)); }

  // Each drift item as "kind change name", its fields as " field: baseline -> target".
  static QStringList Describe(const TDriftResult& AResult) {
    QStringList Lines;
    for (const TDriftItem& Item : AResult.Items) {
      QString Line = DriftKindName(Item.Kind) + u' ' + DriftChangeName(Item.Change) + u' ' + Item.FullName;
      for (const TDriftField& Field : Item.Fields)
        Line += QStringLiteral(" %1: %2 -> %3").arg(Field.Field, Field.Baseline, Field.Target);
      Lines.append(Line);
    }
    return Lines;
  }

  QString File(const QString& AText) { return File(AText.toUtf8()); }
  QString File(const QByteArray& ABytes) {
    const QString FileName = FFolder.filePath(QStringLiteral("side%1.xml").arg(++FFiles));
    QFile File(FileName);
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(ABytes);
    return FileName;
  }

  // The drift of the two texts read whole, checked against the drift of the two read as a
  // pair (which parses only the elements that differ): both must find the same.
  QStringList Drift(const QString& ATarget, const TDriftOptions& AOptions = {},
                    const QString& ABaseline = QString::fromUtf8(Baseline)) {
    const QString BaselineFile = File(ABaseline);
    const QString TargetFile = File(ATarget);
    const QStringList Whole = Describe(
        CompareDrift(TDriftSide::FromSnapshot(BaselineFile), TDriftSide::FromSnapshot(TargetFile), AOptions));
    const auto [PairBaseline, PairTarget] = TDriftSide::FromSnapshotPair(BaselineFile, TargetFile);
    EXPECT_EQ(Describe(CompareDrift(PairBaseline, PairTarget, AOptions)), Whole);
    return Whole;
  }

  // The pair reading refuses the two texts with the message of the whole reading, which reads
  // the baseline first.
  void ExpectRefusedAlike(const QByteArray& ABaseline, const QByteArray& ATarget) {
    const QString BaselineFile = File(ABaseline);
    const QString TargetFile = File(ATarget);
    QString Whole;
    try {
      TDriftSide::FromSnapshot(BaselineFile);
      TDriftSide::FromSnapshot(TargetFile);
    } catch (const Exception& E) {
      Whole = E.Message();
    }
    EXPECT_FALSE(Whole.isEmpty()) << "the whole reading accepted the files";
    try {
      TDriftSide::FromSnapshotPair(BaselineFile, TargetFile);
      ADD_FAILURE() << "the pair reading accepted the files";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), Whole);
    }
  }

  QTemporaryDir FFolder;
  int FFiles = 0;
};

QString Changed(const char* AFrom, const char* ATo) {
  QString Text = QString::fromUtf8(Baseline);
  EXPECT_TRUE(Text.contains(QString::fromUtf8(AFrom))) << AFrom;
  return Text.replace(QString::fromUtf8(AFrom), QString::fromUtf8(ATo));
}

TEST_F(DriftTest, SameSnapshotHasNoDrift) { EXPECT_EQ(Drift(QString::fromUtf8(Baseline)), QStringList()); }

TEST_F(DriftTest, PairReadingFollowsWhatItCannotScan) {
  // A comment, CDATA text and single quotes: the pair is read whole or scanned with them, and
  // finds what the whole reading finds (the helper compares both).
  const QString Target = Changed("CREATE VIEW dbo.V AS SELECT Id FROM dbo.Orders",
                                 "<![CDATA[CREATE VIEW dbo.V AS SELECT Id, 1 FROM dbo.Orders]]>");
  EXPECT_EQ(Drift(Target).size(), 1);
  EXPECT_EQ(Drift(Changed("<SCHEMAS>", "<!-- x --><SCHEMAS>")), QStringList());
  // The whole reading takes the first container of a kind only.
  EXPECT_EQ(Drift(Changed("</SCHEMAS>", R"~(</SCHEMAS><SCHEMAS><SCHEMA SCHEMA_NAME="x"/></SCHEMAS>)~")), QStringList());
  EXPECT_EQ(Drift(Changed(R"~(SCHEMA_NAME="Sales" SCHEMA_OWNER="dbo")~", "SCHEMA_NAME='Sales' SCHEMA_OWNER='o&amp;'")),
            QStringList{QStringLiteral("schema changed [Sales] SCHEMA_OWNER: dbo -> o&")});
}

TEST_F(DriftTest, PairReadingRefusesWhatTheWholeReadingRefuses) {
  // Malformed or unreadable the same way in both files, so the pair reading would never parse
  // the element: it must still refuse the files, with the whole reading's message.
  const struct {
    const char* From;
    const char* To;
  } Cases[] = {
      {R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="d&bo")~"},
      {R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="d&nbsp;o")~"},
      {R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="d&#0;o")~"},
      {R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="d&#x110000;o")~"},
      {R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="d&#4294967338;o")~"},
      {R"~(SCHEMA_OWNER="dbo")~", "SCHEMA_OWNER=\"d\x01o\""},
      {R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="dbo" SCHEMA_OWNER="dbo")~"},
      {R"~(SCHEMA_OWNER="dbo")~", "SCHEMA_OWNER=dbo"},
      {R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="dbo"SCHEMA_NAME2="x")~"},
      {"AS SELECT Id FROM dbo.Orders", "AS SELECT Id FROM dbo.Orders ]]> x"},
      {R"~(IS_UNIQUE="false")~", R"~(IS_UNIQUE="maybe")~"},
      {R"~(NUMERIC_PRECISION="10")~", R"~(NUMERIC_PRECISION="ten")~"},
      // The refused value behind another attribute's value that reads like a good one.
      {R"~(COLUMN_NAME="Total" DATA_TYPE="decimal" IS_NULLABLE="NO" COLUMN_DEFAULT="((0))" NUMERIC_PRECISION="10")~",
       R"~(COLUMN_NAME="Price" DATA_TYPE="decimal" IS_NULLABLE="NO" NUMERIC_PRECISION="10" NUMERIC_SCALE="2"/>
    <COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Orders" COLUMN_NAME="Total" DATA_TYPE="decimal" IS_NULLABLE="NO" COLUMN_DEFAULT="( NUMERIC_PRECISION='10')" NUMERIC_PRECISION="ten")~"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.To);
    const QString Text = Changed(Case.From, Case.To);
    ExpectRefusedAlike(Text.toUtf8(), Text.toUtf8());
  }
}

TEST_F(DriftTest, PairReadingChecksWhatEitherFileHoldsAlone) {
  // Malformed in the target only: in an element the baseline holds otherwise, in one it lacks,
  // and after an element the baseline lacks, where the two files are read apart for a while.
  ExpectRefusedAlike(Baseline, Changed(R"~(SCHEMA_OWNER="dbo")~", R"~(SCHEMA_OWNER="d&bo")~").toUtf8());
  const QString Inserted = Changed("</SCHEMAS>", "<SCHEMA SCHEMA_NAME=\"x\" SCHEMA_OWNER=\"\x01\"/></SCHEMAS>");
  ExpectRefusedAlike(Baseline, Inserted.toUtf8());
  const QString AfterInsert =
      Changed(R"~(<SCHEMA SCHEMA_NAME="dbo" SCHEMA_OWNER="dbo"/>)~",
                         R"~(<SCHEMA SCHEMA_NAME="new" SCHEMA_OWNER="dbo"/><SCHEMA SCHEMA_NAME="dbo" SCHEMA_OWNER="dbo"/>)~")
          .replace(QStringLiteral(R"~(SCHEMA_NAME="Sales" SCHEMA_OWNER="dbo")~"),
                   QStringLiteral(R"~(SCHEMA_NAME="Sales" SCHEMA_OWNER="d&#xD800;")~"));
  ExpectRefusedAlike(Baseline, AfterInsert.toUtf8());
  // The same bad byte in a text both files hold, at every place of the blocks a text is
  // searched in.
  const QString Text(48, u'x');
  for (const char* Bad : {"\x01", "\xC0\x80", "\xC3(", "\x80", "\xED\xA0\x80", "<", "]]>", "&x;", "&lt"}) {
    for (qsizetype At = 0; At <= Text.size(); ++At) {
      SCOPED_TRACE(QStringLiteral("%1 at %2").arg(QString::fromLatin1(Bad).toHtmlEscaped()).arg(At).toStdString());
      QByteArray Routine = Text.toUtf8();
      Routine.insert(At, Bad);
      const QByteArray Both = QByteArray(Baseline).replace("CREATE PROCEDURE dbo.P AS SELECT 1", Routine);
      ExpectRefusedAlike(Both, Both);
    }
  }
}

TEST_F(DriftTest, PairReadingReadsTheWholeFileBeforeItsEnd) {
  // The root's end tag ends the first piece read, something follows in the next.
  QByteArray Both = QByteArray(Baseline).trimmed();
  const qsizetype Padding = TSnapshotFile::Chunk - Both.size();
  Both.replace("dbo.P AS SELECT 1", "dbo.P AS SELECT 1 " + QByteArray(Padding - 1, '-'));
  ASSERT_EQ(Both.size(), TSnapshotFile::Chunk);
  ExpectRefusedAlike(Both + "<x/>", Both + "<x/>");
  EXPECT_EQ(Drift(QString::fromUtf8(Both + "\n\n"), {}, QString::fromUtf8(Both)), QStringList());
}

TEST_F(DriftTest, PairReadingReadsCharactersOfEveryLength) {
  const QString Accented = Changed("FROM dbo.Orders", "FROM dbo.Orders -- \u00E6\u20AC\U0001F600 &amp;&quot;&#xd;");
  EXPECT_EQ(Drift(Accented, {}, Accented), QStringList());
  EXPECT_EQ(Drift(Changed("dbo.P AS SELECT 1", "dbo.P AS SELECT '\u00E6\u20AC\U0001F600'"), {}, Accented).size(), 2);
}

TEST_F(DriftTest, PairReadingPairsAcrossInsertsMovesAndMissingContainers) {
  // Routines added in a block too long to be stepped over and in a short one; the baseline's
  // long enough that the files are read in several pieces, routines cut in two by them.
  const auto Routines = [](const std::vector<int>& ANumbers, int AChanged) {
    const QString Comment(20011, u'-');
    QString Text;
    for (const int Number : ANumbers)
      Text += QStringLiteral("<ROUTINE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"R%1\" ROUTINE_TYPE=\"PROCEDURE\">"
                             "CREATE PROCEDURE dbo.R%1 AS SELECT %2 %3</ROUTINE>\n")
                  .arg(Number)
                  .arg(Number == AChanged ? -1 : Number)
                  .arg(Number < 1000 ? Comment : QString());
    return Text;
  };
  std::vector<int> BaselineNumbers(150);
  std::iota(BaselineNumbers.begin(), BaselineNumbers.end(), 0);
  std::vector<int> TargetNumbers;
  for (const int Number : BaselineNumbers) {
    if (Number == 10)
      for (int Inserted = 1000; Inserted < 2100; ++Inserted)
        TargetNumbers.push_back(Inserted);
    if (Number == 6)
      for (int Inserted = 3000; Inserted < 3003; ++Inserted)
        TargetNumbers.push_back(Inserted);
    if (Number != 3 && Number != 90)
      TargetNumbers.push_back(Number);
  }
  TargetNumbers.push_back(3);
  const QString BaselineText = QString::fromUtf8(Baseline).replace(QStringLiteral("</ROUTINES>"),
                                                                     Routines(BaselineNumbers, -1) + QStringLiteral("</ROUTINES>"));
  const QString TargetText = QString::fromUtf8(Baseline)
                                 .replace(QStringLiteral("</ROUTINES>"), Routines(TargetNumbers, 120) + QStringLiteral("</ROUTINES>"))
                                 .remove(QRegularExpression(QStringLiteral("<VIEWS>.*</VIEWS>"),
                                                            QRegularExpression::DotMatchesEverythingOption))
                                 .replace(QStringLiteral("<INDICES>"), QStringLiteral("<EXTRA><X/></EXTRA><INDICES>"));
  const QStringList Drifted = Drift(TargetText, {}, BaselineText);
  EXPECT_EQ(Drifted.size(), 1103 + 1 + 1 + 1) << Drifted.join(u'\n').toStdString();
  EXPECT_TRUE(Drifted.contains(QStringLiteral("routine removed [dbo].[R90]")));
  EXPECT_TRUE(Drifted.contains(QStringLiteral("view removed [dbo].[V]")));
  const auto [PairBaseline, PairTarget] = TDriftSide::FromSnapshotPair(File(BaselineText), File(TargetText));
  EXPECT_EQ(PairBaseline.Count(), 3);
  EXPECT_EQ(PairTarget.Count(), 1104);
}

TEST_F(DriftTest, EachFieldChangedAlone) {
  const struct {
    const char* From;
    const char* To;
    const char* Expected;
  } Cases[] = {
      {R"~(SCHEMA_NAME="Sales" SCHEMA_OWNER="dbo")~", R"~(SCHEMA_NAME="Sales" SCHEMA_OWNER="SalesAdmin")~",
       "schema changed [Sales] SCHEMA_OWNER: dbo -> SalesAdmin"},
      {R"~(COLUMN_NAME="Id" DATA_TYPE="int" IS_NULLABLE="NO"/>
    <COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Orders" COLUMN_NAME="Note")~",
       R"~(COLUMN_NAME="Id" DATA_TYPE="bigint" IS_NULLABLE="NO"/>
    <COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Orders" COLUMN_NAME="Note")~",
       "column changed dbo.Orders.Id DATA_TYPE: int -> bigint"},
      {R"~(IS_NULLABLE="YES" CHARACTER_MAXIMUM_LENGTH="50")~", R"~(IS_NULLABLE="YES" CHARACTER_MAXIMUM_LENGTH="-1")~",
       "column changed dbo.Orders.Note CHARACTER_MAXIMUM_LENGTH: 50 -> -1"},
      {R"~(IS_NULLABLE="YES" CHARACTER_MAXIMUM_LENGTH="50")~", R"~(IS_NULLABLE="NO" CHARACTER_MAXIMUM_LENGTH="50")~",
       "column changed dbo.Orders.Note IS_NULLABLE: YES -> NO"},
      {R"~(NUMERIC_PRECISION="10" NUMERIC_SCALE="2")~", R"~(NUMERIC_PRECISION="12" NUMERIC_SCALE="2")~",
       "column changed dbo.Orders.Total NUMERIC_PRECISION: 10 -> 12"},
      {R"~(NUMERIC_PRECISION="10" NUMERIC_SCALE="2")~", R"~(NUMERIC_PRECISION="10" NUMERIC_SCALE="4")~",
       "column changed dbo.Orders.Total NUMERIC_SCALE: 2 -> 4"},
      {R"~(COLUMN_DEFAULT="((0))")~", R"~(COLUMN_DEFAULT="((1))")~",
       "column changed dbo.Orders.Total COLUMN_DEFAULT: (0) -> (1)"},
      {R"~(INDEX_NAME="IX_Note" IS_UNIQUE="false")~", R"~(INDEX_NAME="IX_Note" IS_UNIQUE="true")~",
       "index changed [dbo].[Orders].[IX_Note] IS_UNIQUE: false -> true"},
      {R"~(CHECK_CLAUSE="([Total]&gt;=(0))")~", R"~(CHECK_CLAUSE="([Total]&gt;(0))")~",
       "check changed [dbo].[CK_Total] CHECK_CLAUSE: ([Total]>=(0)) -> ([Total]>(0))"},
      {R"~(UNIQUE_CONSTRAINT_NAME="PK_Old")~", R"~(UNIQUE_CONSTRAINT_NAME="UQ_Old")~",
       "foreignkey changed [dbo].[FK_Orders_Old] UNIQUE_CONSTRAINT: dbo.PK_Old -> dbo.UQ_Old"},
      {R"~(UPDATE_RULE="NO ACTION")~", R"~(UPDATE_RULE="CASCADE")~",
       "foreignkey changed [dbo].[FK_Orders_Old] UPDATE_RULE: NO ACTION -> CASCADE"},
      {R"~(DELETE_RULE="NO ACTION")~", R"~(DELETE_RULE="SET NULL")~",
       "foreignkey changed [dbo].[FK_Orders_Old] DELETE_RULE: NO ACTION -> SET NULL"},
      {R"~(PRIVILEGE_TYPE="SELECT" PRIVILEGE_STATE="GRANT")~", R"~(PRIVILEGE_TYPE="SELECT" PRIVILEGE_STATE="DENY")~",
       "tableprivilege changed [dbo].[Orders] PRIVILEGE_STATE: GRANT -> DENY"},
      {R"~(GRANTEE="public" PRIVILEGE_STATE="GRANT")~", R"~(GRANTEE="public" PRIVILEGE_STATE="GRANT_WITH_GRANT_OPTION")~",
       "routineprivilege changed [dbo].[P] PRIVILEGE_STATE: GRANT -> GRANT_WITH_GRANT_OPTION"},
      {"SELECT Id FROM dbo.Orders", "SELECT Id, Note FROM dbo.Orders",
       "view changed [dbo].[V] VIEW_DEFINITION: CREATE VIEW dbo.V AS SELECT Id FROM dbo.Orders -> "
       "CREATE VIEW dbo.V AS SELECT Id, Note FROM dbo.Orders"},
      {"CREATE PROCEDURE dbo.P AS SELECT 1", "CREATE PROCEDURE dbo.P AS SELECT 2",
       "routine changed [dbo].[P] ROUTINE_DEFINITION: CREATE PROCEDURE dbo.P AS SELECT 1 -> "
       "CREATE PROCEDURE dbo.P AS SELECT 2"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Expected);
    EXPECT_EQ(Drift(Changed(Case.From, Case.To)), QStringList{QString::fromUtf8(Case.Expected)});
  }
}

TEST_F(DriftTest, AddedAndRemovedObjects) {
  // A privilege granted to another grantee is another privilege; a removed table takes its
  // columns with it.
  const QString Target =
      Changed(R"~(<TABLE TABLE_SCHEMA="dbo" TABLE_NAME="Old" TABLE_TYPE="BASE TABLE"/>)~",
              R"~(<TABLE TABLE_SCHEMA="dbo" TABLE_NAME="New" TABLE_TYPE="BASE TABLE"/>)~")
          .replace(QStringLiteral(R"~(<COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="Old" COLUMN_NAME="Id")~"),
                   QStringLiteral(R"~(<COLUMN TABLE_SCHEMA="dbo" TABLE_NAME="New" COLUMN_NAME="Id")~"))
          .replace(QStringLiteral(R"~(GRANTEE="Clerk")~"), QStringLiteral(R"~(GRANTEE="Auditor")~"))
          .replace(QStringLiteral(R"~(</INDICES>)~"),
                   QStringLiteral(R"~(<INDEX TABLE_SCHEMA="dbo" TABLE_NAME="Orders" INDEX_NAME="IX_Total" IS_UNIQUE="0"/></INDICES>)~"));
  EXPECT_EQ(Drift(Target), (QStringList{QStringLiteral("table added [dbo].[New]"),
                                         QStringLiteral("table removed [dbo].[Old]"),
                                         QStringLiteral("index added [dbo].[Orders].[IX_Total]"),
                                         QStringLiteral("tableprivilege added [dbo].[Orders]"),
                                         QStringLiteral("tableprivilege removed [dbo].[Orders]")}));
}

TEST_F(DriftTest, NamesAndTextsCompareByTheirRules) {
  // Names differ only in letter case, texts only in white space and brackets, the data type
  // only in case: none of that is drift.
  const QString Target = Changed("TABLE_NAME=\"Orders\" COLUMN_NAME=\"Note\" DATA_TYPE=\"nvarchar\"",
                                 "TABLE_NAME=\"ORDERS\" COLUMN_NAME=\"NOTE\" DATA_TYPE=\"NVARCHAR\"")
                             .replace(QStringLiteral("SELECT Id FROM dbo.Orders"),
                                      QStringLiteral("SELECT  [Id]\r\n  FROM  dbo.Orders"))
                             .replace(QStringLiteral("ROUTINE_NAME=\"P\" ROUTINE_TYPE"),
                                      QStringLiteral("ROUTINE_NAME=\"p\" ROUTINE_TYPE"));
  EXPECT_EQ(Drift(Target), QStringList());
}

TEST_F(DriftTest, CaseSensitiveNamesNeedBothSides) {
  const QString CaseSensitive = Changed(R"~(Version="7")~", R"~(Version="7" CaseSensitiveNames="true")~");
  QString Renamed = CaseSensitive;
  Renamed.replace(QStringLiteral(R"~(<VIEW TABLE_SCHEMA="dbo" TABLE_NAME="V">)~"),
                  QStringLiteral(R"~(<VIEW TABLE_SCHEMA="dbo" TABLE_NAME="v">)~"));
  Renamed.replace(QStringLiteral(R"~(SCHEMA_NAME="Sales")~"), QStringLiteral(R"~(SCHEMA_NAME="SALES")~"));
  EXPECT_EQ(Drift(Renamed, {}, CaseSensitive),
            (QStringList{QStringLiteral("schema added [SALES]"), QStringLiteral("schema removed [Sales]"),
                         QStringLiteral("view added [dbo].[v]"), QStringLiteral("view removed [dbo].[V]")}));
  EXPECT_EQ(Drift(Renamed), QStringList());
  const TDriftResult Mixed = CompareDrift(Side(QString::fromUtf8(Baseline)), Side(Renamed), {});
  EXPECT_EQ(Mixed.Notes, QStringList{QStringLiteral(
                             "Only the target tells names apart by letter case; names are compared ignoring it.")});
}

TEST_F(DriftTest, UnreadableDefinitionsCannotBeCompared) {
  const auto Unreadable = [](const QString& AText, const char* AView) {
    return QString(AText).replace(QStringLiteral(R"~(<VIEW TABLE_SCHEMA="dbo" TABLE_NAME="V">)~"),
                                  QStringLiteral(R"~(<VIEW TABLE_SCHEMA="dbo" TABLE_NAME="V" DEFINITION_UNREADABLE="true">)~"))
        .replace(QStringLiteral("CREATE VIEW dbo.V AS SELECT Id FROM dbo.Orders"), QString::fromUtf8(AView));
  };
  const QString Both = Unreadable(QString::fromUtf8(Baseline), "");
  EXPECT_EQ(Drift(Unreadable(QString::fromUtf8(Baseline), "x"), {}, Both), QStringList());
  EXPECT_EQ(Drift(Both), QStringList{QStringLiteral("view changed [dbo].[V] DEFINITION_UNREADABLE: false -> true")});
}

TEST_F(DriftTest, IgnoreListAndFiltersLeaveObjectsOut) {
  const QString Target = Changed("CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 1",
                                 "CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 2")
                             .replace(QStringLiteral("SELECT Id FROM dbo.Orders"), QStringLiteral("SELECT 0"))
                             .replace(QStringLiteral(R"~(CHECK_CLAUSE="([Total]&gt;=(0))")~"),
                                      QStringLiteral(R"~(CHECK_CLAUSE="(1=1)")~"));
  const TDatabaseObjectIgnoreList IgnoreList;
  TDriftOptions Options;
  Options.IgnoreList = &IgnoreList;
  EXPECT_EQ(Drift(Target, Options), (QStringList{QStringLiteral("check changed [dbo].[CK_Total] CHECK_CLAUSE: "
                                                                "([Total]>=(0)) -> (1=1)"),
                                                 QStringLiteral("view changed [dbo].[V] VIEW_DEFINITION: "
                                                                "CREATE VIEW dbo.V AS SELECT Id FROM dbo.Orders -> "
                                                                "CREATE VIEW dbo.V AS SELECT 0")}));
  // A check is chosen by its table's name.
  Options.Filter = TNameFilter({QStringLiteral("dbo.Ord*")}, {});
  EXPECT_EQ(Drift(Target, Options).size(), 1);
  Options.Filter = TNameFilter({}, {QStringLiteral("DBO.V"), QStringLiteral("*.Orders")});
  EXPECT_EQ(Drift(Target, Options), QStringList());
}

TEST_F(DriftTest, BadBaselinesGiveClearMessagesOrResults) {
  EXPECT_THROW(Side(QStringLiteral("<html><body/></html>")), Exception);
  EXPECT_THROW(Side(QStringLiteral("<Database DatabaseName=\"x\"")), Exception);
  try {
    Side(Changed(R"~(IS_UNIQUE="false")~", R"~(IS_UNIQUE="maybe")~"));
    ADD_FAILURE() << "an unreadable IS_UNIQUE was accepted";
  } catch (const Exception& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("INDEX"))) << E.Message().toStdString();
  }

  // An empty baseline: everything is added (views of the table list are views, not tables).
  const TDriftResult Empty = CompareDrift(
      Side(QStringLiteral("<Database Server=\"S\" DatabaseName=\"Shop\"/>")), Side(QString::fromUtf8(Baseline)), {});
  EXPECT_EQ(Empty.Items.size(), 12);
  for (const TDriftItem& Item : Empty.Items)
    EXPECT_EQ(Item.Change, TDriftChange::Added) << Item.FullName.toStdString();

  // Another database and a duplicate key are allowed, and said.
  const TDriftResult Other = CompareDrift(
      Side(Changed(R"~(<SCHEMA SCHEMA_NAME="dbo" SCHEMA_OWNER="dbo"/>)~",
                   R"~(<SCHEMA SCHEMA_NAME="dbo" SCHEMA_OWNER="dbo"/><SCHEMA SCHEMA_NAME="DBO" SCHEMA_OWNER="x"/>)~")),
      Side(Changed(R"~(DatabaseName="Shop")~", R"~(DatabaseName="Depot")~")), {});
  EXPECT_TRUE(Other.Items.isEmpty());
  EXPECT_EQ(Other.Notes,
            (QStringList{QStringLiteral("The baseline describes the database Shop on SQL1, the target is Depot on SQL1."),
                         QStringLiteral("The baseline holds the schema [DBO] more than once; the first is compared.")}));
}

TEST_F(DriftTest, ChangedColumnShowsBothTablesAsText) {
  const auto [PairBaseline, PairTarget] = TDriftSide::FromSnapshotPair(
      File(QString::fromUtf8(Baseline)), File(Changed(R"~(COLUMN_DEFAULT="((0))")~", R"~(COLUMN_DEFAULT="((1))")~")));
  const TDriftResult Result = CompareDrift(PairBaseline, PairTarget, {});
  ASSERT_EQ(Result.Items.size(), 1);
  EXPECT_EQ(Result.Items[0].BaselineText, QStringLiteral("CREATE TABLE [dbo].[Orders] (\n"
                                                         "  [Id] int NOT NULL,\n"
                                                         "  [Note] nvarchar(50) NULL,\n"
                                                         "  [Total] decimal(10, 2) NOT NULL DEFAULT (0)\n"
                                                         ");"));
  EXPECT_TRUE(Result.Items[0].TargetText.endsWith(QStringLiteral("[Total] decimal(10, 2) NOT NULL DEFAULT (1)\n);")));
}

TEST(DriftTextsTest, PrivilegesAndKeysReadAsTSql) {
  QTemporaryDir Folder;
  const QString FileName = Folder.filePath(QStringLiteral("t.xml"));
  QFile File(FileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(R"~(<Database DatabaseName="x"><TABLE_PRIVILEGES>
<TABLE_PRIVILEGE TABLE_SCHEMA="dbo" TABLE_NAME="A]b" PRIVILEGE_TYPE="UPDATE" PRIVILEGE_STATE="GRANT_WITH_GRANT_OPTION" GRANTEE="R"/>
<TABLE_PRIVILEGE TABLE_SCHEMA="dbo" TABLE_NAME="T" PRIVILEGE_TYPE="DELETE" PRIVILEGE_STATE="DENY" GRANTOR="o" GRANTEE="R"/>
</TABLE_PRIVILEGES><ROUTINE_PRIVILEGES>
<ROUTINE_PRIVILEGE ROUTINE_SCHEMA="s" ROUTINE_NAME="P" GRANTEE="public" PRIVILEGE_STATE="REVOKE"/>
</ROUTINE_PRIVILEGES><REFERENTIAL_CONSTRAINTS>
<REFERENTIAL_CONSTRAINT CONSTRAINT_SCHEMA="dbo" CONSTRAINT_NAME="FK" TABLE_NAME="T" TABLE_SCHEMA="dbo" UNIQUE_CONSTRAINT_NAME="PK" UNIQUE_CONSTRAINT_SCHEMA="dbo" UPDATE_RULE="NO ACTION" DELETE_RULE="CASCADE"/>
</REFERENTIAL_CONSTRAINTS></Database>)~");
  File.close();
  const TDriftResult Result = CompareDrift(TDriftSide(), TDriftSide::FromSnapshot(FileName), {});
  QStringList Texts;
  for (const TDriftItem& Item : Result.Items)
    Texts.append(Item.TargetText);
  EXPECT_EQ(Texts, (QStringList{QStringLiteral("ALTER TABLE [dbo].[T]\n  ADD CONSTRAINT [FK] FOREIGN KEY\n"
                                               "  REFERENCES KEY [dbo].[PK]\n  ON DELETE CASCADE\n  ON UPDATE NO ACTION;"),
                                QStringLiteral("GRANT UPDATE ON [dbo].[A]]b] TO [R] WITH GRANT OPTION AS [dbo];"),
                                QStringLiteral("DENY DELETE ON [dbo].[T] TO [R] AS [o];"),
                                QStringLiteral("REVOKE EXECUTE ON [s].[P] FROM [public] AS [dbo];")}));
}

}  // namespace
}  // namespace quillon
