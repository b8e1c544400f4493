#pragma once

#include "infra/Support.Exceptions.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace quillon {

// Every failure to talk to the gold-standard service or to read one of its pages.
QUILLON_DECLARE_EXCEPTION(EServiceError, Exception)
// The service could not be reached, or did not answer in time.
QUILLON_DECLARE_EXCEPTION(EServiceTransportError, EServiceError)
// The service answered with an HTTP status other than 200.
class EServiceHttpError : public EServiceError {
public:
  EServiceHttpError(QString AMessage, long AStatus) : EServiceError(std::move(AMessage)), FStatus(AStatus) {}
  long Status() const { return FStatus; }

private:
  long FStatus;
};

// Called now and then while a request waits for the service (about once a second at least,
// from the thread that makes the request), so that a window the request blocks can keep
// answering the window system. Empty when nobody needs it.
inline std::function<void()> WhileWaitingForService;

// One HTTP/1.1 client connection, kept alive across requests: a run that makes a thousand
// calls through one transport opens one TCP connection. Not for use from two threads at once.
class THttpTransport {
public:
  struct TResponse {
    long Status = 0;
    QByteArray Body;
  };

  // Time-outs in seconds: for establishing the connection, and for each whole request.
  THttpTransport(double AConnectTimeout, double ATimeout);
  ~THttpTransport();
  THttpTransport(const THttpTransport&) = delete;
  THttpTransport& operator=(const THttpTransport&) = delete;

  // Raise EServiceTransportError when the request cannot be completed; any HTTP status is
  // returned to the caller.
  TResponse Get(const QString& AAddress);
  TResponse Post(const QString& AAddress, const QByteArray& AContentType, const QByteArray& ASoapAction,
                 const QByteArray& ABody);

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// Raises EServiceHttpError unless the status is 200: the message names what was asked for,
// the status and the start of the body, so the user sees what the server said.
void CheckHttpStatus(const THttpTransport::TResponse& AResponse, const QString& AWhat, const QString& AAddress);

}  // namespace quillon
