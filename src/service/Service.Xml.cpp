#include "service/Service.Xml.h"

#include <QXmlStreamReader>

namespace quillon {

QString XmlErrorText(const QXmlStreamReader& AReader) {
  return QStringLiteral("%1 (line %2, column %3)")
      .arg(AReader.errorString())
      .arg(AReader.lineNumber())
      .arg(AReader.columnNumber());
}

TXmlDocument ParseXmlDocument(const QByteArray& AData, const QString& ASource) {
  // The prolog ends at the first element; only there can a document type be declared.
  QXmlStreamReader Prolog(AData);
  while (!Prolog.atEnd() && Prolog.readNext() != QXmlStreamReader::StartElement)
    if (Prolog.tokenType() == QXmlStreamReader::DTD)
      throw EXmlError(QStringLiteral("%1 declares a document type, which is not accepted (line %2)")
                          .arg(ASource)
                          .arg(Prolog.lineNumber()));
  try {
    return TXmlDocument::FromBytes(AData, ASource);
  } catch (const EXmlParseError& E) {
    throw EXmlError(QStringLiteral("%1 is not a well-formed XML document: %2 (line %3, column %4)")
                        .arg(ASource, E.Reason())
                        .arg(E.Line())
                        .arg(E.Column()));
  }
}

}  // namespace quillon
