#include "catalogue/Catalogue.Read.h"
#include "database/Database.Odbc.h"
#include "database/Database.Simple.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Tables.h"
#include "support/FixedLogin.h"
#include "support/QtPrinters.h"
#include "support/RecordingLog.h"
#include "support/TdsServer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TFixedLogin;
using test::TRecordingLog;
using test::TTdsServer;

// A view whose definition is far longer than the 4,000 characters of VIEW_DEFINITION.
QString LongViewDefinition() {
  QString Text = QStringLiteral("CREATE VIEW dbo.Long AS SELECT 0 AS C0");
  for (qint32 Column = 1; Text.size() < 20000; ++Column)
    Text += QString::fromUtf8(",\r\n  N'Ærlig «%1»' AS C%1").arg(Column);
  return Text;
}

const QString OddRoutine = QString::fromUtf8("CREATE PROCEDURE [Sch.ema].[Get.Order]]'s] AS SELECT 1");
const QString CyrillicFunction = QString::fromUtf8("CREATE FUNCTION Продажи.Функция() RETURNS int AS BEGIN RETURN 1 END");
const QString OddView = QString::fromUtf8("CREATE VIEW Продажи.[Вид.1]]'s] AS SELECT 1 AS X");

// Carriage returns escaped too, or the XML reader would turn CR LF into LF.
QString Escaped(const QString& AText) { return AText.toHtmlEscaped().replace(u'\r', QStringLiteral("&#13;")); }

QString Attribute(const char* AName, const QString& AValue) {
  return QStringLiteral(" %1=\"%2\"").arg(QLatin1String(AName), Escaped(AValue));
}

// A catalogue of names holding points, brackets, quotes and non-Latin letters, with the rows a
// catalogue query must leave out: a hypothetical index, a primary key, an indexed view's index,
// a column's grant, a schema's grant and a dt_ routine.
QByteArray HostileCatalogue(const QString& ACollation) {
  QString Xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Database Server=\"TDSTEST\" "
                               "DatabaseName=\"Hostile\" Version=\"3\"") +
                Attribute("Collation", ACollation) + QStringLiteral(">\n");
  Xml += QStringLiteral("<SCHEMAS><SCHEMA SCHEMA_NAME=\"dbo\" SCHEMA_OWNER=\"dbo\"/></SCHEMAS>\n");
  Xml += QStringLiteral("<TABLES><TABLE TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" TABLE_TYPE=\"BASE TABLE\"/>"
                        "<TABLE TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Long\" TABLE_TYPE=\"VIEW\"/></TABLES>\n");
  Xml += QStringLiteral(
      "<INDICES><INDEX TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" INDEX_NAME=\"IX_Real\" IS_UNIQUE=\"true\"/>"
      "<INDEX TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" INDEX_NAME=\"_dta_index_WhatIf\" IS_UNIQUE=\"false\" "
      "IS_HYPOTHETICAL=\"true\"/>"
      "<INDEX TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" INDEX_NAME=\"PK_Orders\" IS_UNIQUE=\"true\" TYPE=\"1\" "
      "IS_PRIMARY_KEY=\"true\"/>"
      "<INDEX TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Long\" INDEX_NAME=\"IX_OnTheView\" IS_UNIQUE=\"false\"/></INDICES>\n");
  Xml += QStringLiteral(
      "<TABLE_PRIVILEGES>"
      "<TABLE_PRIVILEGE TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" PRIVILEGE_TYPE=\"SELECT\" PRIVILEGE_STATE=\"GRANT\" "
      "GRANTOR=\"dbo\" GRANTEE=\"Reader\"/>"
      "<TABLE_PRIVILEGE TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" PRIVILEGE_TYPE=\"UPDATE\" PRIVILEGE_STATE=\"GRANT\" "
      "GRANTOR=\"dbo\" GRANTEE=\"Reader\" COLUMN_NAME=\"Note\"/>"
      "<TABLE_PRIVILEGE TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Orders\" PRIVILEGE_TYPE=\"ALTER\" PRIVILEGE_STATE=\"GRANT\" "
      "GRANTOR=\"dbo\" GRANTEE=\"Reader\" CLASS=\"3\"/>"
      "</TABLE_PRIVILEGES>\n");
  Xml += QStringLiteral("<ROUTINE_PRIVILEGES><ROUTINE_PRIVILEGE") + Attribute("ROUTINE_SCHEMA", QStringLiteral("Sch.ema")) +
         Attribute("ROUTINE_NAME", QStringLiteral("Get.Order]'s")) +
         QStringLiteral(" PRIVILEGE_TYPE=\"EXECUTE\" PRIVILEGE_STATE=\"GRANT\" GRANTOR=\"dbo\" GRANTEE=\"Reader\"/>"
                        "<ROUTINE_PRIVILEGE") +
         Attribute("ROUTINE_SCHEMA", QString::fromUtf8("Продажи")) +
         Attribute("ROUTINE_NAME", QString::fromUtf8("Функция")) +
         QStringLiteral(" PRIVILEGE_TYPE=\"EXECUTE\" PRIVILEGE_STATE=\"GRANT\" GRANTOR=\"dbo\" GRANTEE=\"public\"/>"
                        "</ROUTINE_PRIVILEGES>\n");
  Xml += QStringLiteral("<VIEWS><VIEW TABLE_SCHEMA=\"dbo\" TABLE_NAME=\"Long\">") + Escaped(LongViewDefinition()) +
         QStringLiteral("</VIEW><VIEW") + Attribute("TABLE_SCHEMA", QString::fromUtf8("Продажи")) +
         Attribute("TABLE_NAME", QString::fromUtf8("Вид.1]'s")) + u'>' + Escaped(OddView) +
         QStringLiteral("</VIEW></VIEWS>\n");
  Xml += QStringLiteral("<ROUTINES><ROUTINE") + Attribute("ROUTINE_SCHEMA", QStringLiteral("Sch.ema")) +
         Attribute("ROUTINE_NAME", QStringLiteral("Get.Order]'s")) + QStringLiteral(" ROUTINE_TYPE=\"PROCEDURE\">") +
         Escaped(OddRoutine) + QStringLiteral("</ROUTINE><ROUTINE") +
         Attribute("ROUTINE_SCHEMA", QString::fromUtf8("Продажи")) + Attribute("ROUTINE_NAME", QString::fromUtf8("Функция")) +
         QStringLiteral(" ROUTINE_TYPE=\"FUNCTION\">") + Escaped(CyrillicFunction) +
         QStringLiteral("</ROUTINE><ROUTINE ROUTINE_SCHEMA=\"dbo\" ROUTINE_NAME=\"dt_hidden\" ROUTINE_TYPE=\"PROCEDURE\">"
                        "CREATE PROCEDURE dbo.dt_hidden AS SELECT 1</ROUTINE></ROUTINES>\n");
  return (Xml + QStringLiteral("</Database>\n")).toUtf8();
}

QStringList KeysOf(const TDatabaseObjectList& AList) {
  QStringList Keys;
  for (const TDatabaseObject* Object : AList.Values())
    Keys.append(Object->Key());
  Keys.sort();
  return Keys;
}

QString Definition(const TDatabaseObjectList& AList, const QString& AKey, QString (*ARead)(TDatabaseObject*)) {
  TDatabaseObject* Object = nullptr;
  return AList.TryGetValue(AKey, Object) ? ARead(Object) : QStringLiteral("<missing>");
}

// A catalogue written to a file of its own, served by the TDS stand-in and connected to with a
// SQL login.
class TServedCatalogue {
public:
  TServedCatalogue(const QByteArray& AXml, const QString& ADatabase)
      : FFixture(Written(FFolder, AXml)), FServer(FFixture, {QStringLiteral("quillon:pw")}) {
    Db.SetLoginDialog(&FLogin);
    Db.SetConnectionString(FServer.ConnectionString(ADatabase));
    Db.Connect();
  }

  TRecordingLog Log;
  TSimpleDatabase Db{&Log};

private:
  static QString Written(const QTemporaryDir& AFolder, const QByteArray& AXml) {
    const QString FileName = AFolder.filePath(QStringLiteral("catalogue.xml"));
    QFile File(FileName);
    if (!File.open(QIODevice::WriteOnly) || File.write(AXml) != AXml.size())
      ADD_FAILURE() << "cannot write " << FileName.toStdString();
    return FileName;
  }

  QTemporaryDir FFolder;
  QString FFixture;
  TTdsServer FServer;
  TFixedLogin FLogin{QStringLiteral("quillon"), QStringLiteral("pw")};
};

// Every catalogue list read through FreeTDS from a database of awkward names, in a
// case-insensitive and in a case-sensitive collation: the whole definitions, the right
// objects and nothing else.
TEST(HostileCatalogueTest, EveryListReadsTheRightObjectsAndWholeDefinitionsInEitherCollation) {
  for (const char* Collation : {"Latin1_General_CI_AS", "Latin1_General_CS_AS"}) {
    SCOPED_TRACE(Collation);
    TServedCatalogue Served(HostileCatalogue(QString::fromLatin1(Collation)), QStringLiteral("Hostile"));
    TRecordingLog& Log = Served.Log;
    TSimpleDatabase& Db = Served.Db;

    TDatabaseViewList Views(&Log);
    LoadFromCatalogue(Views, &Db);
    const auto ViewText = [](TDatabaseObject* AObject) { return static_cast<TDatabaseView*>(AObject)->GetViewDefinition(); };
    EXPECT_EQ(Definition(Views, QStringLiteral("[DBO].[LONG]"), ViewText), LongViewDefinition());
    EXPECT_EQ(Definition(Views, QString::fromUtf8("[ПРОДАЖИ].[ВИД.1]'S]"), ViewText), OddView);

    TDatabaseRoutineList Routines(&Log);
    LoadFromCatalogue(Routines, &Db);
    const auto Source = [](TDatabaseObject* AObject) { return static_cast<TDatabaseRoutine*>(AObject)->SourceCode(); };
    EXPECT_EQ(KeysOf(Routines), (QStringList{QStringLiteral("[SCH.EMA].[GET.ORDER]'S]"), QString::fromUtf8("[ПРОДАЖИ].[ФУНКЦИЯ]")}));
    EXPECT_EQ(Definition(Routines, QStringLiteral("[SCH.EMA].[GET.ORDER]'S]"), Source), OddRoutine);
    EXPECT_EQ(Definition(Routines, QString::fromUtf8("[ПРОДАЖИ].[ФУНКЦИЯ]"), Source), CyrillicFunction);

    TDatabaseIndexList Indices(&Log);
    TTablePrivilegeList TablePrivileges(&Log);
    TRoutinePrivilegeList RoutinePrivileges(&Log);
    try {
      LoadFromCatalogue(Indices, &Db);
      LoadFromCatalogue(TablePrivileges, &Db);
      LoadFromCatalogue(RoutinePrivileges, &Db);
    } catch (const Exception& E) {
      ADD_FAILURE() << E.what();
    }
    EXPECT_EQ(KeysOf(Indices), QStringList{QStringLiteral("[DBO].[ORDERS].[IX_REAL]")});
    EXPECT_EQ(KeysOf(TablePrivileges), QStringList{QStringLiteral("DBO.ORDERS.GRANT.SELECT.READER")});
    EXPECT_EQ(KeysOf(RoutinePrivileges).size(), 2) << KeysOf(RoutinePrivileges).join(u' ').toStdString();

    EXPECT_TRUE(Db.ObjectExists(QString::fromUtf8("Продажи.Функция"), otScalarFunction));
    EXPECT_TRUE(Db.ObjectExists(QStringLiteral("[Sch.ema].[Get.Order]]'s]"), otStoredProcedure));
    EXPECT_FALSE(Db.ObjectExists(QString::fromUtf8("Продажи.Функция"), otStoredProcedure));
  }
}

// Names that differ only in case, in a case-sensitive database: each check constraint joins its
// own table, the routine query's 'dt[_]%' leaves a DT_ routine in, and a procedure called in
// another case is not found.
TEST(HostileCatalogueTest, ACaseSensitiveDatabaseTellsNamesApartByCase) {
  TServedCatalogue Served(R"xml(<?xml version="1.0"?>
<Database Server="TDSTEST" DatabaseName="Cased" Version="3" Collation="Latin1_General_CS_AS">
  <SCHEMAS><SCHEMA SCHEMA_NAME="dbo" SCHEMA_OWNER="dbo"/></SCHEMAS>
  <TABLES>
    <TABLE TABLE_SCHEMA="dbo" TABLE_NAME="Orders" TABLE_TYPE="BASE TABLE"/>
    <TABLE TABLE_SCHEMA="dbo" TABLE_NAME="Lines" TABLE_TYPE="BASE TABLE"/>
  </TABLES>
  <CHECK_CONSTRAINTS>
    <CHECK_CONSTRAINT CONSTRAINT_SCHEMA="dbo" CONSTRAINT_NAME="CK_Qty" TABLE_SCHEMA="dbo" TABLE_NAME="Orders" CHECK_CLAUSE="([Qty]&gt;(0))"/>
    <CHECK_CONSTRAINT CONSTRAINT_SCHEMA="dbo" CONSTRAINT_NAME="CK_QTY" TABLE_SCHEMA="dbo" TABLE_NAME="Lines" CHECK_CLAUSE="([QTY]&gt;(1))"/>
  </CHECK_CONSTRAINTS>
  <ROUTINES>
    <ROUTINE ROUTINE_SCHEMA="dbo" ROUTINE_NAME="GetDatabaseInfo" ROUTINE_TYPE="PROCEDURE">CREATE PROCEDURE dbo.GetDatabaseInfo AS SELECT 3</ROUTINE>
    <ROUTINE ROUTINE_SCHEMA="dbo" ROUTINE_NAME="DT_Kept" ROUTINE_TYPE="PROCEDURE">CREATE PROCEDURE dbo.DT_Kept AS SELECT 1</ROUTINE>
    <ROUTINE ROUTINE_SCHEMA="dbo" ROUTINE_NAME="dt_hidden" ROUTINE_TYPE="PROCEDURE">CREATE PROCEDURE dbo.dt_hidden AS SELECT 1</ROUTINE>
  </ROUTINES>
</Database>
)xml",
                          QStringLiteral("Cased"));
  TRecordingLog& Log = Served.Log;
  TSimpleDatabase& Db = Served.Db;

  TCheckConstraintList Checks(&Log);
  Checks.SetCaseSensitiveKeys(true);
  LoadFromCatalogue(Checks, &Db);
  QStringList Tables;
  for (const TDatabaseObject* Object : Checks.Values())
    Tables.append(Object->ObjectName() + QStringLiteral(" on ") + dynamic_cast<const TDatabaseConstraint*>(Object)->TableName());
  Tables.sort();
  EXPECT_EQ(Tables, (QStringList{QStringLiteral("CK_QTY on Lines"), QStringLiteral("CK_Qty on Orders")}));

  TDatabaseRoutineList Routines(&Log);
  Routines.SetCaseSensitiveKeys(true);
  LoadFromCatalogue(Routines, &Db);
  EXPECT_EQ(KeysOf(Routines), (QStringList{QStringLiteral("[dbo].[DT_Kept]"), QStringLiteral("[dbo].[GetDatabaseInfo]")}));

  EXPECT_EQ(Db.FastQuery(QStringLiteral("EXEC dbo.GetDatabaseInfo"))->Fields(0).AsInteger(), 3);
  try {
    Db.FastQuery(QStringLiteral("EXEC dbo.getDatabaseInfo"));
    ADD_FAILURE() << "a procedure called in another case was found";
  } catch (const EOdbcError& E) {
    ASSERT_FALSE(E.Diagnostics().isEmpty());
    EXPECT_EQ(E.Diagnostics().first().NativeError, 2812) << E.what();
  }
}

}  // namespace
}  // namespace quillon
