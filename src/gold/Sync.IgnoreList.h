// The objects a comparison leaves out: the database's own helper routines.
#pragma once

#include "model/DatabaseObjects.h"

#include <memory>
#include <vector>

namespace quillon {

// Names of objects that are never listed as anomalies, however they differ from the gold
// standard. Owns its entries; starts with the database's own helper routines.
class TDatabaseObjectIgnoreList {
public:
  TDatabaseObjectIgnoreList();

  // True when an entry's key equals AObject's key, ignoring the case of ASCII letters only.
  bool ContainsName(const IDbObjectName* AObject) const;
  // Fetches the metadata site's procedure-list page and lets it go: the page's content is not
  // used, but a page that cannot be fetched or read raises as the other pages do.
  void LoadProcList();

  void Add(std::unique_ptr<TDatabaseObjectName> AEntry);
  qint32 Count() const { return static_cast<qint32>(FEntries.size()); }
  const TDatabaseObjectName& Items(qint32 AIndex) const { return *FEntries.at(AIndex); }

private:
  std::vector<std::unique_ptr<TDatabaseObjectName>> FEntries;
};

}  // namespace quillon
