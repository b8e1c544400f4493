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
  // The prolog ends at the first element; only there can a document type be declared.
  QXmlStreamReader Prolog(AData);
  while (!Prolog.atEnd() && Prolog.readNext() != QXmlStreamReader::StartElement)
    if (Prolog.tokenType() == QXmlStreamReader::DTD)
      throw EXmlParseError(ASource, QStringLiteral("a document type declaration is not accepted"), Prolog.lineNumber(),
                           Prolog.columnNumber());
  return TXmlDocument::FromBytes(AData, ASource);
}

}  // namespace quillon
