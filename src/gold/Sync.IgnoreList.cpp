// The objects a comparison leaves out: the database's own helper routines.
#include "gold/Sync.IgnoreList.h"

#include "service/Service.PageAddresses.h"
#include "service/Service.Pages.h"

namespace quillon {

TDatabaseObjectIgnoreList::TDatabaseObjectIgnoreList() {
  for (const char* Name : {"FnEventNumToDate", "FnEventTimeToNum", "GetDatabaseInfo"})
    Add(std::make_unique<TDatabaseObjectName>(QStringLiteral("dbo"), QString::fromLatin1(Name)));
}

bool TDatabaseObjectIgnoreList::ContainsName(const IDbObjectName* AObject) const {
  const QString Key = AObject->Key();
  for (const auto& Entry : FEntries)
    if (SameTextAscii(Key, Entry->Key()))
      return true;
  return false;
}

void TDatabaseObjectIgnoreList::LoadProcList() { LoadXmlPage(ProcListPageAddress()); }

void TDatabaseObjectIgnoreList::Add(std::unique_ptr<TDatabaseObjectName> AEntry) {
  FEntries.push_back(std::move(AEntry));
}

}  // namespace quillon
