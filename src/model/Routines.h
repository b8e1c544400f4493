// Procedures and functions: their data, source text and snapshot element.
#pragma once

#include "infra/text/Support.DateTime.h"
#include "model/Lists.h"
#include "model/ModuleSetOptions.h"

namespace quillon {


// A stored procedure or function with its full source text.
class TDatabaseRoutine : public TDatabaseObject, public ICodedObject {
public:
  TDatabaseRoutine() = default;
  TDatabaseRoutine(const QString& ARoutineSchema, const QString& ARoutineName, const QString& ARoutineType);

  static QString NodeName() { return QStringLiteral("ROUTINE"); }
  const QString& RoutineSchema() const { return FSchema; }
  const QString& RoutineName() const { return FName; }
  const QString& RoutineType() const { return FRoutineType; }
  void SetRoutineType(const QString& Value) { FRoutineType = Value; }
  const QString& SourceCode() const { return FSourceCode; }
  void SetSourceCode(const QString& Value) { FSourceCode = Value; }

  QString DDL() const override { return FSourceCode; }
  bool DefinitionUnreadable() const override { return FUnreadable; }
  void SetDefinitionUnreadable(bool Value) { FUnreadable = Value; }
  const TModuleSetOptions& SetOptions() const { return FSetOptions; }
  void SetSetOptions(const TModuleSetOptions& Value) { FSetOptions = Value; }

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString FRoutineType;
  QString FSourceCode;
  TModuleSetOptions FSetOptions;
  bool FUnreadable = false;
};

class TDatabaseRoutineList : public TDatabaseObjectList {
public:
  explicit TDatabaseRoutineList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TDatabaseRoutineList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

}  // namespace quillon
