// The HTTP transport to the gold-standard service: a small pool of kept-alive connections.
#include "service/Service.Http.h"


#include <curl/curl.h>

#include <algorithm>
#include <limits>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace quillon {

namespace {


struct TEasyDeleter {
  void operator()(CURL* AHandle) const { curl_easy_cleanup(AHandle); }
};
struct TMultiDeleter {
  void operator()(CURLM* AHandle) const { curl_multi_cleanup(AHandle); }
};
struct TSlistDeleter {
  void operator()(curl_slist* AList) const { curl_slist_free_all(AList); }
};
using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

void Check(CURLcode ACode) {
  if (ACode != CURLE_OK)
    throw EServiceError(QStringLiteral("HTTP client set-up failed: %1").arg(QString::fromUtf8(curl_easy_strerror(ACode))));
}

void CheckMulti(CURLMcode ACode) {
  if (ACode != CURLM_OK)
    throw EServiceError(QStringLiteral("HTTP client failed: %1").arg(QString::fromUtf8(curl_multi_strerror(ACode))));
}

QString Seconds(double ASeconds) { return QString::number(ASeconds, 'g', 6); }

// A time-out from the settings as curl takes it. One too long for a long (or infinite) waits
// as long as a long can say, rather than wrapping to a negative number curl refuses.
long Milliseconds(double ASeconds) {
  const double Milliseconds = ASeconds * 1000;
  if (!(Milliseconds < double(std::numeric_limits<long>::max())))
    return std::numeric_limits<long>::max();
  return long(std::max(Milliseconds, 0.0));
}

// Collapses the start of a body into one short line for an error message.
QString Excerpt(const QByteArray& ABody) {
  constexpr qsizetype MaxLength = 300;
  QString Text = QString::fromUtf8(ABody.left(4 * MaxLength)).simplified();
  if (Text.size() > MaxLength)
    Text = Text.left(MaxLength) + QStringLiteral("...");
  return Text;
}

}  // namespace

struct THttpTransport::TImpl {
  struct TTransfer {
    TImpl* Owner = nullptr;
    std::unique_ptr<CURL, TEasyDeleter> Handle;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    QString Address;
    QByteArray RequestBody;
    TSlist Headers;
    QByteArray Body;
    bool Running = true;
    CURLcode Result = CURLE_OK;
    // Refused for want of room in the budget while others held it.
    bool Crowded = false;
  };

  std::unique_ptr<CURLM, TMultiDeleter> Multi;
  double ConnectTimeout;
  double Timeout;
  qint32 MaxConnections;
  // Easy handles of finished transfers, kept for the next ones; the connections themselves
  // live in the multi handle's cache and are shared by all of them.
  std::vector<std::unique_ptr<CURL, TEasyDeleter>> IdleHandles;
  std::map<TTransferId, std::unique_ptr<TTransfer>> Transfers;
  TTransferId LastId = 0;
  std::function<void()> OnTransferDone;
  qsizetype AnswerBudget = 0;
  // The bytes of all answers received and not yet handed out.
  qsizetype Buffered = 0;
  qsizetype PeakBuffered = 0;

  static size_t AppendBody(char* AData, size_t ASize, size_t ACount, void* AUser) {
    auto* Transfer = static_cast<TTransfer*>(AUser);
    TImpl& Owner = *Transfer->Owner;
    const size_t Bytes = ASize * ACount;
    // Each call carries at most CURL_MAX_WRITE_SIZE bytes, so the sum cannot overflow.
    if (Owner.Buffered + qsizetype(Bytes) > Owner.AnswerBudget) {
      Transfer->Crowded = Transfer->Body.size() + qsizetype(Bytes) <= Owner.AnswerBudget;
      return 0;  // makes curl fail the transfer with a write error
    }
    Transfer->Body.append(AData, qsizetype(Bytes));
    Owner.Buffered += qsizetype(Bytes);
    Owner.PeakBuffered = std::max(Owner.PeakBuffered, Owner.Buffered);
    return Bytes;
  }

  // The transfer's body leaves the budget, handed out or dropped.
  QByteArray TakeBody(TTransfer& ATransfer) {
    Buffered -= ATransfer.Body.size();
    return std::exchange(ATransfer.Body, QByteArray());
  }

  ~TImpl() {
    for (auto& [Id, Transfer] : Transfers)
      if (Transfer->Running)
        curl_multi_remove_handle(Multi.get(), Transfer->Handle.get());
  }

  std::unique_ptr<CURL, TEasyDeleter> NewHandle() const {
    std::unique_ptr<CURL, TEasyDeleter> Handle(curl_easy_init());
    if (!Handle)
      throw EServiceError(QStringLiteral("HTTP client set-up failed: no curl handle"));
    CURL* H = Handle.get();
    Check(curl_easy_setopt(H, CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(ConnectTimeout)));
    Check(curl_easy_setopt(H, CURLOPT_TIMEOUT_MS, Milliseconds(Timeout)));
    Check(curl_easy_setopt(H, CURLOPT_NOSIGNAL, 1L));
    Check(curl_easy_setopt(H, CURLOPT_PROTOCOLS_STR, "http,https"));
    Check(curl_easy_setopt(H, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1)));
    Check(curl_easy_setopt(H, CURLOPT_TCP_NODELAY, 1L));
    Check(curl_easy_setopt(H, CURLOPT_TCP_KEEPALIVE, 1L));
    Check(curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, &TImpl::AppendBody));
    return Handle;
  }

  struct TPost {
    const QByteArray& ContentType;
    const QByteArray& SoapAction;
    const QByteArray& Body;
  };

  // APost null: a GET.
  TTransferId Start(const QString& AAddress, const TPost* APost) {
    auto Transfer = std::make_unique<TTransfer>();
    if (IdleHandles.empty()) {
      Transfer->Handle = NewHandle();
    } else {
      Transfer->Handle = std::move(IdleHandles.back());
      IdleHandles.pop_back();
    }
    Transfer->Owner = this;
    Transfer->Address = AAddress;
    CURL* H = Transfer->Handle.get();
    Check(curl_easy_setopt(H, CURLOPT_URL, AAddress.toUtf8().constData()));
    Check(curl_easy_setopt(H, CURLOPT_ERRORBUFFER, Transfer->ErrorBuffer));
    Check(curl_easy_setopt(H, CURLOPT_WRITEDATA, Transfer.get()));
    Check(curl_easy_setopt(H, CURLOPT_PRIVATE, Transfer.get()));
    if (!APost) {
      Check(curl_easy_setopt(H, CURLOPT_HTTPGET, 1L));
    } else {
      Transfer->RequestBody = APost->Body;
      Check(curl_easy_setopt(H, CURLOPT_POST, 1L));
      Check(curl_easy_setopt(H, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(Transfer->RequestBody.size())));
      Check(curl_easy_setopt(H, CURLOPT_POSTFIELDS, Transfer->RequestBody.constData()));
      const QByteArray ContentType = "Content-Type: " + APost->ContentType;
      const QByteArray SoapAction = "SOAPAction: " + APost->SoapAction;
      Transfer->Headers.reset(curl_slist_append(nullptr, ContentType.constData()));
      // Without this curl waits for "100 Continue" before sending a larger body: a lost round trip.
      curl_slist_append(Transfer->Headers.get(), "Expect:");
      curl_slist_append(Transfer->Headers.get(), SoapAction.constData());
    }
    Check(curl_easy_setopt(H, CURLOPT_HTTPHEADER, Transfer->Headers.get()));
    CheckMulti(curl_multi_add_handle(Multi.get(), H));
    const TTransferId Id = ++LastId;
    Transfers.emplace(Id, std::move(Transfer));
    return Id;
  }

  TTransfer& Find(TTransferId AId) const {
    const auto It = Transfers.find(AId);
    if (It == Transfers.end())
      throw EServiceError(QStringLiteral("HTTP client: no transfer %1").arg(AId));
    return *It->second;
  }

  // Marks what curl reports finished; true when anything finished.
  bool CollectDone() {
    bool Any = false;
    int Left = 0;
    while (CURLMsg* Message = curl_multi_info_read(Multi.get(), &Left)) {
      if (Message->msg != CURLMSG_DONE)
        continue;
      TTransfer* Transfer = nullptr;
      curl_easy_getinfo(Message->easy_handle, CURLINFO_PRIVATE, &Transfer);
      Transfer->Running = false;
      Transfer->Result = Message->data.result;
      curl_multi_remove_handle(Multi.get(), Message->easy_handle);
      Any = true;
    }
    return Any;
  }

  // Always moves every transfer on at least once, even when ATransfer is done already:
  // requests started since the last wait go on the wire now rather than a round trip later.
  void WaitFor(const TTransfer& ATransfer) {
    for (;;) {
      int StillRunning = 0;
      CheckMulti(curl_multi_perform(Multi.get(), &StillRunning));
      if (CollectDone() && OnTransferDone)
        OnTransferDone();
      if (!ATransfer.Running)
        break;
      // The easy handles' own time-outs end a hung transfer.
      CheckMulti(curl_multi_poll(Multi.get(), nullptr, 0, 200, nullptr));
    }
  }

  // Returns the easy handle to the pool with nothing left pointing into the transfer.
  void Release(TTransferId AId) {
    const auto It = Transfers.find(AId);
    std::unique_ptr<TTransfer> Transfer = std::move(It->second);
    Transfers.erase(It);
    TakeBody(*Transfer);
    CURL* H = Transfer->Handle.get();
    if (Transfer->Running)
      curl_multi_remove_handle(Multi.get(), H);
    curl_easy_setopt(H, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(H, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(H, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(H, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(H, CURLOPT_PRIVATE, nullptr);
    if (qint32(IdleHandles.size()) < MaxConnections)
      IdleHandles.push_back(std::move(Transfer->Handle));
  }

  QString FailureMessage(const TTransfer& ATransfer) const {
    const QString& Address = ATransfer.Address;
    const QString Detail =
        QString::fromUtf8(ATransfer.ErrorBuffer[0] ? ATransfer.ErrorBuffer : curl_easy_strerror(ATransfer.Result));
    switch (ATransfer.Result) {
      case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("The gold-standard service at %1 did not answer in time (connect time-out %2 s, "
                              "request time-out %3 s): %4")
            .arg(Address, Seconds(ConnectTimeout), Seconds(Timeout), Detail);
      case CURLE_COULDNT_CONNECT:
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("Could not connect to the gold-standard service at %1: %2").arg(Address, Detail);
      case CURLE_WRITE_ERROR:
        if (ATransfer.Crowded)
          return QStringLiteral("The answer of %1 was refused: the answers in flight together came to more than %2 MB")
              .arg(Address)
              .arg(AnswerBudget >> 20);
        return QStringLiteral("The answer of %1 is larger than %2 MB and was refused").arg(Address).arg(AnswerBudget >> 20);
      default:
        return QStringLiteral("The request to the gold-standard service at %1 failed: %2").arg(Address, Detail);
    }
  }

  TResponse Finish(TTransferId AId) {
    TTransfer& Transfer = Find(AId);
    try {
      WaitFor(Transfer);
    } catch (...) {
      Release(AId);
      throw;
    }
    TResponse Response;
    const CURLcode Result = Transfer.Result;
    const QString Failure = Result == CURLE_OK ? QString() : FailureMessage(Transfer);
    if (Result == CURLE_OK) {
      curl_easy_getinfo(Transfer.Handle.get(), CURLINFO_RESPONSE_CODE, &Response.Status);
      Response.Body = TakeBody(Transfer);
    }
    Release(AId);
    if (Result != CURLE_OK)
      throw EServiceTransportError(Failure);
    return Response;
  }
};

THttpTransport::THttpTransport(double AConnectTimeout, double ATimeout, qint32 AMaxConnections, qsizetype AAnswerBudget)
    : FImpl(std::make_unique<TImpl>()) {
  static std::once_flag GlobalInit;
  std::call_once(GlobalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  FImpl->ConnectTimeout = AConnectTimeout;
  FImpl->Timeout = ATimeout;
  FImpl->MaxConnections = std::max(AMaxConnections, 1);
  FImpl->AnswerBudget = AAnswerBudget;
  FImpl->Multi.reset(curl_multi_init());
  if (!FImpl->Multi)
    throw EServiceError(QStringLiteral("HTTP client set-up failed: no curl multi handle"));
  CURLM* M = FImpl->Multi.get();
  const long Limit = FImpl->MaxConnections;
  // A request beyond the limit waits for a free connection rather than opening another one.
  CheckMulti(curl_multi_setopt(M, CURLMOPT_MAX_TOTAL_CONNECTIONS, Limit));
  CheckMulti(curl_multi_setopt(M, CURLMOPT_MAX_HOST_CONNECTIONS, Limit));
  CheckMulti(curl_multi_setopt(M, CURLMOPT_MAXCONNECTS, Limit));
  CheckMulti(curl_multi_setopt(M, CURLMOPT_PIPELINING, long(CURLPIPE_NOTHING)));
}

THttpTransport::~THttpTransport() = default;

qint32 THttpTransport::MaxConnections() const { return FImpl->MaxConnections; }

qsizetype THttpTransport::PeakBuffered() const { return FImpl->PeakBuffered; }

THttpTransport::TResponse THttpTransport::Get(const QString& AAddress) {
  return FImpl->Finish(FImpl->Start(AAddress, nullptr));
}

THttpTransport::TResponse THttpTransport::Post(const QString& AAddress, const QByteArray& AContentType,
                                               const QByteArray& ASoapAction, const QByteArray& ABody) {
  return Finish(StartPost(AAddress, AContentType, ASoapAction, ABody));
}

THttpTransport::TTransferId THttpTransport::StartPost(const QString& AAddress, const QByteArray& AContentType,
                                                      const QByteArray& ASoapAction, const QByteArray& ABody) {
  const TImpl::TPost Post{AContentType, ASoapAction, ABody};
  return FImpl->Start(AAddress, &Post);
}

THttpTransport::TResponse THttpTransport::Finish(TTransferId ATransfer) { return FImpl->Finish(ATransfer); }

bool THttpTransport::IsRunning(TTransferId ATransfer) const { return FImpl->Find(ATransfer).Running; }

void THttpTransport::Abandon(TTransferId ATransfer) {
  if (FImpl->Transfers.contains(ATransfer))
    FImpl->Release(ATransfer);
}

void THttpTransport::SetOnTransferDone(std::function<void()> AListener) { FImpl->OnTransferDone = std::move(AListener); }

void CheckHttpStatus(const THttpTransport::TResponse& AResponse, const QString& AWhat, const QString& AAddress) {
  if (AResponse.Status == 200)
    return;
  throw EServiceHttpError(QStringLiteral("The gold-standard service at %1 answered %2 with HTTP status %3: %4")
                              .arg(AAddress, AWhat)
                              .arg(AResponse.Status)
                              .arg(Excerpt(AResponse.Body)),
                          AResponse.Status);
}

}  // namespace quillon
