// Writing the model into a store database: the store's procedures keep views, routines, check
// and referential constraints per version.
#pragma once

#include <QtGlobal>

namespace quillon {

class ISQL;
class TDatabaseCheckConstraint;
class TDatabaseObject;
class TDatabaseReferentialConstraint;
class TDatabaseRoutine;
class TDatabaseView;

// Each kind's row for version ADbVer. A view or routine whose definition is unreadable is not
// written.
void SaveToDb(ISQL* ASQL, const TDatabaseView& AView, qint32 ADbVer);
void SaveToDb(ISQL* ASQL, const TDatabaseRoutine& ARoutine, qint32 ADbVer);
void SaveToDb(ISQL* ASQL, const TDatabaseCheckConstraint& ACheck, qint32 ADbVer);
void SaveToDb(ISQL* ASQL, const TDatabaseReferentialConstraint& AKey, qint32 ADbVer);
// The row of an object of any kind; false, writing nothing, for a kind the store does not keep.
bool SaveObjectToDb(ISQL* ASQL, const TDatabaseObject& AObject, qint32 ADbVer);

}  // namespace quillon
