#include "service/Service.Http.h"
#include "service/Service.Soap.h"
#include "support/GoldService.h"

#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TGoldService;

class SoapClient : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Service = std::make_unique<TGoldService>(QStringLiteral("gold_client.json")); }
  static void TearDownTestSuite() { Service.reset(); }
  void SetUp() override { Service->Reset(); }

  static std::unique_ptr<TGoldService> Service;
};

std::unique_ptr<TGoldService> SoapClient::Service;

QString Params(const QVariantMap& AParams) {
  QStringList Result;
  for (auto It = AParams.begin(); It != AParams.end(); ++It)
    Result.append(It.key() + u'=' + It.value().toString());
  return Result.join(u'|');
}

TEST_F(SoapClient, SendsEveryOperationWithItsParametersIntact) {
  TOstrelServiceClient Client(Service->Config());
  // Markup characters, both line-break forms, a tab and text beyond the basic plane must
  // arrive exactly as sent.
  const QString Tricky = QString::fromUtf8("a&b <c> \"q\" 'x'\r\nline\ttwo\n\xc3\xa5 \xf0\x9d\x84\x9e ]]>");
  Client.SaveDbSchema(QStringLiteral("sales"), QStringLiteral("dbo"), 7);
  Client.SaveDbView(QStringLiteral("dbo"), QStringLiteral("V"), Tricky, 7);
  Client.SaveDbIndex(QStringLiteral("dbo"), QStringLiteral("T"), QStringLiteral("IX"), true, -1);
  Client.SaveDbRoutine(QStringLiteral("dbo"), QStringLiteral("P"), QStringLiteral("PROCEDURE"), Tricky, 7);
  Client.SaveDbCheckConstraint(QStringLiteral("dbo"), QStringLiteral("T"), QStringLiteral("cs"), QStringLiteral("CK"),
                               QStringLiteral("([a]>(0))"), 7);
  Client.SaveDbReferentialConstraint(QStringLiteral("dbo"), QStringLiteral("T"), QStringLiteral("cs"),
                                     QStringLiteral("FK"), QStringLiteral("us"), QStringLiteral("PK"),
                                     QStringLiteral("CASCADE"), QStringLiteral("NO ACTION"), 7);
  Client.SaveDbAnomaly(QStringLiteral("Db"), 7, QStringLiteral("[DBO].[V]"), QStringLiteral("TDatabaseView"), Tricky,
                       QString(), QStringLiteral("View different"));
  Client.GetDbView(QStringLiteral("dbo"), Tricky, 2147483647);
  Client.GetDbRoutine(QStringLiteral("dbo"), QStringLiteral("P"), 7);
  Client.GetDbCheckConstraint(QStringLiteral("dbo"), QStringLiteral("CK"), 7);
  Client.GetDbIndex(QStringLiteral("dbo"), QStringLiteral("T"), QStringLiteral("IX"), 7);

  const QStringList Expected = {
      "SaveDbSchema: DbVer=7|SchemaName=sales|SchemaOwner=dbo",
      "SaveDbView: DbVer=7|ViewDefinition=" + Tricky + "|ViewName=V|ViewSchema=dbo",
      "SaveDbIndex: DbVer=-1|IndexName=IX|IsUnique=true|TableName=T|TableSchema=dbo",
      "SaveDbRoutine: DbVer=7|RoutineName=P|RoutineSchema=dbo|RoutineType=PROCEDURE|SourceCode=" + Tricky,
      "SaveDbCheckConstraint: CheckClause=([a]>(0))|ConstraintName=CK|ConstraintSchema=cs|DbVer=7|TableName=T|"
      "TableSchema=dbo",
      "SaveDbReferentialConstraint: ConstraintName=FK|ConstraintSchema=cs|DbVer=7|DeleteRule=NO ACTION|TableName=T|"
      "TableSchema=dbo|UniqueConstraintName=PK|UniqueConstraintSchema=us|UpdateRule=CASCADE",
      "SaveDbAnomaly: ActualDDL=|DatabaseName=Db|DbVer=7|ExpectedDDL=" + Tricky +
          "|InfoText=View different|ObjectClass=TDatabaseView|ObjectKey=[DBO].[V]",
      "GetDbView: DbVer=2147483647|SchemaName=dbo|ViewName=" + Tricky,
      "GetDbRoutine: DbVer=7|RoutineName=P|SchemaName=dbo",
      "GetDbCheckConstraint: ConstraintName=CK|DbVer=7|SchemaName=dbo",
      "GetDbIndex: DbVer=7|IndexName=IX|SchemaName=dbo|TableName=T",
  };
  QStringList Received;
  for (const TGoldService::TCall& Call : Service->Calls())
    Received.append(Call.Operation + QStringLiteral(": ") + Params(Call.Params));
  EXPECT_EQ(Received.join(u'\n').toStdString(), Expected.join(u'\n').toStdString());
}

TEST_F(SoapClient, AnswersTheGoldStandardOrTheEmptyText) {
  TOstrelServiceClient Client(Service->Config());
  // Versions between two gold standards get the older one, line breaks and all.
  EXPECT_EQ(Client.GetDbRoutine(QStringLiteral("DBO"), QStringLiteral("getorder"), 4),
            QStringLiteral("CREATE PROCEDURE dbo.GetOrder AS\r\nSELECT 3"));
  EXPECT_EQ(Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 5),
            QStringLiteral("CREATE VIEW dbo.Orders AS SELECT Id FROM dbo.OrderLines"));
  EXPECT_EQ(Client.GetDbCheckConstraint(QStringLiteral("dbo"), QStringLiteral("CK_Qty"), 9), QStringLiteral("([Qty]>(0))"));
  EXPECT_EQ(Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 4), QString());
  EXPECT_TRUE(Client.GetDbIndex(QStringLiteral("dbo"), QStringLiteral("OrderLines"), QStringLiteral("IX_OrderLines_Order"), 1));
  EXPECT_FALSE(Client.GetDbIndex(QStringLiteral("dbo"), QStringLiteral("OrderLines"), QStringLiteral("IX_Unknown"), 1));

  Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("noresult"));
  EXPECT_EQ(Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 5), QString());
  Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("emptyresult"));
  EXPECT_EQ(Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 5), QString());
}

TEST_F(SoapClient, KeepsOneConnectionForAllItsCalls) {
  TOstrelServiceClient Client(Service->Config());
  for (int I = 0; I < 40; ++I) {
    Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), I);
    Client.SaveDbSchema(QStringLiteral("s"), QStringLiteral("dbo"), I);
  }
  EXPECT_EQ(Service->Connections(), 1);
}

TEST_F(SoapClient, HandsOutAnnouncedLookupsInTheirOrderOverAtMostConcurrencyConnections) {
  TServiceConfig Config = Service->Config();
  Config.Concurrency = 3;
  TOstrelServiceClient Client(Config);
  // Versions 1 to 4 have no gold standard for the view, later ones have; the first answer is
  // held back so that the others overtake it.
  std::vector<TServiceLookup> Lookups;
  for (qint32 Version = 1; Version <= 20; ++Version)
    Lookups.push_back({TServiceLookup::GetDbView, QStringLiteral("dbo"), QStringLiteral("Orders"), QString(), Version});
  Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("slow"), 0, 0.3, {{QStringLiteral("DbVer"), 1}});
  const QString Definition = QStringLiteral("CREATE VIEW dbo.Orders AS SELECT Id FROM dbo.OrderLines");
  {
    const TLookahead Ahead(&Client, Lookups);
    for (const TServiceLookup& Lookup : std::vector(Lookups.begin(), Lookups.begin() + 12)) {
      SCOPED_TRACE(Lookup.DbVer);
      EXPECT_EQ(LookupText(Client, Lookup), Lookup.DbVer >= 5 ? Definition : QString());
      // Writes go between the lookups as they come.
      Client.SaveDbSchema(QStringLiteral("s"), QStringLiteral("dbo"), Lookup.DbVer);
    }
  }
  // What was still in flight is abandoned with the scope: nothing more is sent after it. A
  // request already on its way when the scope ended may still reach the service a moment later
  // on a busy machine, so the count is taken once those have landed...
  QThread::msleep(100);
  const qint32 RequestsAtEnd = Service->Requests();
  EXPECT_LE(RequestsAtEnd, 12 + 20);
  QThread::msleep(300);
  EXPECT_EQ(Service->Requests(), RequestsAtEnd);
  // ...and the client carries on, asking afresh what it asks.
  EXPECT_EQ(Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 15), Definition);
  QList<qint32> WriteOrder;
  for (const TGoldService::TCall& Call : Service->Calls(QStringLiteral("SaveDbSchema")))
    WriteOrder.append(Call.Params[QStringLiteral("DbVer")].toInt());
  EXPECT_EQ(WriteOrder, QList<qint32>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_GT(Service->PeakConnections(), 1);
  EXPECT_LE(Service->PeakConnections(), 3);
}

struct TFailureCase {
  const char* Mode;
  const char* Operation;
  std::function<void(const EServiceError&)> CheckType;
  const char* MessagePart;
};

template <class E>
std::function<void(const EServiceError&)> Is() {
  return [](const EServiceError& AError) { EXPECT_NE(dynamic_cast<const E*>(&AError), nullptr) << typeid(AError).name(); };
}

TEST_F(SoapClient, RaisesAnExceptionThatSaysWhatWentWrongAndThenCarriesOn) {
  const TFailureCase Cases[] = {
      {"fault", "GetDbView", Is<ESoapFault>(), "answered GetDbView with a fault: Injected failure in GetDbView"},
      {"http500", "GetDbView", Is<EServiceHttpError>(), "with HTTP status 500: <!DOCTYPE html><html><head><title>Runtime Error"},
      {"html", "GetDbView", Is<EMalformedResponse>(), "malformed answer to GetDbView"},
      {"garbage", "SaveDbView", Is<EMalformedResponse>(), "malformed answer to SaveDbView"},
      {"truncated", "GetDbView", Is<EMalformedResponse>(), "malformed answer to GetDbView"},
      {"nowrapper", "SaveDbView", Is<EMalformedResponse>(), "where <SaveDbViewResponse> was expected"},
      {"dtd", "GetDbView", Is<EMalformedResponse>(), "a document type declaration is not accepted"},
      {"innerdtd", "GetDbView", Is<EMalformedResponse>(), "a document type declaration is not accepted (line 1"},
      {"deep", "GetDbView", Is<EMalformedResponse>(), "elements are nested deeper than 256 levels"},
      {"badbool", "GetDbIndex", Is<EMalformedResponse>(), "IsUnique is 'maybe', not a truth value"},
      {"cut", "GetDbView", Is<EServiceTransportError>(), "/OstrelService.asmx failed"},
      {"drop", "GetDbView", Is<EServiceTransportError>(), "/OstrelService.asmx failed"},
  };
  TOstrelServiceClient Client(Service->Config());
  for (const TFailureCase& Case : Cases) {
    SCOPED_TRACE(Case.Mode);
    Service->Fail(QString::fromUtf8(Case.Operation), QString::fromUtf8(Case.Mode));
    try {
      if (QLatin1String(Case.Operation) == u"GetDbView")
        Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 5);
      else if (QLatin1String(Case.Operation) == u"GetDbIndex")
        Client.GetDbIndex(QStringLiteral("dbo"), QStringLiteral("T"), QStringLiteral("IX"), 5);
      else
        Client.SaveDbView(QStringLiteral("dbo"), QStringLiteral("V"), QStringLiteral("x"), 5);
      ADD_FAILURE() << "no exception";
    } catch (const EServiceError& E) {
      Case.CheckType(E);
      EXPECT_TRUE(E.Message().contains(QString::fromUtf8(Case.MessagePart))) << E.what();
    }
    Service->Reset();
    EXPECT_EQ(Client.GetDbCheckConstraint(QStringLiteral("dbo"), QStringLiteral("CK_Qty"), 1), QStringLiteral("([Qty]>(0))"));
  }
}

TEST_F(SoapClient, GivesUpOnASlowServiceAfterTheTimeOut) {
  TServiceConfig Config = Service->Config();
  Config.Timeout = 0.5;
  TOstrelServiceClient Client(Config);
  Service->Fail(QStringLiteral("GetDbView"), QStringLiteral("slow"), 0, 3);
  QElapsedTimer Timer;
  Timer.start();
  try {
    Client.GetDbView(QStringLiteral("dbo"), QStringLiteral("Orders"), 5);
    ADD_FAILURE() << "no exception";
  } catch (const EServiceTransportError& E) {
    EXPECT_TRUE(E.Message().contains(QStringLiteral("did not answer in time"))) << E.what();
    EXPECT_TRUE(E.Message().contains(Config.EndpointAddress())) << E.what();
  }
  EXPECT_LT(Timer.elapsed(), 2500);
}

// Eight answers of 1.5 MB in flight against a budget of 4 MB: the transport never holds more
// than the budget, the answers that do not fit are refused with a message that says why, and
// the budget is whole again after.
TEST_F(SoapClient, AnswersInFlightShareOneMemoryBudget) {
  constexpr qsizetype MB = 1024 * 1024;
  constexpr qsizetype AnswerSize = 3 * MB / 2;
  const QByteArray Envelope = R"(<?xml version="1.0" encoding="utf-8"?><soap:Envelope )"
                              R"(xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)"
                              R"(<GetDbView xmlns="http://ulmora.no/Ostrel/"><SchemaName>dbo</SchemaName>)"
                              R"(<ViewName>Orders</ViewName><DbVer>5</DbVer></GetDbView></soap:Body></soap:Envelope>)";
  const QString Address = Service->Config().EndpointAddress();
  THttpTransport Transport(5, 20, 8, 4 * MB);
  const auto Start = [&] {
    return Transport.StartPost(Address, "text/xml; charset=utf-8", "\"http://ulmora.no/Ostrel/GetDbView\"", Envelope);
  };
  const auto Outcome = [&](THttpTransport::TTransferId ATransfer) {
    try {
      const THttpTransport::TResponse Response = Transport.Finish(ATransfer);
      return QStringLiteral("%1 bytes").arg(Response.Body.size());
    } catch (const EServiceTransportError& E) {
      return E.Message();
    }
  };
  // The delay lets all eight requests arrive, so that the answers come in side by side.
  Service->PadAnswers(QStringLiteral("GetDbView"), AnswerSize, 0.3);
  std::vector<THttpTransport::TTransferId> InFlight;
  for (int I = 0; I < 8; ++I)
    InFlight.push_back(Start());
  QStringList Outcomes;
  for (const THttpTransport::TTransferId Transfer : InFlight)
    Outcomes.append(Outcome(Transfer));
  const QString Received = QStringLiteral("%1 bytes").arg(AnswerSize);
  const QString Refused = QStringLiteral("The answer of %1 was refused: the answers in flight together came to more "
                                         "than 4 MB").arg(Address);
  EXPECT_GE(Outcomes.count(Refused), 1) << Outcomes.join(u'\n').toStdString();
  EXPECT_EQ(Outcomes.count(Received) + Outcomes.count(Refused), 8) << Outcomes.join(u'\n').toStdString();
  EXPECT_LE(Transport.PeakBuffered(), 4 * MB);
  EXPECT_GT(Transport.PeakBuffered(), 3 * MB);

  EXPECT_EQ(Outcome(Start()), Received);
  Service->PadAnswers(QStringLiteral("GetDbView"), 5 * MB);
  EXPECT_EQ(Outcome(Start()), QStringLiteral("The answer of %1 is larger than 4 MB and was refused").arg(Address));
}

// Time-outs come from the settings file: one too long for curl's milliseconds means no limit
// that matters, not a wrapped negative number curl refuses.
TEST_F(SoapClient, TimeOutsTooLongForCurlStillWork) {
  TServiceConfig Config = Service->Config();
  Config.ConnectTimeout = std::numeric_limits<double>::infinity();
  Config.Timeout = 1e300;
  TOstrelServiceClient Client(Config);
  EXPECT_EQ(Client.GetDbCheckConstraint(QStringLiteral("dbo"), QStringLiteral("CK_Qty"), 1), QStringLiteral("([Qty]>(0))"));
}

TEST_F(SoapClient, NamesTheAddressWhenNoServiceListens) {
  TServiceConfig Config;
  {
    const TGoldService Stopped;
    Config = Stopped.Config();
  }
  TOstrelServiceClient Client(Config);
  try {
    Client.SaveDbSchema(QStringLiteral("s"), QStringLiteral("o"), 1);
    ADD_FAILURE() << "no exception";
  } catch (const EServiceTransportError& E) {
    EXPECT_TRUE(E.Message().startsWith(QStringLiteral("Could not connect to the gold-standard service at ") +
                                       Config.EndpointAddress()))
        << E.what();
  }
}

TEST_F(SoapClient, RefusesTextThatXmlCannotCarryBeforeSendingIt) {
  TOstrelServiceClient Client(Service->Config());
  try {
    Client.SaveDbView(QStringLiteral("dbo"), QStringLiteral("V"), QStringLiteral("SELECT '\x01'"), 1);
    ADD_FAILURE() << "no exception";
  } catch (const EServiceError& E) {
    EXPECT_EQ(E.Message(), QStringLiteral("SaveDbView cannot be sent: ViewDefinition holds the character U+0001, which a "
                                          "SOAP message cannot carry"));
  }
  EXPECT_TRUE(Service->Calls().isEmpty());
}

}  // namespace
}  // namespace quillon
