// The gold-standard service's SOAP client: its namespaces, faults and answers.
#include "service/Service.Soap.h"

#include "service/Service.SoapScanner.h"
#include "service/Service.Xml.h"

#include <QXmlStreamReader>

#include <deque>
#include <optional>

namespace quillon {

namespace {

const QString EnvelopeStart = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<soap:Envelope xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>");
const QString EnvelopeEnd = QStringLiteral("</soap:Body></soap:Envelope>");

bool IsXmlCharacter(char16_t C) { return C >= 0x20 ? C < 0xFFFE : C == u'\t' || C == u'\n' || C == u'\r'; }

// Appends AValue as element content. A carriage return travels as a character reference,
// since a parser would otherwise fold the line breaks of a source text into line feeds. Runs of
// plain characters are copied whole: definitions are long and mostly plain.
void AppendEscaped(QString& AOut, const QString& AValue, const char* AOperation, const char* AParameter) {
  const char16_t* Data = reinterpret_cast<const char16_t*>(AValue.constData());
  qsizetype Plain = 0;
  for (qsizetype I = 0; I < AValue.size(); ++I) {
    const char16_t C = Data[I];
    QLatin1StringView Replacement;
    switch (C) {
      case u'&': Replacement = QLatin1StringView("&amp;"); break;
      case u'<': Replacement = QLatin1StringView("&lt;"); break;
      case u'>': Replacement = QLatin1StringView("&gt;"); break;
      case u'\r': Replacement = QLatin1StringView("&#xD;"); break;
      default:
        if (!IsXmlCharacter(C))
          throw EServiceError(QStringLiteral("%1 cannot be sent: %2 holds the character U+%3, which a SOAP message "
                                             "cannot carry")
                                  .arg(QLatin1String(AOperation), QLatin1String(AParameter))
                                  .arg(ushort(C), 4, 16, QChar(u'0')));
        continue;
    }
    AOut.append(QStringView(Data + Plain, I - Plain));
    AOut.append(Replacement);
    Plain = I + 1;
  }
  AOut.append(QStringView(Data + Plain, AValue.size() - Plain));
}

QString Number(qint32 AValue) { return QString::number(AValue); }
QString Truth(bool AValue) { return AValue ? QStringLiteral("true") : QStringLiteral("false"); }

struct TAnswer {
  bool IsFault = false;
  QString FaultCode;
  QString FaultString;
  QString Result;
};

// Reads a SOAP 1.1 answer: either a fault, or the wrapper "<operation>Response" in the target
// namespace, from which the text of AResultElement is taken. Raises EMalformedResponse for
// anything else, including a document that is cut short after the wrapper, and for a document
// type, an entity reference or deep nesting anywhere in it.
class TAnswerReader {
public:
  TAnswerReader(const QByteArray& ABody, const QString& AOperation, const QString& AEndpoint)
      : FBody(ABody), FReader(ABody), FOperation(AOperation), FEndpoint(AEndpoint) {}

  TAnswer Read(const char* AResultElement) {
    TAnswer Answer;
    // The stream reader's skipping and text reading would pass over a document type inside
    // the body and expand its entities, and they recurse with the nesting.
    try {
      RefuseHostileXml(FBody, QString());
    } catch (const EXmlParseError& E) {
      Fail(E.Message());
    }
    FindRoot();
    if (FReader.name() != u"Envelope" || FReader.namespaceUri() != SoapEnvelopeNamespace)
      Fail(QStringLiteral("the answer is not a SOAP envelope (its root element is <%1>)").arg(FReader.qualifiedName()));
    EnterBody();
    if (!FReader.readNextStartElement())
      Fail(QStringLiteral("the SOAP body is empty"));
    if (FReader.name() == u"Fault" && FReader.namespaceUri() == SoapEnvelopeNamespace)
      ReadFault(Answer);
    else if (FReader.name() == QString(FOperation + QStringLiteral("Response")) && FReader.namespaceUri() == OstrelNamespace)
      ReadWrapper(Answer, AResultElement);
    else
      Fail(QStringLiteral("the SOAP body holds <%1> in namespace '%2' where <%3Response> was expected")
               .arg(FReader.qualifiedName(), FReader.namespaceUri(), FOperation));
    while (!FReader.atEnd())
      FReader.readNext();
    if (FReader.hasError())
      Fail(XmlErrorText(FReader));
    return Answer;
  }

private:
  [[noreturn]] void Fail(const QString& AReason) const {
    throw EMalformedResponse(QStringLiteral("The gold-standard service at %1 sent a malformed answer to %2: %3")
                                 .arg(FEndpoint, FOperation, AReason));
  }

  void CheckReader() const {
    if (FReader.hasError())
      Fail(XmlErrorText(FReader));
  }

  void FindRoot() {
    while (!FReader.atEnd() && FReader.readNext() != QXmlStreamReader::StartElement)
      ;
    CheckReader();
    if (FReader.tokenType() != QXmlStreamReader::StartElement)
      Fail(QStringLiteral("the answer holds no XML element"));
  }

  void EnterBody() {
    while (FReader.readNextStartElement()) {
      if (FReader.name() == u"Body" && FReader.namespaceUri() == SoapEnvelopeNamespace)
        return;
      FReader.skipCurrentElement();
    }
    CheckReader();
    Fail(QStringLiteral("the SOAP envelope has no body"));
  }

  void ReadFault(TAnswer& AAnswer) {
    AAnswer.IsFault = true;
    while (FReader.readNextStartElement()) {
      if (FReader.name() == u"faultcode")
        AAnswer.FaultCode = FReader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
      else if (FReader.name() == u"faultstring")
        AAnswer.FaultString = FReader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
      else
        FReader.skipCurrentElement();
    }
    CheckReader();
  }

  void ReadWrapper(TAnswer& AAnswer, const char* AResultElement) {
    while (FReader.readNextStartElement()) {
      if (AResultElement && FReader.name() == QLatin1String(AResultElement))
        AAnswer.Result = FReader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
      else
        FReader.skipCurrentElement();
    }
    CheckReader();
  }

  QByteArray FBody;
  QXmlStreamReader FReader;
  QString FOperation;
  QString FEndpoint;
};

}  // namespace

std::optional<QString> ReadFullSoapAnswer(const QByteArray& ABody, const QString& AOperation,
                                          const char* AResultElement) {
  const TAnswer Answer = TAnswerReader(ABody, AOperation, QString()).Read(AResultElement);
  return Answer.IsFault ? std::nullopt : std::optional<QString>(Answer.Result);
}

// The announced lookups of a run. Up to Concurrency - 1 of them are on the wire ahead of their
// turn, so one connection always stays for the caller's own request (the lookup it waits for,
// or a write); with Concurrency 1 nothing goes ahead and every request is sent only when asked.
class TOstrelServiceClient::TLookaheadQueue {
public:
  TLookaheadQueue(TOstrelServiceClient& AClient, std::vector<TServiceLookup> ALookups)
      : FClient(AClient), FLookups(std::move(ALookups)), FMaxAhead(4 * AClient.FTransport.MaxConnections()) {
    FClient.FTransport.SetOnTransferDone([this] { SendMore(); });
  }

  ~TLookaheadQueue() {
    FClient.FTransport.SetOnTransferDone({});
    for (const TSent& Sent : FSent)
      FClient.FTransport.Abandon(Sent.Transfer);
  }

  bool Expects(const TServiceLookup& ALookup) const { return FNext < FLookups.size() && FLookups[FNext] == ALookup; }

  QString Take() {
    if (FSent.empty())
      FSent.push_back(Send(FNext));
    const TSent Own = FSent.front();
    FSent.pop_front();
    ++FNext;
    SendMore();
    return FClient.Answer(Own.Request, FClient.FTransport.Finish(Own.Transfer));
  }

private:
  struct TSent {
    THttpTransport::TTransferId Transfer;
    TRequest Request;
  };

  TSent Send(size_t AIndex) {
    TRequest Request = TOstrelServiceClient::Request(FLookups[AIndex]);
    const THttpTransport::TTransferId Transfer = FClient.Start(Request);
    return {Transfer, std::move(Request)};
  }

  void SendMore() {
    const qint32 Limit = FClient.FTransport.MaxConnections() - 1;
    qint32 Running = 0;
    for (const TSent& Sent : FSent)
      Running += FClient.FTransport.IsRunning(Sent.Transfer) ? 1 : 0;
    while (!FBlocked && Running < Limit && qint32(FSent.size()) < FMaxAhead && FNext + FSent.size() < FLookups.size()) {
      try {
        FSent.push_back(Send(FNext + FSent.size()));
        ++Running;
      } catch (const EServiceError&) {
        // A lookup that cannot even be sent fails when its turn comes, with the caller's own
        // request, and not a moment before.
        FBlocked = true;
      }
    }
  }

  TOstrelServiceClient& FClient;
  std::vector<TServiceLookup> FLookups;
  // The next lookup the caller will ask; FSent holds it and the ones after it, in order.
  size_t FNext = 0;
  std::deque<TSent> FSent;
  const qint32 FMaxAhead;
  bool FBlocked = false;
};

TOstrelServiceClient::TOstrelServiceClient(const TServiceConfig& AConfig)
    : FConfig(AConfig),
      FEndpoint(AConfig.EndpointAddress()),
      FTransport(AConfig.ConnectTimeout, AConfig.Timeout, AConfig.Concurrency) {}

// The queue goes first: its transfers belong to the transport.
TOstrelServiceClient::~TOstrelServiceClient() { FLookahead.reset(); }

TOstrelServiceClient::TRequest TOstrelServiceClient::Request(const char* AOperation, std::initializer_list<TParam> AParams,
                                                             const char* AResultElement) {
  const QLatin1StringView Operation(AOperation);
  qsizetype Size = EnvelopeStart.size() + EnvelopeEnd.size() + 2 * Operation.size() + OstrelNamespace.size() + 16;
  for (const TParam& Param : AParams)
    Size += 2 * qstrlen(Param.Name) + 5 + Param.Value.size() + Param.Value.size() / 8;
  QString Envelope;
  Envelope.reserve(Size);
  Envelope.append(EnvelopeStart).append(u'<').append(Operation).append(QLatin1StringView(" xmlns=\""));
  Envelope.append(OstrelNamespace).append(QLatin1StringView("\">"));
  for (const TParam& Param : AParams) {
    const QLatin1StringView Name(Param.Name);
    Envelope.append(u'<').append(Name).append(u'>');
    AppendEscaped(Envelope, Param.Value, AOperation, Param.Name);
    Envelope.append(QLatin1StringView("</")).append(Name).append(u'>');
  }
  Envelope.append(QLatin1StringView("</")).append(Operation).append(u'>').append(EnvelopeEnd);
  return {AOperation, AResultElement, Envelope.toUtf8()};
}

TOstrelServiceClient::TRequest TOstrelServiceClient::Request(const TServiceLookup& ALookup) {
  const QString Version = Number(ALookup.DbVer);
  switch (ALookup.Operation) {
    case TServiceLookup::GetDbCheckConstraint:
      return Request("GetDbCheckConstraint",
                     {{"SchemaName", ALookup.SchemaName}, {"ConstraintName", ALookup.ObjectName}, {"DbVer", Version}},
                     "CheckClause");
    case TServiceLookup::GetDbView:
      return Request("GetDbView", {{"SchemaName", ALookup.SchemaName}, {"ViewName", ALookup.ObjectName}, {"DbVer", Version}},
                     "ViewDefinition");
    case TServiceLookup::GetDbRoutine:
      return Request("GetDbRoutine",
                     {{"SchemaName", ALookup.SchemaName}, {"RoutineName", ALookup.ObjectName}, {"DbVer", Version}},
                     "SourceCode");
    case TServiceLookup::GetDbIndex:
      break;
  }
  return Request("GetDbIndex",
                 {{"SchemaName", ALookup.SchemaName}, {"TableName", ALookup.TableName}, {"IndexName", ALookup.ObjectName},
                  {"DbVer", Version}},
                 "IsUnique");
}

THttpTransport::TTransferId TOstrelServiceClient::Start(const TRequest& ARequest) {
  return FTransport.StartPost(FEndpoint, "text/xml; charset=utf-8",
                              '"' + (OstrelNamespace + QLatin1StringView(ARequest.Operation)).toUtf8() + '"',
                              ARequest.Envelope);
}

QString TOstrelServiceClient::Answer(const TRequest& ARequest, const THttpTransport::TResponse& AResponse) const {
  const QLatin1StringView Operation(ARequest.Operation);
  // The ordinary answer is read in one quick pass; anything else gets the full reader and its
  // precise complaints.
  const QString Wrapper = Operation + QLatin1StringView("Response");
  if (AResponse.Status == 200)
    if (std::optional<QString> Result = ScanPlainSoapAnswer(AResponse.Body, Wrapper, ARequest.ResultElement))
      return *std::move(Result);
  std::optional<TAnswer> Answer;
  try {
    Answer = TAnswerReader(AResponse.Body, Operation, FEndpoint).Read(ARequest.ResultElement);
  } catch (const EMalformedResponse&) {
    // An error page instead of an envelope: the status says more than the parser would.
    if (AResponse.Status == 200)
      throw;
  }
  // SOAP 1.1 sends a fault with the status 500.
  if (Answer && Answer->IsFault)
    throw ESoapFault(QStringLiteral("The gold-standard service answered %1 with a fault: %2")
                         .arg(Operation, Answer->FaultString.isEmpty() ? Answer->FaultCode : Answer->FaultString),
                     Answer->FaultCode, Answer->FaultString);
  CheckHttpStatus(AResponse, Operation, FEndpoint);
  return Answer->Result;
}

QString TOstrelServiceClient::Exchange(const TRequest& ARequest) {
  return Answer(ARequest, FTransport.Finish(Start(ARequest)));
}

QString TOstrelServiceClient::Call(const char* AOperation, std::initializer_list<TParam> AParams,
                                   const char* AResultElement) {
  return Exchange(Request(AOperation, AParams, AResultElement));
}

QString TOstrelServiceClient::Lookup(const TServiceLookup& ALookup) {
  if (FLookahead && FLookahead->Expects(ALookup))
    return FLookahead->Take();
  return Exchange(Request(ALookup));
}

void TOstrelServiceClient::BeginLookahead(std::vector<TServiceLookup> ALookups) {
  FLookahead.reset();
  FLookahead = std::make_unique<TLookaheadQueue>(*this, std::move(ALookups));
}

void TOstrelServiceClient::EndLookahead() { FLookahead.reset(); }

QString TOstrelServiceClient::GetDbCheckConstraint(const QString& SchemaName, const QString& ConstraintName,
                                                   qint32 DbVer) {
  return Lookup({TServiceLookup::GetDbCheckConstraint, SchemaName, ConstraintName, QString(), DbVer});
}

QString TOstrelServiceClient::GetDbView(const QString& SchemaName, const QString& ViewName, qint32 DbVer) {
  return Lookup({TServiceLookup::GetDbView, SchemaName, ViewName, QString(), DbVer});
}

QString TOstrelServiceClient::GetDbRoutine(const QString& SchemaName, const QString& RoutineName, qint32 DbVer) {
  return Lookup({TServiceLookup::GetDbRoutine, SchemaName, RoutineName, QString(), DbVer});
}

bool TOstrelServiceClient::GetDbIndex(const QString& SchemaName, const QString& TableName, const QString& IndexName,
                                      qint32 DbVer) {
  const QString Answer = Lookup({TServiceLookup::GetDbIndex, SchemaName, IndexName, TableName, DbVer}).trimmed();
  if (Answer == u"true" || Answer == u"1")
    return true;
  if (Answer.isEmpty() || Answer == u"false" || Answer == u"0")
    return false;
  throw EMalformedResponse(QStringLiteral("The gold-standard service at %1 sent a malformed answer to GetDbIndex: "
                                          "IsUnique is '%2', not a truth value")
                               .arg(FEndpoint, Answer));
}

void TOstrelServiceClient::SaveDbSchema(const QString& SchemaName, const QString& SchemaOwner, qint32 DbVer) {
  Call("SaveDbSchema", {{"SchemaName", SchemaName}, {"SchemaOwner", SchemaOwner}, {"DbVer", Number(DbVer)}}, nullptr);
}

void TOstrelServiceClient::SaveDbView(const QString& ViewSchema, const QString& ViewName,
                                      const QString& ViewDefinition, qint32 DbVer) {
  Call("SaveDbView",
       {{"ViewSchema", ViewSchema}, {"ViewName", ViewName}, {"ViewDefinition", ViewDefinition},
        {"DbVer", Number(DbVer)}},
       nullptr);
}

void TOstrelServiceClient::SaveDbIndex(const QString& TableSchema, const QString& TableName,
                                       const QString& IndexName, bool IsUnique, qint32 DbVer) {
  Call("SaveDbIndex",
       {{"TableSchema", TableSchema}, {"TableName", TableName}, {"IndexName", IndexName}, {"IsUnique", Truth(IsUnique)},
        {"DbVer", Number(DbVer)}},
       nullptr);
}

void TOstrelServiceClient::SaveDbRoutine(const QString& RoutineSchema, const QString& RoutineName,
                                         const QString& RoutineType, const QString& SourceCode, qint32 DbVer) {
  Call("SaveDbRoutine",
       {{"RoutineSchema", RoutineSchema}, {"RoutineName", RoutineName}, {"RoutineType", RoutineType},
        {"SourceCode", SourceCode}, {"DbVer", Number(DbVer)}},
       nullptr);
}

void TOstrelServiceClient::SaveDbCheckConstraint(const QString& TableSchema, const QString& TableName,
                                                 const QString& ConstraintSchema, const QString& ConstraintName,
                                                 const QString& CheckClause, qint32 DbVer) {
  Call("SaveDbCheckConstraint",
       {{"TableSchema", TableSchema}, {"TableName", TableName}, {"ConstraintSchema", ConstraintSchema},
        {"ConstraintName", ConstraintName}, {"CheckClause", CheckClause}, {"DbVer", Number(DbVer)}},
       nullptr);
}

void TOstrelServiceClient::SaveDbReferentialConstraint(const QString& TableSchema, const QString& TableName,
                                                       const QString& ConstraintSchema, const QString& ConstraintName,
                                                       const QString& UniqueConstraintSchema,
                                                       const QString& UniqueConstraintName, const QString& UpdateRule,
                                                       const QString& DeleteRule, qint32 DbVer) {
  Call("SaveDbReferentialConstraint",
       {{"TableSchema", TableSchema}, {"TableName", TableName}, {"ConstraintSchema", ConstraintSchema},
        {"ConstraintName", ConstraintName}, {"UniqueConstraintSchema", UniqueConstraintSchema},
        {"UniqueConstraintName", UniqueConstraintName}, {"UpdateRule", UpdateRule}, {"DeleteRule", DeleteRule},
        {"DbVer", Number(DbVer)}},
       nullptr);
}

void TOstrelServiceClient::SaveDbAnomaly(const QString& DatabaseName, qint32 DbVer, const QString& ObjectKey,
                                         const QString& ObjectClass, const QString& ExpectedDDL,
                                         const QString& ActualDDL, const QString& InfoText) {
  Call("SaveDbAnomaly",
       {{"DatabaseName", DatabaseName}, {"DbVer", Number(DbVer)}, {"ObjectKey", ObjectKey},
        {"ObjectClass", ObjectClass}, {"ExpectedDDL", ExpectedDDL}, {"ActualDDL", ActualDDL},
        {"InfoText", InfoText}},
       nullptr);
}

TXmlDocument TOstrelServiceClient::LoadPage(const QString& AAddress) {
  const THttpTransport::TResponse Response = FTransport.Get(AAddress);
  CheckHttpStatus(Response, QStringLiteral("the page request"), AAddress);
  return ParseXmlDocument(Response.Body, AAddress);
}

std::unique_ptr<OstrelServiceSoap> GetServiceProxy() {
  return std::make_unique<TOstrelServiceClient>(TServiceConfig::Current());
}

}  // namespace quillon
