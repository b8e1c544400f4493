"""SQL text as the test server reads it: tokens, statements, names, and the checks SQL Server's
parser and binder make, with the evaluation of CHECK clauses against a table's rows."""
import re

from tds_protocol import SqlError


# --- SQL text helpers ------------------------------------------------------------------------

STATEMENT_STARTERS = {'SELECT', 'EXEC', 'EXECUTE', 'ALTER', 'SET', 'BEGIN', 'COMMIT',
                      'ROLLBACK', 'DECLARE', 'PRINT', 'CREATE', 'DROP', 'INSERT', 'UPDATE',
                      'DELETE', 'USE', 'GRANT', 'IF', 'SAVE', 'END', 'THROW', 'WAITFOR'}
MODULE_KINDS = {'VIEW', 'PROCEDURE', 'PROC', 'FUNCTION', 'TRIGGER'}

TOKEN_RE = re.compile(r"""
    (?P<space>\s+)
  | (?P<line_comment>--[^\n]*)
  | (?P<block_comment>/\*.*?(\*/|\Z))
  | (?P<string>N?'(?:[^']|'')*'?)
  | (?P<quoted>"(?:[^"]|"")*"?)
  | (?P<bracketed>\[(?:[^\]]|\]\])*\]?)
  | (?P<word>[@#]{0,2}[^\W\d][\w@$#]*)
  | (?P<number>\d+(?:\.\d+)?)
  | (?P<other>.)
""", re.VERBOSE | re.DOTALL)


def tokens(sql):
    """(kind, text, start, end) of each token of a T-SQL text, comments and white space left
    out."""
    result = []
    for match in TOKEN_RE.finditer(sql):
        kind = match.lastgroup
        if kind in ('space', 'line_comment', 'block_comment'):
            continue
        result.append((kind, match.group(), match.start(), match.end()))
    return result


class Statement:
    """One statement of a batch: its tokens and its text as the client spelled it."""

    def __init__(self, sql, toks):
        self.sql = sql
        self.toks = toks
        self.text = sql[toks[0][2]:toks[-1][3]] if toks else ''

    def source_from(self, index):
        return self.sql[self.toks[index][2]:self.toks[-1][3]] if index < len(self.toks) else ''


def statements_of(sql):
    """Splits a batch into statements: at semicolons and where a statement keyword starts at
    nesting depth 0. A module definition (CREATE/ALTER VIEW and the like) is a batch of its own."""
    toks = tokens(sql)
    words = [t[1].upper() for t in toks[:2]]
    if len(words) == 2 and words[0] in ('CREATE', 'ALTER') and words[1] in MODULE_KINDS:
        return [Statement(sql, toks)]
    result, current, depth = [], [], 0
    for token in toks:
        kind, text = token[0], token[1]
        upper = text.upper()
        if kind == 'other' and text == ';' and depth == 0:
            if current:
                result.append(Statement(sql, current))
            current = []
            continue
        if kind == 'other' and text == '(':
            depth += 1
        elif kind == 'other' and text == ')':
            depth = max(0, depth - 1)
        current_words = [t[1].upper() for t in current]
        starts = (kind == 'word' and upper in STATEMENT_STARTERS and depth == 0 and current
                  and not (upper == 'SELECT' and current_words[-1] in ('UNION', 'ALL'))
                  and not (current_words[0] == 'BEGIN' and len(current) == 1)
                  and not (current_words[0] == 'ALTER' and upper in ('DROP', 'SET'))
                  # IF's condition is followed by the one statement it governs
                  and not (current_words[0] == 'IF'
                           and not any(w in STATEMENT_STARTERS for w in current_words[1:]))
                  and not (upper == 'END' and current_words.count('CASE') > current_words.count('END')))
        if starts:
            result.append(Statement(sql, current))
            current = []
        current.append(token)
    if current:
        result.append(Statement(sql, current))
    return result


def unquote_identifier(text):
    if text.startswith('[') and text.endswith(']'):
        return text[1:-1].replace(']]', ']')
    if text.startswith('"') and text.endswith('"'):
        return text[1:-1].replace('""', '"')
    return text


def split_name(text):
    """schema and name of an object name in any of the forms name, schema.name, [s].[n] (with
    "]]" for a bracket inside), up to four parts."""
    parts = name_parts(text)
    if len(parts) == 1:
        return 'dbo', parts[0]
    return parts[-2] or 'dbo', parts[-1]


def name_parts(text):
    """The parts of a multi-part name, unquoted."""
    parts, current, index = [], '', 0
    while index < len(text):
        char = text[index]
        if char in '["':
            close = ']' if char == '[' else '"'
            current += char
            index += 1
            while index < len(text):
                if text[index] == close and text[index + 1:index + 2] == close:
                    current += close * 2
                    index += 2
                    continue
                current += text[index]
                index += 1
                if current[-1] == close:
                    break
            continue
        if char == '.':
            parts.append(current)
            current = ''
        else:
            current += char
        index += 1
    parts.append(current)
    return [unquote_identifier(p.strip()) for p in parts]


def read_name(toks, start):
    """Reads a possibly qualified object name starting at toks[start]; returns (text, next)."""
    text, index = '', start
    while index < len(toks):
        kind, value = toks[index][0], toks[index][1]
        if kind in ('word', 'bracketed', 'quoted'):
            text += value
            index += 1
            if index < len(toks) and toks[index][1] == '.':
                text += '.'
                index += 1
                continue
        break
    return text, index


def sql_literal(text, params):
    """The value of a literal or a parameter reference."""
    upper = text.upper()
    if text.startswith(("'", "N'", "n'")):
        body = text[text.index("'") + 1:]
        if not body.endswith("'"):
            raise SqlError(105, "Unclosed quotation mark after the character string '%s'."
                           % body)
        value = body[:-1].replace("''", "'")
        if text.startswith("'"):
            # Without N the literal is varchar in the database's code page: what it cannot hold
            # becomes a question mark.
            value = value.encode('cp1252', errors='replace').decode('cp1252')
        return value
    if upper == 'NULL':
        return None
    if text.startswith('@'):
        key = text.lower()
        if key not in params:
            raise SqlError(137, 'Must declare the scalar variable "%s".' % text)
        return params[key]
    if re.fullmatch(r'-?\d+', text):
        return int(text)
    raise SqlError(102, "Incorrect syntax near '%s'." % text)


def like_to_regex(pattern, escape=None, case_sensitive=False):
    out, index = '', 0
    while index < len(pattern):
        char = pattern[index]
        if escape and char == escape and index + 1 < len(pattern):
            out += re.escape(pattern[index + 1])
            index += 2
            continue
        if char == '%':
            out += '.*'
        elif char == '_':
            out += '.'
        elif char == '[':
            end = pattern.find(']', index)
            if end < 0:
                out += re.escape(char)
            else:
                out += '[' + pattern[index + 1:end].replace('\\', '\\\\') + ']'
                index = end
        else:
            out += re.escape(char)
        index += 1
    return re.compile(out + r'\Z', re.DOTALL if case_sensitive else re.IGNORECASE | re.DOTALL)


def like_filter(sql, case_sensitive):
    """The NOT ... LIKE filter of a routine query: (compiled pattern) or None. The names it
    filters compare by the database's collation."""
    match = re.search(r"LIKE\s+N?'((?:[^']|'')*)'(?:\s+ESCAPE\s+'(.)')?", sql, re.IGNORECASE)
    if not match:
        return None
    return like_to_regex(match.group(1).replace("''", "'"), match.group(2), case_sensitive)


# --- Checking statements as SQL Server's parser and binder would ------------------------------

# T-SQL's reserved keywords: a syntax error next to one of them is 156, next to anything else 102.
RESERVED_WORDS = set('''
ADD ALL ALTER AND ANY AS ASC AUTHORIZATION BACKUP BEGIN BETWEEN BREAK BROWSE BULK BY CASCADE CASE
CHECK CHECKPOINT CLOSE CLUSTERED COALESCE COLLATE COLUMN COMMIT COMPUTE CONSTRAINT CONTAINS
CONTAINSTABLE CONTINUE CONVERT CREATE CROSS CURRENT CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP
CURRENT_USER CURSOR DATABASE DBCC DEALLOCATE DECLARE DEFAULT DELETE DENY DESC DISK DISTINCT
DISTRIBUTED DOUBLE DROP DUMP ELSE END ERRLVL ESCAPE EXCEPT EXEC EXECUTE EXISTS EXIT EXTERNAL FETCH
FILE FILLFACTOR FOR FOREIGN FREETEXT FREETEXTTABLE FROM FULL FUNCTION GOTO GRANT GROUP HAVING
HOLDLOCK IDENTITY IDENTITY_INSERT IDENTITYCOL IF IN INDEX INNER INSERT INTERSECT INTO IS JOIN KEY
KILL LEFT LIKE LINENO LOAD MERGE NATIONAL NOCHECK NONCLUSTERED NOT NULL NULLIF OF OFF OFFSETS ON
OPEN OPENDATASOURCE OPENQUERY OPENROWSET OPENXML OPTION OR ORDER OUTER OVER PERCENT PIVOT PLAN
PRECISION PRIMARY PRINT PROC PROCEDURE PUBLIC RAISERROR READ READTEXT RECONFIGURE REFERENCES
REPLICATION RESTORE RESTRICT RETURN REVERT REVOKE RIGHT ROLLBACK ROWCOUNT ROWGUIDCOL RULE SAVE
SCHEMA SECURITYAUDIT SELECT SESSION_USER SET SETUSER SHUTDOWN SOME STATISTICS SYSTEM_USER TABLE
TABLESAMPLE TEXTSIZE THEN TO TOP TRAN TRANSACTION TRIGGER TRUNCATE TRY_CONVERT TSEQUAL UNION
UNIQUE UNPIVOT UPDATE UPDATETEXT USE USER VALUES VARYING VIEW WAITFOR WHEN WHERE WHILE WITH
WITHIN WRITETEXT
'''.split())
# Words that are not reserved but are no column either where they stand.
OTHER_KEYWORDS = set('''
RETURNS SCHEMABINDING ENCRYPTION VIEW_METADATA RECOMPILE EXECUTE_AS CALLER OWNER SELF OUTPUT OUT
READONLY MAX ROWS ROW RANGE UNBOUNDED PRECEDING FOLLOWING FIRST NEXT ONLY OFFSET TIES PARTITION
NOLOCK READUNCOMMITTED NOWAIT TRY CATCH THROW APPLY TYPE
'''.split())
TYPE_NAMES = set('''
BIGINT INT SMALLINT TINYINT BIT DECIMAL NUMERIC MONEY SMALLMONEY FLOAT REAL DATE DATETIME DATETIME2
DATETIMEOFFSET SMALLDATETIME TIME CHAR VARCHAR TEXT NCHAR NVARCHAR NTEXT BINARY VARBINARY IMAGE
UNIQUEIDENTIFIER XML SQL_VARIANT SYSNAME HIERARCHYID GEOGRAPHY GEOMETRY ROWVERSION TIMESTAMP
'''.split())
BUILTIN_FUNCTIONS = set('''
ABS ACOS APP_NAME ASCII ASIN ATAN ATN2 AVG BINARY_CHECKSUM CAST CEILING CHAR CHARINDEX CHECKSUM
CHECKSUM_AGG CHOOSE COALESCE COL_LENGTH COL_NAME COLUMNPROPERTY COMPRESS CONCAT CONCAT_WS
CONTEXT_INFO CONVERT COS COT COUNT COUNT_BIG CUME_DIST CURSOR_STATUS DATABASEPROPERTYEX DATALENGTH
DATEADD DATEDIFF DATEDIFF_BIG DATEFROMPARTS DATENAME DATEPART DATETIME2FROMPARTS DATETIMEFROMPARTS
DATETRUNC DAY DB_ID DB_NAME DECOMPRESS DEGREES DENSE_RANK DIFFERENCE EOMONTH ERROR_LINE
ERROR_MESSAGE ERROR_NUMBER ERROR_PROCEDURE ERROR_SEVERITY ERROR_STATE EXP FIRST_VALUE FLOOR FORMAT
FORMATMESSAGE GETDATE GETUTCDATE GREATEST GROUPING GROUPING_ID HASHBYTES HAS_PERMS_BY_NAME HOST_NAME
IDENT_CURRENT IIF ISDATE ISJSON ISNULL ISNUMERIC IS_MEMBER JSON_QUERY JSON_VALUE LAG LAST_VALUE LEAD
LEAST LEFT LEN LOG LOG10 LOWER LTRIM MAX MIN MONTH NCHAR NEWID NEWSEQUENTIALID NTILE NULLIF
OBJECT_DEFINITION OBJECT_ID OBJECT_NAME OBJECT_SCHEMA_NAME OBJECTPROPERTY OBJECTPROPERTYEX OPENJSON
ORIGINAL_LOGIN PARSE PATINDEX PERCENT_RANK PI POWER QUOTENAME RADIANS RAND RANK REPLACE REPLICATE
REVERSE RIGHT ROUND ROW_NUMBER ROWCOUNT_BIG RTRIM SCHEMA_ID SCHEMA_NAME SCOPE_IDENTITY
SERVERPROPERTY SESSION_CONTEXT SIGN SIN SOUNDEX SPACE SQRT SQUARE STDEV STDEVP STR STRING_AGG
STRING_ESCAPE STRING_SPLIT STUFF SUBSTRING SUM SUSER_ID SUSER_NAME SUSER_SNAME SWITCHOFFSET
SYSDATETIME SYSDATETIMEOFFSET SYSUTCDATETIME TAN TODATETIMEOFFSET TRANSLATE TRIM TRY_CAST
TRY_CONVERT TRY_PARSE TYPE_ID TYPE_NAME UNICODE UPPER USER_ID USER_NAME VAR VARP XACT_STATE YEAR
'''.split())
# The first argument of these names a date part, not a column.
DATEPART_FUNCTIONS = {'DATEADD', 'DATEDIFF', 'DATEDIFF_BIG', 'DATENAME', 'DATEPART', 'DATETRUNC'}
# SET options that take ON or OFF (several may share one SET), and those that take a value.
ON_OFF_OPTIONS = set('''
ANSI_DEFAULTS ANSI_NULL_DFLT_OFF ANSI_NULL_DFLT_ON ANSI_NULLS ANSI_PADDING ANSI_WARNINGS ARITHABORT
ARITHIGNORE CONCAT_NULL_YIELDS_NULL CURSOR_CLOSE_ON_COMMIT FMTONLY FORCEPLAN IMPLICIT_TRANSACTIONS
NOCOUNT NOEXEC NUMERIC_ROUNDABORT PARSEONLY QUOTED_IDENTIFIER REMOTE_PROC_TRANSACTIONS
SHOWPLAN_ALL SHOWPLAN_TEXT SHOWPLAN_XML XACT_ABORT
'''.split())
VALUE_OPTIONS = {'CONTEXT_INFO', 'DATEFIRST', 'DATEFORMAT', 'DEADLOCK_PRIORITY', 'LANGUAGE',
                 'LOCK_TIMEOUT', 'QUERY_GOVERNOR_COST_LIMIT', 'ROWCOUNT', 'TEXTSIZE'}
ISOLATION_LEVELS = {('READ', 'UNCOMMITTED'), ('READ', 'COMMITTED'), ('REPEATABLE', 'READ'),
                    ('SNAPSHOT',), ('SERIALIZABLE',)}


def syntax_error(text):
    """SQL Server's error for bad syntax next to `text` (the end of the batch when empty)."""
    if text.upper() in RESERVED_WORDS:
        return SqlError(156, "Incorrect syntax near the keyword '%s'." % text, 15)
    return SqlError(102, "Incorrect syntax near '%s'." % text, 15)


CLOSED_TOKENS = {'string': re.compile(r"N?'(?:[^']|'')*'", re.IGNORECASE | re.DOTALL),
                 'quoted': re.compile(r'"(?:[^"]|"")*"', re.DOTALL),
                 'bracketed': re.compile(r'\[(?:[^\]]|\]\])*\]', re.DOTALL)}


def check_lexical(toks):
    """Unclosed strings and quoted names, and parentheses that do not pair up."""
    depth = 0
    for kind, text, _, _ in toks:
        if kind in CLOSED_TOKENS and not CLOSED_TOKENS[kind].fullmatch(text):
            opening = text.index("'") + 1 if kind == 'string' else 1
            raise SqlError(105, "Unclosed quotation mark after the character string '%s'."
                           % text[opening:], 15)
        if kind == 'other' and text == '(':
            depth += 1
        elif kind == 'other' and text == ')':
            depth -= 1
            if depth < 0:
                raise syntax_error(')')
    if depth:
        raise syntax_error(toks[-1][1] if toks else '')


def plan_set_options(toks):
    """What a SET statement sets: {session attribute: ON?} for the options this server follows;
    SQL Server's errors for an unknown option or a value that is not ON or OFF."""
    words = [t[1].upper() for t in toks]
    if len(words) < 2:
        raise syntax_error(toks[-1][1])
    if toks[1][1].startswith('@'):
        if len(words) < 4 or words[2] != '=':
            raise syntax_error(toks[2][1] if len(toks) > 2 else toks[1][1])
        return {}
    if words[1] == 'TRANSACTION':
        if words[2:4] != ['ISOLATION', 'LEVEL'] or tuple(words[4:]) not in ISOLATION_LEVELS:
            raise syntax_error(toks[min(len(toks), 5) - 1][1])
        return {}
    if words[1] in VALUE_OPTIONS:
        if len(words) < 3:
            raise syntax_error(toks[-1][1])
        return {}
    options, index = [], 1
    while True:
        if toks[index][0] != 'word':
            raise syntax_error(toks[index][1])
        if words[index] not in ON_OFF_OPTIONS:
            raise SqlError(195, "'%s' is not a recognized SET option." % toks[index][1], 15)
        options.append(words[index])
        index += 1
        if index < len(toks) and toks[index][1] == ',':
            index += 1
            if index == len(toks):
                raise syntax_error(',')
            continue
        break
    if index >= len(toks):
        raise syntax_error(toks[-1][1])
    if words[index] not in ('ON', 'OFF') or index + 1 != len(toks):
        raise syntax_error(toks[index if words[index] not in ('ON', 'OFF') else index + 1][1])
    return {option: words[index] == 'ON' for option in options}


def check_transaction_statement(toks):
    """BEGIN TRAN[SACTION] [name]; COMMIT or ROLLBACK [TRAN[SACTION] [name] | WORK]."""
    words = [t[1].upper() for t in toks]
    index = 1
    if words[1:2] and words[1] in ('TRAN', 'TRANSACTION'):
        index = 2
        if (index < len(toks) and toks[index][0] in ('word', 'bracketed')
                and words[index] not in RESERVED_WORDS):
            index += 1
    elif words[0] == 'BEGIN':
        raise syntax_error(toks[1][1] if len(toks) > 1 else 'BEGIN')
    elif words[1:2] == ['WORK']:
        index = 2
    if index < len(toks):
        raise syntax_error(toks[index][1])


class ObjectReference:
    """A table, view or function a statement reads, with the alias it goes by."""

    def __init__(self, name, schema, short, alias):
        self.name = name
        self.schema = schema
        self.short = short
        self.alias = alias


def is_column_word(toks, index):
    """Whether toks[index] can only be a column name where it stands: no keyword, type, function,
    variable, alias, date part or part of a multi-part name."""
    kind, text = toks[index][0], toks[index][1]
    if kind not in ('word', 'bracketed') or text.startswith(('@', '#')):
        return False
    upper = text.upper()
    if kind == 'word' and (upper in RESERVED_WORDS or upper in OTHER_KEYWORDS or upper in TYPE_NAMES):
        return False
    before = toks[index - 1] if index else ('other', '', 0, 0)
    following = toks[index + 1][1] if index + 1 < len(toks) else ''
    if following in ('(', '.') or before[1] == '.':
        return False
    # A name straight after a value or another name is that value's alias.
    if before[1].upper() == 'AS' or before[1] == ')' or (
            before[0] in ('word', 'bracketed', 'quoted', 'number', 'string')
            and before[1].upper() not in RESERVED_WORDS):
        return False
    return not (before[1] == '(' and index >= 2 and toks[index - 2][1].upper() in DATEPART_FUNCTIONS)


class NameChecker:
    """Binds the names of a module or a CHECK clause against the simulated catalogue: objects
    (208), columns (207) and functions (195)."""

    def __init__(self, catalogue):
        self.catalogue = catalogue

    def base_table_columns(self, schema, name):
        """The columns the fixture lists for a base table, or None when it is no base table."""
        if not any(code == 'U' for code, _ in self.catalogue.find_objects(schema, name)):
            return None
        return {self.catalogue.fold(c.get('COLUMN_NAME')) for c in self.catalogue.columns
                if self.catalogue.same(c.get('TABLE_SCHEMA'), schema)
                and self.catalogue.same(c.get('TABLE_NAME'), name)}

    def check_functions(self, toks, start=0):
        """A name called like a function without a schema must be a built-in one."""
        for index in range(max(start, 1), len(toks) - 1):
            kind, text = toks[index][0], toks[index][1]
            if kind != 'word' or toks[index + 1][1] != '(' or text.startswith(('@', '#')):
                continue
            upper = text.upper()
            before = toks[index - 1][1].upper()
            if (upper in RESERVED_WORDS or upper in TYPE_NAMES or upper in BUILTIN_FUNCTIONS
                    or upper in OTHER_KEYWORDS
                    or before in ('.', 'FROM', 'JOIN', 'APPLY', 'INTO', 'INSERT', 'UPDATE', 'ON',
                                  'REFERENCES')):
                continue
            raise SqlError(195, "'%s' is not a recognized built-in function name." % text, 15)

    def references(self, toks, start):
        """The objects named after FROM, JOIN and APPLY; common table expressions, variables and
        temporary tables are no objects of the catalogue."""
        ctes = {self.catalogue.fold(unquote_identifier(toks[index - 1][1]))
                for index in range(start + 1, len(toks) - 1)
                if toks[index][1].upper() == 'AS' and toks[index + 1][1] == '('}
        found = []
        for index in range(start, len(toks) - 1):
            first = toks[index + 1]
            if (toks[index][1].upper() not in ('FROM', 'JOIN', 'APPLY')
                    or first[0] not in ('word', 'bracketed', 'quoted')
                    or first[1].startswith(('@', '#'))):
                continue
            name, after = read_name(toks, index + 1)
            if len(name_parts(name)) == 1 and self.catalogue.fold(unquote_identifier(name)) in ctes:
                continue
            schema, short = split_name(name)
            alias = short
            if after < len(toks) and toks[after][1].upper() == 'AS':
                after += 1
            if (after < len(toks) and toks[after][0] in ('word', 'bracketed')
                    and toks[after][1].upper() not in RESERVED_WORDS | OTHER_KEYWORDS):
                alias = unquote_identifier(toks[after][1])
            found.append(ObjectReference(name, schema, short, alias))
        return found

    def check_objects(self, references):
        for reference in references:
            if not self.catalogue.find_objects(reference.schema, reference.short):
                raise SqlError(208, "Invalid object name '%s'." % reference.name)

    def check_qualified_columns(self, toks, references):
        """alias.column, where the alias stands for a base table the catalogue knows."""
        by_alias = {}
        for reference in references:
            columns = self.base_table_columns(reference.schema, reference.short)
            if columns is not None:
                by_alias.setdefault(self.catalogue.fold(reference.alias), []).append(columns)
        for index in range(1, len(toks) - 1):
            if toks[index][1] != '.' or (index >= 2 and toks[index - 2][1] == '.'):
                continue
            if index + 2 < len(toks) and toks[index + 2][1] in ('.', '('):
                continue
            column = toks[index + 1]
            if column[0] not in ('word', 'bracketed'):
                continue
            tables = by_alias.get(self.catalogue.fold(unquote_identifier(toks[index - 1][1])))
            name = unquote_identifier(column[1])
            if tables and not any(self.catalogue.fold(name) in columns for columns in tables):
                raise SqlError(207, "Invalid column name '%s'." % name)

    def check_bare_columns(self, toks, start, schema, table, skipped=()):
        """Every name from toks[start] on that can only be a column must be one of the table's."""
        columns = self.base_table_columns(schema, table)
        for index in range(start, len(toks)):
            if index in skipped or not is_column_word(toks, index):
                continue
            name = unquote_identifier(toks[index][1])
            if self.catalogue.fold(name) not in columns:
                raise SqlError(207, "Invalid column name '%s'." % name)

    def check_single_table_view(self, toks, start, references):
        """A view that reads one base table in one SELECT names only that table's columns."""
        words = [t[1].upper() for t in toks]
        if (len(references) != 1 or words[start:].count('SELECT') != 1
                or words[start:].count('FROM') != 1):
            return
        reference = references[0]
        if self.base_table_columns(reference.schema, reference.short) is None:
            return
        from_at = words.index('FROM', start)
        _, after = read_name(toks, from_at + 1)
        aliased = after < len(toks) and toks[after][1].upper() not in RESERVED_WORDS
        skipped = set(range(from_at, after + (1 if aliased else 0)))
        self.check_bare_columns(toks, start, reference.schema, reference.short, skipped)

    def check_module(self, toks, kind, body_start):
        """The names of a view's or routine's body. Views and inline table-valued functions
        must find the objects they read; procedures and other functions resolve a missing
        object when they run (deferred name resolution), but an object that exists must have
        the columns they name."""
        self.check_functions(toks, body_start)
        references = self.references(toks, body_start)
        words = [t[1].upper() for t in toks]
        inline = kind == 'FUNCTION' and 'RETURNS' in words and \
            words[words.index('RETURNS') + 1:words.index('RETURNS') + 2] == ['TABLE']
        if kind == 'VIEW' or inline:
            self.check_objects(references)
        self.check_qualified_columns(toks, references)
        if kind == 'VIEW':
            self.check_single_table_view(toks, body_start, references)

    def check_clause(self, toks, schema, table):
        """A CHECK clause names only columns of its table and built-in functions."""
        self.check_functions(toks)
        self.check_bare_columns(toks, 0, schema, table)


def module_body_start(toks, kind):
    """Where the body of CREATE/ALTER VIEW or PROCEDURE starts (after its AS), checking the
    header as SQL Server's parser does; a function's header is left to the name checks."""
    _, index = read_name(toks, 2)
    if index == 2:
        raise syntax_error(toks[2][1] if len(toks) > 2 else kind)
    if kind == 'FUNCTION':
        if index >= len(toks) or toks[index][1] != '(':
            raise syntax_error(toks[index][1] if index < len(toks) else toks[-1][1])
        depth, after = 0, index
        while after < len(toks):
            depth += {'(': 1, ')': -1}.get(toks[after][1], 0)
            after += 1
            if depth == 0:
                break
        if after >= len(toks) or toks[after][1].upper() != 'RETURNS':
            raise syntax_error(toks[after][1] if after < len(toks) else toks[-1][1])
        return index
    depth = 0
    while index < len(toks):
        text = toks[index][1]
        upper = text.upper()
        depth += {'(': 1, ')': -1}.get(text, 0)
        if depth == 0 and upper == 'AS':
            if index + 1 == len(toks):
                raise syntax_error('AS')
            return index + 1
        if depth == 0 and toks[index][0] == 'word' and upper in STATEMENT_STARTERS:
            raise syntax_error(text)
        index += 1
    raise syntax_error(toks[-1][1])


# --- Rows a table holds, for checking a constraint added WITH CHECK ------------------------------

class ClauseEvaluator:
    """Evaluates a CHECK clause for one row, in SQL's three-valued logic (None is UNKNOWN): column
    names, numbers, strings and NULL, compared with = <> != < > <= >=, IS [NOT] NULL, combined
    with AND, OR, NOT and parentheses. Anything else is beyond this server."""

    COMPARE = {'=': lambda a, b: a == b, '<>': lambda a, b: a != b, '!=': lambda a, b: a != b,
               '<': lambda a, b: a < b, '>': lambda a, b: a > b, '<=': lambda a, b: a <= b,
               '>=': lambda a, b: a >= b}

    def __init__(self, toks, row, fold):
        self.toks = toks
        self.row = {fold(key): value for key, value in row.items()}
        self.fold = fold
        self.index = 0

    def evaluate(self):
        value = self.disjunction()
        if self.index != len(self.toks):
            self.beyond()
        return value

    def beyond(self):
        raise SqlError(50000, 'TDS test server: cannot evaluate this CHECK clause for the '
                              "fixture's rows: %s" % ' '.join(t[1] for t in self.toks))

    def peek(self):
        return self.toks[self.index][1].upper() if self.index < len(self.toks) else ''

    def take(self):
        self.index += 1
        return self.toks[self.index - 1]

    def disjunction(self):
        return self.chain('OR', self.conjunction, lambda a, b: True if True in (a, b)
                          else (None if None in (a, b) else False))

    def conjunction(self):
        return self.chain('AND', self.negation, lambda a, b: False if False in (a, b)
                          else (None if None in (a, b) else True))

    def chain(self, word, operand, combine):
        """operand [word operand]..., combined from the left."""
        value = operand()
        while self.peek() == word:
            self.take()
            value = combine(value, operand())
        return value

    def negation(self):
        if self.peek() == 'NOT':
            self.take()
            value = self.negation()
            return None if value is None else not value
        return self.predicate()

    def predicate(self):
        start = self.index
        if self.peek() == '(':
            self.take()
            inner_start = self.index
            depth = 1
            while depth and self.index < len(self.toks):
                depth += {'(': 1, ')': -1}.get(self.take()[1], 0)
            # "(5)" is a value, "(a > 5)" a condition
            inner = self.toks[inner_start:self.index - 1]
            if len(inner) != 1 and not (len(inner) == 2 and inner[0][1] == '-'):
                value = ClauseEvaluator(inner, {}, self.fold)
                value.row = self.row
                return value.evaluate()
            self.index = start
        left = self.operand()
        operator = self.take()[1] if self.index < len(self.toks) else ''
        if operator.upper() == 'IS':
            negated = self.peek() == 'NOT'
            if negated:
                self.take()
            if self.peek() != 'NULL':
                self.beyond()
            self.take()
            return (left is None) != negated
        if operator in '<>!' and self.peek() in ('=', '>'):
            operator += self.take()[1]
        if operator not in self.COMPARE:
            self.beyond()
        right = self.operand()
        if left is None or right is None:
            return None
        return self.COMPARE[operator](left, right)

    def operand(self):
        if self.index >= len(self.toks):
            self.beyond()
        kind, text = self.take()[:2]
        if text == '(':
            value = self.operand()
            if self.peek() != ')':
                self.beyond()
            self.take()
            return value
        if text == '-':
            value = self.operand()
            return None if value is None else -value
        if kind == 'number':
            return float(text)
        if kind == 'string':
            return sql_literal(text, {})
        if text.upper() == 'NULL':
            return None
        if kind in ('word', 'bracketed'):
            value = self.row.get(self.fold(unquote_identifier(text)))
            if value is None:
                return None
            try:
                return float(value)
            except ValueError:
                return value
        self.beyond()
