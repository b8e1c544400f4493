#include "database/Database.ConnectionString.h"
#include "infra/platform/Support.Paths.h"
#include "infra/settings/Utils.Params.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(ConnectionStringTest, CreateRendersTheTemplateWithServerAndDatabase) {
  EXPECT_EQ(TMSSQLConnString(QStringLiteral("SRV\\A"), QStringLiteral("Harbour")).Value(),
            QStringLiteral("Provider=SQLOLEDB.1;Data Source=SRV\\A;Initial Catalog=Harbour;Integrated Security=SSPI"));
  EXPECT_EQ(TMSSQLConnString().Value(), QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI"));
}

TEST(ConnectionStringTest, SetLoginReplacesWindowsAuthenticationAtTheEnd) {
  TMSSQLConnString Conn(QStringLiteral("S"), QStringLiteral("D"));
  Conn.SetLogin(QStringLiteral("kari"), QStringLiteral("pw"));
  EXPECT_EQ(Conn.Value(), QStringLiteral("Provider=SQLOLEDB.1;Data Source=S;Initial Catalog=D;User ID=kari;Password=pw"));
  EXPECT_FALSE(Conn.IntegratedSecurity());
  EXPECT_EQ(Conn.Username(), QStringLiteral("kari"));
  EXPECT_EQ(Conn.Password(), QStringLiteral("pw"));

  Conn.SetLogin(QString(), QString());
  EXPECT_EQ(Conn.Value(), QStringLiteral("Provider=SQLOLEDB.1;Data Source=S;Initial Catalog=D"));
}

TEST(ConnectionStringTest, IntegratedSecurityIsSspiInAnyLetterCaseOnly) {
  const struct {
    const char* Value;
    bool Expected;
  } Cases[] = {{"SSPI", true}, {"sspi", true}, {"sSpI", true}, {"True", false}, {"SSPI ", false}, {"", false}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Value);
    TMSSQLConnString Conn;
    Conn.SetValue(QStringLiteral("Integrated Security=") + QString::fromUtf8(Case.Value));
    EXPECT_EQ(Conn.IntegratedSecurity(), Case.Expected);
  }
  TMSSQLConnString Conn(QStringLiteral("S"), QStringLiteral("D"));
  Conn.SetIntegratedSecurity(false);
  EXPECT_EQ(Conn.Value(), QStringLiteral("Provider=SQLOLEDB.1;Data Source=S;Initial Catalog=D"));
  Conn.SetIntegratedSecurity(true);
  EXPECT_EQ(Conn.Value(), QStringLiteral("Provider=SQLOLEDB.1;Data Source=S;Initial Catalog=D;Integrated Security=SSPI"));
}

TEST(ConnectionStringTest, WritingValueSplitsAtSemicolonsOnlyAndHonoursDoubleQuotes) {
  const struct {
    QString Text;
    QStringList Lines;
  } Cases[] = {
      {QString(), {}},
      {QStringLiteral("a=1;b=2"), {QStringLiteral("a=1"), QStringLiteral("b=2")}},
      {QStringLiteral("a=1;"), {QStringLiteral("a=1"), QString()}},
      {QStringLiteral(" a = 1 ;\tb"), {QStringLiteral(" a = 1 "), QStringLiteral("\tb")}},
      {QStringLiteral("\"Password=a;b\";c=d"), {QStringLiteral("Password=a;b"), QStringLiteral("c=d")}},
      {QStringLiteral("\"x=say \"\"hi\"\"\";y"), {QStringLiteral("x=say \"hi\""), QStringLiteral("y")}},
      // An unterminated quote takes the rest of the text.
      {QStringLiteral("a=1;\"Password=x;y=z"), {QStringLiteral("a=1"), QStringLiteral("Password=x;y=z")}},
      // Before a data-link file is read, the single quote is an ordinary character.
      {QStringLiteral("'a;b'"), {QStringLiteral("'a"), QStringLiteral("b'")}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Text.toStdString());
    TMSSQLConnString Conn;
    Conn.SetValue(Case.Text);
    EXPECT_EQ(Conn.Lines(), Case.Lines);
  }
}

TEST(ConnectionStringTest, KeysIgnoreLetterCaseFirstLineWinsEmptyValueRemoves) {
  TMSSQLConnString Conn;
  Conn.SetValue(QStringLiteral("data source=A;DATA SOURCE=B;Extra=1"));
  EXPECT_EQ(Conn.Server(), QStringLiteral("A"));
  Conn.SetServer(QStringLiteral("C"));
  EXPECT_EQ(Conn.Value(), QStringLiteral("Data Source=C;DATA SOURCE=B;Extra=1"));
  Conn.SetServer(QString());
  EXPECT_EQ(Conn.Value(), QStringLiteral("DATA SOURCE=B;Extra=1"));
  Conn.SetDatabase(QStringLiteral("Harbour"));
  EXPECT_EQ(Conn.Value(), QStringLiteral("DATA SOURCE=B;Extra=1;Initial Catalog=Harbour"));
  EXPECT_EQ(Conn.Values(QStringLiteral("missing")), QString());
}

TEST(ConnectionStringTest, ProviderReportsOnlyWhatWasWrittenThroughIt) {
  TMSSQLConnString Conn(QStringLiteral("S"), QStringLiteral("D"));
  EXPECT_EQ(Conn.Provider(), sqlNativeClient10);
  Conn.SetProvider(sqlNativeClient11);
  EXPECT_EQ(Conn.Value(), QStringLiteral("Provider=SQLNCLI11.1;Data Source=S;Initial Catalog=D;Integrated Security=SSPI"));
  Conn.SetValue(QStringLiteral("Provider=SQLOLEDB.1"));
  EXPECT_EQ(Conn.Provider(), sqlNativeClient11);
}

TEST(ConnectionStringTest, MaskedValueHidesEveryPassword) {
  TMSSQLConnString Conn;
  Conn.SetValue(QStringLiteral("User ID=kari;\"password=se;cret\";PWD=x;Data Source=S"));
  EXPECT_EQ(Conn.MaskedValue(), QStringLiteral("User ID=kari;password=*****;PWD=*****;Data Source=S"));
  EXPECT_EQ(Conn.Password(), QStringLiteral("se;cret"));
}

class UdlFileTest : public ::testing::Test {
protected:
  QString Write(const QString& AName, const QByteArray& AContent) {
    const QString Path = FDir.filePath(AName);
    QFile File(Path);
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(AContent);
    return Path;
  }
  QTemporaryDir FDir;
};

TEST_F(UdlFileTest, FileNameLoadsTheThirdLineInEveryEncodingWindowsWrites) {
  const QString Third =
      QString::fromUtf8("Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=Kjøpmann;Data Source=SRV01");
  const QString Text = QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n") + Third +
                       QStringLiteral("\r\n");
  QStringEncoder Utf16(QStringEncoder::Utf16LE);
  const struct {
    const char* Name;
    QByteArray Content;
  } Cases[] = {
      {"utf16.udl", QByteArray("\xFF\xFE", 2) + QByteArray(Utf16(Text))},
      {"utf8bom.udl", QByteArray("\xEF\xBB\xBF") + Text.toUtf8()},
      {"utf8.udl", Text.toUtf8()},
      {"latin1.udl", Text.toLatin1()},
      {"unix.udl", QString(Text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toUtf8()},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TMSSQLConnString Conn;
    Conn.SetValue(QStringLiteral("FILE NAME=") + Write(QString::fromUtf8(Case.Name), Case.Content));
    EXPECT_EQ(Conn.Value(), Third);
    EXPECT_EQ(Conn.Database(), QString::fromUtf8("Kjøpmann"));
    EXPECT_EQ(Conn.QuoteChar(), u'\'');
  }
}

TEST_F(UdlFileTest, AfterADataLinkFileValuesAreQuotedWithSingleQuotesAndReadBack) {
  TMSSQLConnString Conn;
  Conn.SetLogin(QStringLiteral("kari"), QStringLiteral("a;b\"c"));
  EXPECT_EQ(Conn.Value(), QStringLiteral("Provider=SQLOLEDB.1;User ID=kari;\"Password=a;b\"\"c\""));

  Conn.LoadFromUdl(Write(QStringLiteral("short.udl"), "[oledb]\r\n"));
  Conn.SetLogin(QStringLiteral("kari"), QStringLiteral("it's;x"));
  const QString Rendered = Conn.Value();
  EXPECT_EQ(Rendered, QStringLiteral("Provider=SQLOLEDB.1;User ID=kari;'Password=it''s;x'"));
  const QStringList Lines = Conn.Lines();
  Conn.SetValue(Rendered);
  EXPECT_EQ(Conn.Lines(), Lines);
}

TEST_F(UdlFileTest, AShortFileLeavesTheFileNamePairAndAMissingFileRaises) {
  TMSSQLConnString Conn;
  const QString Short = Write(QStringLiteral("two.udl"), "[oledb]\r\nProvider=SQLOLEDB.1;Data Source=X\r\n");
  Conn.SetValue(QStringLiteral("FILE NAME=") + Short);
  EXPECT_EQ(Conn.Value(), QStringLiteral("FILE NAME=") + Short);

  const QString Missing = FDir.filePath(QStringLiteral("missing.udl"));
  try {
    Conn.SetValue(QStringLiteral("Data Source=S;FILE NAME=") + Missing);
    FAIL() << "no error for a missing data-link file";
  } catch (const EFOpenError& E) {
    EXPECT_TRUE(E.Message().startsWith(QStringLiteral("Cannot open file \"") + Missing + QStringLiteral("\". ")))
        << E.Message().toStdString();
  }
  EXPECT_EQ(Conn.Value(), QStringLiteral("Data Source=S;FILE NAME=") + Missing);
}

TEST(ConnectionStringTest, StartingStringComesFromTheCommandLineOrTheDataLinkFile) {
  EXPECT_EQ(DefaultUdlFileName(), ExeFolder() + QStringLiteral("../Tellwick.UDL"));
  const QString Udl = QStringLiteral("FILE NAME=") + DefaultUdlFileName();
  EXPECT_EQ(DefaultUdlConnectionString(), Udl);
  const struct {
    const char* CommandLine;
    QString Expected;
  } Cases[] = {
      {"quillon Server=SRV database=Harbour",
       QStringLiteral("Provider=SQLNCLI11.1;Data Source=SRV;Initial Catalog=Harbour;Integrated Security=SSPI")},
      {"quillon SERVER= Database=",
       QStringLiteral("Provider=SQLNCLI11.1;Data Source=;Initial Catalog=;Integrated Security=SSPI")},
      {"quillon Server=SRV Database=Harbour User=checker",
       QStringLiteral("Provider=SQLNCLI11.1;Data Source=SRV;Initial Catalog=Harbour;User ID=checker")},
      {"quillon Server=SRV", Udl},
      {"quillon User=checker", Udl},
      {"quillon Database=Harbour", Udl},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.CommandLine);
    EXPECT_EQ(ConnectionStringFromParams(TParamList(QString::fromUtf8(Case.CommandLine))), Case.Expected);
  }
}

}  // namespace
}  // namespace quillon
