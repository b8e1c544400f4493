// The gold-standard service's SOAP port: one operation per kind of object.
#pragma once

#include <QString>

#include <memory>

namespace quillon {

// The gold-standard service's SOAP port. A Get… operation answers the gold-standard text of
// the object for version DbVer, or the empty text when the service holds none. Every failure
// (SOAP fault, HTTP error, transport failure, malformed answer) raises an exception.
class OstrelServiceSoap {
public:
  virtual ~OstrelServiceSoap() = default;

  virtual QString GetDbCheckConstraint(const QString& SchemaName, const QString& ConstraintName, qint32 DbVer) = 0;
  virtual QString GetDbView(const QString& SchemaName, const QString& ViewName, qint32 DbVer) = 0;
  virtual QString GetDbRoutine(const QString& SchemaName, const QString& RoutineName, qint32 DbVer) = 0;
  virtual bool GetDbIndex(const QString& SchemaName, const QString& TableName, const QString& IndexName,
                          qint32 DbVer) = 0;
  virtual void SaveDbSchema(const QString& SchemaName, const QString& SchemaOwner, qint32 DbVer) = 0;
  virtual void SaveDbView(const QString& ViewSchema, const QString& ViewName, const QString& ViewDefinition,
                          qint32 DbVer) = 0;
  virtual void SaveDbIndex(const QString& TableSchema, const QString& TableName, const QString& IndexName,
                           bool IsUnique, qint32 DbVer) = 0;
  virtual void SaveDbRoutine(const QString& RoutineSchema, const QString& RoutineName, const QString& RoutineType,
                             const QString& SourceCode, qint32 DbVer) = 0;
  virtual void SaveDbCheckConstraint(const QString& TableSchema, const QString& TableName,
                                     const QString& ConstraintSchema, const QString& ConstraintName,
                                     const QString& CheckClause, qint32 DbVer) = 0;
  virtual void SaveDbReferentialConstraint(const QString& TableSchema, const QString& TableName,
                                           const QString& ConstraintSchema, const QString& ConstraintName,
                                           const QString& UniqueConstraintSchema,
                                           const QString& UniqueConstraintName, const QString& UpdateRule,
                                           const QString& DeleteRule, qint32 DbVer) = 0;
  virtual void SaveDbAnomaly(const QString& DatabaseName, qint32 DbVer, const QString& ObjectKey,
                             const QString& ObjectClass, const QString& ExpectedDDL, const QString& ActualDDL,
                             const QString& InfoText) = 0;
};

// A new client of the port, bound to the configured endpoint over its own kept-alive HTTP
// connections (one, unless lookups are sent ahead). A caller creates one for the span of one
// action.
std::unique_ptr<OstrelServiceSoap> GetServiceProxy();

}  // namespace quillon
