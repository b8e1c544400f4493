// Parsing documents from the gold-standard service, with document types refused.
#include "service/Service.Xml.h"

#include "service/Service.SoapScanner.h"

#include <QXmlStreamReader>

namespace quillon {

QString XmlErrorText(const QXmlStreamReader& AReader) {
  return QStringLiteral("%1 (line %2, column %3)")
      .arg(AReader.errorString())
      .arg(AReader.lineNumber())
      .arg(AReader.columnNumber());
}

TXmlDocument ParseXmlDocument(const QByteArray& AData, const QString& ASource) {
  // A large list page in one quick pass; anything unusual, a document type above all, goes the
  // long way.
  if (std::optional<TXmlDocument> Document = ScanPlainXmlDocument(AData))
    return *std::move(Document);
  return TXmlDocument::FromBytes(AData, ASource, TXmlDocumentType::Refused);
}

void RefuseHostileXml(const QByteArray& AData, const QString& ASource) {
  RefuseCrowdedElements(AData, ASource);
  QXmlStreamReader Reader(AData);
  TXmlTokenGuard Guard(TXmlDocumentType::Refused, ASource);
  while (!Reader.atEnd()) {
    Reader.readNext();
    Guard.Check(Reader);
  }
}

}  // namespace quillon
