// The page reader: the quick scanner and the full reader must agree on every document. What
// the scanner builds, the full reader builds alike; what the full reader refuses, the scanner
// leaves to it.
#include "FuzzSupport.h"

#include "service/Service.SoapScanner.h"
#include "service/Service.Xml.h"

#include <optional>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const QByteArray Page = fuzz::Bytes(AData, ASize);
  const std::optional<TXmlDocument> Quick = ScanPlainXmlDocument(Page);
  std::optional<TXmlDocument> Full;
  try {
    Full = TXmlDocument::FromBytes(Page, QStringLiteral("page"), TXmlDocumentType::Refused);
  } catch (const EXmlParseError&) {
  }
  if (Quick) {
    fuzz::Check("the full reader refuses what the scanner accepted", Full.has_value());
    fuzz::CheckSame("scanner and full reader build different trees", Quick->ToBytes(), Full->ToBytes());
  }
  if (Full) {
    // What is written reads back as the same tree.
    const QByteArray Written = Full->ToBytes();
    fuzz::CheckSame("a written page does not read back alike", TXmlDocument::FromBytes(Written).ToBytes(), Written);
  }
  return 0;
}
