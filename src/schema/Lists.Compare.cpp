// The comparison with the gold standard is built in the compare subsystem; until it lands,
// every list's Compare raises EAbstractError rather than pretending to compare.
#include "infra/Support.Exceptions.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Routines.h"
#include "schema/Schemata.h"
#include "schema/Tables.h"

namespace quillon {

void TDatabaseSchemaList::Compare(OstrelServiceSoap*, ISourceDatabaseInfo*) { throw EAbstractError(); }
void TDatabaseViewList::Compare(OstrelServiceSoap*, ISourceDatabaseInfo*) { throw EAbstractError(); }
void TDatabaseIndexList::Compare(OstrelServiceSoap*, ISourceDatabaseInfo*) { throw EAbstractError(); }
void TDatabaseRoutineList::Compare(OstrelServiceSoap*, ISourceDatabaseInfo*) { throw EAbstractError(); }
void TCheckConstraintList::Compare(OstrelServiceSoap*, ISourceDatabaseInfo*) { throw EAbstractError(); }
void TForeignKeyList::Compare(OstrelServiceSoap*, ISourceDatabaseInfo*) { throw EAbstractError(); }

}  // namespace quillon
