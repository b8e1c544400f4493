#include "service/Service.Config.h"
#include "service/Service.Xml.h"

#include <QTemporaryDir>
#include <QFile>

#include <gtest/gtest.h>

namespace quillon {
namespace {

struct TConfigCase {
  const char* Name;
  const char* Ini;  // nullptr: no settings file
  const char* Override;
  const char* Endpoint;
  const char* ViewsPage;
  const char* ProcListPage;
  double ConnectTimeout;
  double Timeout;
  qint32 Concurrency;
};

TEST(ServiceConfig, ReadsTheSettingsFileAndLetsTheCommandLineOverrideIt) {
  const TConfigCase Cases[] = {
      {"defaults without a settings file", nullptr, "", "http://ostrel.ulmora.no/OstrelService.asmx",
       "http://ostrel.ulmora.no/VIEWS.asp", "http://ostrel.ulmora.no/DbProcList.asp", 10, 120, 8},
      {"keys in any letter case, roots of their own",
       "[Other]\nBaseAddress=http://wrong\n[service]\nbaseaddress = http://gold.example/api/\n"
       "PAGEROOT=http://gold.example/pages\nMetadataRoot=http://meta.example/\nConnectTimeout=2.5\nTimeout=30\n"
       "concurrency= 3\n",
       "", "http://gold.example/api/OstrelService.asmx", "http://gold.example/pages/VIEWS.asp",
       "http://meta.example/DbProcList.asp", 2.5, 30, 3},
      {"command line points everything at one site",
       "[Service]\nBaseAddress=http://gold.example\nPageRoot=http://pages.example\nMetadataRoot=http://meta.example\n",
       "http://127.0.0.1:8080", "http://127.0.0.1:8080/OstrelService.asmx", "http://127.0.0.1:8080/VIEWS.asp",
       "http://127.0.0.1:8080/DbProcList.asp", 10, 120, 8},
      {"unusable time-outs and concurrency keep the defaults",
       "[Service]\nConnectTimeout=soon\nTimeout=-4\nConcurrency=0\n", "", "http://ostrel.ulmora.no/OstrelService.asmx",
       "http://ostrel.ulmora.no/VIEWS.asp", "http://ostrel.ulmora.no/DbProcList.asp", 10, 120, 8},
      {"one at a time", "[Service]\nConcurrency=1\n", "",
       "http://ostrel.ulmora.no/OstrelService.asmx", "http://ostrel.ulmora.no/VIEWS.asp",
       "http://ostrel.ulmora.no/DbProcList.asp", 10, 120, 1},
      {"a concurrency beyond reason is capped", "[Service]\nConcurrency=5000\n", "",
       "http://ostrel.ulmora.no/OstrelService.asmx", "http://ostrel.ulmora.no/VIEWS.asp",
       "http://ostrel.ulmora.no/DbProcList.asp", 10, 120, 64},
  };
  QTemporaryDir Folder;
  for (const TConfigCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const QString FileName = Folder.filePath(QStringLiteral("quillon.ini"));
    QFile::remove(FileName);
    if (Case.Ini) {
      QFile File(FileName);
      ASSERT_TRUE(File.open(QIODevice::WriteOnly));
      File.write(Case.Ini);
    }
    const TServiceConfig Config = TServiceConfig::FromSources(FileName, QString::fromUtf8(Case.Override));
    EXPECT_EQ(Config.EndpointAddress(), QString::fromUtf8(Case.Endpoint));
    EXPECT_EQ(Config.PageAddress(QStringLiteral("VIEWS")), QString::fromUtf8(Case.ViewsPage));
    EXPECT_EQ(Config.MetadataPageAddress(QStringLiteral("DbProcList")), QString::fromUtf8(Case.ProcListPage));
    EXPECT_EQ(Config.ConnectTimeout, Case.ConnectTimeout);
    EXPECT_EQ(Config.Timeout, Case.Timeout);
    EXPECT_EQ(Config.Concurrency, Case.Concurrency);
  }
}

TEST(ParseXmlDocument, RefusesDocumentTypesAndReportsWhereADocumentBreaks) {
  struct TCase {
    const char* Name;
    QByteArray Xml;
    const char* MessagePart;
  };
  const TCase Cases[] = {
      {"entity expansion",
       "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x \"xxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;&x;&x;\">]><a>&y;</a>",
       "a document type declaration is not accepted (line 1"},
      {"external entity", "<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>",
       "a document type declaration is not accepted (line 1"},
      {"document type inside the root",
       "<Database><VIEWS/>\n<!DOCTYPE VIEW [<!ENTITY e \"DROP TABLE t\">]><VIEW>&e;</VIEW></Database>",
       "a document type declaration is not accepted (line 2"},
      {"nesting past the limit", "<a>" + QByteArray("<b>").repeated(100000) + QByteArray("</b>").repeated(100000) + "</a>",
       "elements are nested deeper than 256 levels (line 1, column 771)"},
      {"truncated", "<?xml version=\"1.0\"?>\n<Database>\n  <VIEWS>", "(line 3"},
      {"not XML", "<html><body>Server Error<br></body></html>", "(line 1"},
      {"empty", "", "(line 1"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    try {
      ParseXmlDocument(Case.Xml, QStringLiteral("page.asp"));
      ADD_FAILURE() << "no exception";
    } catch (const EXmlParseError& E) {
      EXPECT_TRUE(E.Message().contains(QLatin1String(Case.MessagePart))) << E.what();
      EXPECT_TRUE(E.Message().startsWith(QStringLiteral("page.asp: "))) << E.what();
    }
  }
  const TXmlDocument Document = ParseXmlDocument("<?xml version=\"1.0\"?><Database><VIEWS/></Database>", "ok");
  EXPECT_NE(Document.DocumentElement()->ChildElement(QStringLiteral("VIEWS")), nullptr);
}

}  // namespace
}  // namespace quillon
