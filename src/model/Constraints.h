// Check and referential constraints: their data and snapshot elements.
#pragma once

#include "model/Lists.h"

namespace quillon {

// What check and referential constraints share: the constraint's own schema and name and the
// table it belongs to. Its AddNode stays abstract.
class TDatabaseConstraint : public TDatabaseObject, public IChildObject {
public:
  const QString& ConstraintName() const { return FName; }
  const QString& TableName() const { return FTableName; }
  const QString& TableSchema() const { return FTableSchema; }
  void SetTable(const QString& ATableSchema, const QString& ATableName);

  // The key of the table: "[schema].[table]", upper-cased.
  QString ParentObjectKey() const override;

  void Parse(const TXmlNode* AObjectNode) override;

protected:
  // Appends an element named ANodeName carrying the four attributes common to both kinds.
  TXmlNode* AddConstraintNode(TXmlNode* AParentNode, const QString& ANodeName) const;

  QString FTableName;
  QString FTableSchema;
};

class TDatabaseCheckConstraint : public TDatabaseConstraint, public ICodedObject {
public:
  static QString NodeName() { return QStringLiteral("CHECK_CONSTRAINT"); }
  const QString& CheckClause() const { return FCheckClause; }
  void SetCheckClause(const QString& Value) { FCheckClause = Value; }

  QString DDL() const override { return FCheckClause; }
  bool NotForReplication() const { return FNotForReplication; }
  void SetNotForReplication(bool Value) { FNotForReplication = Value; }
  bool NotTrusted() const { return FNotTrusted; }
  void SetNotTrusted(bool Value) { FNotTrusted = Value; }
  // ltError unless AObject is a check constraint whose clause is the same up to white space
  // and letter case; then the base rule.
  TLogLevel Matches(const TDatabaseObject* AObject, ILog* ALog = nullptr) const override;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString FCheckClause;
  // From sys.check_constraints; a snapshot does not keep them.
  bool FNotForReplication = false;
  bool FNotTrusted = false;
};

class TDatabaseReferentialConstraint : public TDatabaseConstraint {
public:
  static QString NodeName() { return QStringLiteral("REFERENTIAL_CONSTRAINT"); }
  const QString& UniqueConstraintName() const { return fUniqueConstraintName; }
  const QString& UniqueConstraintSchema() const { return fUniqueConstraintSchema; }
  const QString& UpdateRule() const { return fUpdateRule; }
  const QString& DeleteRule() const { return fDeleteRule; }
  void SetUniqueConstraint(const QString& ASchema, const QString& AName);
  void SetRules(const QString& AUpdateRule, const QString& ADeleteRule);

  // ltError when the referenced key differs; ltWarning when only the update or delete rule
  // differs (each difference logged through ALog when it is given); else the base rule.
  TLogLevel Matches(const TDatabaseObject* AConstraint, ILog* ALog = nullptr) const override;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString fUniqueConstraintName;
  QString fUniqueConstraintSchema;
  QString fUpdateRule;
  QString fDeleteRule;
};

class TCheckConstraintList : public TDatabaseObjectList {
public:
  explicit TCheckConstraintList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TCheckConstraintList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

class TForeignKeyList : public TDatabaseObjectList {
public:
  explicit TForeignKeyList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TForeignKeyList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

}  // namespace quillon
