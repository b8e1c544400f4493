// The snapshot reader: any file either is refused with an XML error or loads into the ten
// lists; what they then write reads back into fresh lists that write the same bytes.
#include "FuzzSupport.h"

#include "model/Xml.Snapshot.h"
#include "model/Lists.h"
#include "support/CatalogueFixture.h"
#include "support/RecordingLog.h"

#include <QTimeZone>

using namespace quillon;

namespace {

// Loads ADocument into fresh lists and writes them again; raises what a list raises.
QByteArray Rewritten(const TXmlDocument& ADocument) {
  test::TRecordingLog Log;
  test::TCatalogueLists Lists(&Log);
  for (TDatabaseObjectList* List : Lists.Lists().All())
    List->LoadFromXml(ADocument, QStringLiteral("snapshot.xml"));
  const QDateTime At(QDate(2015, 4, 24), QTime(13, 39, 34, 120), QTimeZone::utc());
  return BuildSnapshot(Lists.Lists(), QStringLiteral("SRV"), QStringLiteral("Db"), 1, At).ToBytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  QByteArray First;
  try {
    First = Rewritten(TXmlDocument::FromBytes(fuzz::Bytes(AData, ASize), QStringLiteral("snapshot.xml")));
  } catch (const Exception&) {
    return 0;  // refused: not well-formed, or not a catalogue a list can hold
  }
  QByteArray Second;
  try {
    Second = Rewritten(TXmlDocument::FromBytes(First));
  } catch (const Exception& E) {
    fuzz::Fail("a written snapshot does not load again", First.toStdString(), E.Message().toStdString());
  }
  fuzz::CheckSame("a written snapshot does not read back alike", First, Second);
  return 0;
}
