// The snapshot reader: any file either is refused with an XML error or loads into the ten
// lists; what they then write reads back into fresh lists that write the same bytes.
#include "FuzzSupport.h"

#include "compare/Xml.Snapshot.h"
#include "schema/Lists.h"
#include "support/CatalogueFixture.h"
#include "support/RecordingLog.h"

#include <QTimeZone>

using namespace quillon;

namespace {

// Loads ADocument into fresh lists and writes them again; nothing when a list refuses it.
std::optional<QByteArray> Rewritten(const TXmlDocument& ADocument) {
  test::TRecordingLog Log;
  test::TCatalogueLists Lists(&Log);
  try {
    for (TDatabaseObjectList* List : Lists.Lists().All())
      List->LoadFromXml(ADocument, QStringLiteral("snapshot.xml"));
  } catch (const Exception&) {
    return std::nullopt;
  }
  const QDateTime At(QDate(2015, 4, 24), QTime(13, 39, 34, 120), QTimeZone::utc());
  return BuildSnapshot(Lists.Lists(), QStringLiteral("SRV"), QStringLiteral("Db"), 1, At).ToBytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  std::optional<TXmlDocument> Document;
  try {
    Document = TXmlDocument::FromBytes(fuzz::Bytes(AData, ASize), QStringLiteral("snapshot.xml"));
  } catch (const EXmlParseError&) {
    return 0;
  }
  const std::optional<QByteArray> First = Rewritten(*Document);
  if (!First)
    return 0;
  const std::optional<QByteArray> Second = Rewritten(TXmlDocument::FromBytes(*First));
  fuzz::Check("a written snapshot does not load again", Second.has_value());
  fuzz::CheckSame("a written snapshot does not read back alike", *First, *Second);
  return 0;
}
