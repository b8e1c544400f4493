// The interfaces through which callers address schema objects without knowing their kind.
#pragma once

#include <QString>

namespace quillon {

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

}  // namespace quillon
