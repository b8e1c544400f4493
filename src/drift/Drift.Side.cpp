#include "drift/Drift.Side.h"

#include "schema/Columns.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Permissions.h"
#include "schema/Routines.h"
#include "schema/Schemata.h"
#include "schema/Tables.h"

#include <QFileInfo>

namespace quillon {

namespace {

using TParser = std::unique_ptr<TDatabaseObject> (*)(const TXmlNode*);

template <class T>
std::unique_ptr<TDatabaseObject> ParseAs(const TXmlNode* ANode) {
  return TDatabaseObject::CreateFromNode<T>(ANode);
}

struct TKindLayout {
  TDriftKind Kind;
  const char* Name;
  const char* Container;
  const char* Element;
  TParser Parser;
};

const std::array<TKindLayout, DriftKindCount>& KindLayouts() {
  static const std::array<TKindLayout, DriftKindCount> Layouts{{
      {TDriftKind::Schema, "schema", "SCHEMAS", "SCHEMA", &ParseAs<TDatabaseSchema>},
      {TDriftKind::Table, "table", "TABLES", "TABLE", &ParseAs<TDatabaseTable>},
      {TDriftKind::Column, "column", "COLUMNS", "COLUMN", &ParseAs<TDatabaseColumn>},
      {TDriftKind::Index, "index", "INDICES", "INDEX", &ParseAs<TDatabaseIndex>},
      {TDriftKind::Check, "check", "CHECK_CONSTRAINTS", "CHECK_CONSTRAINT", &ParseAs<TDatabaseCheckConstraint>},
      {TDriftKind::ForeignKey, "foreignkey", "REFERENTIAL_CONSTRAINTS", "REFERENTIAL_CONSTRAINT",
       &ParseAs<TDatabaseReferentialConstraint>},
      {TDriftKind::TablePrivilege, "tableprivilege", "TABLE_PRIVILEGES", "TABLE_PRIVILEGE", &ParseAs<TTablePrivilege>},
      {TDriftKind::RoutinePrivilege, "routineprivilege", "ROUTINE_PRIVILEGES", "ROUTINE_PRIVILEGE",
       &ParseAs<TRoutinePrivilege>},
      {TDriftKind::View, "view", "VIEWS", "VIEW", &ParseAs<TDatabaseView>},
      {TDriftKind::Routine, "routine", "ROUTINES", "ROUTINE", &ParseAs<TDatabaseRoutine>},
  }};
  return Layouts;
}

const TKindLayout& Layout(TDriftKind AKind) { return KindLayouts()[static_cast<std::size_t>(AKind)]; }

}  // namespace

QString DriftKindName(TDriftKind AKind) { return QString::fromLatin1(Layout(AKind).Name); }

TDriftSide::~TDriftSide() = default;

TDriftSide TDriftSide::FromLists(const TSnapshotLists& ALists, const QString& AServer, const QString& ADatabaseName,
                                 qint32 AVersion) {
  TDriftSide Side;
  Side.Server = AServer;
  Side.DatabaseName = ADatabaseName;
  Side.Version = AVersion;
  const auto Lists = ALists.All();
  for (std::size_t Kind = 0; Kind < DriftKindCount; ++Kind) {
    const QList<TDatabaseObject*> Values = Lists[Kind]->Values();
    Side.FObjects[Kind].assign(Values.begin(), Values.end());
  }
  return Side;
}

TDriftSide TDriftSide::FromSnapshot(const QString& AFileName) {
  const QString Name = QFileInfo(AFileName).fileName();
  TXmlDocument Xml;
  try {
    Xml = TXmlDocument::FromFile(AFileName);
  } catch (const Exception& E) {
    throw Exception(QStringLiteral("cannot read %1: %2").arg(Name, E.Message().simplified()));
  }
  const TXmlNode* Root = Xml.DocumentElement();
  if (!Root || Root->NodeName() != QLatin1String("Database") || !Root->HasAttribute(QStringLiteral("DatabaseName")))
    throw Exception(QStringLiteral("%1 is not a snapshot (no Database element with a DatabaseName)").arg(Name));
  TDriftSide Side;
  Side.Server = Root->Attribute(QStringLiteral("Server"));
  Side.DatabaseName = Root->Attribute(QStringLiteral("DatabaseName"));
  Side.Version = Root->Attribute(QStringLiteral("Version")).toInt();
  Side.Source = AFileName;
  for (const TKindLayout& Kind : KindLayouts()) {
    const TXmlNode* Container = Root->ChildElement(QLatin1String(Kind.Container));
    if (!Container)
      continue;
    const QString Element = QLatin1String(Kind.Element);
    auto& Objects = Side.FObjects[static_cast<std::size_t>(Kind.Kind)];
    for (const auto& Child : Container->ChildNodes()) {
      if (!Child->IsElement() || Child->NodeName() != Element)
        continue;
      try {
        Side.FOwned.push_back(Kind.Parser(Child.get()));
      } catch (const Exception& E) {
        throw Exception(QStringLiteral("%1: a %2 element does not read as one (%3)")
                            .arg(Name, Element, E.Message().simplified()));
      }
      Objects.push_back(Side.FOwned.back().get());
    }
  }
  return Side;
}

qsizetype TDriftSide::Count() const {
  qsizetype Total = 0;
  for (const auto& Objects : FObjects)
    Total += static_cast<qsizetype>(Objects.size());
  return Total;
}

}  // namespace quillon
