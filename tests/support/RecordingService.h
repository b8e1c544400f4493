#pragma once

#include "service/OstrelService.h"

#include <QHash>
#include <QStringList>

namespace quillon::test {

// An OstrelServiceSoap for unit tests. Every call is recorded as
// "Operation(arg1|arg2|...)" with Booleans as true/false; a Get… operation answers what
// Answers holds under that same text (the empty text, or false, when nothing is scripted).
class TRecordingService : public OstrelServiceSoap {
public:
  QStringList Calls;
  QHash<QString, QString> Answers;

  QString GetDbCheckConstraint(const QString& SchemaName, const QString& ConstraintName, qint32 DbVer) override;
  QString GetDbView(const QString& SchemaName, const QString& ViewName, qint32 DbVer) override;
  QString GetDbRoutine(const QString& SchemaName, const QString& RoutineName, qint32 DbVer) override;
  bool GetDbIndex(const QString& SchemaName, const QString& TableName, const QString& IndexName,
                  qint32 DbVer) override;
  void SaveDbSchema(const QString& SchemaName, const QString& SchemaOwner, qint32 DbVer) override;
  void SaveDbView(const QString& ViewSchema, const QString& ViewName, const QString& ViewDefinition,
                  qint32 DbVer) override;
  void SaveDbIndex(const QString& TableSchema, const QString& TableName, const QString& IndexName, bool IsUnique,
                   qint32 DbVer) override;
  void SaveDbRoutine(const QString& RoutineSchema, const QString& RoutineName, const QString& RoutineType,
                     const QString& SourceCode, qint32 DbVer) override;
  void SaveDbCheckConstraint(const QString& TableSchema, const QString& TableName, const QString& ConstraintSchema,
                             const QString& ConstraintName, const QString& CheckClause, qint32 DbVer) override;
  void SaveDbReferentialConstraint(const QString& TableSchema, const QString& TableName,
                                   const QString& ConstraintSchema, const QString& ConstraintName,
                                   const QString& UniqueConstraintSchema, const QString& UniqueConstraintName,
                                   const QString& UpdateRule, const QString& DeleteRule, qint32 DbVer) override;
  void SaveDbAnomaly(const QString& DatabaseName, qint32 DbVer, const QString& ObjectKey, const QString& ObjectClass,
                     const QString& ExpectedDDL, const QString& ActualDDL, const QString& InfoText) override;

private:
  QString Record(const char* AOperation, const QStringList& AArgs);
};

}  // namespace quillon::test
