// Tables and views: their data, texts and snapshot elements.
#pragma once

#include "model/Lists.h"
#include "model/ModuleSetOptions.h"

namespace quillon {

// A row of the table catalogue: a base table, or a view (the catalogue lists views too).
class TDatabaseTable : public TDatabaseObject, public IChildObject {
public:
  TDatabaseTable() = default;
  TDatabaseTable(const QString& ATableSchema, const QString& ATableName, const QString& ATableType);

  static QString NodeName() { return QStringLiteral("TABLE"); }
  const QString& TableType() const { return FTableType; }
  void SetTableType(const QString& Value) { FTableType = Value; }
  bool IsBaseTable() const;
  // The key of the owning schema: "[schema]", upper-cased.
  QString ParentObjectKey() const override;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString FTableType;
};

// A view with its source text.
class TDatabaseView : public TDatabaseObject, public ICodedObject {
public:
  using TDatabaseObject::TDatabaseObject;
  static QString NodeName() { return QStringLiteral("VIEW"); }
  const QString& ViewSchema() const { return FSchema; }
  const QString& ViewName() const { return FName; }
  QString GetViewDefinition() const;
  // The definition as stored, not trimmed.
  const QString& ViewDefinition() const { return FViewDefinition; }
  void SetViewDefinition(const QString& Value) { FViewDefinition = Value; }

  QString DDL() const override { return GetViewDefinition(); }
  bool DefinitionUnreadable() const override { return FUnreadable; }
  void SetDefinitionUnreadable(bool Value) { FUnreadable = Value; }
  const TModuleSetOptions& SetOptions() const { return FSetOptions; }
  void SetSetOptions(const TModuleSetOptions& Value) { FSetOptions = Value; }
  // SQL Server drops every index of a view it alters.
  bool Indexed() const { return FIndexed; }
  void SetIndexed(bool Value) { FIndexed = Value; }
  void AllowIndexLoss(bool AValue) { FIndexLossAllowed = AValue; }
  bool IndexLossAllowed() const { return FIndexLossAllowed; }

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString FViewDefinition;
  TModuleSetOptions FSetOptions;
  // From the catalogue; a snapshot does not keep it.
  bool FIndexed = false;
  bool FIndexLossAllowed = false;
  bool FUnreadable = false;
};

class TDatabaseTableList : public TDatabaseObjectList {
public:
  explicit TDatabaseTableList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TDatabaseTableList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

class TDatabaseViewList : public TDatabaseObjectList {
public:
  explicit TDatabaseViewList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TDatabaseViewList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

}  // namespace quillon
