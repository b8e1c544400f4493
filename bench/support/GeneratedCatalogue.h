#pragma once

#include "model/Xml.Snapshot.h"
#include "support/MemorySql.h"

namespace quillon::bench {

// How many objects of each kind a generated catalogue holds: 135,000 in all.
struct TCounts {
  int Schemata = 50, Tables = 8000, Columns = 100000, Indices = 3000, Checks = 2000, ForeignKeys = 1950,
      TablePrivileges = 3000, RoutinePrivileges = 2000, Views = 5000, Routines = 10000;
};

// Scripts the catalogue queries of ALists with generated rows: 100,000 columns, 10,000
// routines of about 4 KB, 5,000 views and 20,000 other objects. AVariant 0 is the base
// catalogue; AVariant 1 differs from it in one object of every hundred of each kind (a field
// changed, or for tables the name, so that the table is removed and another added).
void GenerateCatalogue(test::TMemorySQL& ASql, const TSnapshotLists& ALists, const TCounts& ACounts, int AVariant = 0);

// The peak resident memory of this process so far.
double PeakMegabytes();

}  // namespace quillon::bench
