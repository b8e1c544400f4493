// The snapshot file: writing the lists as one document and reading them back.
#pragma once

#include "infra/xml/Support.Xml.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <array>

namespace quillon {

class TCheckConstraintList;
class TDatabaseColumnList;
class TDatabaseIndexList;
class TDatabaseObjectList;
class TDatabaseRoutineList;
class TDatabaseSchemaList;
class TDatabaseTableList;
class TDatabaseViewList;
class TForeignKeyList;
class TRoutinePrivilegeList;
class TTablePrivilegeList;

// The ten lists a snapshot records, named in the order of its containers. Not owned.
struct TSnapshotLists {
  TDatabaseSchemaList* Schemata;
  TDatabaseTableList* Tables;
  TDatabaseColumnList* Columns;
  TDatabaseIndexList* Indices;
  TCheckConstraintList* CheckConstraints;
  TForeignKeyList* ReferentialConstraints;
  TTablePrivilegeList* TablePrivileges;
  TRoutinePrivilegeList* RoutinePrivileges;
  TDatabaseViewList* Views;
  TDatabaseRoutineList* Routines;

  // The ten lists in container order.
  std::array<TDatabaseObjectList*, 10> All() const;
};

// The root attribute that says the database's collation tells names apart by letter case.
inline const QString CaseSensitiveNamesAttribute = QStringLiteral("CaseSensitiveNames");

// The snapshot of a described catalogue: root "Database" with Server, DatabaseName, Version
// and CreatedAt (and CaseSensitiveNames="true" when the lists were keyed by case), then one
// container per list in the fixed order (the index list's named "INDICES"), each holding its
// objects in key order.
TXmlDocument BuildSnapshot(const TSnapshotLists& ALists, const QString& AServer, const QString& ADatabaseName,
                           qint32 AVersion, const QDateTime& ACreatedAt);
// Writes the snapshot, stamped now, to AFileName (replacing a file of that name only once the
// new one is complete).
void SaveSnapshot(const TSnapshotLists& ALists, const QString& AFileName, const QString& AServer,
                  const QString& ADatabaseName, qint32 AVersion);
// Reads a snapshot file once and lets every list add its objects from it (each list as its
// LoadFromXml does, the index list from "INDICES").
void LoadSnapshot(const TSnapshotLists& ALists, const QString& AFileName);
// Lets every list add its objects from a snapshot document, keyed by case when the database it
// was taken from keyed them so.
void ReadSnapshot(const QList<TDatabaseObjectList*>& ALists, const TXmlDocument& AXml, const QString& ASourceName);

// Where snapshots are written when no file is named, with a trailing separator: beside the
// program in a build tree, the user's data folder's "snapshots" when installed, or the folder
// given to SetSnapshotFolder.
QString SnapshotFolder();
void SetSnapshotFolder(const QString& AFolder);
// "%s.%s.%d.xml" with server, database and version, in the snapshot folder.
QString SnapshotFileName(const QString& AServer, const QString& ADatabaseName, qint32 AVersion);
// The XML Schema date-time with milliseconds and the local offset, "Z" for UTC:
// 2015-04-24T13:39:34.120+02:00.
QString XmlDateTime(const QDateTime& AValue);

}  // namespace quillon
