// The gold-standard service's SOAP client: its namespaces, faults and answers.
#pragma once

#include "service/OstrelService.h"
#include "service/Service.Config.h"
#include "service/Service.Http.h"
#include "service/Service.Lookahead.h"

#include "infra/xml/Support.Xml.h"

#include <initializer_list>
#include <optional>

namespace quillon {

// The target namespace of every element and SOAP action of the port.
inline const QString OstrelNamespace = QStringLiteral("http://ulmora.no/Ostrel/");
inline const QString SoapEnvelopeNamespace = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");

// The service answered with a SOAP fault; the message carries its faultstring.
class ESoapFault : public EServiceError {
public:
  ESoapFault(QString AMessage, QString AFaultCode, QString AFaultString)
      : EServiceError(std::move(AMessage)), FFaultCode(std::move(AFaultCode)), FFaultString(std::move(AFaultString)) {}
  const QString& FaultCode() const { return FFaultCode; }
  const QString& FaultString() const { return FFaultString; }

private:
  QString FFaultCode;
  QString FFaultString;
};

// The answer arrived but is not the SOAP message the operation must return.
QUILLON_DECLARE_EXCEPTION(EMalformedResponse, EServiceError)

// What the full reader makes of an answer to AOperation: the text of AResultElement, or nothing
// for a fault; raises EMalformedResponse for anything else. The quick scanner
// (ScanPlainSoapAnswer) must never read an answer differently.
std::optional<QString> ReadFullSoapAnswer(const QByteArray& ABody, const QString& AOperation,
                                          const char* AResultElement);

// Loads the service's XML pages over a connection the caller already holds.
class IServicePageLoader {
public:
  virtual ~IServicePageLoader() = default;
  virtual TXmlDocument LoadPage(const QString& AAddress) = 0;
};

// The SOAP 1.1 document/literal client of the port, over a pool of up to Concurrency kept-alive
// HTTP connections that also carry the pages the same run reads. Calls made one after another
// share one connection; only announced lookups travel ahead on the others.
class TOstrelServiceClient : public OstrelServiceSoap, public IServicePageLoader, public IServiceLookahead {
public:
  explicit TOstrelServiceClient(const TServiceConfig& AConfig);
  ~TOstrelServiceClient() override;

  const TServiceConfig& Config() const { return FConfig; }

  QString GetDbCheckConstraint(const QString& SchemaName, const QString& ConstraintName, qint32 DbVer) override;
  QString GetDbView(const QString& SchemaName, const QString& ViewName, qint32 DbVer) override;
  QString GetDbRoutine(const QString& SchemaName, const QString& RoutineName, qint32 DbVer) override;
  bool GetDbIndex(const QString& SchemaName, const QString& TableName, const QString& IndexName, qint32 DbVer) override;
  void SaveDbSchema(const QString& SchemaName, const QString& SchemaOwner, qint32 DbVer) override;
  void SaveDbView(const QString& ViewSchema, const QString& ViewName, const QString& ViewDefinition,
                  qint32 DbVer) override;
  void SaveDbIndex(const QString& TableSchema, const QString& TableName, const QString& IndexName, bool IsUnique,
                   qint32 DbVer) override;
  void SaveDbRoutine(const QString& RoutineSchema, const QString& RoutineName, const QString& RoutineType,
                     const QString& SourceCode, qint32 DbVer) override;
  void SaveDbCheckConstraint(const QString& TableSchema, const QString& TableName, const QString& ConstraintSchema,
                             const QString& ConstraintName, const QString& CheckClause, qint32 DbVer) override;
  void SaveDbReferentialConstraint(const QString& TableSchema, const QString& TableName,
                                   const QString& ConstraintSchema, const QString& ConstraintName,
                                   const QString& UniqueConstraintSchema, const QString& UniqueConstraintName,
                                   const QString& UpdateRule, const QString& DeleteRule, qint32 DbVer) override;
  void SaveDbAnomaly(const QString& DatabaseName, qint32 DbVer, const QString& ObjectKey, const QString& ObjectClass,
                     const QString& ExpectedDDL, const QString& ActualDDL, const QString& InfoText) override;

  TXmlDocument LoadPage(const QString& AAddress) override;

  void BeginLookahead(std::vector<TServiceLookup> ALookups) override;
  void EndLookahead() override;

private:
  class TLookaheadQueue;
  // A request ready to go, and what its answer must hold.
  struct TRequest {
    const char* Operation;
    const char* ResultElement;
    QByteArray Envelope;
  };

  struct TParam {
    const char* Name;
    QString Value;
  };
  // Sends one request and returns the text of AResultElement in the answer (empty when the
  // element is absent or empty); a null AResultElement expects an answer without a value.
  QString Call(const char* AOperation, std::initializer_list<TParam> AParams, const char* AResultElement);
  static TRequest Request(const char* AOperation, std::initializer_list<TParam> AParams, const char* AResultElement);
  static TRequest Request(const TServiceLookup& ALookup);
  THttpTransport::TTransferId Start(const TRequest& ARequest);
  // The result of a finished request, or the exception its answer calls for.
  QString Answer(const TRequest& ARequest, const THttpTransport::TResponse& AResponse) const;
  // Sends ARequest now and waits for its result.
  QString Exchange(const TRequest& ARequest);
  // A lookup: taken from the announced ones when it is the next of them, else sent now.
  QString Lookup(const TServiceLookup& ALookup);

  TServiceConfig FConfig;
  QString FEndpoint;
  THttpTransport FTransport;
  std::unique_ptr<TLookaheadQueue> FLookahead;
};

}  // namespace quillon
