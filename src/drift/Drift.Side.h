// One side of a drift comparison: every object of the ten kinds drift looks at, from a database
// or a snapshot.
#pragma once

#include "model/Xml.Snapshot.h"
#include "model/DatabaseObjects.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>
#include <memory>
#include <mutex>
#include <vector>

namespace quillon {

class TDatabaseColumn;
class TDatabaseTable;

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
  TDriftSide();
  TDriftSide(TDriftSide&&) noexcept;
  TDriftSide& operator=(TDriftSide&&) noexcept;
  ~TDriftSide();

  static TDriftSide FromLists(const TSnapshotLists& ALists, const QString& AServer, const QString& ADatabaseName,
                              qint32 AVersion);
  // Reads a snapshot file. Every object is kept, duplicates included: the comparison decides
  // what to make of them. Raises Exception naming the file when it cannot be read, is not a
  // snapshot or holds an element that does not read as its kind.
  static TDriftSide FromSnapshot(const QString& AFileName);
  // Reads two snapshots for a comparison of one with the other. Most objects of two snapshots
  // of one schema are written byte for byte alike, and such a pair can never drift: each side
  // keeps only the objects whose element the other side does not hold as well, so only those
  // are parsed, and the comparison of the two reduced sides finds what the full sides would.
  // Files that hold what this quick reading does not follow (comments, CDATA, a document type)
  // are read whole. Raises as FromSnapshot.
  static std::pair<TDriftSide, TDriftSide> FromSnapshotPair(const QString& ABaseline, const QString& ATarget);

  const std::vector<const TDatabaseObject*>& Objects(TDriftKind AKind) const {
    return FObjects[static_cast<std::size_t>(AKind)];
  }
  qsizetype Count() const;
  // A table or view of the side by its key (the first when the key is held twice; null when
  // none), also of a reduced side, and the columns of one table in key order; both for the
  // texts of tables.
  const TDatabaseTable* Table(const QString& ATableKey) const;
  std::vector<const TDatabaseColumn*> ColumnsOf(const QString& ATableKey) const;
  // The key of a table named by its parts, by the side's rule for names.
  QString TableKey(const QString& ASchema, const QString& ATable) const;

  QString Server;
  QString DatabaseName;
  qint32 Version = 0;
  // The snapshot file, or empty for a live database.
  QString Source;
  // The database's collation tells names apart by letter case; its objects' keys keep it.
  bool CaseSensitiveNames = false;

private:
  struct TRaw;
  // The objects of a reduced side that are read only when a text needs them, and the indexes
  // of tables and columns, made at first use. A baseline is shared by the targets a fleet
  // compares with it at once: one thread at a time works on them.
  struct TLazy {
    std::mutex Guard;
    bool TablesIndexed = false;
    QHash<QString, const TDatabaseTable*> Tables;
    QHash<QString, std::vector<QByteArrayView>> RawTables;
    bool ColumnsIndexed = false;
    QHash<QString, std::vector<const TDatabaseColumn*>> Columns;
    QHash<QString, std::vector<QByteArrayView>> RawColumns;
    std::vector<std::unique_ptr<TDatabaseObject>> Owned;
  };

  void ReadHeader(const TXmlNode* ARoot, const QString& AName);
  std::unique_ptr<TDatabaseObject> Parse(TDriftKind AKind, QByteArrayView AElement) const;
  std::vector<std::unique_ptr<TDatabaseObject>> ParseAll(TDriftKind AKind,
                                                         const std::vector<QByteArrayView>& AElements) const;
  // Files the elements of tables or columns by the key of their table.
  void IndexByTable(const std::vector<QByteArrayView>& AElements,
                    QHash<QString, std::vector<QByteArrayView>>& AIndex) const;

  std::array<std::vector<const TDatabaseObject*>, DriftKindCount> FObjects;
  std::vector<std::unique_ptr<TDatabaseObject>> FOwned;
  std::unique_ptr<TRaw> FRaw;
  mutable std::unique_ptr<TLazy> FLazy = std::make_unique<TLazy>();
};

}  // namespace quillon
