"""The database the test server stands in for, read from its fixture, and the result sources that
answer the catalogue queries."""
import datetime
import re
import threading
import xml.etree.ElementTree as ET

from tds_protocol import Column, SqlError, nv
from tds_sql import like_filter, sql_literal, tokens


# --- The catalogue -----------------------------------------------------------------------

CATALOGUE_LISTS = ['SCHEMAS', 'TABLES', 'COLUMNS', 'INDICES', 'CHECK_CONSTRAINTS',
                   'REFERENTIAL_CONSTRAINTS', 'TABLE_PRIVILEGES', 'ROUTINE_PRIVILEGES', 'VIEWS',
                   'ROUTINES']
DEFAULT_LAST_ALTERED = datetime.datetime(2015, 4, 24, 13, 39, 34)


def trimmed(text):
    return (text or '').strip(''.join(chr(c) for c in range(33)))


class Catalogue:
    """The one database this server simulates. `state` holds what repairs can change, so that
    a transaction can copy and restore it."""

    def __init__(self, path, extra_logins=()):
        root = ET.parse(path).getroot()
        self.database = root.get('DatabaseName', '')
        self.server = root.get('Server', '')
        self.version = int(root.get('Version', '0') or 0)
        # What dbo.GetDatabaseInfo calls its two columns; a test may rename them.
        self.info_columns = ('DatabaseVersion', 'DatabaseName')
        self.server_version = root.get('ServerVersion', '16.0.1000.6')
        # A case-sensitive collation (Collation="..._CS_...") resolves names exactly.
        self.collation = root.get('Collation', 'SQL_Latin1_General_CP1_CI_AS')
        self.case_sensitive = '_CS' in self.collation.upper()
        self.logins = {}
        for login in root.iter('LOGIN'):
            self.logins[login.get('NAME', '').lower()] = (
                login.get('NAME', ''), login.get('PASSWORD', ''),
                login.get('VIEW_DEFINITION', 'true').lower() != 'false')
        for name, _, password in (login.partition(':') for login in extra_logins):
            self.logins[name.lower()] = (name, password, True)
        lists = {}
        for name in CATALOGUE_LISTS:
            container = root.find(name)
            lists[name] = [] if container is None else list(container)
        self.schemas = [dict(e.attrib) for e in lists['SCHEMAS']]
        self.tables = [dict(e.attrib) for e in lists['TABLES']]
        self.columns = [dict(e.attrib) for e in lists['COLUMNS']]
        self.indices = [dict(e.attrib) for e in lists['INDICES']]
        self.foreign_keys = [dict(e.attrib) for e in lists['REFERENTIAL_CONSTRAINTS']]
        self.table_privileges = [dict(e.attrib) for e in lists['TABLE_PRIVILEGES']]
        self.routine_privileges = [dict(e.attrib) for e in lists['ROUTINE_PRIVILEGES']]
        views = []
        for element in lists['VIEWS']:
            view = dict(element.attrib)
            view['DEFINITION'] = trimmed(element.text)
            views.append(view)
        routines = []
        for element in lists['ROUTINES']:
            routine = dict(element.attrib)
            routine['DEFINITION'] = trimmed(element.text)
            stamp = routine.get('LAST_ALTERED')
            routine['LAST_ALTERED'] = (datetime.datetime.fromisoformat(stamp) if stamp
                                       else DEFAULT_LAST_ALTERED)
            routines.append(routine)
        checks = [dict(e.attrib) for e in lists['CHECK_CONSTRAINTS']]
        container = root.find('ROWS')
        self.rows = [] if container is None else [dict(e.attrib) for e in container]
        self.state = {'views': views, 'routines': routines, 'checks': checks}
        self.object_ids = {}
        self.encryption = 'none'  # or 'offer', or 'force': see main()
        self.tls_context = None
        self.sessions = []  # per login: 'none', 'login' (only the login encrypted) or 'full'
        self.recorded = []
        self.lock = threading.Lock()

    def fold(self, name):
        """A name as the database's collation compares it."""
        name = name or ''
        return name if self.case_sensitive else name.lower()

    def same(self, first, second):
        return self.fold(first) == self.fold(second)

    def object_id(self, kind, schema, name):
        key = (kind, self.fold(schema), self.fold(name))
        if key not in self.object_ids:
            self.object_ids[key] = 1000 + 16 * len(self.object_ids)
        return self.object_ids[key]

    def schema_id(self, schema):
        names = sorted({self.fold(s.get('SCHEMA_NAME', '')) for s in self.schemas})
        folded = self.fold(schema)
        return names.index(folded) + 1 if folded in names else 0

    def module_definition(self, schema, name, can_view_definition=True):
        """The whole text of the view or routine of that schema and name, or None (also for an
        encrypted module, or a login without VIEW DEFINITION)."""
        for kind, prefix in (('views', 'TABLE_'), ('routines', 'ROUTINE_')):
            for item in self.state[kind]:
                if (self.same(item.get(prefix + 'SCHEMA'), schema)
                        and self.same(item.get(prefix + 'NAME'), name)):
                    return readable_definition(item, can_view_definition)
        return None

    def rows_of(self, schema, table):
        """The fixture's rows of a table, each {column: value as text}; a column it leaves out
        is NULL."""
        return [{key: value for key, value in row.items() if key not in ('TABLE_SCHEMA', 'TABLE_NAME')}
                for row in self.rows if self.same(row.get('TABLE_SCHEMA'), schema)
                and self.same(row.get('TABLE_NAME'), table)]

    def column_exists(self, name):
        return any(self.same(column.get('COLUMN_NAME'), name) for column in self.columns)

    def find_objects(self, schema, name):
        """Every object of that schema and name, as (type code, object)."""
        found = []

        def same(item, schema_key, name_key):
            return self.same(item.get(schema_key), schema) and self.same(item.get(name_key), name)

        for table in self.tables:
            if same(table, 'TABLE_SCHEMA', 'TABLE_NAME'):
                found.append(('V' if table.get('TABLE_TYPE', '').upper() == 'VIEW' else 'U',
                              table))
        for view in self.state['views']:
            if same(view, 'TABLE_SCHEMA', 'TABLE_NAME') and not any(f[0] == 'V' for f in found):
                found.append(('V', view))
        for routine in self.state['routines']:
            if same(routine, 'ROUTINE_SCHEMA', 'ROUTINE_NAME'):
                kind = 'P' if routine.get('ROUTINE_TYPE', '').upper() == 'PROCEDURE' else 'FN'
                found.append((kind, routine))
        for key in self.foreign_keys:
            if same(key, 'CONSTRAINT_SCHEMA', 'CONSTRAINT_NAME'):
                found.append(('F', key))
        for check in self.state['checks']:
            if same(check, 'CONSTRAINT_SCHEMA', 'CONSTRAINT_NAME'):
                found.append(('C', check))
        return found


# --- Result sources for the catalogue queries ------------------------------------------------

SCHEMATA_COLUMNS = [nv('CATALOG_NAME'), nv('SCHEMA_NAME'), nv('SCHEMA_OWNER'),
                    nv('DEFAULT_CHARACTER_SET_CATALOG', 6), nv('DEFAULT_CHARACTER_SET_SCHEMA', 3),
                    nv('DEFAULT_CHARACTER_SET_NAME')]
TABLES_COLUMNS = [nv('TABLE_CATALOG'), nv('TABLE_SCHEMA'), nv('TABLE_NAME'), nv('TABLE_TYPE', 10)]
COLUMNS_COLUMNS = [nv('TABLE_CATALOG'), nv('TABLE_SCHEMA'), nv('TABLE_NAME'), nv('COLUMN_NAME'),
                   Column('ORDINAL_POSITION', 'int'), nv('COLUMN_DEFAULT', 4000),
                   nv('IS_NULLABLE', 3), nv('DATA_TYPE'), Column('CHARACTER_MAXIMUM_LENGTH', 'int'),
                   Column('CHARACTER_OCTET_LENGTH', 'int'), Column('NUMERIC_PRECISION', 'int'),
                   Column('NUMERIC_PRECISION_RADIX', 'int'), Column('NUMERIC_SCALE', 'int'),
                   Column('DATETIME_PRECISION', 'int'), nv('CHARACTER_SET_CATALOG'),
                   nv('CHARACTER_SET_SCHEMA'), nv('CHARACTER_SET_NAME'), nv('COLLATION_CATALOG'),
                   nv('COLLATION_SCHEMA'), nv('COLLATION_NAME'), nv('DOMAIN_CATALOG'),
                   nv('DOMAIN_SCHEMA'), nv('DOMAIN_NAME')]
VIEWS_COLUMNS = [nv('TABLE_CATALOG'), nv('TABLE_SCHEMA'), nv('TABLE_NAME'),
                 nv('VIEW_DEFINITION', 4000), nv('CHECK_OPTION', 7), nv('IS_UPDATABLE', 2)]
ROUTINES_COLUMNS = [nv('SPECIFIC_CATALOG'), nv('SPECIFIC_SCHEMA'), nv('SPECIFIC_NAME'),
                    nv('ROUTINE_CATALOG'), nv('ROUTINE_SCHEMA'), nv('ROUTINE_NAME'),
                    nv('ROUTINE_TYPE', 20), nv('DATA_TYPE'), nv('ROUTINE_BODY', 30),
                    nv('ROUTINE_DEFINITION', 4000), Column('CREATED', 'datetime'),
                    Column('LAST_ALTERED', 'datetime')]
# sys.check_constraints: how a check constraint was added.
CHECK_FLAG_COLUMNS = [Column('IS_NOT_FOR_REPLICATION', 'bit'), Column('IS_NOT_TRUSTED', 'bit')]
# sys.sql_modules: the SET options a view or routine keeps from the session that created it.
MODULE_COLUMNS = [Column('USES_QUOTED_IDENTIFIER', 'bit'), Column('USES_ANSI_NULLS', 'bit')]
CHECK_COLUMNS = [nv('CONSTRAINT_CATALOG'), nv('CONSTRAINT_SCHEMA'), nv('CONSTRAINT_NAME'),
                 nv('CHECK_CLAUSE', 4000)]
REFERENTIAL_COLUMNS = [nv('CONSTRAINT_CATALOG'), nv('CONSTRAINT_SCHEMA'), nv('CONSTRAINT_NAME'),
                       nv('UNIQUE_CONSTRAINT_CATALOG'), nv('UNIQUE_CONSTRAINT_SCHEMA'),
                       nv('UNIQUE_CONSTRAINT_NAME'), nv('MATCH_OPTION', 7),
                       nv('UPDATE_RULE', 11), nv('DELETE_RULE', 11)]
USAGE_COLUMNS = [nv('TABLE_CATALOG'), nv('TABLE_SCHEMA'), nv('TABLE_NAME'), nv('COLUMN_NAME'),
                 nv('CONSTRAINT_CATALOG'), nv('CONSTRAINT_SCHEMA'), nv('CONSTRAINT_NAME')]
INDEX_COLUMNS = [nv('TABLE_SCHEMA'), nv('TABLE_NAME'), nv('INDEX_NAME'), Column('IS_UNIQUE', 'bit')]
PERMISSION_COLUMNS = [nv('GRANTOR'), nv('GRANTEE'), nv('TABLE_SCHEMA'), nv('TABLE_NAME'),
                      nv('ROUTINE_SCHEMA'), nv('ROUTINE_NAME'), nv('PRIVILEGE_TYPE'),
                      nv('PRIVILEGE_STATE', 60)]


def optional_int(text):
    if text is None or text == '':
        return None
    try:
        return int(text)
    except ValueError:
        return None


class Source:
    """Rows of one catalogue query before projection: every row is a dict keyed by upper-case
    column name; `star` maps a qualifier ('' for plain *) to the columns * stands for."""

    def __init__(self, star, rows, extra=()):
        self.star = star
        self.rows = rows
        self.columns = {}
        for columns in star.values():
            for column in columns:
                self.columns.setdefault(column.name.upper(), column)
        # Computed columns (OBJECT_DEFINITION(...) AS ROUTINE_DEFINITION) have types of their own.
        for column in extra:
            self.columns[column.name.upper()] = column


# The catalogue queries the program sends, white space folded, and what each reads. Any other
# query of a catalogue view is refused: a changed query must be taught here, and then its
# WHERE and JOIN conditions hold for the fixture's rows too.
KNOWN_QUERIES = {
    "SELECT * FROM INFORMATION_SCHEMA.SCHEMATA ORDER BY SCHEMA_NAME,SCHEMA_OWNER": 'schemata',
    "SELECT * FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_SCHEMA,TABLE_NAME": 'tables',
    "SELECT TABLE_SCHEMA,TABLE_NAME,OBJECT_DEFINITION(OBJECT_ID(QUOTENAME(TABLE_SCHEMA)+'.'+"
    "QUOTENAME(TABLE_NAME))) AS VIEW_DEFINITION,m.uses_quoted_identifier AS USES_QUOTED_IDENTIFIER,"
    "m.uses_ansi_nulls AS USES_ANSI_NULLS,OBJECTPROPERTY(m.object_id,'IsIndexed') AS IS_INDEXED "
    "FROM INFORMATION_SCHEMA.VIEWS LEFT JOIN sys.sql_modules m "
    "ON m.object_id=OBJECT_ID(QUOTENAME(TABLE_SCHEMA)+'.'+QUOTENAME(TABLE_NAME)) ORDER BY "
    "TABLE_SCHEMA,TABLE_NAME": 'views',
    "SELECT * FROM INFORMATION_SCHEMA.COLUMNS ORDER BY TABLE_SCHEMA,COLUMN_NAME": 'columns',
    "SELECT SCHEMA_NAME(t.schema_id) as TABLE_SCHEMA,t.name as TABLE_NAME,i.name as INDEX_NAME,"
    "i.is_unique AS IS_UNIQUE FROM sys.indexes i JOIN sys.tables t on i.object_id=t.object_id "
    "WHERE i.is_primary_key = 0 AND i.type=2 AND i.is_hypothetical = 0": 'indexes',
    "SELECT ROUTINE_NAME,ROUTINE_SCHEMA,ROUTINE_TYPE,OBJECT_DEFINITION(OBJECT_ID("
    "QUOTENAME(ROUTINE_SCHEMA)+'.'+QUOTENAME(ROUTINE_NAME))) AS ROUTINE_DEFINITION,"
    "m.uses_quoted_identifier AS USES_QUOTED_IDENTIFIER,m.uses_ansi_nulls AS USES_ANSI_NULLS FROM "
    "INFORMATION_SCHEMA.ROUTINES LEFT JOIN sys.sql_modules m ON m.object_id=OBJECT_ID("
    "QUOTENAME(ROUTINE_SCHEMA)+'.'+QUOTENAME(ROUTINE_NAME)) WHERE NOT ( ROUTINE_NAME LIKE 'dt[_]%' ) "
    "ORDER BY ROUTINE_SCHEMA,ROUTINE_NAME": 'routines',
    "SELECT LAST_ALTERED FROM INFORMATION_SCHEMA.ROUTINES WHERE SPECIFIC_SCHEMA=@P1 AND "
    "SPECIFIC_NAME=@P2": 'last_altered',
    "SELECT DISTINCT c.*,u.TABLE_NAME,u.TABLE_SCHEMA,k.is_not_for_replication AS "
    "IS_NOT_FOR_REPLICATION,k.is_not_trusted AS IS_NOT_TRUSTED FROM "
    "INFORMATION_SCHEMA.CHECK_CONSTRAINTS c JOIN INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE u ON "
    "u.CONSTRAINT_SCHEMA=c.CONSTRAINT_SCHEMA AND u.CONSTRAINT_NAME=c.CONSTRAINT_NAME LEFT JOIN "
    "sys.check_constraints k ON k.object_id=OBJECT_ID(QUOTENAME(c.CONSTRAINT_SCHEMA)+'.'+"
    "QUOTENAME(c.CONSTRAINT_NAME)) ORDER BY c.CONSTRAINT_SCHEMA,c.CONSTRAINT_NAME":
        'CHECK_CONSTRAINTS',
    "SELECT DISTINCT c.*,u.TABLE_NAME,u.TABLE_SCHEMA FROM INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS "
    "c JOIN INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE u ON u.CONSTRAINT_SCHEMA=c.CONSTRAINT_SCHEMA "
    "AND u.CONSTRAINT_NAME=c.CONSTRAINT_NAME ORDER BY c.CONSTRAINT_SCHEMA,c.CONSTRAINT_NAME":
        'REFERENTIAL_CONSTRAINTS',
    "SELECT USER_NAME(grantor_principal_id) AS GRANTOR, USER_NAME(grantee_principal_id) AS "
    "GRANTEE,SCHEMA_NAME(o.schema_id) as TABLE_SCHEMA, OBJECT_NAME(major_id) AS TABLE_NAME, "
    "permission_name AS PRIVILEGE_TYPE, state_desc AS PRIVILEGE_STATE FROM "
    "sys.database_permissions p JOIN sys.all_objects o on o.object_id=p.major_id WHERE p.class=1 "
    "AND p.minor_id=0 AND o.type='U' ORDER BY o.schema_id,grantee_principal_id": 'permissions',
    "SELECT USER_NAME(grantor_principal_id) AS GRANTOR, USER_NAME(grantee_principal_id) AS "
    "GRANTEE,SCHEMA_NAME(o.schema_id) as ROUTINE_SCHEMA, OBJECT_NAME(major_id) AS ROUTINE_NAME, "
    "permission_name AS PRIVILEGE_TYPE, state_desc AS PRIVILEGE_STATE FROM "
    "sys.database_permissions p JOIN sys.all_objects o on o.object_id=p.major_id WHERE o.type IN "
    "('P','FN','SN') AND permission_name='EXECUTE' AND NOT OBJECT_NAME(major_id) LIKE 'dt[_]%' "
    "ORDER BY o.schema_id,grantee_principal_id": 'permissions',
}


def module_options(module):
    """A view's or routine's row of sys.sql_modules: the fixture's USES_QUOTED_IDENTIFIER and
    USES_ANSI_NULLS ("0" or "1"), ON where it names none, as for a module created through ODBC."""
    return {option: module.get(option, '1') != '0' for option in ('USES_QUOTED_IDENTIFIER', 'USES_ANSI_NULLS')}


def readable_definition(module, can_view_definition):
    """A module's text as the catalogue shows it to a login: NULL when it is encrypted or the
    login lacks VIEW DEFINITION."""
    encrypted = module.get('ENCRYPTED', 'false').lower() in ('true', '1')
    return module['DEFINITION'] if can_view_definition and not encrypted else None


def source_for(sql, catalogue, current_db, params, can_view_definition=True):
    """The rows of a known catalogue query; None for any other text."""
    kind = KNOWN_QUERIES.get(' '.join(sql.split()))
    if kind is None:
        return None
    upper = re.sub(r'\s+', ' ', sql.upper())
    own = current_db.lower() == catalogue.database.lower()
    cat = catalogue.database if own else current_db
    state = catalogue.state

    def rows(items):
        return items if own else []

    if kind == 'schemata':
        data = [{'CATALOG_NAME': cat, 'SCHEMA_NAME': s.get('SCHEMA_NAME'),
                 'SCHEMA_OWNER': s.get('SCHEMA_OWNER'), 'DEFAULT_CHARACTER_SET_NAME': 'iso_1'}
                for s in rows(catalogue.schemas)]
        return Source({'': SCHEMATA_COLUMNS}, data)
    if kind == 'indexes':
        # An index element may say IS_PRIMARY_KEY, TYPE (2, nonclustered, unless stated) and
        # IS_HYPOTHETICAL (the tuning advisor's kind); only indexes of base tables join.
        def flag(index, name):
            return index.get(name, 'false').lower() in ('true', '1')

        base_tables = {(catalogue.fold(t.get('TABLE_SCHEMA')), catalogue.fold(t.get('TABLE_NAME')))
                       for t in catalogue.tables if t.get('TABLE_TYPE', '').upper() == 'BASE TABLE'}
        data = [{'TABLE_SCHEMA': i.get('TABLE_SCHEMA'), 'TABLE_NAME': i.get('TABLE_NAME'),
                 'INDEX_NAME': i.get('INDEX_NAME'), 'IS_UNIQUE': flag(i, 'IS_UNIQUE')}
                for i in rows(catalogue.indices)
                if (catalogue.fold(i.get('TABLE_SCHEMA')), catalogue.fold(i.get('TABLE_NAME')))
                in base_tables and i.get('TYPE', '2') == '2' and not flag(i, 'IS_PRIMARY_KEY')
                and not flag(i, 'IS_HYPOTHETICAL')]
        return Source({}, data, INDEX_COLUMNS)
    if kind == 'permissions':
        routine_query = 'ROUTINE_SCHEMA' in upper
        pattern = like_filter(sql, catalogue.case_sensitive) if routine_query else None
        items = catalogue.routine_privileges if routine_query else catalogue.table_privileges
        # A privilege element may carry CLASS (1, object, unless stated) and COLUMN_NAME (a
        # column-level permission, minor_id > 0); the query's conditions on them, and on the
        # object's type code, apply.
        object_level = (re.search(r'\bCLASS\s*=\s*1\b', upper)
                        and re.search(r'\bMINOR_ID\s*=\s*0\b', upper))
        wanted_types = type_codes_wanted(sql)
        data = []
        for p in rows(items):
            schema = p.get('ROUTINE_SCHEMA' if routine_query else 'TABLE_SCHEMA', '')
            name = p.get('ROUTINE_NAME' if routine_query else 'TABLE_NAME', '')
            if pattern and pattern.match(name):
                continue
            if object_level and (p.get('CLASS', '1') != '1' or p.get('COLUMN_NAME')):
                continue
            if routine_query and p.get('PRIVILEGE_TYPE', 'EXECUTE') != 'EXECUTE':
                continue
            code = routine_type_code(catalogue, schema, name) if routine_query else 'U'
            if wanted_types is not None and not any(catalogue.same(w.rstrip(), code)
                                                    for w in wanted_types):
                continue
            grantor = p.get('GRANTOR', 'dbo')
            grantee = p.get('GRANTEE', '')
            data.append({'GRANTOR': grantor, 'GRANTEE': grantee,
                         'TABLE_SCHEMA': schema, 'TABLE_NAME': name,
                         'ROUTINE_SCHEMA': schema, 'ROUTINE_NAME': name,
                         'PRIVILEGE_TYPE': p.get('PRIVILEGE_TYPE', 'EXECUTE'),
                         'PRIVILEGE_STATE': p.get('PRIVILEGE_STATE', 'GRANT'),
                         'O.SCHEMA_ID': catalogue.schema_id(schema),
                         'GRANTEE_PRINCIPAL_ID': grantee.lower()})
        return Source({}, data, PERMISSION_COLUMNS)
    if kind == 'last_altered':
        match = re.search(r"SPECIFIC_SCHEMA\s*=\s*(\S+?)\s+AND\s+SPECIFIC_NAME\s*=\s*(\S+)",
                          sql, re.IGNORECASE)
        if not match:
            raise SqlError(102, "Incorrect syntax near 'ROUTINES'.")
        schema = sql_literal(match.group(1), params)
        name = sql_literal(match.group(2), params)
        data = [{'LAST_ALTERED': r['LAST_ALTERED']} for r in rows(state['routines'])
                if catalogue.same(str(schema), r.get('ROUTINE_SCHEMA'))
                and catalogue.same(str(name), r.get('ROUTINE_NAME'))]
        return Source({}, data, [Column('LAST_ALTERED', 'datetime')])
    if kind == 'routines':
        pattern = like_filter(sql, catalogue.case_sensitive)
        data = []
        for r in rows(state['routines']):
            if pattern and pattern.match(r.get('ROUTINE_NAME', '')):
                continue
            data.append({'SPECIFIC_CATALOG': cat, 'SPECIFIC_SCHEMA': r.get('ROUTINE_SCHEMA'),
                         'SPECIFIC_NAME': r.get('ROUTINE_NAME'), 'ROUTINE_CATALOG': cat,
                         'ROUTINE_SCHEMA': r.get('ROUTINE_SCHEMA'),
                         'ROUTINE_NAME': r.get('ROUTINE_NAME'),
                         'ROUTINE_TYPE': r.get('ROUTINE_TYPE'), 'ROUTINE_BODY': 'SQL',
                         'ROUTINE_DEFINITION': readable_definition(r, can_view_definition),
                         'CREATED': DEFAULT_LAST_ALTERED, 'LAST_ALTERED': r['LAST_ALTERED'],
                         **module_options(r)})
        return Source({'': ROUTINES_COLUMNS, 'M': MODULE_COLUMNS}, data)
    for view, items, columns in (('CHECK_CONSTRAINTS', state['checks'], CHECK_COLUMNS),
                                 ('REFERENTIAL_CONSTRAINTS', catalogue.foreign_keys,
                                  REFERENTIAL_COLUMNS)):
        if kind == view:
            return constraint_source(upper, cat, rows(items), columns, catalogue.same)
    if kind == 'tables':
        data = [{'TABLE_CATALOG': cat, 'TABLE_SCHEMA': t.get('TABLE_SCHEMA'),
                 'TABLE_NAME': t.get('TABLE_NAME'), 'TABLE_TYPE': t.get('TABLE_TYPE')}
                for t in rows(catalogue.tables)]
        return Source({'': TABLES_COLUMNS}, data)
    if kind == 'columns':
        data = []
        for position, c in enumerate(rows(catalogue.columns)):
            length = optional_int(c.get('CHARACTER_MAXIMUM_LENGTH'))
            data.append({'TABLE_CATALOG': cat, 'TABLE_SCHEMA': c.get('TABLE_SCHEMA'),
                         'TABLE_NAME': c.get('TABLE_NAME'), 'COLUMN_NAME': c.get('COLUMN_NAME'),
                         'ORDINAL_POSITION': position + 1,
                         'COLUMN_DEFAULT': c.get('COLUMN_DEFAULT'),
                         'IS_NULLABLE': c.get('IS_NULLABLE'), 'DATA_TYPE': c.get('DATA_TYPE'),
                         'CHARACTER_MAXIMUM_LENGTH': length,
                         'CHARACTER_OCTET_LENGTH': length,
                         'NUMERIC_PRECISION': optional_int(c.get('NUMERIC_PRECISION')),
                         'NUMERIC_SCALE': optional_int(c.get('NUMERIC_SCALE'))})
        return Source({'': COLUMNS_COLUMNS}, data)
    if kind == 'views':
        data = [{'TABLE_CATALOG': cat, 'TABLE_SCHEMA': v.get('TABLE_SCHEMA'),
                 'TABLE_NAME': v.get('TABLE_NAME'), 'VIEW_DEFINITION': readable_definition(v, can_view_definition),
                 'CHECK_OPTION': 'NONE', 'IS_UPDATABLE': 'NO', **module_options(v),
                 'IS_INDEXED': 1 if v.get('IS_INDEXED') == '1' else 0}
                for v in rows(state['views'])]
        return Source({'': VIEWS_COLUMNS, 'M': MODULE_COLUMNS}, data, [Column('IS_INDEXED', 'int')])
    return None


def routine_type_code(catalogue, schema, name):
    for routine in catalogue.state['routines']:
        if (catalogue.same(routine.get('ROUTINE_SCHEMA'), schema)
                and catalogue.same(routine.get('ROUTINE_NAME'), name)):
            return 'FN' if routine.get('ROUTINE_TYPE', '').upper() == 'FUNCTION' else 'P'
    return 'P'


def type_codes_wanted(sql):
    """The literals a query compares o.type with (= or IN), or None when it does not."""
    match = re.search(r"\bo\.type\s*(?:=\s*(N?'[^']*')|IN\s*\(([^)]*)\))", sql, re.IGNORECASE)
    if not match:
        return None
    literals = match.group(1) or match.group(2)
    return [sql_literal(t[1], {}) for t in tokens(literals) if t[0] == 'string']


# How a case-sensitive database wants the catalogue's names spelled: the system views and
# their columns in lower case, INFORMATION_SCHEMA and its views and columns in upper case.
SYS_VIEWS = {'indexes', 'tables', 'database_permissions', 'all_objects', 'objects', 'views',
             'sql_modules', 'check_constraints'}
SYS_COLUMNS = {'object_id', 'schema_id', 'name', 'is_unique', 'is_primary_key', 'type',
               'is_hypothetical', 'grantor_principal_id', 'grantee_principal_id', 'major_id',
               'minor_id', 'class', 'permission_name', 'state_desc', 'uses_quoted_identifier',
               'uses_ansi_nulls', 'is_not_for_replication', 'is_not_trusted'}
INFORMATION_SCHEMA_VIEWS = {'SCHEMATA', 'TABLES', 'COLUMNS', 'VIEWS', 'ROUTINES',
                            'CHECK_CONSTRAINTS', 'REFERENTIAL_CONSTRAINTS',
                            'CONSTRAINT_COLUMN_USAGE'}


def check_catalogue_spelling(toks):
    information_schema_columns = {column.name for columns in (
        SCHEMATA_COLUMNS, TABLES_COLUMNS, COLUMNS_COLUMNS, VIEWS_COLUMNS, ROUTINES_COLUMNS,
        CHECK_COLUMNS, REFERENTIAL_COLUMNS, USAGE_COLUMNS) for column in columns}
    columns = {name.lower(): name for name in SYS_COLUMNS | information_schema_columns}
    for index, (kind, text, _, _) in enumerate(toks):
        if kind != 'word':
            continue
        after_point = index >= 2 and toks[index - 1][1] == '.'
        qualifier = toks[index - 2][1] if after_point else ''
        if text.lower() in ('sys', 'information_schema') and text not in ('sys', 'INFORMATION_SCHEMA'):
            raise SqlError(208, "Invalid object name '%s'." % text)
        if qualifier in ('sys', 'INFORMATION_SCHEMA'):
            views = SYS_VIEWS if qualifier == 'sys' else INFORMATION_SCHEMA_VIEWS
            if text not in views:
                raise SqlError(208, "Invalid object name '%s.%s'." % (qualifier, text))
            continue
        is_call = index + 1 < len(toks) and toks[index + 1][1] == '('
        is_alias = index >= 1 and toks[index - 1][1].upper() == 'AS'
        proper = columns.get(text.lower())
        if proper and proper != text and not is_call and not is_alias:
            raise SqlError(207, "Invalid column name '%s'." % text)


def constraint_source(upper, cat, items, columns, same):
    """A constraint view joined with the column-usage view, on the constraint name alone or on
    schema and name, whichever the query asks for; `same` compares names by the collation."""
    by_schema = bool(re.search(r'U\.CONSTRAINT_SCHEMA\s*=\s*C\.CONSTRAINT_SCHEMA|'
                               r'C\.CONSTRAINT_SCHEMA\s*=\s*U\.CONSTRAINT_SCHEMA', upper))
    joined = 'CONSTRAINT_COLUMN_USAGE' in upper
    data = []
    for c in items:
        row = {column.name.upper(): c.get(column.name) for column in columns}
        row['CONSTRAINT_CATALOG'] = cat
        row['UNIQUE_CONSTRAINT_CATALOG'] = cat
        row['MATCH_OPTION'] = 'SIMPLE'
        for flag in ('IS_NOT_FOR_REPLICATION', 'IS_NOT_TRUSTED'):
            row[flag] = c.get(flag, '0') == '1'
        if not joined:
            data.append(row)
            continue
        for u in items:
            if not same(u.get('CONSTRAINT_NAME'), c.get('CONSTRAINT_NAME')):
                continue
            if by_schema and not same(u.get('CONSTRAINT_SCHEMA'), c.get('CONSTRAINT_SCHEMA')):
                continue
            joined_row = dict(row)
            joined_row['U.TABLE_NAME'] = u.get('TABLE_NAME')
            joined_row['U.TABLE_SCHEMA'] = u.get('TABLE_SCHEMA')
            joined_row['TABLE_NAME'] = u.get('TABLE_NAME')
            joined_row['TABLE_SCHEMA'] = u.get('TABLE_SCHEMA')
            data.append(joined_row)
    star = {'': columns, 'C': columns}
    if joined:
        star['U'] = USAGE_COLUMNS
    if re.search(r'\bSYS\.CHECK_CONSTRAINTS K\b', upper):
        star['K'] = CHECK_FLAG_COLUMNS
    return Source(star, data, [nv('TABLE_NAME'), nv('TABLE_SCHEMA')])


def split_top_level(text, separator=','):
    parts, depth, current, quote = [], 0, '', None
    for char in text:
        if quote:
            current += char
            if char == quote:
                quote = None
            continue
        if char in "'[":
            quote = "'" if char == "'" else ']'
        elif char == '(':
            depth += 1
        elif char == ')':
            depth -= 1
        elif char == separator and depth == 0:
            parts.append(current.strip())
            current = ''
            continue
        current += char
    if current.strip():
        parts.append(current.strip())
    return parts


def project(sql, source, computed_value):
    """Applies the select list, DISTINCT and ORDER BY of a catalogue query to its Source;
    computed_value(expression, row) gives the value of a computed column (nvarchar(max))."""
    match = re.match(r'\s*SELECT\s+(DISTINCT\s+)?(.*?)\s+FROM\s', sql, re.IGNORECASE | re.DOTALL)
    if not match:
        raise SqlError(102, "Incorrect syntax near 'SELECT'.")
    distinct = bool(match.group(1))
    selected = []  # (output column, key into the row or None, computed expression or None)
    for item in split_top_level(match.group(2)):
        alias = re.search(r'\s+AS\s+\[?(\w+)\]?\s*$', item, re.IGNORECASE)
        expression = item[:alias.start()].strip() if alias else ''
        if alias and re.match(r'OBJECT_DEFINITION\s*\(', expression, re.IGNORECASE):
            selected.append((Column(alias.group(1), 'nvarcharmax'), None, expression))
            continue
        if alias:
            key = alias.group(1).upper()
        else:
            star = re.fullmatch(r'(?:(\w+)\.)?\*', item.strip())
            if star:
                qualifier = (star.group(1) or '').upper()
                if qualifier not in source.star:
                    raise SqlError(107, 'The column prefix \'%s\' does not match with a table '
                                        'name or alias name used in the query.' % star.group(1))
                for column in source.star[qualifier]:
                    selected.append((column, column.name.upper(), None))
                continue
            key = item.strip().upper()
        column = source.columns.get(key.split('.')[-1])
        if column is None:
            raise SqlError(207, "Invalid column name '%s'." % item.strip().split('.')[-1])
        selected.append((Column(key.split('.')[-1], column.kind, column.size), key, None))
    rows = source.rows
    order = re.search(r'\bORDER\s+BY\s+(.*)$', sql, re.IGNORECASE | re.DOTALL)
    if order:
        keys = [k.strip().upper() for k in split_top_level(order.group(1))]

        def sort_key(row):
            values = []
            for key in keys:
                value = row.get(key, row.get(key.split('.')[-1]))
                values.append((value is not None, str(value).lower() if value is not None else ''))
            return values

        rows = sorted(rows, key=sort_key)
    result = []
    seen = set()
    for row in rows:
        values = tuple(computed_value(expression, row) if expression
                       else row.get(key, row.get(key.split('.')[-1])) for _, key, expression in selected)
        if distinct:
            if values in seen:
                continue
            seen.add(values)
        result.append(values)
    return [column for column, _, _ in selected], result


# The procedures of schema dbo the server runs, spelled as they were created, and how many
# arguments each takes.
PROCEDURE_ARGUMENTS = {'SaveDbView': 4, 'SaveDbRoutine': 5, 'SaveDbCheckConstraint': 6,
                       'SaveDbReferentialConstraint': 9, 'AddUser': 2, 'GetDatabaseInfo': 0}
