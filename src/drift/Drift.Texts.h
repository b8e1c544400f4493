// T-SQL texts that describe tables, columns, keys, indexes and privileges, so that drift can
// show and diff them like views and routines.
#pragma once

#include <QString>

#include <vector>

namespace quillon {

class TDatabaseColumn;
class TDatabaseIndex;
class TDatabaseReferentialConstraint;
class TDatabaseSchema;
class TDatabaseTable;
class TRoutinePrivilege;
class TTablePrivilege;

// T-SQL texts that describe catalogue objects which have no source text of their own, so that
// they can be shown and diffed like views and routines. They are descriptions of what the
// catalogue reads, stable from run to run, not migration scripts: the catalogue does not say
// which columns a key or an index covers, so those texts name the key instead.

// CREATE TABLE with one line per column in the order given: type with its length, precision
// and scale, NULL or NOT NULL, and the default.
QString TableText(const TDatabaseTable& ATable, const std::vector<const TDatabaseColumn*>& AColumns);
// One column as the CREATE TABLE text writes it, without the indentation.
QString ColumnText(const TDatabaseColumn& AColumn);
// ALTER TABLE … ADD CONSTRAINT … FOREIGN KEY REFERENCES KEY … with its rules.
QString ForeignKeyText(const TDatabaseReferentialConstraint& AConstraint);
// GRANT, DENY, GRANT … WITH GRANT OPTION or REVOKE of the privilege.
QString TablePrivilegeText(const TTablePrivilege& APrivilege);
QString RoutinePrivilegeText(const TRoutinePrivilege& APrivilege);
QString SchemaText(const TDatabaseSchema& ASchema);
QString IndexText(const TDatabaseIndex& AIndex);

}  // namespace quillon
