#pragma once

#include <QString>

namespace quillon {

class ISQL;
class OstrelServiceSoap;
class TDatabaseObject;

// Interfaces through which lists, the describer, the comparison and the main window address
// schema objects without knowing their kind. Ask an object for one with dynamic_cast: nullptr
// means the object does not implement it. References are borrowed from the owning list.

// Several interfaces below carry FullName. They share it through this virtual base, so that
// the one FullName of an object (or a list) answers for all of them.
class IFullName {
public:
  virtual ~IFullName() = default;
  virtual QString FullName() const = 0;
};

class IDbObjectName : public virtual IFullName {
public:
  virtual QString Key() const = 0;
};

// Receives what a compare run has to say: a status line, the fraction done of the current
// step (negative values are ignored) and each object that differs from the gold standard.
// The object stays owned by its list.
class IDbProgress {
public:
  virtual ~IDbProgress() = default;
  virtual void ShowStatus(const QString& AText) = 0;
  virtual void ShowProgress(double AFraction) = 0;
  virtual void ReportAnomaly(const QString& AText, TDatabaseObject* AObject) = 0;
};

// What a compare run finds besides anomalies: objects it could not compare, and objects the
// gold standard has that the database lacks.
enum class TFindingStatus {
  UnknownToGold,   // the gold standard has no definition of it for the version
  MissingLocally,  // the gold standard's routine list names it; the database lacks it
  Unreadable,      // the server gave no definition (encrypted, CLR, no VIEW DEFINITION)
  DuplicateKey     // another object of the database has the same key and hid this one
};

struct TFinding {
  TFindingStatus Status = TFindingStatus::UnknownToGold;
  QString Kind;  // "view", "routine", "check", "index"
  QString FullName;
  // The local object; nullptr for one missing locally or hidden by a duplicate key.
  TDatabaseObject* Object = nullptr;
  // The gold text of a routine missing locally, as far as the routine list carries it.
  QString GoldText;
};

// A progress receiver that also keeps what a compare run finds and how far it got. Lists ask
// their receiver for it with dynamic_cast.
class IRunFindings {
public:
  virtual ~IRunFindings() = default;
  virtual void ReportFinding(const TFinding& AFinding) = 0;
  // One more object of the list with this kind name was compared with the gold standard.
  virtual void ObjectCompared(const QString& AKind) = 0;
  // Whoever runs the comparison asked it to stop: it stops before the next object.
  virtual bool StopRequested() const { return false; }
};

class ISourceDatabaseInfo {
public:
  virtual ~ISourceDatabaseInfo() = default;
  virtual QString DbName() = 0;
  virtual qint32 DbVer() = 0;
};

class ISaveToDb : public virtual IFullName {
public:
  virtual void SaveToDb(ISQL* ASQL, qint32 ADbVer) = 0;
};

class ISaveObjectToService : public virtual IFullName {
public:
  virtual void SaveToService(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) = 0;
};

class ISaveListToService : public virtual IFullName {
public:
  virtual void Compare(OstrelServiceSoap* AService, ISourceDatabaseInfo* ASourceDb) = 0;
};

class IChildObject {
public:
  virtual ~IChildObject() = default;
  virtual QString ParentObjectKey() const = 0;
};

// Every schema object keeps a gold-standard text; ICodedObject shares these two operations with
// the object base through this virtual base.
class IStandardDefinition {
public:
  virtual ~IStandardDefinition() = default;
  virtual QString GetStandardDefinition() const = 0;
  virtual void SetStandardDefinition(const QString& AGoldStandardDefinition) = 0;
};

// A local definition text (DDL) beside the stored gold-standard text.
class ICodedObject : public virtual IStandardDefinition {
public:
  virtual QString DDL() const = 0;
  // True when the server would not give the text (see UnreadableAttribute): DDL is then empty
  // and means nothing.
  virtual bool DefinitionUnreadable() const { return false; }
};

class IAlterObject {
public:
  virtual ~IAlterObject() = default;
  virtual QString AlterCommand() const = 0;
  // Sends ACommand, a text AlterCommand gave, with what the kind needs around it: a repair
  // that was shown to the user first runs exactly what was shown.
  virtual void ExecuteAlter(ISQL* ASQL, const QString& ACommand) = 0;
  void Alter(ISQL* ASQL) { ExecuteAlter(ASQL, AlterCommand()); }
};

}  // namespace quillon
