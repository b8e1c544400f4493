#include "service/Service.Xml.h"

#include <QXmlStreamReader>

namespace quillon {

QString XmlErrorText(const QXmlStreamReader& AReader) {
  return QStringLiteral("%1 (line %2, column %3)")
      .arg(AReader.errorString())
      .arg(AReader.lineNumber())
      .arg(AReader.columnNumber());
}

QDomDocument ParseXmlDocument(const QByteArray& AData, const QString& ASource) {
  // The prolog ends at the first element; only there can a document type be declared.
  QXmlStreamReader Prolog(AData);
  while (!Prolog.atEnd() && Prolog.readNext() != QXmlStreamReader::StartElement)
    if (Prolog.tokenType() == QXmlStreamReader::DTD)
      throw EXmlError(QStringLiteral("%1 declares a document type, which is not accepted (line %2)")
                          .arg(ASource)
                          .arg(Prolog.lineNumber()));
  QDomDocument Document;
  QString Error;
  int Line = 0;
  int Column = 0;
  if (!Document.setContent(AData, false, &Error, &Line, &Column))
    throw EXmlError(QStringLiteral("%1 is not a well-formed XML document: %2 (line %3, column %4)")
                        .arg(ASource, Error)
                        .arg(Line)
                        .arg(Column));
  return Document;
}

}  // namespace quillon
