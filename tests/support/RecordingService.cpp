#include "support/RecordingService.h"

namespace quillon::test {

namespace {

QString Text(qint32 AValue) { return QString::number(AValue); }
QString Text(bool AValue) { return AValue ? QStringLiteral("true") : QStringLiteral("false"); }

}  // namespace

QString TRecordingService::Record(const char* AOperation, const QStringList& AArgs) {
  const QString Call = QString::fromLatin1(AOperation) + u'(' + AArgs.join(u'|') + u')';
  Calls.append(Call);
  return Answers.value(Call);
}

QString TRecordingService::GetDbCheckConstraint(const QString& SchemaName, const QString& ConstraintName,
                                                qint32 DbVer) {
  return Record("GetDbCheckConstraint", {SchemaName, ConstraintName, Text(DbVer)});
}

QString TRecordingService::GetDbView(const QString& SchemaName, const QString& ViewName, qint32 DbVer) {
  return Record("GetDbView", {SchemaName, ViewName, Text(DbVer)});
}

QString TRecordingService::GetDbRoutine(const QString& SchemaName, const QString& RoutineName, qint32 DbVer) {
  return Record("GetDbRoutine", {SchemaName, RoutineName, Text(DbVer)});
}

bool TRecordingService::GetDbIndex(const QString& SchemaName, const QString& TableName, const QString& IndexName,
                                   qint32 DbVer) {
  return Record("GetDbIndex", {SchemaName, TableName, IndexName, Text(DbVer)}) == QLatin1String("true");
}

void TRecordingService::SaveDbSchema(const QString& SchemaName, const QString& SchemaOwner, qint32 DbVer) {
  Record("SaveDbSchema", {SchemaName, SchemaOwner, Text(DbVer)});
}

void TRecordingService::SaveDbView(const QString& ViewSchema, const QString& ViewName, const QString& ViewDefinition,
                                   qint32 DbVer) {
  Record("SaveDbView", {ViewSchema, ViewName, ViewDefinition, Text(DbVer)});
}

void TRecordingService::SaveDbIndex(const QString& TableSchema, const QString& TableName, const QString& IndexName,
                                    bool IsUnique, qint32 DbVer) {
  Record("SaveDbIndex", {TableSchema, TableName, IndexName, Text(IsUnique), Text(DbVer)});
}

void TRecordingService::SaveDbRoutine(const QString& RoutineSchema, const QString& RoutineName,
                                      const QString& RoutineType, const QString& SourceCode, qint32 DbVer) {
  Record("SaveDbRoutine", {RoutineSchema, RoutineName, RoutineType, SourceCode, Text(DbVer)});
}

void TRecordingService::SaveDbCheckConstraint(const QString& TableSchema, const QString& TableName,
                                              const QString& ConstraintSchema, const QString& ConstraintName,
                                              const QString& CheckClause, qint32 DbVer) {
  Record("SaveDbCheckConstraint", {TableSchema, TableName, ConstraintSchema, ConstraintName, CheckClause, Text(DbVer)});
}

void TRecordingService::SaveDbReferentialConstraint(const QString& TableSchema, const QString& TableName,
                                                    const QString& ConstraintSchema, const QString& ConstraintName,
                                                    const QString& UniqueConstraintSchema,
                                                    const QString& UniqueConstraintName, const QString& UpdateRule,
                                                    const QString& DeleteRule, qint32 DbVer) {
  Record("SaveDbReferentialConstraint", {TableSchema, TableName, ConstraintSchema, ConstraintName,
                                         UniqueConstraintSchema, UniqueConstraintName, UpdateRule, DeleteRule,
                                         Text(DbVer)});
}

void TRecordingService::SaveDbAnomaly(const QString& DatabaseName, qint32 DbVer, const QString& ObjectKey,
                                      const QString& ObjectClass, const QString& ExpectedDDL,
                                      const QString& ActualDDL, const QString& InfoText) {
  Record("SaveDbAnomaly", {DatabaseName, Text(DbVer), ObjectKey, ObjectClass, ExpectedDDL, ActualDDL, InfoText});
}

}  // namespace quillon::test
