// The store database's procedure calls for each kind it keeps.
#include "catalogue/Catalogue.Store.h"

#include "database/Database.Interfaces.h"
#include "model/Constraints.h"
#include "model/Routines.h"
#include "model/Tables.h"

namespace quillon {

void SaveToDb(ISQL* ASQL, const TDatabaseView& AView, qint32 ADbVer) {
  if (AView.DefinitionUnreadable())
    return;
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbView :VS,:VN,:VD,:V"),
                       {AView.ViewSchema(), AView.ViewName(), AView.ViewDefinition(), ADbVer});
}

void SaveToDb(ISQL* ASQL, const TDatabaseRoutine& ARoutine, qint32 ADbVer) {
  if (ARoutine.DefinitionUnreadable())
    return;
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbRoutine :S,:N,:T,:C,:V"),
                       {ARoutine.RoutineSchema(), ARoutine.RoutineName(), ARoutine.RoutineType(), ARoutine.SourceCode(),
                        ADbVer});
}

void SaveToDb(ISQL* ASQL, const TDatabaseCheckConstraint& ACheck, qint32 ADbVer) {
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbCheckConstraint :TS,:TN,:CS,:CN,:CC,:V"),
                       {ACheck.TableSchema(), ACheck.TableName(), ACheck.SchemaName(), ACheck.ConstraintName(),
                        ACheck.CheckClause(), ADbVer});
}

void SaveToDb(ISQL* ASQL, const TDatabaseReferentialConstraint& AKey, qint32 ADbVer) {
  ASQL->ExecuteCommand(QStringLiteral("EXEC dbo.SaveDbReferentialConstraint :TS,:TN,:CS,:CN,:US,:UN,:UR,:DR,:V"),
                       {AKey.TableSchema(), AKey.TableName(), AKey.SchemaName(), AKey.ConstraintName(),
                        AKey.UniqueConstraintSchema(), AKey.UniqueConstraintName(), AKey.UpdateRule(), AKey.DeleteRule(),
                        ADbVer});
}

namespace {

// Writes AObject when it is a T; false when it is not.
template <class T>
bool SaveAs(ISQL* ASQL, const TDatabaseObject& AObject, qint32 ADbVer) {
  const auto* Object = dynamic_cast<const T*>(&AObject);
  if (Object)
    SaveToDb(ASQL, *Object, ADbVer);
  return Object != nullptr;
}

}  // namespace

bool SaveObjectToDb(ISQL* ASQL, const TDatabaseObject& AObject, qint32 ADbVer) {
  return SaveAs<TDatabaseView>(ASQL, AObject, ADbVer) || SaveAs<TDatabaseRoutine>(ASQL, AObject, ADbVer) ||
         SaveAs<TDatabaseCheckConstraint>(ASQL, AObject, ADbVer) ||
         SaveAs<TDatabaseReferentialConstraint>(ASQL, AObject, ADbVer);
}

}  // namespace quillon
