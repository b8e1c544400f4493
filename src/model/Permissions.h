// Table and routine privileges: their data and snapshot elements.
#pragma once

#include "model/Lists.h"

namespace quillon {

// A permission granted, denied or revoked on a table or routine. A blank privilege carries
// the grantee "public", the grantor "dbo" and the state "GRANT" until it is loaded or parsed.
class TDbPrivilege : public TDatabaseObject, public IChildObject {
public:
  const QString& Grantee() const { return FGrantee; }
  const QString& Grantor() const { return FGrantor; }
  const QString& PrivilegeState() const { return FPrivilegeState; }

  // The key of the table or routine: "[schema].[name]", upper-cased.
  QString ParentObjectKey() const override;
  bool DefaultGrantee() const;
  bool DefaultGrantor() const;
  void SetState(const QString& APrivilegeState) { FPrivilegeState = APrivilegeState; }
  void SetGrantor(const QString& Value) { FGrantor = Value; }
  void SetGrantee(const QString& Value) { FGrantee = Value; }

protected:
  // Takes schema, name, grantor, grantee and state from AClone.
  void CopyPrivilege(const TDbPrivilege& AClone);
  // Fills every one of the three fields that is still empty with its default.
  void FillDefaults();

  QString FGrantee = QStringLiteral("public");
  QString FGrantor = QStringLiteral("dbo");
  QString FPrivilegeState = QStringLiteral("GRANT");
};

class TTablePrivilege : public TDbPrivilege, public ICodedObject {
public:
  static QString NodeName() { return QStringLiteral("TABLE_PRIVILEGE"); }
  // A new privilege with the schema, name, grantor, grantee, state and type of AClone.
  static std::unique_ptr<TTablePrivilege> Clone(const TTablePrivilege& AClone);

  const QString& PrivilegeType() const { return FPrivilegeType; }
  void SetPrivilegeType(const QString& Value) { FPrivilegeType = Value; }
  // The bracketed schema and table.
  QString TableName() const { return FullName(); }
  bool DefaultPrivilegeType() const;

  // "SCHEMA.TABLE.STATE.TYPE.GRANTEE"; the grantor is not part of it.
  QString Key() const override;
  // For example "GRANT SELECT ON dbo.Orders TO [R] AS [dbo]".
  QString DDL() const override;
  // ltDebug when the grantors are exactly equal, ltWarning otherwise.
  TLogLevel Matches(const TDatabaseObject* APrivilegeObject, ILog* ALog = nullptr) const override;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;

private:
  QString FPrivilegeType;
};

// The EXECUTE permission on a routine.
class TRoutinePrivilege : public TDbPrivilege, public ICodedObject {
public:
  static QString NodeName() { return QStringLiteral("ROUTINE_PRIVILEGE"); }
  static std::unique_ptr<TRoutinePrivilege> Clone(const TRoutinePrivilege& AClone);

  QString RoutineName() const { return FullName(); }
  // True for the state "REVOKE".
  bool DefaultState() const;

  // "[SCHEMA].[ROUTINE] STATE [GRANTEE]".
  QString Key() const override;
  // For example "GRANT EXECUTE ON [dbo].[P] TO [public] AS [dbo]".
  QString DDL() const override;

  void AddNode(TXmlNode* AParentNode) override;
  void Parse(const TXmlNode* AObjectNode) override;
};

class TTablePrivilegeList : public TDatabaseObjectList {
public:
  explicit TTablePrivilegeList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TTablePrivilegeList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

class TRoutinePrivilegeList : public TDatabaseObjectList {
public:
  explicit TRoutinePrivilegeList(ILog* ALog);
  QString FullName() const override { return QStringLiteral("TRoutinePrivilegeList"); }
  std::unique_ptr<TDatabaseObject> AddElement() override;
};

}  // namespace quillon
