// The snapshot file: writing the lists as one document and reading them back.
#include "model/Xml.Snapshot.h"

#include "infra/text/Support.Format.h"
#include "infra/platform/Support.Paths.h"
#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"
#include "service/Service.Pages.h"

namespace quillon {


std::array<TDatabaseObjectList*, 10> TSnapshotLists::All() const {
  return {Schemata, Tables, Columns, Indices, CheckConstraints, ReferentialConstraints, TablePrivileges,
          RoutinePrivileges, Views, Routines};
}

TXmlDocument BuildSnapshot(const TSnapshotLists& ALists, const QString& AServer, const QString& ADatabaseName,
                           qint32 AVersion, const QDateTime& ACreatedAt) {
  TXmlDocument Xml;
  TXmlNode* Root = Xml.CreateDocumentElement(QStringLiteral("Database"));
  Root->SetAttribute(QStringLiteral("Server"), AServer);
  Root->SetAttribute(QStringLiteral("DatabaseName"), ADatabaseName);
  Root->SetAttribute(QStringLiteral("Version"), QString::number(AVersion));
  Root->SetAttribute(QStringLiteral("CreatedAt"), XmlDateTime(ACreatedAt));
  if (ALists.Views->CaseSensitiveKeys())
    Root->SetAttribute(CaseSensitiveNamesAttribute, QStringLiteral("true"));
  for (TDatabaseObjectList* List : ALists.All()) {
    const QString Container = List == ALists.Indices ? IndicesContainerName : List->ListName();
    List->SaveToXml(Root->AddChild(Container));
  }
  return Xml;
}

void SaveSnapshot(const TSnapshotLists& ALists, const QString& AFileName, const QString& AServer,
                  const QString& ADatabaseName, qint32 AVersion) {
  BuildSnapshot(ALists, AServer, ADatabaseName, AVersion, QDateTime::currentDateTime()).SaveToFile(AFileName);
}

void LoadSnapshot(const TSnapshotLists& ALists, const QString& AFileName) {
  const std::array<TDatabaseObjectList*, 10> Lists = ALists.All();
  ReadSnapshot(QList<TDatabaseObjectList*>(Lists.begin(), Lists.end()), LoadXmlDocument(AFileName), AFileName);
}

void ReadSnapshot(const QList<TDatabaseObjectList*>& ALists, const TXmlDocument& AXml, const QString& ASourceName) {
  const TXmlNode* Root = AXml.DocumentElement();
  const bool CaseSensitive = Root && Root->Attribute(CaseSensitiveNamesAttribute) == QLatin1String("true");
  for (TDatabaseObjectList* List : ALists) {
    List->SetCaseSensitiveKeys(CaseSensitive);
    List->LoadFromXml(AXml, ASourceName);
  }
}

namespace {
QString ChosenSnapshotFolder;
}  // namespace

QString SnapshotFolder() {
  if (!ChosenSnapshotFolder.isEmpty())
    return ChosenSnapshotFolder;
  return RunsInstalled() ? UserDataFolder() + QStringLiteral("snapshots/") : ExeFolder();
}

void SetSnapshotFolder(const QString& AFolder) { ChosenSnapshotFolder = IncludeTrailingPathDelimiter(AFolder); }

QString SnapshotFileName(const QString& AServer, const QString& ADatabaseName, qint32 AVersion) {
  return SnapshotFolder() + Format(QStringLiteral("%s.%s.%d.xml"), {AServer, ADatabaseName, AVersion});
}

QString XmlDateTime(const QDateTime& AValue) {
  const QString Stamp = AValue.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
  const qint32 Offset = AValue.offsetFromUtc() / 60;
  if (Offset == 0)
    return Stamp + u'Z';
  const qint32 Minutes = Offset < 0 ? -Offset : Offset;
  return Stamp + (Offset < 0 ? u'-' : u'+') + QStringLiteral("%1:%2")
                                                  .arg(Minutes / 60, 2, 10, QLatin1Char('0'))
                                                  .arg(Minutes % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace quillon
