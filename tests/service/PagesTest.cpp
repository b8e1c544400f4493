#include "model/Xml.NodeList.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Soap.h"
#include "service/Service.Xml.h"
#include "support/GoldService.h"

#include <memory>

#include <gtest/gtest.h>

namespace quillon {
namespace {

class Pages : public test::TGoldServiceSuite<Pages> {};

// "name=text" of every element called AName, at any depth, in document order.
QStringList Elements(const TXmlDocument& ADocument, const QString& AName, const QString& AAttribute) {
  QStringList Result;
  for (const TXmlNode* Element : TNodeList(ADocument, AName))
    Result.append(Element->Attribute(AAttribute) + u'=' + Element->Text().trimmed());
  return Result;
}

TEST_F(Pages, AskForRoutineVersionsWithEncodedNames) {
  const QString Address = RoutineVersionsPageAddress(QStringLiteral("sales"), QStringLiteral("A&B C"));
  EXPECT_EQ(Address, Service->BaseAddress() + QStringLiteral("/GetDbRoutineVersions.asp?RoutineSchema=sales&RoutineName=A%26B%20C"));
  TOstrelServiceClient Client(Service->Config());
  const TXmlDocument Page = LoadServicePage(Client, Address);
  QStringList Versions;
  for (const TXmlNode* Routine : TNodeList(Page, QStringLiteral("DbRoutine")))
    Versions.append(Routine->ChildElement(QStringLiteral("DbVersion"))->Text() + u':' +
                    Routine->ChildElement(QStringLiteral("SourceCode"))->Text());
  EXPECT_EQ(Versions, QStringList({QStringLiteral("2:CREATE FUNCTION sales.[A&B C]() RETURNS int AS BEGIN RETURN 2 END"),
                                   QStringLiteral("4:CREATE FUNCTION sales.[A&B C]() RETURNS int AS BEGIN RETURN 4 END")}));
}

TEST_F(Pages, ServeTheRoutineListUpToAVersionOverTheClientsConnection) {
  TOstrelServiceClient Client(Service->Config());
  Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 3);
  const TXmlDocument Page = LoadServicePage(Client, RoutineListPageAddress(3));
  EXPECT_EQ(Elements(Page, QStringLiteral("ROUTINE"), QStringLiteral("ROUTINE_NAME")),
            QStringList({QStringLiteral("GetOrder=CREATE PROCEDURE dbo.GetOrder AS\r\nSELECT 3"),
                         QStringLiteral("A&B C=CREATE FUNCTION sales.[A&B C]() RETURNS int AS BEGIN RETURN 2 END")}));
  EXPECT_EQ(Service->Connections(), 1);

  EXPECT_EQ(Elements(Client.LoadPage(ListPageAddress(QStringLiteral("VIEWS"))), QStringLiteral("VIEW"),
                     QStringLiteral("TABLE_NAME")),
            QStringList({QStringLiteral("Orders=CREATE VIEW dbo.Orders AS SELECT Id FROM dbo.OrderLines")}));
  EXPECT_EQ(Client.LoadPage(ProcListPageAddress()).DocumentElement()->NodeName(), QStringLiteral("DbProcList"));
  EXPECT_EQ(Service->Connections(), 1);
}

TEST_F(Pages, ThatCannotBeReadRaiseAnExceptionNamingThePage) {
  struct TCase {
    const char* Mode;
    bool NotXml;
    const char* MessagePart;
  };
  const TCase Cases[] = {
      {"garbage", true, "GetDbRoutineList.asp?MaxVersion=3: "},
      {"truncated", true, "GetDbRoutineList.asp?MaxVersion=3: "},
      {"dtd", true, "GetDbRoutineList.asp?MaxVersion=3: a document type declaration is not accepted"},
      {"innerdtd", true, "GetDbRoutineList.asp?MaxVersion=3: a document type declaration is not accepted"},
      {"deep", true, "GetDbRoutineList.asp?MaxVersion=3: elements are nested deeper than 256 levels"},
      {"http500", false, "GetDbRoutineList.asp?MaxVersion=3 answered the page request with HTTP status 500"},
  };
  TOstrelServiceClient Client(Service->Config());
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Mode);
    Service->Fail(QStringLiteral("GetDbRoutineList"), QString::fromUtf8(Case.Mode));
    try {
      Client.LoadPage(RoutineListPageAddress(3));
      ADD_FAILURE() << "no exception";
    } catch (const Exception& E) {
      EXPECT_EQ(dynamic_cast<const EXmlParseError*>(&E) != nullptr, Case.NotXml) << E.what();
      EXPECT_TRUE(E.Message().contains(QString::fromUtf8(Case.MessagePart))) << E.what();
    }
  }
  EXPECT_THROW(Client.LoadPage(ListPageAddress(QStringLiteral("NO_SUCH_LIST"))), EServiceHttpError);
}

}  // namespace
}  // namespace quillon
