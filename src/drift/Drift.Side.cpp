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
#include <set>
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

// Whether AChar may stand in XML text (the document's characters, not markup).
bool IsXmlChar(char32_t AChar) {
  return AChar == 0x9 || AChar == 0xA || AChar == 0xD || (AChar >= 0x20 && AChar <= 0xD7FF) ||
         (AChar >= 0xE000 && AChar <= 0xFFFD) || (AChar >= 0x10000 && AChar <= 0x10FFFF);
}

// ASCII only, and no namespace prefix: a name with anything else makes the scanner give up.
bool IsNameChar(char AChar) {
  static const std::array<bool, 256> Table = [] {
    std::array<bool, 256> Chars{};
    for (int C = 0; C < 128; ++C)
      Chars[C] = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' || C == '-' ||
                 C == '.';
    return Chars;
  }();
  return Table[static_cast<unsigned char>(AChar)];
}

// A reader of the layout the snapshot writer produces: the root's start tag, then containers
// of object elements, nothing but white space between them. It finds where each element begins
// and ends and leaves the parsing to the XML reader, but checks as it goes that every element
// is well-formed UTF-8 XML: an element it passes over unparsed must not hide an error the XML
// reader would report. Anything it does not follow or doubts (a comment, CDATA, a document
// type, nested elements, another encoding, a non-ASCII name) makes it give up.
class TSnapshotScanner {
public:
  explicit TSnapshotScanner(QByteArrayView AData) : FData(AData) {}

  // ARootTag is the document up to and with the root's start tag.
  bool Scan(QByteArrayView& ARootTag, std::array<std::vector<QByteArrayView>, DriftKindCount>& AElements) {
    if (FData.startsWith("<?xml")) {
      const qsizetype End = FData.indexOf("?>");
      if (End < 0)
        return false;
      const QByteArrayView Declaration = FData.first(End);
      const qsizetype Encoding = Declaration.indexOf("encoding");
      if (Encoding >= 0 && !Declaration.sliced(Encoding).contains("UTF-8") &&
          !Declaration.sliced(Encoding).contains("utf-8"))
        return false;
      FAt = End + 2;
    }
    SkipSpace();
    QByteArrayView RootName;
    bool RootEmpty = false;
    if (!StartTag(RootName, RootEmpty) || RootName != "Database")
      return false;
    ARootTag = FData.first(FAt);
    if (RootEmpty)
      return AtEnd();
    std::set<TDriftKind> Seen;
    while (true) {
      SkipSpace();
      if (FData.sliced(FAt).startsWith("</"))
        return EndTag("Database") && AtEnd();
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
      // The whole reading takes a kind's first container only.
      if (Kind && !Seen.insert(Kind->Kind).second)
        return false;
      if (!Children(Container, Kind ? &AElements[static_cast<std::size_t>(Kind->Kind)] : nullptr,
                    Kind ? QByteArrayView(Kind->Element) : QByteArrayView()))
        return false;
    }
  }

private:
  void SkipSpace() {
    while (FAt < FData.size() && IsSpace(FData[FAt]))
      ++FAt;
  }
  static bool IsSpace(char AChar) { return AChar == ' ' || AChar == '\n' || AChar == '\r' || AChar == '\t'; }
  bool AtEnd() {
    SkipSpace();
    return FAt == FData.size();
  }
  bool Name(QByteArrayView& AName) {
    const qsizetype Start = FAt;
    if (FAt >= FData.size() || !(std::isalpha(static_cast<unsigned char>(FData[FAt])) || FData[FAt] == '_'))
      return false;
    while (FAt < FData.size() && IsNameChar(FData[FAt]))
      ++FAt;
    AName = FData.sliced(Start, FAt - Start);
    return true;
  }
  // Reads "</name>" at the current position.
  bool EndTag(QByteArrayView AName) {
    if (!FData.sliced(FAt).startsWith("</") || !FData.sliced(FAt + 2).startsWith(AName))
      return false;
    FAt += 2 + AName.size();
    SkipSpace();
    if (FAt >= FData.size() || FData[FAt] != '>')
      return false;
    ++FAt;
    return true;
  }
  // Checks character data up to AEnd (exclusive): XML characters in UTF-8, references the XML
  // reader knows, no "<" and no "]]>".
  bool Characters(qsizetype AEnd) {
    static const std::array<bool, 256> Plain = [] {
      std::array<bool, 256> Table{};
      for (int C = 0x20; C < 0x80; ++C)
        Table[C] = C != '<' && C != '&' && C != '>';
      return Table;
    }();
    const char* Data = FData.data();
    for (; FAt < AEnd; ++FAt) {
      while (FAt < AEnd && Plain[static_cast<unsigned char>(Data[FAt])])
        ++FAt;
      if (FAt == AEnd)
        break;
      const auto C = static_cast<unsigned char>(Data[FAt]);
      if (C == '<' || (C < 0x20 && !IsSpace(static_cast<char>(C))))
        return false;
      if (C == '>' && FAt >= 2 && FData[FAt - 1] == ']' && FData[FAt - 2] == ']')
        return false;
      if (C == '&' && !Reference())
        return false;
      if (C >= 0x80 && !Utf8Character())
        return false;
    }
    return true;
  }
  // "&name;" or "&#n;" / "&#xn;" at the current position; leaves FAt on the ";".
  bool Reference() {
    const QByteArrayView Rest = FData.sliced(FAt + 1);
    const qsizetype Semicolon = Rest.first(std::min<qsizetype>(Rest.size(), 12)).indexOf(';');
    if (Semicolon < 1)
      return false;
    const QByteArrayView Name = Rest.first(Semicolon);
    FAt += Semicolon + 1;
    if (Name == "lt" || Name == "gt" || Name == "amp" || Name == "quot" || Name == "apos")
      return true;
    if (Name[0] != '#' || Name.size() < 2)
      return false;
    const bool Hex = Name[1] == 'x';
    const QByteArrayView Digits = Name.sliced(Hex ? 2 : 1);
    char32_t Char = 0;
    for (const char Digit : Digits) {
      const int Value = std::isdigit(static_cast<unsigned char>(Digit)) ? Digit - '0'
                        : Hex && std::isxdigit(static_cast<unsigned char>(Digit))
                            ? std::tolower(static_cast<unsigned char>(Digit)) - 'a' + 10
                            : -1;
      if (Value < 0)
        return false;
      Char = Char * (Hex ? 16 : 10) + static_cast<char32_t>(Value);
      if (Char > 0x10FFFF)
        return false;
    }
    return !Digits.isEmpty() && IsXmlChar(Char);
  }
  // One UTF-8 encoded XML character at the current position; leaves FAt on its last byte.
  bool Utf8Character() {
    const auto Lead = static_cast<unsigned char>(FData[FAt]);
    const int Length = Lead >= 0xF0 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC2 ? 2 : 0;
    if (Length == 0 || Lead > 0xF4 || FAt + Length > FData.size())
      return false;
    char32_t Char = Lead & (0x7F >> Length);
    for (int Byte = 1; Byte < Length; ++Byte) {
      const auto Next = static_cast<unsigned char>(FData[FAt + Byte]);
      if ((Next & 0xC0) != 0x80)
        return false;
      Char = (Char << 6) | (Next & 0x3F);
    }
    static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    FAt += Length - 1;
    return Char >= Least[Length] && IsXmlChar(Char);
  }
  // Reads "<name attributes>" or "<name attributes/>" at the current position.
  bool StartTag(QByteArrayView& AName, bool& AEmpty) {
    if (FAt >= FData.size() || FData[FAt] != '<')
      return false;
    ++FAt;
    if (!Name(AName))
      return false;
    std::array<QByteArrayView, 32> Attributes;
    std::size_t Count = 0;
    while (true) {
      const qsizetype Before = FAt;
      SkipSpace();
      if (FAt >= FData.size())
        return false;
      if (FData[FAt] == '>' || FData.sliced(FAt).startsWith("/>")) {
        AEmpty = FData[FAt] == '/';
        FAt += AEmpty ? 2 : 1;
        return true;
      }
      QByteArrayView Attribute;
      if (FAt == Before || Count == Attributes.size() || !Name(Attribute))
        return false;
      for (std::size_t Other = 0; Other < Count; ++Other)
        if (Attributes[Other] == Attribute)
          return false;
      Attributes[Count++] = Attribute;
      SkipSpace();
      if (FAt >= FData.size() || FData[FAt] != '=')
        return false;
      ++FAt;
      SkipSpace();
      if (FAt >= FData.size() || (FData[FAt] != '"' && FData[FAt] != '\''))
        return false;
      const qsizetype ValueEnd = FData.indexOf(FData[FAt], FAt + 1);
      ++FAt;
      if (ValueEnd < 0 || !Characters(ValueEnd))
        return false;
      ++FAt;
    }
  }
  // Reads the children of a container up to its end tag; elements named AElement are kept.
  bool Children(QByteArrayView AContainer, std::vector<QByteArrayView>* AKept, QByteArrayView AElement) {
    while (true) {
      SkipSpace();
      const qsizetype Start = FAt;
      if (FData.sliced(FAt).startsWith("</"))
        return EndTag(AContainer);
      QByteArrayView Name;
      bool Empty = false;
      if (!StartTag(Name, Empty))
        return false;
      if (!Empty) {
        const qsizetype End = FData.indexOf('<', FAt);
        if (End < 0 || !Characters(End) || !EndTag(Name))
          return false;
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
  const auto ReadWhole = [&] { return std::pair{FromSnapshot(ABaseline), FromSnapshot(ATarget)}; };
  for (std::size_t Side = 0; Side < 2; ++Side) {
    Sides[Side].FRaw = std::make_unique<TRaw>();
    Sides[Side].FRaw->Data = ReadFile(Files[Side]);
    if (!TSnapshotScanner(Sides[Side].FRaw->Data).Scan(RootTags[Side], Elements[Side]))
      return ReadWhole();
  }
  try {
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
      for (std::size_t Side = 0; Side < 2; ++Side)
        Sides[Side].CheckRefusable(Kind.Kind, Elements[Side][K]);
      const auto [BaselineOnly, TargetOnly] = Unmatched(Elements[0][K], Elements[1][K]);
      const std::array<const std::vector<QByteArrayView>*, 2> Kept{&BaselineOnly, &TargetOnly};
      for (std::size_t Side = 0; Side < 2; ++Side) {
        for (QByteArrayView Element : *Kept[Side]) {
          Sides[Side].FOwned.push_back(Sides[Side].Parse(Kind.Kind, Element));
          Sides[Side].FObjects[K].push_back(Sides[Side].FOwned.back().get());
        }
      }
    }
  } catch (const Exception&) {
    // Said the way the whole reading says it, of the element it meets first.
    return ReadWhole();
  }
  return {std::move(Sides[0]), std::move(Sides[1])};
}

void TDriftSide::CheckRefusable(TDriftKind AKind, const std::vector<QByteArrayView>& AElements) const {
  // Elements that are not parsed must not hide a value the parser refuses: one element of each
  // combination of the values it may refuse is parsed for all.
  const std::vector<QByteArrayView>& Refusable = Layout(AKind).Refusable;
  if (Refusable.empty())
    return;
  std::unordered_set<std::string> Parsed;
  std::string Values;
  std::string Previous;
  for (QByteArrayView Element : AElements) {
    const QByteArrayView Tag = Element.first(Element.indexOf('>') + 1);
    Values.clear();
    for (QByteArrayView Attribute : Refusable) {
      const QByteArrayView Value = RawAttributeValue(Tag, Attribute);
      Values.append(Value.data(), static_cast<std::size_t>(Value.size())).push_back('\0');
    }
    if (Values != Previous && Parsed.insert(Values).second)
      Parse(AKind, Element);
    std::swap(Values, Previous);
  }
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
