#include "service/Service.Http.h"

#include <curl/curl.h>

#include <mutex>

namespace quillon {

namespace {

// Answers beyond this size are refused rather than held in memory: no page or definition the
// service serves comes near it.
constexpr qsizetype MaxBodySize = qsizetype(256) * 1024 * 1024;

struct TEasyDeleter {
  void operator()(CURL* AHandle) const { curl_easy_cleanup(AHandle); }
};
struct TSlistDeleter {
  void operator()(curl_slist* AList) const { curl_slist_free_all(AList); }
};
using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

size_t AppendBody(char* AData, size_t ASize, size_t ACount, void* AUser) {
  auto* Body = static_cast<QByteArray*>(AUser);
  const size_t Bytes = ASize * ACount;
  if (Body->size() + qsizetype(Bytes) > MaxBodySize)
    return 0;  // makes curl fail the transfer with a write error
  Body->append(AData, qsizetype(Bytes));
  return Bytes;
}

void Check(CURLcode ACode) {
  if (ACode != CURLE_OK)
    throw EServiceError(QStringLiteral("HTTP client set-up failed: %1").arg(QString::fromUtf8(curl_easy_strerror(ACode))));
}

QString Seconds(double ASeconds) { return QString::number(ASeconds, 'g', 6); }

// Collapses the start of a body into one short line for an error message.
QString Excerpt(const QByteArray& ABody) {
  constexpr qsizetype MaxLength = 300;
  QString Text = QString::fromUtf8(ABody.left(4 * MaxLength)).simplified();
  if (Text.size() > MaxLength)
    Text = Text.left(MaxLength) + QStringLiteral("...");
  return Text;
}

int OnTransferProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  // Nothing may unwind through libcurl.
  try {
    if (WhileWaitingForService)
      WhileWaitingForService();
  } catch (...) {
  }
  return 0;
}

}  // namespace

struct THttpTransport::TImpl {
  std::unique_ptr<CURL, TEasyDeleter> Handle;
  char ErrorBuffer[CURL_ERROR_SIZE] = {};
  QByteArray Body;
  double ConnectTimeout;
  double Timeout;

  TResponse Perform(const QString& AAddress, curl_slist* AHeaders) {
    const QByteArray Url = AAddress.toUtf8();
    CURL* H = Handle.get();
    Check(curl_easy_setopt(H, CURLOPT_URL, Url.constData()));
    Check(curl_easy_setopt(H, CURLOPT_HTTPHEADER, AHeaders));
    Body.clear();
    ErrorBuffer[0] = '\0';
    const CURLcode Code = curl_easy_perform(H);
    // The header list belongs to the caller's scope: never leave a dangling pointer behind.
    curl_easy_setopt(H, CURLOPT_HTTPHEADER, nullptr);
    if (Code != CURLE_OK)
      throw EServiceTransportError(FailureMessage(AAddress, Code));
    TResponse Response;
    curl_easy_getinfo(H, CURLINFO_RESPONSE_CODE, &Response.Status);
    Response.Body = std::move(Body);
    return Response;
  }

  QString FailureMessage(const QString& AAddress, CURLcode ACode) const {
    const QString Detail = QString::fromUtf8(ErrorBuffer[0] ? ErrorBuffer : curl_easy_strerror(ACode));
    switch (ACode) {
      case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("The gold-standard service at %1 did not answer in time (connect time-out %2 s, "
                              "request time-out %3 s): %4")
            .arg(AAddress, Seconds(ConnectTimeout), Seconds(Timeout), Detail);
      case CURLE_COULDNT_CONNECT:
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("Could not connect to the gold-standard service at %1: %2").arg(AAddress, Detail);
      case CURLE_WRITE_ERROR:
        return QStringLiteral("The answer of %1 is larger than %2 MB and was refused").arg(AAddress).arg(MaxBodySize >> 20);
      default:
        return QStringLiteral("The request to the gold-standard service at %1 failed: %2").arg(AAddress, Detail);
    }
  }
};

THttpTransport::THttpTransport(double AConnectTimeout, double ATimeout) : FImpl(std::make_unique<TImpl>()) {
  static std::once_flag GlobalInit;
  std::call_once(GlobalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  FImpl->ConnectTimeout = AConnectTimeout;
  FImpl->Timeout = ATimeout;
  FImpl->Handle.reset(curl_easy_init());
  if (!FImpl->Handle)
    throw EServiceError(QStringLiteral("HTTP client set-up failed: no curl handle"));
  CURL* H = FImpl->Handle.get();
  Check(curl_easy_setopt(H, CURLOPT_CONNECTTIMEOUT_MS, long(AConnectTimeout * 1000)));
  Check(curl_easy_setopt(H, CURLOPT_TIMEOUT_MS, long(ATimeout * 1000)));
  Check(curl_easy_setopt(H, CURLOPT_NOSIGNAL, 1L));
  Check(curl_easy_setopt(H, CURLOPT_PROTOCOLS_STR, "http,https"));
  Check(curl_easy_setopt(H, CURLOPT_TCP_NODELAY, 1L));
  Check(curl_easy_setopt(H, CURLOPT_TCP_KEEPALIVE, 1L));
  Check(curl_easy_setopt(H, CURLOPT_ERRORBUFFER, FImpl->ErrorBuffer));
  Check(curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, &AppendBody));
  Check(curl_easy_setopt(H, CURLOPT_WRITEDATA, &FImpl->Body));
  Check(curl_easy_setopt(H, CURLOPT_XFERINFOFUNCTION, &OnTransferProgress));
  Check(curl_easy_setopt(H, CURLOPT_NOPROGRESS, 0L));
}

THttpTransport::~THttpTransport() = default;

THttpTransport::TResponse THttpTransport::Get(const QString& AAddress) {
  // The body of an earlier POST is gone by now: drop the pointer before switching to GET.
  Check(curl_easy_setopt(FImpl->Handle.get(), CURLOPT_POSTFIELDS, nullptr));
  Check(curl_easy_setopt(FImpl->Handle.get(), CURLOPT_HTTPGET, 1L));
  return FImpl->Perform(AAddress, nullptr);
}

THttpTransport::TResponse THttpTransport::Post(const QString& AAddress, const QByteArray& AContentType,
                                               const QByteArray& ASoapAction, const QByteArray& ABody) {
  CURL* H = FImpl->Handle.get();
  Check(curl_easy_setopt(H, CURLOPT_POST, 1L));
  Check(curl_easy_setopt(H, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(ABody.size())));
  Check(curl_easy_setopt(H, CURLOPT_POSTFIELDS, ABody.constData()));
  const QByteArray ContentType = "Content-Type: " + AContentType;
  const QByteArray SoapAction = "SOAPAction: " + ASoapAction;
  TSlist Headers(curl_slist_append(nullptr, ContentType.constData()));
  // Without this curl waits for "100 Continue" before sending a larger body: a lost round trip.
  curl_slist_append(Headers.get(), "Expect:");
  curl_slist_append(Headers.get(), SoapAction.constData());
  return FImpl->Perform(AAddress, Headers.get());
}

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
