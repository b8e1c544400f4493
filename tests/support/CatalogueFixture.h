#pragma once

#include "model/Xml.Snapshot.h"
#include "infra/logging/Logging.Interfaces.h"
#include "support/MemorySql.h"

namespace quillon::test {

// Scripts ASql to answer the catalogue queries of ALists, and "SELECT DB_NAME()", from a
// catalogue written in the snapshot layout: each object element becomes one row of its list's
// query, its attributes the columns of the same name (absent ones NULL), its text the view or
// routine definition; the root's DatabaseName is the database name. Containers are found by
// list name, the index list's also as "INDICES".
void ScriptCatalogue(TMemorySQL& ASql, const TXmlDocument& ACatalogue, const TSnapshotLists& ALists);

// The ten lists of a catalogue, owned, for tests and benchmarks.
class TCatalogueLists {
public:
  explicit TCatalogueLists(ILog* ALog);
  ~TCatalogueLists();
  const TSnapshotLists& Lists() const { return FLists; }
  // Loads all ten lists through ASQL in snapshot order.
  void Load(ISQL* ASQL) const;
  qint32 Count() const;

private:
  struct TOwned;
  std::unique_ptr<TOwned> FOwned;
  TSnapshotLists FLists;
};

}  // namespace quillon::test
