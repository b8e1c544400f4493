// One side of a drift comparison: every object of the ten kinds drift looks at, from a database
// or a snapshot.
#include "drift/Drift.Side.h"

#include "drift/Drift.Scanner.h"

#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Routines.h"
#include "model/Schemata.h"
#include "model/Tables.h"

#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

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
  // The attributes whose values the parser may refuse (a well-formed element of the kind reads
  // whatever the others hold).
  std::vector<QByteArrayView> Refusable = {};
};

const std::array<TKindLayout, DriftKindCount>& KindLayouts() {
  static const std::array<TKindLayout, DriftKindCount> Layouts{{
      {TDriftKind::Schema, "schema", "SCHEMAS", "SCHEMA", &ParseAs<TDatabaseSchema>},
      {TDriftKind::Table, "table", "TABLES", "TABLE", &ParseAs<TDatabaseTable>},
      {TDriftKind::Column, "column", "COLUMNS", "COLUMN", &ParseAs<TDatabaseColumn>,
       {"DATA_TYPE", "NUMERIC_PRECISION", "NUMERIC_SCALE"}},
      {TDriftKind::Index, "index", "INDICES", "INDEX", &ParseAs<TDatabaseIndex>, {"IS_UNIQUE"}},
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

std::unique_ptr<TDatabaseObject> ParseElement(const TKindLayout& AKind, const TXmlNode* ANode, const QString& AFile) {
  try {
    return AKind.Parser(ANode);
  } catch (const Exception& E) {
    throw Exception(QStringLiteral("%1: a %2 element does not read as one (%3)")
                        .arg(AFile, QLatin1String(AKind.Element), E.Message().simplified()));
  }
}

std::unique_ptr<TDatabaseObject> ParseSlice(const TKindLayout& AKind, QByteArrayView ASlice, const QString& AFile) {
  const TXmlDocument Element = TXmlDocument::FromBytes(ASlice.toByteArray(), AFile, TXmlDocumentType::Refused);
  return ParseElement(AKind, Element.DocumentElement(), AFile);
}

std::string_view AsStringView(QByteArrayView ABytes) {
  return {ABytes.data(), static_cast<std::size_t>(ABytes.size())};
}

// The bytes of an attribute's value in a start tag as written; empty when absent.
QByteArrayView RawAttributeValue(QByteArrayView ATag, QByteArrayView AName) {
  const std::string_view Tag = AsStringView(ATag);
  for (std::size_t Found = Tag.find(AsStringView(AName)); Found != std::string_view::npos;
       Found = Tag.find(AsStringView(AName), Found + 1)) {
    const auto At = static_cast<qsizetype>(Found);
    const qsizetype Equals = At + AName.size();
    if (!std::isspace(static_cast<unsigned char>(ATag[At - 1])) || Equals + 1 >= ATag.size() || ATag[Equals] != '=' ||
        (ATag[Equals + 1] != '"' && ATag[Equals + 1] != '\''))
      continue;
    const qsizetype End = ATag.indexOf(ATag[Equals + 1], Equals + 2);
    return ATag.sliced(Equals + 2, End - Equals - 2);
  }
  return {};
}

// An attribute's value as the XML reader gives it.
QString DecodedAttribute(QByteArrayView AValue) {
  if (!AValue.contains('&'))
    return QString::fromUtf8(AValue);
  const QByteArray Element = "<a v=\"" + AValue.toByteArray() + "\"/>";
  return TXmlDocument::FromBytes(Element, QString(), TXmlDocumentType::Refused)
      .DocumentElement()
      ->Attribute(QStringLiteral("v"));
}

// The elements of one kind that the other side does not hold byte for byte as well, each side's
// in its order; an element held by both is taken out of both, once each. Two snapshots of one
// schema list their elements in the same order, so the two lists are walked side by side and
// only where they part are elements looked for further ahead.
std::pair<std::vector<QByteArrayView>, std::vector<QByteArrayView>> Unmatched(const std::vector<QByteArrayView>& ABaseline,
                                                                              const std::vector<QByteArrayView>& ATarget) {
  constexpr std::size_t LookAhead = 64;
  std::vector<QByteArrayView> BaselineOnly;
  std::vector<QByteArrayView> TargetOnly;
  std::size_t B = 0;
  std::size_t T = 0;
  const auto FindAhead = [](const std::vector<QByteArrayView>& AIn, std::size_t AFrom, QByteArrayView AElement) {
    const std::size_t Last = std::min(AIn.size(), AFrom + LookAhead);
    for (std::size_t At = AFrom; At < Last; ++At)
      if (AIn[At] == AElement)
        return At - AFrom;
    return LookAhead;
  };
  while (B < ABaseline.size() && T < ATarget.size()) {
    if (ABaseline[B] == ATarget[T]) {
      ++B;
      ++T;
      continue;
    }
    const std::size_t TargetSkip = FindAhead(ATarget, T + 1, ABaseline[B]);
    const std::size_t BaselineSkip = FindAhead(ABaseline, B + 1, ATarget[T]);
    if (TargetSkip < LookAhead && TargetSkip <= BaselineSkip) {
      TargetOnly.insert(TargetOnly.end(), ATarget.begin() + T, ATarget.begin() + T + TargetSkip + 1);
      T += TargetSkip + 1;
    } else if (BaselineSkip < LookAhead) {
      BaselineOnly.insert(BaselineOnly.end(), ABaseline.begin() + B, ABaseline.begin() + B + BaselineSkip + 1);
      B += BaselineSkip + 1;
    } else {
      BaselineOnly.push_back(ABaseline[B++]);
      TargetOnly.push_back(ATarget[T++]);
    }
  }
  BaselineOnly.insert(BaselineOnly.end(), ABaseline.begin() + B, ABaseline.end());
  TargetOnly.insert(TargetOnly.end(), ATarget.begin() + T, ATarget.end());

  // What is left may still pair up where the order differs.
  std::unordered_map<std::string_view, qint32> Left;
  for (QByteArrayView Element : BaselineOnly)
    ++Left[AsStringView(Element)];
  std::vector<QByteArrayView> TargetLeft;
  for (QByteArrayView Element : TargetOnly) {
    const auto Found = Left.find(AsStringView(Element));
    if (Found != Left.end() && Found->second > 0)
      --Found->second;
    else
      TargetLeft.push_back(Element);
  }
  std::vector<QByteArrayView> BaselineLeft;
  for (QByteArrayView Element : BaselineOnly) {
    qint32& Count = Left[AsStringView(Element)];
    if (Count > 0) {
      --Count;
      BaselineLeft.push_back(Element);
    }
  }
  return {std::move(BaselineLeft), std::move(TargetLeft)};
}

void SortByKey(std::vector<const TDatabaseColumn*>& AColumns) {
  std::sort(AColumns.begin(), AColumns.end(),
            [](const TDatabaseColumn* A, const TDatabaseColumn* B) { return A->Key() < B->Key(); });
}

}  // namespace

QString DriftKindName(TDriftKind AKind) { return QString::fromLatin1(Layout(AKind).Name); }


TDriftSide TDriftSide::FromLists(const TSnapshotLists& ALists, const QString& AServer, const QString& ADatabaseName,
                                 qint32 AVersion) {
  TDriftSide Side;
  Side.Server = AServer;
  Side.DatabaseName = ADatabaseName;
  Side.Version = AVersion;
  Side.CaseSensitiveNames = ALists.Views->CaseSensitiveKeys();
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
  TDriftSide Side;
  const TXmlNode* Root = Xml.DocumentElement();
  Side.ReadHeader(Root, Name);
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
      Side.FOwned.push_back(ParseElement(Kind, Child.get(), Name));
      Side.FOwned.back()->SetCaseSensitiveKey(Side.CaseSensitiveNames);
      Objects.push_back(Side.FOwned.back().get());
    }
  }
  return Side;
}

struct TDriftSide::TRaw {
  std::unique_ptr<TSnapshotFile> File;
  std::vector<QByteArrayView> Tables;
  std::vector<QByteArrayView> Columns;
};

TDriftSide::TDriftSide() = default;
TDriftSide::TDriftSide(TDriftSide&&) noexcept = default;
TDriftSide& TDriftSide::operator=(TDriftSide&&) noexcept = default;
TDriftSide::~TDriftSide() = default;

void TDriftSide::ReadHeader(const TXmlNode* ARoot, const QString& AName) {
  if (!ARoot || ARoot->NodeName() != QLatin1String("Database") || !ARoot->HasAttribute(QStringLiteral("DatabaseName")))
    throw Exception(QStringLiteral("%1 is not a snapshot (no Database element with a DatabaseName)").arg(AName));
  Server = ARoot->Attribute(QStringLiteral("Server"));
  DatabaseName = ARoot->Attribute(QStringLiteral("DatabaseName"));
  Version = ARoot->Attribute(QStringLiteral("Version")).toInt();
  CaseSensitiveNames = ARoot->Attribute(CaseSensitiveNamesAttribute) == QLatin1String("true");
}

QString TDriftSide::TableKey(const QString& ASchema, const QString& ATable) const {
  TDatabaseObjectName Table(ASchema, ATable);
  Table.SetCaseSensitiveKey(CaseSensitiveNames);
  return Table.Key();
}

std::unique_ptr<TDatabaseObject> TDriftSide::Parse(TDriftKind AKind, QByteArrayView AElement) const {
  std::unique_ptr<TDatabaseObject> Object = ParseSlice(Layout(AKind), AElement, QFileInfo(Source).fileName());
  Object->SetCaseSensitiveKey(CaseSensitiveNames);
  return Object;
}

std::vector<std::unique_ptr<TDatabaseObject>> TDriftSide::ParseAll(TDriftKind AKind,
                                                                   const std::vector<QByteArrayView>& AElements) const {
  // One document for all: the XML reader costs more to set up than a small element to read.
  QByteArray Document("<Elements>");
  for (QByteArrayView Element : AElements)
    Document += Element;
  Document += "</Elements>";
  const QString Name = QFileInfo(Source).fileName();
  const TXmlDocument Xml = TXmlDocument::FromBytes(Document, Name, TXmlDocumentType::Refused);
  std::vector<std::unique_ptr<TDatabaseObject>> Objects;
  for (const auto& Child : Xml.DocumentElement()->ChildNodes()) {
    if (!Child->IsElement())
      continue;
    Objects.push_back(ParseElement(Layout(AKind), Child.get(), Name));
    Objects.back()->SetCaseSensitiveKey(CaseSensitiveNames);
  }
  return Objects;
}

std::pair<TDriftSide, TDriftSide> TDriftSide::FromSnapshotPair(const QString& ABaseline, const QString& ATarget) {
  const std::array<QString, 2> Files{ABaseline, ATarget};
  std::array<TDriftSide, 2> Sides;
  for (std::size_t Side = 0; Side < 2; ++Side) {
    Sides[Side].FRaw = std::make_unique<TRaw>();
    Sides[Side].FRaw->File = std::make_unique<TSnapshotFile>(Files[Side]);
  }
  const auto ReadWhole = [&] { return std::pair{FromSnapshot(ABaseline), FromSnapshot(ATarget)}; };
  std::array<TSnapshotKindNames, DriftKindCount> Names;
  for (const TKindLayout& Kind : KindLayouts())
    Names[static_cast<std::size_t>(Kind.Kind)] = {Kind.Container, Kind.Element, &Kind.Refusable};
  std::array<TScannedSnapshot, 2> Scanned;
  if (!ScanSnapshotPair(*Sides[0].FRaw->File, *Sides[1].FRaw->File, Names, Scanned))
    return ReadWhole();
  try {
    for (std::size_t Side = 0; Side < 2; ++Side) {
      TDriftSide& This = Sides[Side];
      const QString Name = QFileInfo(Files[Side]).fileName();
      QByteArray Root = Scanned[Side].RootTag.toByteArray();
      if (!Root.endsWith("/>"))
        Root.insert(Root.size() - 1, '/');
      This.ReadHeader(TXmlDocument::FromBytes(Root, Name, TXmlDocumentType::Refused).DocumentElement(), Name);
      This.Source = Files[Side];
      This.FRaw->Tables = std::move(Scanned[Side].Elements[static_cast<std::size_t>(TDriftKind::Table)]);
      This.FRaw->Columns = std::move(Scanned[Side].Elements[static_cast<std::size_t>(TDriftKind::Column)]);
    }
    for (const TKindLayout& Kind : KindLayouts()) {
      const auto K = static_cast<std::size_t>(Kind.Kind);
      // Elements that are not parsed must not hide a value the parser refuses.
      for (std::size_t Side = 0; Side < 2; ++Side)
        for (QByteArrayView Element : Scanned[Side].Distinct[K])
          Sides[Side].Parse(Kind.Kind, Element);
      const auto [BaselineOnly, TargetOnly] = Unmatched(Scanned[0].Unpaired[K], Scanned[1].Unpaired[K]);
      const std::array<const std::vector<QByteArrayView>*, 2> Kept{&BaselineOnly, &TargetOnly};
      for (std::size_t Side = 0; Side < 2; ++Side) {
        for (std::unique_ptr<TDatabaseObject>& Object : Sides[Side].ParseAll(Kind.Kind, *Kept[Side])) {
          Sides[Side].FObjects[K].push_back(Object.get());
          Sides[Side].FOwned.push_back(std::move(Object));
        }
      }
    }
  } catch (const Exception&) {
    // Said the way the whole reading says it, of the element it meets first.
    return ReadWhole();
  }
  return {std::move(Sides[0]), std::move(Sides[1])};
}

const TDatabaseTable* TDriftSide::Table(const QString& ATableKey) const {
  TLazy& Lazy = *FLazy;
  const std::lock_guard Lock(Lazy.Guard);
  if (!Lazy.TablesIndexed) {
    Lazy.TablesIndexed = true;
    if (FRaw)
      IndexByTable(FRaw->Tables, Lazy.RawTables);
    else
      for (const TDatabaseObject* Object : Objects(TDriftKind::Table))
        if (!Lazy.Tables.contains(Object->Key()))
          Lazy.Tables.insert(Object->Key(), static_cast<const TDatabaseTable*>(Object));
  }
  if (FRaw && !Lazy.Tables.contains(ATableKey)) {
    const std::vector<QByteArrayView> Elements = Lazy.RawTables.value(ATableKey);
    Lazy.Tables.insert(ATableKey, nullptr);
    if (!Elements.empty()) {
      Lazy.Owned.push_back(Parse(TDriftKind::Table, Elements.front()));
      Lazy.Tables[ATableKey] = static_cast<const TDatabaseTable*>(Lazy.Owned.back().get());
    }
  }
  return Lazy.Tables.value(ATableKey);
}

void TDriftSide::IndexByTable(const std::vector<QByteArrayView>& AElements,
                              QHash<QString, std::vector<QByteArrayView>>& AIndex) const {
  // The elements come grouped by table: the key is worked out once for each run of one table.
  QByteArrayView Schema;
  QByteArrayView Name;
  std::vector<QByteArrayView>* Run = nullptr;
  for (QByteArrayView Element : AElements) {
    const QByteArrayView Tag = Element.first(Element.indexOf('>') + 1);
    const QByteArrayView ThisSchema = RawAttributeValue(Tag, "TABLE_SCHEMA");
    const QByteArrayView ThisName = RawAttributeValue(Tag, "TABLE_NAME");
    if (!Run || ThisSchema != Schema || ThisName != Name) {
      Schema = ThisSchema;
      Name = ThisName;
      Run = &AIndex[TableKey(DecodedAttribute(Schema), DecodedAttribute(Name))];
    }
    Run->push_back(Element);
  }
}

std::vector<const TDatabaseColumn*> TDriftSide::ColumnsOf(const QString& ATableKey) const {
  TLazy& Lazy = *FLazy;
  const std::lock_guard Lock(Lazy.Guard);
  if (!Lazy.ColumnsIndexed) {
    Lazy.ColumnsIndexed = true;
    if (FRaw) {
      // Columns are filed by their table as the element names it; only the columns of the
      // tables asked for are parsed.
      IndexByTable(FRaw->Columns, Lazy.RawColumns);
    } else {
      for (const TDatabaseObject* Object : Objects(TDriftKind::Column)) {
        const auto* Column = static_cast<const TDatabaseColumn*>(Object);
        Lazy.Columns[TableKey(Column->SchemaName(), Column->TableName())].push_back(Column);
      }
      for (auto& Columns : Lazy.Columns)
        SortByKey(Columns);
    }
  }
  if (FRaw && !Lazy.Columns.contains(ATableKey)) {
    std::vector<const TDatabaseColumn*>& Columns = Lazy.Columns[ATableKey];
    for (std::unique_ptr<TDatabaseObject>& Column : ParseAll(TDriftKind::Column, Lazy.RawColumns.value(ATableKey))) {
      Columns.push_back(static_cast<const TDatabaseColumn*>(Column.get()));
      Lazy.Owned.push_back(std::move(Column));
    }
    SortByKey(Columns);
  }
  return Lazy.Columns.value(ATableKey);
}

qsizetype TDriftSide::Count() const {
  qsizetype Total = 0;
  for (const auto& Objects : FObjects)
    Total += static_cast<qsizetype>(Objects.size());
  return Total;
}

}  // namespace quillon
