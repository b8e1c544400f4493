#include "drift/Drift.Side.h"

#include "schema/Columns.h"
#include "schema/Constraints.h"
#include "schema/Indices.h"
#include "schema/Permissions.h"
#include "schema/Routines.h"
#include "schema/Schemata.h"
#include "schema/Tables.h"

#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_map>

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

// A reader of the layout the snapshot writer produces: the root's start tag, then containers
// of object elements, nothing but white space between them. It finds where each element begins
// and ends (attribute values quoted, text escaped, so neither holds a bare "<") and leaves the
// parsing to the XML reader; anything else (a comment, CDATA, a document type, nested
// elements) makes it give up.
class TSnapshotScanner {
public:
  explicit TSnapshotScanner(QByteArrayView AData) : FData(AData) {}

  bool Scan(QByteArrayView& ARootTag, std::array<std::vector<QByteArrayView>, DriftKindCount>& AElements) {
    if (FData.startsWith("<?xml")) {
      const qsizetype End = FData.indexOf("?>");
      if (End < 0)
        return false;
      FAt = End + 2;
    }
    SkipSpace();
    const qsizetype RootStart = FAt;
    QByteArrayView RootName;
    bool RootEmpty = false;
    if (!StartTag(RootName, RootEmpty) || RootName != "Database")
      return false;
    ARootTag = FData.sliced(RootStart, FAt - RootStart);
    if (RootEmpty)
      return AtEnd();
    while (true) {
      SkipSpace();
      if (FData.sliced(FAt).startsWith("</Database"))
        return true;
      QByteArrayView Container;
      bool ContainerEmpty = false;
      if (!StartTag(Container, ContainerEmpty))
        return false;
      if (ContainerEmpty)
        continue;
      const TKindLayout* Kind = nullptr;
      for (const TKindLayout& Layout : KindLayouts())
        if (Container == Layout.Container)
          Kind = &Layout;
      if (!Children(Container, Kind ? &AElements[static_cast<std::size_t>(Kind->Kind)] : nullptr,
                    Kind ? QByteArrayView(Kind->Element) : QByteArrayView()))
        return false;
    }
  }

private:
  void SkipSpace() {
    while (FAt < FData.size() && (FData[FAt] == ' ' || FData[FAt] == '\n' || FData[FAt] == '\r' || FData[FAt] == '\t'))
      ++FAt;
  }
  bool AtEnd() {
    SkipSpace();
    return FAt == FData.size();
  }
  // Reads "<name attributes>" or "<name attributes/>" at the current position.
  bool StartTag(QByteArrayView& AName, bool& AEmpty) {
    if (FAt >= FData.size() || FData[FAt] != '<')
      return false;
    const qsizetype NameStart = ++FAt;
    while (FAt < FData.size() && !strchr(" \t\r\n/>", FData[FAt]))
      ++FAt;
    AName = FData.sliced(NameStart, FAt - NameStart);
    if (AName.isEmpty() || !(std::isalpha(static_cast<unsigned char>(AName[0])) || AName[0] == '_'))
      return false;
    char Quote = 0;
    for (; FAt < FData.size(); ++FAt) {
      const char C = FData[FAt];
      if (Quote) {
        if (C == Quote)
          Quote = 0;
      } else if (C == '"' || C == '\'') {
        Quote = C;
      } else if (C == '<') {
        return false;
      } else if (C == '>') {
        AEmpty = FData[FAt - 1] == '/';
        ++FAt;
        return true;
      }
    }
    return false;
  }
  // Reads the children of a container up to its end tag; elements named AElement are kept.
  bool Children(QByteArrayView AContainer, std::vector<QByteArrayView>* AKept, QByteArrayView AElement) {
    while (true) {
      SkipSpace();
      const qsizetype Start = FAt;
      if (FData.sliced(FAt).startsWith("</")) {
        FAt += 2;
        if (!FData.sliced(FAt).startsWith(AContainer))
          return false;
        FAt += AContainer.size();
        SkipSpace();
        if (FAt >= FData.size() || FData[FAt] != '>')
          return false;
        ++FAt;
        return true;
      }
      QByteArrayView Name;
      bool Empty = false;
      if (!StartTag(Name, Empty))
        return false;
      if (!Empty) {
        const QByteArray EndTag = "</" + Name.toByteArray() + '>';
        const qsizetype Text = FAt;
        const qsizetype End = FData.indexOf(EndTag, FAt);
        if (End < 0 || FData.sliced(Text, End - Text).contains('<'))
          return false;
        FAt = End + EndTag.size();
      }
      if (AKept && Name == AElement)
        AKept->push_back(FData.sliced(Start, FAt - Start));
    }
  }

  QByteArrayView FData;
  qsizetype FAt = 0;
};

std::string_view AsStringView(QByteArrayView ABytes) {
  return {ABytes.data(), static_cast<std::size_t>(ABytes.size())};
}

QByteArray ReadFile(const QString& AFileName) {
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    throw Exception(QStringLiteral("cannot read %1: %2").arg(QFileInfo(AFileName).fileName(), File.errorString()));
  return File.readAll();
}

// The text of an attribute in a start tag as the XML reader gives it; empty when absent.
QString RawAttribute(QByteArrayView ATag, QByteArrayView AName) {
  for (qsizetype At = ATag.indexOf(AName); At >= 0; At = ATag.indexOf(AName, At + 1)) {
    const qsizetype Equals = At + AName.size();
    if (!std::isspace(static_cast<unsigned char>(ATag[At - 1])) || Equals + 1 >= ATag.size() || ATag[Equals] != '=' ||
        (ATag[Equals + 1] != '"' && ATag[Equals + 1] != '\''))
      continue;
    const qsizetype End = ATag.indexOf(ATag[Equals + 1], Equals + 2);
    const QByteArrayView Value = ATag.sliced(Equals + 2, End - Equals - 2);
    if (!Value.contains('&'))
      return QString::fromUtf8(Value);
    // References and entities read as the XML reader reads them.
    const QByteArray Element = "<a v=\"" + Value.toByteArray() + "\"/>";
    return TXmlDocument::FromBytes(Element, QString(), TXmlDocumentType::Refused)
        .DocumentElement()
        ->Attribute(QStringLiteral("v"));
  }
  return QString();
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
  QByteArray Data;
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

std::pair<TDriftSide, TDriftSide> TDriftSide::FromSnapshotPair(const QString& ABaseline, const QString& ATarget) {
  const std::array<QString, 2> Files{ABaseline, ATarget};
  std::array<TDriftSide, 2> Sides;
  std::array<QByteArrayView, 2> RootTags;
  std::array<std::array<std::vector<QByteArrayView>, DriftKindCount>, 2> Elements;
  for (std::size_t Side = 0; Side < 2; ++Side) {
    Sides[Side].FRaw = std::make_unique<TRaw>();
    Sides[Side].FRaw->Data = ReadFile(Files[Side]);
    if (!TSnapshotScanner(Sides[Side].FRaw->Data).Scan(RootTags[Side], Elements[Side]))
      return {FromSnapshot(ABaseline), FromSnapshot(ATarget)};
  }
  for (std::size_t Side = 0; Side < 2; ++Side) {
    TDriftSide& This = Sides[Side];
    const QString Name = QFileInfo(Files[Side]).fileName();
    QByteArray Root = RootTags[Side].toByteArray();
    if (!Root.endsWith("/>"))
      Root.insert(Root.size() - 1, '/');
    This.ReadHeader(TXmlDocument::FromBytes(Root, Name, TXmlDocumentType::Refused).DocumentElement(), Name);
    This.Source = Files[Side];
    This.FRaw->Tables = Elements[Side][static_cast<std::size_t>(TDriftKind::Table)];
    This.FRaw->Columns = Elements[Side][static_cast<std::size_t>(TDriftKind::Column)];
  }
  for (const TKindLayout& Kind : KindLayouts()) {
    const auto K = static_cast<std::size_t>(Kind.Kind);
    // An element of one side that the other side holds too is taken out of both, once each.
    std::unordered_map<std::string_view, qint32> Unmatched;
    Unmatched.reserve(Elements[0][K].size());
    for (QByteArrayView Element : Elements[0][K])
      ++Unmatched[AsStringView(Element)];
    std::vector<QByteArrayView> TargetOnly;
    for (QByteArrayView Element : Elements[1][K]) {
      const auto Found = Unmatched.find(AsStringView(Element));
      if (Found != Unmatched.end() && Found->second > 0)
        --Found->second;
      else
        TargetOnly.push_back(Element);
    }
    std::vector<QByteArrayView> BaselineOnly;
    for (QByteArrayView Element : Elements[0][K]) {
      qint32& Left = Unmatched[AsStringView(Element)];
      if (Left > 0) {
        --Left;
        BaselineOnly.push_back(Element);
      }
    }
    const std::array<const std::vector<QByteArrayView>*, 2> Kept{&BaselineOnly, &TargetOnly};
    for (std::size_t Side = 0; Side < 2; ++Side) {
      for (QByteArrayView Element : *Kept[Side]) {
        Sides[Side].FOwned.push_back(Sides[Side].Parse(Kind.Kind, Element));
        Sides[Side].FObjects[K].push_back(Sides[Side].FOwned.back().get());
      }
    }
  }
  return {std::move(Sides[0]), std::move(Sides[1])};
}

const std::vector<const TDatabaseObject*>& TDriftSide::AllTables() const {
  if (!FRaw)
    return Objects(TDriftKind::Table);
  if (!FLazy->TablesRead) {
    FLazy->TablesRead = true;
    for (QByteArrayView Element : FRaw->Tables) {
      FLazy->Owned.push_back(Parse(TDriftKind::Table, Element));
      FLazy->Tables.push_back(FLazy->Owned.back().get());
    }
  }
  return FLazy->Tables;
}

std::vector<const TDatabaseColumn*> TDriftSide::ColumnsOf(const QString& ATableKey) const {
  TLazy& Lazy = *FLazy;
  if (!Lazy.ColumnsIndexed) {
    Lazy.ColumnsIndexed = true;
    if (FRaw) {
      // Columns are filed by their table as the element names it; only the columns of the
      // tables asked for are parsed.
      for (QByteArrayView Element : FRaw->Columns) {
        const QByteArrayView Tag = Element.first(Element.indexOf('>') + 1);
        Lazy.RawColumns[TableKey(RawAttribute(Tag, "TABLE_SCHEMA"), RawAttribute(Tag, "TABLE_NAME"))].push_back(Element);
      }
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
    for (QByteArrayView Element : Lazy.RawColumns.value(ATableKey)) {
      Lazy.Owned.push_back(Parse(TDriftKind::Column, Element));
      Columns.push_back(static_cast<const TDatabaseColumn*>(Lazy.Owned.back().get()));
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
