// Schemata: their data and snapshot element.
#pragma once

#include "model/Lists.h"

namespace quillon {

// A schema of the database and the principal that owns it.
class TDatabaseSchema : public TDatabaseObject {
public:
  static QString NodeName() { return QStringLiteral("SCHEMA"); }

  // The schema's own name (FName); read from the catalogue, it is the inherited schema field too.
  const QString& SchemaName() const { return FName; }
  const QString& SchemaOwner() const { return FSchemaOwner; }
  void SetSchemaOwner(const QString& Value) { FSchemaOwner = Value; }

  // "[name]", upper-cased.
  QString FullName() const override;
  // Named after a Windows account or group: the name holds a backslash.
  bool IsPrivate() const;
  // One of the database's fixed role schemata: the name begins with "db_", case-sensitive.
  bool IsStandard() const;
  bool OwnedByDbo() const;
  bool OwnedBySelf() const;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString FSchemaOwner;
};

class TDatabaseSchemaList : public TDatabaseObjectList {
public:
  explicit TDatabaseSchemaList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TDatabaseSchemaList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

}  // namespace quillon
