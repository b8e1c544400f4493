// T-SQL texts that describe tables, columns, keys, indexes and privileges, so that drift can
// show and diff them like views and routines.
#include "drift/Drift.Texts.h"

#include "model/Columns.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Permissions.h"
#include "model/Schemata.h"
#include "model/Tables.h"

namespace quillon {

namespace {

QString TwoPartName(const QString& ASchema, const QString& AName) {
  return QuoteName(ASchema) + QLatin1Char('.') + QuoteName(AName);
}

QString TypeText(const TDatabaseColumn& AColumn) {
  const QString Type = AColumn.DataType().toLower();
  if (AColumn.CharacterMaximumLength() == -1)
    return Type + QStringLiteral("(max)");
  if (AColumn.CharacterMaximumLength() > 0)
    return Type + QStringLiteral("(%1)").arg(AColumn.CharacterMaximumLength());
  if (AColumn.NumericPrecision() > 0 && Type == QLatin1String("float"))
    return Type + QStringLiteral("(%1)").arg(AColumn.NumericPrecision());
  if (AColumn.NumericPrecision() > 0)
    return Type + QStringLiteral("(%1, %2)").arg(AColumn.NumericPrecision()).arg(AColumn.NumericScale());
  return Type;
}

// The statement a privilege state stands for; REVOKE names the grantee with FROM.
QString PrivilegeText(const QString& AState, const QString& APermission, const QString& ASecurable,
                      const QString& AGrantee, const QString& AGrantor) {
  const QString State = AState.toUpper();
  const bool WithGrantOption = State == QLatin1String("GRANT_WITH_GRANT_OPTION");
  const QString Verb = WithGrantOption ? QStringLiteral("GRANT") : State;
  const QString To = State == QLatin1String("REVOKE") ? QStringLiteral("FROM") : QStringLiteral("TO");
  return QStringLiteral("%1 %2 ON %3 %4 %5%6 AS %7;")
      .arg(Verb, APermission, ASecurable, To, QuoteName(AGrantee),
           WithGrantOption ? QStringLiteral(" WITH GRANT OPTION") : QString(), QuoteName(AGrantor));
}

}  // namespace

QString ColumnText(const TDatabaseColumn& AColumn) {
  QString Text = QuoteName(AColumn.ObjectName()) + QLatin1Char(' ') + TypeText(AColumn);
  Text += AColumn.IsNullable().compare(QLatin1String("NO"), Qt::CaseInsensitive) == 0 ? QStringLiteral(" NOT NULL")
                                                                                       : QStringLiteral(" NULL");
  if (!AColumn.ColumnDefault().isEmpty())
    Text += QStringLiteral(" DEFAULT ") + AColumn.ColumnDefault();
  return Text;
}

QString TableText(const TDatabaseTable& ATable, const std::vector<const TDatabaseColumn*>& AColumns) {
  QString Text = QStringLiteral("CREATE TABLE %1 (\n").arg(TwoPartName(ATable.SchemaName(), ATable.ObjectName()));
  for (std::size_t Index = 0; Index < AColumns.size(); ++Index)
    Text += QStringLiteral("  ") + ColumnText(*AColumns[Index]) +
            (Index + 1 < AColumns.size() ? QStringLiteral(",\n") : QStringLiteral("\n"));
  return Text + QStringLiteral(");");
}

QString ForeignKeyText(const TDatabaseReferentialConstraint& AConstraint) {
  return QStringLiteral("ALTER TABLE %1\n  ADD CONSTRAINT %2 FOREIGN KEY\n  REFERENCES KEY %3\n  ON DELETE %4\n"
                        "  ON UPDATE %5;")
      .arg(TwoPartName(AConstraint.TableSchema(), AConstraint.TableName()), QuoteName(AConstraint.ConstraintName()),
           TwoPartName(AConstraint.UniqueConstraintSchema(), AConstraint.UniqueConstraintName()),
           AConstraint.DeleteRule(), AConstraint.UpdateRule());
}

QString TablePrivilegeText(const TTablePrivilege& APrivilege) {
  return PrivilegeText(APrivilege.PrivilegeState(), APrivilege.PrivilegeType(),
                       TwoPartName(APrivilege.SchemaName(), APrivilege.ObjectName()), APrivilege.Grantee(),
                       APrivilege.Grantor());
}

QString RoutinePrivilegeText(const TRoutinePrivilege& APrivilege) {
  return PrivilegeText(APrivilege.PrivilegeState(), QStringLiteral("EXECUTE"),
                       TwoPartName(APrivilege.SchemaName(), APrivilege.ObjectName()), APrivilege.Grantee(),
                       APrivilege.Grantor());
}

QString SchemaText(const TDatabaseSchema& ASchema) {
  return QStringLiteral("CREATE SCHEMA %1 AUTHORIZATION %2;")
      .arg(QuoteName(ASchema.SchemaName()), QuoteName(ASchema.SchemaOwner()));
}

QString IndexText(const TDatabaseIndex& AIndex) {
  return QStringLiteral("CREATE %1NONCLUSTERED INDEX %2 ON %3;")
      .arg(AIndex.Unique() ? QStringLiteral("UNIQUE ") : QString(), QuoteName(AIndex.ObjectName()),
           TwoPartName(AIndex.SchemaName(), AIndex.TableName()));
}

}  // namespace quillon
