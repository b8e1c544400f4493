// Indexes: their data and snapshot element.
#pragma once

#include "model/Lists.h"

namespace quillon {

// A non-clustered index of a user table that does not implement a primary key.
class TDatabaseIndex : public TDatabaseObject {
public:
  static QString NodeName() { return QStringLiteral("INDEX"); }
  bool Unique() const { return fUnique; }
  void SetUnique(bool Value) { fUnique = Value; }
  const QString& TableName() const { return fTableName; }
  void SetTableName(const QString& Value) { fTableName = Value; }

  // "[schema].[table].[index]": index names are unique per table only, and the service names
  // an index by all three.
  QString FullName() const override;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  bool fUnique = false;
  QString fTableName;
};

class TDatabaseIndexList : public TDatabaseObjectList {
public:
  explicit TDatabaseIndexList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TDatabaseIndexList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;

protected:
  // A snapshot names the index container "INDICES" rather than the list name; both are read.
  const TXmlNode* FindContainer(const TXmlNode* ARoot) const override;
};

// The container name of the index list in a snapshot.
inline const QString IndicesContainerName = QStringLiteral("INDICES");

// How reports and the window show an index's uniqueness: "UNIQUE" or "NOT UNIQUE".
QString UniquenessCaption(bool AUnique);

// Equal when the texts differ only in runs of white space and in the case of ASCII letters.
bool SameTextIgnoringWhiteSpace(const QString& A, const QString& B);

}  // namespace quillon
