#pragma once

#include "compare/Xml.Snapshot.h"

#include <QString>

#include <array>
#include <memory>
#include <vector>

namespace quillon {

class TDatabaseObject;

// The ten kinds drift looks at, in snapshot order; reports group by this order.
enum class TDriftKind {
  Schema,
  Table,
  Column,
  Index,
  Check,
  ForeignKey,
  TablePrivilege,
  RoutinePrivilege,
  View,
  Routine
};
inline constexpr std::size_t DriftKindCount = 10;

// "schema", "table", "column", "index", "check", "foreignkey", "tableprivilege",
// "routineprivilege", "view", "routine".
QString DriftKindName(TDriftKind AKind);

// One side of a drift comparison: the objects of every kind of one database or snapshot,
// with where they came from. A side read from a file owns its objects; a side over loaded
// lists borrows theirs, and the lists must outlive it.
class TDriftSide {
public:
  TDriftSide() = default;
  TDriftSide(TDriftSide&&) noexcept = default;
  TDriftSide& operator=(TDriftSide&&) noexcept = default;
  ~TDriftSide();

  static TDriftSide FromLists(const TSnapshotLists& ALists, const QString& AServer, const QString& ADatabaseName,
                              qint32 AVersion);
  // Reads a snapshot file. Every object is kept, duplicates included: the comparison decides
  // what to make of them. Raises Exception naming the file when it cannot be read, is not a
  // snapshot or holds an element that does not read as its kind.
  static TDriftSide FromSnapshot(const QString& AFileName);

  const std::vector<const TDatabaseObject*>& Objects(TDriftKind AKind) const {
    return FObjects[static_cast<std::size_t>(AKind)];
  }
  qsizetype Count() const;

  QString Server;
  QString DatabaseName;
  qint32 Version = 0;
  // The snapshot file, or empty for a live database.
  QString Source;

private:
  std::array<std::vector<const TDatabaseObject*>, DriftKindCount> FObjects;
  std::vector<std::unique_ptr<TDatabaseObject>> FOwned;
};

}  // namespace quillon
