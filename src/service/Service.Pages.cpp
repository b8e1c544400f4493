#include "service/Service.Pages.h"

#include "infra/Support.Format.h"

#include <curl/curl.h>

#include <memory>

namespace quillon {

namespace {

constexpr long ConnectTimeoutSeconds = 15;
constexpr long TransferTimeoutSeconds = 120;

struct TCurlDeleter {
  void operator()(CURL* AHandle) const { curl_easy_cleanup(AHandle); }
};

size_t AppendBody(char* AData, size_t ASize, size_t ACount, void* ABody) {
  static_cast<QByteArray*>(ABody)->append(AData, static_cast<qsizetype>(ASize * ACount));
  return ASize * ACount;
}

}  // namespace

TXmlDocument LoadXmlPage(const QString& AUrl) {
  static const CURLcode GlobalInit = curl_global_init(CURL_GLOBAL_DEFAULT);
  std::unique_ptr<CURL, TCurlDeleter> Handle(GlobalInit == CURLE_OK ? curl_easy_init() : nullptr);
  if (!Handle)
    throw Exception(QStringLiteral("Cannot start an HTTP client"));
  const QByteArray Url = AUrl.toUtf8();
  QByteArray Body;
  char ErrorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(Handle.get(), CURLOPT_URL, Url.constData());
  curl_easy_setopt(Handle.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(Handle.get(), CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
  curl_easy_setopt(Handle.get(), CURLOPT_TIMEOUT, TransferTimeoutSeconds);
  curl_easy_setopt(Handle.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(Handle.get(), CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(Handle.get(), CURLOPT_WRITEDATA, &Body);
  curl_easy_setopt(Handle.get(), CURLOPT_ERRORBUFFER, ErrorText);
  const CURLcode Code = curl_easy_perform(Handle.get());
  if (Code != CURLE_OK) {
    const QString Reason = QString::fromUtf8(ErrorText[0] ? ErrorText : curl_easy_strerror(Code));
    throw Exception(Format(QStringLiteral("Cannot load %s: %s"), {AUrl, Reason}));
  }
  long Status = 0;
  curl_easy_getinfo(Handle.get(), CURLINFO_RESPONSE_CODE, &Status);
  if (Status != 200)
    throw Exception(Format(QStringLiteral("Cannot load %s: HTTP status %d"), {AUrl, qint32(Status)}));
  return TXmlDocument::FromBytes(Body, AUrl);
}

TXmlDocument LoadXmlDocument(const QString& AFileNameOrUrl) {
  if (AFileNameOrUrl.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
      AFileNameOrUrl.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
    return LoadXmlPage(AFileNameOrUrl);
  return TXmlDocument::FromFile(AFileNameOrUrl);
}

}  // namespace quillon
