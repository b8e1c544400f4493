// The HTTP transport to the gold-standard service: a small pool of kept-alive connections.
#pragma once

#include "infra/platform/Support.Exceptions.h"

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

// A small pool of HTTP/1.1 client connections, kept alive across requests: a run that makes a
// thousand calls one after another opens one TCP connection, and never more than the pool's
// size are open at once. Requests may be started ahead and finished later, so several can be
// in flight; nothing happens on the wire except inside the transport's own calls, so no
// callback ever runs behind the caller's back.
// Not for use from two threads at once.
class THttpTransport {
public:
  struct TResponse {
    long Status = 0;
    QByteArray Body;
  };
  using TTransferId = quint64;

  // All answers received and not yet handed out share this many bytes; one answer is refused
  // when it does not fit, so a run holds no more however many are in flight. No page or
  // definition the service serves comes near it.
  static constexpr qsizetype DefaultAnswerBudget = qsizetype(256) * 1024 * 1024;

  // Time-outs in seconds: for establishing a connection, and for each whole request.
  THttpTransport(double AConnectTimeout, double ATimeout, qint32 AMaxConnections = 1,
                 qsizetype AAnswerBudget = DefaultAnswerBudget);
  ~THttpTransport();
  THttpTransport(const THttpTransport&) = delete;
  THttpTransport& operator=(const THttpTransport&) = delete;

  qint32 MaxConnections() const;
  // The most bytes of answers held at one time so far; never more than the budget.
  qsizetype PeakBuffered() const;

  // Raise EServiceTransportError when the request cannot be completed; any HTTP status is
  // returned to the caller.
  TResponse Get(const QString& AAddress);
  TResponse Post(const QString& AAddress, const QByteArray& AContentType, const QByteArray& ASoapAction,
                 const QByteArray& ABody);

  // Starts a POST and returns at once; Finish gives its answer (or raises what Post would).
  // Every started transfer is finished or abandoned by its starter.
  TTransferId StartPost(const QString& AAddress, const QByteArray& AContentType, const QByteArray& ASoapAction,
                        const QByteArray& ABody);
  // Waits for the transfer while all others move on too, then forgets it.
  TResponse Finish(TTransferId ATransfer);
  bool IsRunning(TTransferId ATransfer) const;
  // Drops the transfer, cutting its connection if it is still under way.
  void Abandon(TTransferId ATransfer);
  // Called whenever transfers have completed while the transport waits, so an owner can start
  // the next ones at once; empty to stop.
  void SetOnTransferDone(std::function<void()> AListener);

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// Raises EServiceHttpError unless the status is 200: the message names what was asked for,
// the status and the start of the body, so the user sees what the server said.
void CheckHttpStatus(const THttpTransport::TResponse& AResponse, const QString& AWhat, const QString& AAddress);

}  // namespace quillon
