// What the rest of the program asks of a database connection: SQL, its name, logins and
// their observers, and the login dialog.
#include "database/Database.Interfaces.h"

namespace quillon {

QString DbObjectTypeCode(TDbObjectType AType) {
  switch (AType) {
    case otUserTable:
      return QStringLiteral("U");
    case otView:
      return QStringLiteral("V");
    case otScalarFunction:
      return QStringLiteral("FN");
    case otStoredProcedure:
      return QStringLiteral("P");
    case otForeignKeyConstraint:
      return QStringLiteral("F");
  }
  return QString();
}

}  // namespace quillon
