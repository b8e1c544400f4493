// The keyed, owning list of the objects of one kind, and its snapshot XML.
#pragma once

#include "model/DatabaseObjects.h"

#include <QList>
#include <QStringList>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace quillon {

class ILog;
class TXmlDocument;
class TXmlNode;

// The keyed, owning list of all objects of one kind. It holds what the catalogue gave (see
// catalogue/) or reads a document in the snapshot layout, writes them back in key order and
// answers lookups by key. Keys match exactly; they are upper case by construction.
class TDatabaseObjectList : public virtual IFullName {
public:
  // ANodeName is the element name of one object; the list name is ANodeName + "S".
  TDatabaseObjectList(const QString& ANodeName, ILog* ALog);
  ~TDatabaseObjectList() override;
  TDatabaseObjectList(const TDatabaseObjectList&) = delete;
  TDatabaseObjectList& operator=(const TDatabaseObjectList&) = delete;

  // A new blank object of the list's kind; the caller owns it.
  virtual std::unique_ptr<TDatabaseObject> AddElement() = 0;

  // Removes every object and forgets the duplicate names.
  void Clear();
  // Files AObject under its key and takes it; false, leaving AObject with the caller, when the
  // key is taken.
  bool TryAdd(std::unique_ptr<TDatabaseObject>& AObject);
  // The full names of the catalogue rows the last load dropped because their key was taken.
  const QStringList& DuplicateNames() const { return fDuplicateNames; }
  void AddDuplicateName(const QString& AFullName) { fDuplicateNames.append(AFullName); }
  // Whether the next catalogue load or LoadFromXml keys objects by their names as they are (a database
  // whose collation tells names apart by case) rather than upper-cased.
  void SetCaseSensitiveKeys(bool Value) { fCaseSensitiveKeys = Value; }
  bool CaseSensitiveKeys() const { return fCaseSensitiveKeys; }
  // Adds the objects of a snapshot-layout document, read from a file or an http(s) address.
  // The list is not cleared first; a key already present raises EListError "Duplicates not
  // allowed" and the objects added before it stay.
  void LoadFromXml(const QString& AFileName);
  // The same with a document already read; ASourceName is what the log line names.
  void LoadFromXml(const TXmlDocument& AXml, const QString& ASourceName);
  // LoadFromXml with the service's list page for this list.
  void LoadFromWeb();
  // LoadFromXml with the file named like the executable, with the extension ".xml".
  void LoadFromLocal();
  // Appends an element named ListName to the document element and writes the list into it.
  void SaveToXml(TXmlDocument& AXml);
  // Replaces the children of AParentNode by the objects' elements in ascending key order.
  void SaveToXml(TXmlNode* AParentNode);
  // Removes every object whose key AList does not hold.
  void DeleteExtras(const TDatabaseObjectList& AList);
  void Remove(const QString& AKey);
  bool ContainsKey(const QString& AKey) const;
  // The object stays owned by the list.
  bool TryGetValue(const QString& AKey, TDatabaseObject*& AValue) const;

  // The list's name in log lines, for example "TDatabaseViewList".
  QString FullName() const override = 0;

  // How reports name the kind: "view", "routine", "check", "index", ...
  QString KindName() const;

  qint32 Count() const { return static_cast<qint32>(fList.size()); }
  // The server's database name after a catalogue load, "XML" after LoadFromXml, empty before
  // either.
  const QString& DbName() const { return fDbName; }
  void SetDbName(const QString& Value) { fDbName = Value; }
  const QString& NodeName() const { return FNodeName; }
  const QString& ListName() const { return FListName; }
  // Every object, in the list's internal order (which callers must not rely on).
  QList<TDatabaseObject*> Values() const;

  // Where the list logs what it reads; borrowed.
  ILog* Log() const { return FLog; }

protected:
  // The element among the root's children that holds this list's objects, or nullptr.
  virtual const TXmlNode* FindContainer(const TXmlNode* ARoot) const;
  // Files AObject under its key; raises EListError "Duplicates not allowed" when it is taken.
  void Add(std::unique_ptr<TDatabaseObject> AObject);


private:
  void ReadXml(const TXmlDocument& AXml);

  std::map<QString, std::unique_ptr<TDatabaseObject>> fList;
  QString fDbName;
  QString FListName;
  QString FNodeName;
  ILog* FLog;
  QStringList fDuplicateNames;
  bool fCaseSensitiveKeys = false;
};

}  // namespace quillon
