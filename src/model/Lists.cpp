// The keyed, owning list of the objects of one kind, and its snapshot XML.
#include "model/Lists.h"

#include "infra/logging/Logging.Interfaces.h"
#include "infra/text/Support.Format.h"
#include "infra/platform/Support.Paths.h"
#include "infra/xml/Support.Xml.h"
#include "service/Service.PageAddresses.h"
#include "service/Service.Pages.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace quillon {

TDatabaseObjectList::TDatabaseObjectList(const QString& ANodeName, ILog* ALog)
    : FListName(ANodeName + QLatin1Char('S')),
      FNodeName(ANodeName),
      FLog(ALog) {}

TDatabaseObjectList::~TDatabaseObjectList() = default;

void TDatabaseObjectList::Clear() {
  fList.clear();
  fDuplicateNames.clear();
}

bool TDatabaseObjectList::TryAdd(std::unique_ptr<TDatabaseObject>& AObject) {
  const auto [Slot, Added] = fList.try_emplace(AObject->Key());
  if (Added)
    Slot->second = std::move(AObject);
  return Added;
}

void TDatabaseObjectList::LoadFromXml(const QString& AFileName) {
  FLog->Event(QStringLiteral("%s.LoadFromXml: %s"), {FullName(), AFileName}, ltInfo);
  fDbName = QStringLiteral("XML");
  ReadXml(LoadXmlDocument(AFileName));
}

void TDatabaseObjectList::LoadFromXml(const TXmlDocument& AXml, const QString& ASourceName) {
  FLog->Event(QStringLiteral("%s.LoadFromXml: %s"), {FullName(), ASourceName}, ltInfo);
  fDbName = QStringLiteral("XML");
  ReadXml(AXml);
}

void TDatabaseObjectList::ReadXml(const TXmlDocument& AXml) {
  const TXmlNode* Root = AXml.DocumentElement();
  const TXmlNode* Container = Root ? FindContainer(Root) : nullptr;
  if (!Container)
    return;
  for (const auto& Child : Container->ChildNodes()) {
    if (!Child->IsElement() || Child->NodeName() != FNodeName)
      continue;
    std::unique_ptr<TDatabaseObject> Object = AddElement();
    Object->Parse(Child.get());
    Object->SetCaseSensitiveKey(fCaseSensitiveKeys);
    Add(std::move(Object));
  }
}

const TXmlNode* TDatabaseObjectList::FindContainer(const TXmlNode* ARoot) const {
  return ARoot->ChildElement(FListName);
}

void TDatabaseObjectList::LoadFromWeb() { LoadFromXml(ListPageAddress(FListName)); }

void TDatabaseObjectList::LoadFromLocal() {
  const QString FileName = ExeSiblingFileName(QStringLiteral(".xml"));
  const QByteArray Line =
      (QStringLiteral("--  Loading ") + FullName() + QStringLiteral(" from file: ") + QFileInfo(FileName).fileName())
          .toLocal8Bit();
  std::fprintf(stdout, "%s\n", Line.constData());
  std::fflush(stdout);
  LoadFromXml(FileName);
}

void TDatabaseObjectList::SaveToXml(TXmlDocument& AXml) {
  TXmlNode* Root = AXml.DocumentElement();
  if (!Root)
    throw Exception(Format(QStringLiteral("%s.SaveToXml: the document has no document element"), {FullName()}));
  SaveToXml(Root->AddChild(FListName));
}

void TDatabaseObjectList::SaveToXml(TXmlNode* AParentNode) {
  AParentNode->ClearChildren();
  // The locale's collation, ignoring case, as people read the file; ties (texts the collation
  // counts as equal) fall back to the exact order so that every run writes the same file.
  // Without a configured locale (C/POSIX) the language-neutral collation stands in, not code
  // point order, which would sort [DBO].[AB] before [DBO].[A].
  const QLocale Locale;
  QCollator Collator(Locale.language() == QLocale::C ? QLocale(QLocale::English) : Locale);
  Collator.setCaseSensitivity(Qt::CaseInsensitive);
  struct TEntry {
    QCollatorSortKey SortKey;
    TDatabaseObject* Object;
  };
  std::vector<TEntry> Entries;
  Entries.reserve(fList.size());
  for (const auto& [Key, Object] : fList)
    Entries.push_back({Collator.sortKey(Key), Object.get()});
  std::stable_sort(Entries.begin(), Entries.end(), [](const TEntry& A, const TEntry& B) {
    return A.SortKey.compare(B.SortKey) < 0;
  });
  for (const TEntry& Entry : Entries)
    Entry.Object->AddNode(AParentNode);
}

void TDatabaseObjectList::DeleteExtras(const TDatabaseObjectList& AList) {
  const TMethodLog Method(FLog, typeid(*this), QStringLiteral("DeleteExtras"));
  QStringList Extras;
  for (const auto& Entry : fList)
    if (!AList.ContainsKey(Entry.first))
      Extras.append(Entry.first);
  for (const QString& Key : Extras) {
    FLog->Event(QStringLiteral("Removing %s from %s (%s)"), {Key, FListName, fDbName}, ltInfo);
    Remove(Key);
  }
}

void TDatabaseObjectList::Remove(const QString& AKey) { fList.erase(AKey); }

bool TDatabaseObjectList::ContainsKey(const QString& AKey) const { return fList.find(AKey) != fList.end(); }

bool TDatabaseObjectList::TryGetValue(const QString& AKey, TDatabaseObject*& AValue) const {
  const auto Found = fList.find(AKey);
  AValue = Found == fList.end() ? nullptr : Found->second.get();
  return AValue != nullptr;
}

void TDatabaseObjectList::Add(std::unique_ptr<TDatabaseObject> AObject) {
  const auto [Slot, Added] = fList.try_emplace(AObject->Key());
  if (!Added)
    throw EListError(QStringLiteral("Duplicates not allowed"));
  Slot->second = std::move(AObject);
}

QString TDatabaseObjectList::KindName() const {
  if (FNodeName == QLatin1String("CHECK_CONSTRAINT"))
    return QStringLiteral("check");
  if (FNodeName == QLatin1String("REFERENTIAL_CONSTRAINT"))
    return QStringLiteral("foreign key");
  return FNodeName.toLower().replace(u'_', u' ');
}

QList<TDatabaseObject*> TDatabaseObjectList::Values() const {
  QList<TDatabaseObject*> Result;
  Result.reserve(static_cast<qsizetype>(fList.size()));
  for (const auto& Entry : fList)
    Result.append(Entry.second.get());
  return Result;
}

}  // namespace quillon
