// Drift between a target and a baseline: the objects added, removed and changed, and the
// options that narrow them.
#pragma once

#include "drift/Drift.Side.h"
#include "infra/text/Support.Glob.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillon {

class TDatabaseObjectIgnoreList;

enum class TDriftChange { Added, Removed, Changed };

// "added" (in the target only), "removed" (in the baseline only), "changed".
QString DriftChangeName(TDriftChange AChange);

struct TDriftField {
  QString Field;
  QString Baseline;
  QString Target;

  bool operator==(const TDriftField&) const = default;
};

// One object that drifted. The texts describe the object on each side (empty on the side
// that lacks it); a column's texts are those of its table, so the change shows in context.
struct TDriftItem {
  TDriftKind Kind = TDriftKind::Schema;
  QString FullName;
  TDriftChange Change = TDriftChange::Changed;
  QList<TDriftField> Fields;
  QString BaselineText;
  QString TargetText;
};

// An object of either side, drifted or not.
struct TDriftObject {
  TDriftKind Kind = TDriftKind::Schema;
  QString FullName;
};

struct TDriftOptions {
  // Objects whose key the list holds are left out; not owned, may be empty.
  const TDatabaseObjectIgnoreList* IgnoreList = nullptr;
  // Chooses objects by "schema.name" (a schema by its name alone; a column, index,
  // constraint or privilege by its table or routine).
  TNameFilter Filter;
  // Fills TDriftResult::Compared, which only a report that lists every object needs.
  bool ListCompared = false;
  // Fills each item's BaselineText and TargetText, which only the window and an HTML report
  // show; a table's text reads all its columns, which costs more than the comparison itself.
  bool Texts = true;
};

struct TDriftResult {
  // Grouped by kind in kind order, by full name within a kind.
  QList<TDriftItem> Items;
  QList<TDriftObject> Compared;
  // What a reader of the result must know besides the drift: different databases compared,
  // objects a side holds twice.
  QStringList Notes;
};

// Compares the target with the baseline. Objects match by key, which follows the database's
// collation rule for names; privileges match by securable, permission and grantee, so that a
// GRANT that became a DENY is one changed privilege. Texts compare after the normalization of
// the gold-standard comparison. A table added or removed carries its columns with it: they are
// not listed one by one.
TDriftResult CompareDrift(const TDriftSide& ABaseline, const TDriftSide& ATarget, const TDriftOptions& AOptions);

}  // namespace quillon
