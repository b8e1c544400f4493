#!/usr/bin/env python3
"""A stand-in for one SQL Server database, reached over TDS 7.4 on a loopback port.

It serves the catalogue of one database read from a fixture: a schema snapshot (root element
"Database" with the attributes Server, DatabaseName and Version, and the ten list containers)
extended by the attribute ServerVersion and a LOGINS container of LOGIN elements (NAME,
PASSWORD, and VIEW_DEFINITION="false" for a login without that permission). ROUTINE elements may
carry LAST_ALTERED (ISO date and time); VIEW and ROUTINE elements may carry ENCRYPTED="true".
The root's Collation attribute (default SQL_Latin1_General_CP1_CI_AS) is what
DATABASEPROPERTYEX(DB_NAME(), 'Collation') answers; with _CS_ in it names resolve by case,
in the catalogue's joins, its LIKE filters and procedure calls too.
As SQL Server documents, OBJECT_DEFINITION and the catalogue's definition columns give NULL for
an encrypted module, and for every module when the login lacks VIEW DEFINITION.
VIEW and ROUTINE elements may carry USES_QUOTED_IDENTIFIER and USES_ANSI_NULLS ("0" or "1", the
SET options the module was created with; "1" when absent), VIEW elements IS_INDEXED ("1": the
view has indexes, which an ALTER drops), CHECK_CONSTRAINT elements IS_NOT_FOR_REPLICATION and
IS_NOT_TRUSTED ("1" or "0", the default). An ALTER of a module records the session's options in
it, and under QUOTED_IDENTIFIER ON a double-quoted text in it that names no column fails as SQL
Server fails. A ROWS container of ROW elements (TABLE_SCHEMA, TABLE_NAME and a value per column;
a column left out is NULL) holds rows a CHECK constraint added without NOCHECK must accept.
Statements are checked as SQL Server's parser and binder check them: syntax (102, 156, 105), SET
options (195), unknown functions (195), and in views, routines and CHECK clauses the objects (208)
and columns (207) the fixture knows.

It answers the statements the program sends: the catalogue queries, DB_NAME(), @@SERVERNAME,
OBJECT_ID, @@TRANCOUNT and @@OPTIONS, dbo.GetDatabaseInfo, dbo.AddUser and the store
procedures (recorded only), repair DDL (ALTER VIEW/PROCEDURE/FUNCTION, ALTER TABLE ...
DROP/ADD CONSTRAINT; CREATE of a module, 2714 when its name is taken) with transactions, XACT_ABORT (an error rolls back and ends the batch;
inside TRY it dooms the transaction), BEGIN TRY/CATCH, THROW, IF comparisons and WAITFOR DELAY.
A client's attention (cancel) stops the running batch at its next statement or in its WAITFOR,
rolls its transaction back under XACT_ABORT (leaves it open otherwise), and is acknowledged with
a DONE token carrying DONE_ATTN. Catalogue
queries are known by their whole text (KNOWN_QUERIES); anything else gets the error SQL Server
gives for bad syntax or an unknown object.

Usage: tds_server.py FIXTURE [--host 127.0.0.1] [--port 0] [--login NAME:PASSWORD]...
                     [--latency MS] [--encryption none|offer|force] [--certificate PEM --key PEM]
                     [--tls 1.0|1.2]
--latency delays every answer to a batch or procedure call, as a distant server would.
With --encryption offer or force it speaks TLS in the pre-login exchange, showing the certificate
--certificate names (its key in --key) or else a self-signed one for CN=localhost made with
openssl; force refuses a client that will not encrypt. --tls 1.0 makes it an old server that
speaks nothing newer than TLS 1.0 (1.2, the default, is the only other choice).
The first line on standard output is the port. Standard input takes one command per line and
each is answered with one line:
  fail TEXT       statements containing TEXT (any letter case) fail with error 50000
  warn TEXT       statements containing TEXT succeed but also send an informational message
  drop TEXT       the connection is closed when a statement containing TEXT arrives
  unresolved TEXT statements containing TEXT fail as a name resolved only at run time does:
                  the batch ends, neither CATCH nor XACT_ABORT handles the error, and an open
                  transaction stays open
  fatal TEXT      statements containing TEXT raise a severity-20 error, after which the server
                  closes the connection
  fatal-after-rows TEXT  statements containing TEXT send their rows, then a severity-24 error
                  in place of the DONE token that would end them, and the server closes the
                  connection
  cut TEXT        the reply to a statement containing TEXT stops before its final DONE token
                  and the connection is closed
  deadlock TEXT   statements containing TEXT are chosen as a deadlock victim (1205, severity
                  13): the transaction is rolled back and the batch ends
  lock-timeout TEXT  statements containing TEXT fail with 1222, as under SET LOCK_TIMEOUT
  hold TEXT       a statement containing TEXT is recorded, then waits (a minute at most) until
                  the rules are cleared before it runs, as on a server busy with other work
  clear           forgets every rule above, and lets held statements go on
  info A,B        dbo.GetDatabaseInfo names its two columns A and B from now on
  statements      the statements received so far, as one JSON list of {sql, params}
  sessions        per login so far, how it was encrypted: "none", "login" or "full"
  forget          empties that record
The server exits when standard input ends, so it never outlives the test that started it.
"""
import argparse
import copy
import datetime
import json
import os
import re
import select
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import warnings
import xml.etree.ElementTree as ET

# --- Packet and token constants --------------------------------------------------------------

PKT_SQL_BATCH = 0x01
PKT_RPC = 0x03
PKT_REPLY = 0x04
PKT_ATTENTION = 0x06
PKT_TRANSACTION = 0x0E
PKT_LOGIN7 = 0x10
PKT_PRELOGIN = 0x12

DONE_MORE = 0x01
DONE_ERROR = 0x02
DONE_COUNT = 0x10
DONE_ATTN = 0x20

TOKEN_DONE = 0xFD
TOKEN_DONEPROC = 0xFE
TOKEN_DONEINPROC = 0xFF

COLLATION = b'\x09\x04\xd0\x00\x34'  # Latin1_General_CI_AS, LCID 1033
ENCRYPT_OFF, ENCRYPT_ON, ENCRYPT_NOT_SUP, ENCRYPT_REQ = 0, 1, 2, 3
PLP_NULL = 0xFFFFFFFFFFFFFFFF
PLP_CHUNK = 0x40000
SP_NAMES = {10: 'sp_executesql', 11: 'sp_prepare', 12: 'sp_execute', 13: 'sp_prepexec',
            15: 'sp_unprepare'}
SQL_EPOCH = datetime.datetime(1900, 1, 1)


class SqlError(Exception):
    """An error as SQL Server reports it; severity 16 unless stated. `ends_batch`: the batch
    stops here even without XACT_ABORT (THROW does that)."""

    def __init__(self, number, message, severity=16, state=1, ends_batch=False):
        super().__init__(message)
        self.number = number
        self.message = message
        self.severity = severity
        self.state = state
        self.ends_batch = ends_batch


class CaughtError(Exception):
    """An error raised inside BEGIN TRY, on its way to the CATCH block."""

    def __init__(self, error):
        super().__init__(error.message)
        self.error = error


class BatchEnded(Exception):
    """The rest of the batch does not run."""


class DropConnection(Exception):
    pass


class Attention(Exception):
    """The client cancelled the request it is waiting for; `reply` ends what the request had
    produced when the cancel found it."""

    def __init__(self):
        super().__init__('cancelled')
        self.reply = b''


# --- Encoding helpers ----------------------------------------------------------------------

def ucs2(text):
    return text.encode('utf-16-le')


def b_varchar(text):
    data = ucs2(text)
    return bytes([len(data) // 2]) + data


def us_varchar(text):
    data = ucs2(text)
    return struct.pack('<H', len(data) // 2) + data


def sized_token(token, body):
    return bytes([token]) + struct.pack('<H', len(body)) + body


class Column:
    """One column of a result set: a name and one of the types nvarchar(n), nvarchar(max),
    int, bit and datetime."""

    def __init__(self, name, kind, size=128):
        self.name = name
        self.kind = kind
        self.size = size

    def type_info(self):
        if self.kind == 'nvarchar':
            return b'\xe7' + struct.pack('<H', self.size * 2) + COLLATION
        if self.kind == 'nvarcharmax':
            return b'\xe7\xff\xff' + COLLATION
        if self.kind == 'int':
            return b'\x26\x04'
        if self.kind == 'bit':
            return b'\x68\x01'
        if self.kind == 'datetime':
            return b'\x6f\x08'
        raise ValueError(self.kind)

    def encode(self, value):
        kind = self.kind
        if kind == 'nvarchar':
            if value is None:
                return b'\xff\xff'
            data = ucs2(str(value)[:self.size])
            return struct.pack('<H', len(data)) + data
        if kind == 'nvarcharmax':
            if value is None:
                return struct.pack('<Q', PLP_NULL)
            data = ucs2(str(value))
            parts = [struct.pack('<Q', len(data))]
            for start in range(0, len(data), PLP_CHUNK):
                chunk = data[start:start + PLP_CHUNK]
                parts.append(struct.pack('<I', len(chunk)))
                parts.append(chunk)
            parts.append(b'\x00\x00\x00\x00')
            return b''.join(parts)
        if value is None:
            return b'\x00'
        if kind == 'int':
            return b'\x04' + struct.pack('<i', int(value))
        if kind == 'bit':
            return b'\x01' + (b'\x01' if value else b'\x00')
        if kind == 'datetime':
            delta = value - SQL_EPOCH
            ticks = round((delta.seconds + delta.microseconds / 1e6) * 300)
            return b'\x08' + struct.pack('<iI', delta.days, ticks)
        raise ValueError(kind)


def nv(name, size=128):
    return Column(name, 'nvarchar', size)


# --- Reading values that arrive in RPC parameters -------------------------------------------

class Reader:
    def __init__(self, data, pos=0):
        self.data = data
        self.pos = pos

    def take(self, count):
        if self.pos + count > len(self.data):
            raise ValueError('message ends early')
        chunk = self.data[self.pos:self.pos + count]
        self.pos += count
        return chunk

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack('<H', self.take(2))[0]

    def u32(self):
        return struct.unpack('<I', self.take(4))[0]

    def u64(self):
        return struct.unpack('<Q', self.take(8))[0]

    def text(self, chars):
        return self.take(chars * 2).decode('utf-16-le')

    def at_end(self):
        return self.pos >= len(self.data)


FIXED_TYPES = {0x30: 1, 0x32: 1, 0x34: 2, 0x38: 4, 0x7F: 8, 0x3B: 4, 0x3E: 8, 0x3A: 4,
               0x3D: 8, 0x3C: 8, 0x7A: 4, 0x1F: 0}
BYTELEN_TYPES = {0x26, 0x68, 0x6D, 0x6E, 0x6F, 0x24}
SCALED_TYPES = {0x29, 0x2A, 0x2B}
NUMERIC_TYPES = {0x6A, 0x6C, 0x37, 0x3F}
USHORT_CHAR_TYPES = {0xA7, 0xAF, 0xE7, 0xEF}
USHORT_BIN_TYPES = {0xA5, 0xAD}
LONG_TYPES = {0x23: 'text', 0x63: 'ntext', 0x22: 'image'}


def decode_number(kind, raw):
    if kind in (0x30,):
        return raw[0]
    if kind in (0x32,):
        return bool(raw[0])
    if kind == 0x68:
        return bool(raw[0])
    if kind in (0x3B, 0x3E, 0x6D):
        return struct.unpack('<f' if len(raw) == 4 else '<d', raw)[0]
    if kind in (0x3D, 0x3A, 0x6F):
        if len(raw) == 8:
            days, ticks = struct.unpack('<iI', raw)
            return SQL_EPOCH + datetime.timedelta(days=days, seconds=ticks / 300)
        days, minutes = struct.unpack('<HH', raw)
        return SQL_EPOCH + datetime.timedelta(days=days, minutes=minutes)
    if kind in (0x3C, 0x7A, 0x6E):
        if len(raw) == 8:
            high, low = struct.unpack('<iI', raw)
            return ((high << 32) | low) / 10000
        return struct.unpack('<i', raw)[0] / 10000
    return int.from_bytes(raw, 'little', signed=True)


def read_plp(reader):
    total = reader.u64()
    if total == PLP_NULL:
        return None
    parts = []
    while True:
        size = reader.u32()
        if size == 0:
            break
        parts.append(reader.take(size))
    return b''.join(parts)


def read_param_value(reader):
    """Reads TYPE_INFO and the value of one RPC parameter; returns a Python value."""
    kind = reader.u8()
    if kind in FIXED_TYPES:
        size = FIXED_TYPES[kind]
        return None if size == 0 else decode_number(kind, reader.take(size))
    if kind in BYTELEN_TYPES:
        reader.u8()
        size = reader.u8()
        if size == 0:
            return None
        raw = reader.take(size)
        if kind == 0x24:
            return raw.hex()
        return decode_number(kind, raw)
    if kind == 0x28:  # date
        size = reader.u8()
        return None if size == 0 else reader.take(size).hex()
    if kind in SCALED_TYPES:
        reader.u8()
        size = reader.u8()
        return None if size == 0 else reader.take(size).hex()
    if kind in NUMERIC_TYPES:
        reader.u8()
        reader.u8()
        scale = reader.u8()
        size = reader.u8()
        if size == 0:
            return None
        raw = reader.take(size)
        value = int.from_bytes(raw[1:], 'little')
        value = value if raw[0] == 1 else -value
        return value / (10 ** scale) if scale else value
    if kind in USHORT_CHAR_TYPES or kind in USHORT_BIN_TYPES:
        max_len = reader.u16()
        if kind in USHORT_CHAR_TYPES:
            reader.take(5)
        if max_len == 0xFFFF:
            raw = read_plp(reader)
        else:
            size = reader.u16()
            raw = None if size == 0xFFFF else reader.take(size)
        if raw is None:
            return None
        if kind in (0xE7, 0xEF):
            return raw.decode('utf-16-le')
        if kind in USHORT_CHAR_TYPES:
            return raw.decode('latin-1')
        return raw.hex()
    if kind in LONG_TYPES:
        reader.u32()
        if kind != 0x22:
            reader.take(5)
        size = reader.u32()
        if size == 0xFFFFFFFF:
            return None
        raw = reader.take(size)
        if kind == 0x63:
            return raw.decode('utf-16-le')
        return raw.decode('latin-1') if kind == 0x23 else raw.hex()
    raise SqlError(8016, 'The incoming tabular data stream (TDS) remote procedure call (RPC) '
                         'protocol stream is incorrect. Parameter has an unknown data type 0x%02X.'
                   % kind)


def json_value(value):
    if isinstance(value, datetime.datetime):
        return value.isoformat()
    return value


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


# --- Building responses -----------------------------------------------------------------------

class Response:
    """Tokens of one reply; DONE tokens are kept apart until the end so that the last one can be
    marked final."""

    def __init__(self):
        self.parts = []

    def add(self, data):
        self.parts.append(data)

    def done(self, token=TOKEN_DONE, status=0, count=None, curcmd=0):
        if count is not None:
            status |= DONE_COUNT
        self.parts.append([token, status, curcmd, count or 0])

    def rows(self, columns, rows, token=TOKEN_DONE):
        body = [b'\x81', struct.pack('<H', len(columns))]
        for column in columns:
            body.append(struct.pack('<IH', 0, 0x0001))
            body.append(column.type_info())
            body.append(b_varchar(column.name))
        encoders = [column.encode for column in columns]
        for row in rows:
            body.append(b'\xd1')
            for encode, value in zip(encoders, row):
                body.append(encode(value))
        self.add(b''.join(body))
        self.done(token, 0, len(rows), 0xC1)

    def message(self, error, server, info=False):
        body = (struct.pack('<iBB', error.number, error.state, error.severity)
                + us_varchar(error.message) + b_varchar(server) + b_varchar('')
                + struct.pack('<i', 1))
        self.add(sized_token(0xAB if info else 0xAA, body))

    def payload(self):
        last = max((i for i, p in enumerate(self.parts)
                    if isinstance(p, list) and p[0] != TOKEN_DONEINPROC), default=-1)
        out = []
        for index, part in enumerate(self.parts):
            if isinstance(part, list):
                token, status, curcmd, count = part
                if index != last or token == TOKEN_DONEINPROC:
                    status |= DONE_MORE
                out.append(struct.pack('<BHHQ', token, status, curcmd, count))
            else:
                out.append(part)
        return b''.join(out)


# --- Sessions ----------------------------------------------------------------------------------

def prelogin_encryption(payload):
    """The ENCRYPTION option of a client's pre-login message (NOT_SUP when it has none)."""
    position = 0
    while position + 5 <= len(payload) and payload[position] != 0xFF:
        token, offset, length = struct.unpack('>BHH', payload[position:position + 5])
        if token == 0x01 and length >= 1 and offset < len(payload):
            return payload[offset]
        position += 5
    return ENCRYPT_NOT_SUP


class TlsChannel:
    """The server's end of a TLS session over memory buffers."""

    def __init__(self, context):
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)

    def read(self):
        data = b''
        while True:
            try:
                chunk = self.tls.read(65536)
            except ssl.SSLWantReadError:
                return data
            if not chunk:
                return data
            data += chunk

    def write(self, data):
        self.tls.write(data)


def self_signed_certificate(folder):
    """A certificate for CN=localhost, signed by its own key, made for this run."""
    key, certificate = os.path.join(folder, 'key.pem'), os.path.join(folder, 'cert.pem')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'ec', '-pkeyopt',
                    'ec_paramgen_curve:prime256v1', '-nodes', '-keyout', key, '-out', certificate,
                    '-days', '1', '-subj', '/CN=localhost'], check=True, capture_output=True)
    return certificate, key


TLS_VERSIONS = {'1.0': ssl.TLSVersion.TLSv1, '1.2': ssl.TLSVersion.TLSv1_2}


def tls_context(certificate, key, version='1.2'):
    """A server context that shows this certificate and speaks only this TLS version."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    # At most TLS 1.2: no session tickets after the handshake, which would arrive unwrapped.
    with warnings.catch_warnings():
        warnings.simplefilter('ignore', DeprecationWarning)  # TLS 1.0 is the point
        context.minimum_version = context.maximum_version = TLS_VERSIONS[version]
    if version == '1.0':
        # An old server's protocol: OpenSSL's default security level no longer allows it.
        context.set_ciphers('DEFAULT:@SECLEVEL=0')
    context.load_cert_chain(certificate, key)
    return context


class Rules:
    KINDS = ('fail', 'warn', 'drop', 'unresolved', 'fatal', 'fatal_after_rows', 'cut', 'deadlock',
             'lock_timeout', 'hold')

    def __init__(self, latency=0.0):
        self.lock = threading.Lock()
        self.released = None
        self.clear()
        self.latency = latency

    def clear(self):
        for kind in self.KINDS:
            setattr(self, kind, [])
        if self.released is not None:
            self.released.set()
        self.released = threading.Event()

    def wait_while_held(self, text):
        with self.lock:
            if not any(rule.lower() in text.lower() for rule in self.hold):
                return
            released = self.released
        released.wait(60)

    def matches(self, kind, text):
        with self.lock:
            return any(rule.lower() in text.lower() for rule in getattr(self, kind))


class Session:
    """One client connection: login, then requests until the client leaves."""

    def __init__(self, conn, catalogue, rules):
        self.conn = conn
        self.catalogue = catalogue
        self.rules = rules
        self.packet_size = 4096
        self.packet_id = 1
        self.database = catalogue.database
        self.can_view_definition = True
        self.xact_abort = False
        # An ODBC login turns both on.
        self.quoted_identifier = True
        self.ansi_nulls = True
        self.transaction = None  # the catalogue's state when the outermost transaction began
        self.trancount = 0
        self.doomed = False
        self.try_depth = 0
        self.closing = False  # a fatal error ends the session once its reply is sent
        self.cutting = False  # the reply stops short of its end and the connection is closed
        self.caught = []  # the errors of the CATCH blocks running, innermost last
        self.tds_version = 0x74000004
        self.tls = None  # a TlsChannel while the stream is encrypted
        self.received = bytearray()  # bytes read (and decrypted) but not used yet

    # Transport

    def recv_exact(self, count):
        while len(self.received) < count:
            self.take_in(self.conn.recv(65536 if self.tls else count - len(self.received)))
        data, self.received = bytes(self.received[:count]), self.received[count:]
        return data

    def take_in(self, chunk):
        if not chunk:
            raise ConnectionError('client left')
        if self.tls:
            self.tls.incoming.write(chunk)
            self.received += self.tls.read()
        else:
            self.received += chunk

    def cancelled(self, wait=0.0):
        """Whether the client has sent an attention to cancel the request that is running,
        waiting up to `wait` seconds for one. A request sent meanwhile stays queued."""
        deadline = time.monotonic() + wait
        while len(self.received) < 8:
            ready, _, _ = select.select([self.conn], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                return False
            self.take_in(self.conn.recv(65536))
        if self.received[0] != PKT_ATTENTION:
            time.sleep(max(0.0, deadline - time.monotonic()))
            return False
        self.read_message()
        return True

    def send_raw(self, data):
        if self.tls:
            self.tls.write(data)
            data = self.tls.outgoing.read()
        self.conn.sendall(data)

    def read_message(self):
        payload, kind = [], None
        while True:
            header = self.recv_exact(8)
            ptype, status, length = struct.unpack('>BBH', header[:4])
            kind = ptype if kind is None else kind
            payload.append(self.recv_exact(length - 8))
            if status & 0x01:
                return kind, b''.join(payload)

    def send_message(self, payload, ptype=PKT_REPLY, complete=True):
        """Sends a message in packets; an incomplete one never marks its last packet final."""
        room = self.packet_size - 8
        chunks = [payload[i:i + room] for i in range(0, len(payload), room)] or [b'']
        out = []
        for index, chunk in enumerate(chunks):
            status = 0x01 if complete and index == len(chunks) - 1 else 0x00
            out.append(struct.pack('>BBHHBB', ptype, status, len(chunk) + 8, 51,
                                   self.packet_id, 0))
            out.append(chunk)
            self.packet_id = (self.packet_id + 1) % 256
        self.send_raw(b''.join(out))

    def run(self):
        try:
            kind, payload = self.read_message()
            encryption = 'none'
            if kind == PKT_PRELOGIN:
                client = prelogin_encryption(payload)
                answer = self.encryption_answer(client)
                self.send_message(self.prelogin_reply(answer))
                if client == ENCRYPT_NOT_SUP and answer == ENCRYPT_REQ:
                    return  # the server insists on encryption: no login in clear text
                if ENCRYPT_NOT_SUP not in (client, answer):
                    self.start_tls()
                    encryption = 'login' if client == answer == ENCRYPT_OFF else 'full'
                kind, payload = self.read_message()
            if encryption == 'login':
                self.tls = None  # only the login travels encrypted
            with self.catalogue.lock:
                self.catalogue.sessions.append(encryption)
            if kind != PKT_LOGIN7 or not self.login(payload):
                return
            while True:
                kind, payload = self.read_message()
                if kind in (PKT_SQL_BATCH, PKT_RPC):
                    try:
                        reply = self.request(kind, payload)
                    except Attention as attention:
                        # As SQL Server does, the cut-short reply ends first and the
                        # acknowledgment follows as a message of its own; a client may read
                        # the one as the end of its request before it looks for the other.
                        self.send_message(attention.reply)
                        self.acknowledge_attention()
                        continue
                    if self.rules.latency:
                        time.sleep(self.rules.latency)
                    if self.cutting:
                        # Every row, but not the DONE token that ends the reply: the link goes
                        # while the client is still reading the result.
                        done_size = 13
                        self.send_message(reply[:len(reply) - done_size], complete=False)
                        return
                    self.send_message(reply)
                    if self.closing:
                        return
                elif kind == PKT_ATTENTION:
                    # It came after the reply: nothing left to cancel, but it is acknowledged.
                    self.acknowledge_attention()
                elif kind == PKT_TRANSACTION:
                    response = Response()
                    response.done()
                    self.send_message(response.payload())
                else:
                    return
        except (ConnectionError, DropConnection, OSError):
            pass
        finally:
            # A session that ends, whether the client left or a fatal error ended it, takes its
            # open transaction with it.
            with self.catalogue.lock:
                self.rollback()
            self.conn.close()

    def acknowledge_attention(self):
        """A DONE token with DONE_ATTN tells the client the cancel has taken effect."""
        response = Response()
        response.done(status=DONE_ATTN)
        self.send_message(response.payload())

    # Login

    def encryption_answer(self, client):
        """The ENCRYPTION option of the pre-login reply, as SQL Server chooses it: without a
        certificate NOT_SUP; with one, ON when the client wants encryption and OFF (the login
        alone) when it merely supports it; REQ whatever the client says when encryption is
        forced."""
        mode = self.catalogue.encryption
        if mode == 'none':
            return ENCRYPT_NOT_SUP
        if mode == 'force':
            return ENCRYPT_REQ
        if client == ENCRYPT_NOT_SUP:
            return ENCRYPT_NOT_SUP
        return ENCRYPT_OFF if client == ENCRYPT_OFF else ENCRYPT_ON

    def start_tls(self):
        """The TLS handshake, its records carried in pre-login packets; afterwards the TDS
        packets travel inside TLS records."""
        channel = TlsChannel(self.catalogue.tls_context)
        while True:
            try:
                channel.tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                pass
            except ssl.SSLError:
                # The alert that says why (an unsupported version, say) reaches the client first.
                data = channel.outgoing.read()
                if data:
                    self.send_message(data, PKT_PRELOGIN)
                raise
            data = channel.outgoing.read()
            if data:
                self.send_message(data, PKT_PRELOGIN)
            kind, payload = self.read_message()
            if kind != PKT_PRELOGIN:
                raise ConnectionError('no TLS handshake')
            channel.incoming.write(payload)
        data = channel.outgoing.read()
        if data:
            self.send_message(data, PKT_PRELOGIN)
        self.tls = channel

    def prelogin_reply(self, encryption):
        major, minor, build = (int(p) for p in (self.catalogue.server_version.split('.') + ['0'] * 3)[:3])
        options = [(0x00, struct.pack('>BBHH', major, minor, build, 0)),
                   (0x01, bytes([encryption])),
                   (0x02, b'\x00'),
                   (0x03, b''),
                   (0x04, b'\x00')]
        header_size = 5 * len(options) + 1
        header, data = b'', b''
        for token, value in options:
            header += struct.pack('>BHH', token, header_size + len(data), len(value))
            data += value
        return header + b'\xff' + data

    def login(self, payload):
        reader = Reader(payload)
        reader.take(4)
        version = struct.unpack('<I', reader.take(4))[0]
        self.tds_version = min(version, 0x74000004) if version >= 0x70000000 else 0x74000004
        requested = struct.unpack('<I', reader.take(4))[0]
        if 512 <= requested <= 32767:
            self.packet_size = requested
        reader.take(12)
        flags2 = payload[25]

        def field(offset):
            start, count = struct.unpack('<HH', payload[offset:offset + 4])
            return payload[start:start + count * 2]

        user = field(40).decode('utf-16-le')
        password = bytes(((b ^ 0xA5) << 4 & 0xF0) | ((b ^ 0xA5) >> 4)
                         for b in field(44)).decode('utf-16-le')
        database = field(68).decode('utf-16-le')
        response = Response()
        server = self.catalogue.server
        known = self.catalogue.logins.get(user.lower())
        if flags2 & 0x80:
            response.message(SqlError(18452, 'Login failed. The login is from an untrusted '
                                             'domain and cannot be used with Integrated '
                                             'authentication.', 14), server)
        elif known is None or known[1] != password:
            response.message(SqlError(18456, "Login failed for user '%s'." % user, 14), server)
        elif database and database.lower() not in (self.catalogue.database.lower(), 'master'):
            response.message(SqlError(4060, 'Cannot open database "%s" requested by the login. '
                                            'The login failed.' % database, 11), server)
            response.message(SqlError(18456, "Login failed for user '%s'." % user, 14), server)
        else:
            self.database = database or self.catalogue.database
            self.can_view_definition = known[2]
            if self.database.lower() == self.catalogue.database.lower():
                self.database = self.catalogue.database
            response.add(self.envchange(1, b_varchar(self.database), b_varchar('master')))
            response.message(SqlError(5701, "Changed database context to '%s'." % self.database,
                                      0, 2), server, info=True)
            response.add(self.envchange(7, bytes([5]) + COLLATION, b'\x00'))
            response.add(self.envchange(2, b_varchar('us_english'), b_varchar('')))
            response.message(SqlError(5703, 'Changed language setting to us_english.', 0, 1),
                             server, info=True)
            major, minor, build = (int(p) for p in
                                   (self.catalogue.server_version.split('.') + ['0'] * 3)[:3])
            ack = (b'\x01' + struct.pack('>I', self.tds_version) + b_varchar('Microsoft SQL Server')
                   + struct.pack('>BBH', major, minor, build))
            response.add(sized_token(0xAD, ack))
            size = str(self.packet_size)
            response.add(self.envchange(4, b_varchar(size), b_varchar(size)))
            response.done()
            self.send_message(response.payload())
            return True
        response.done(status=DONE_ERROR)
        self.send_message(response.payload())
        return False

    @staticmethod
    def envchange(kind, new, old):
        return sized_token(0xE3, bytes([kind]) + new + old)

    # Requests

    def request(self, kind, payload):
        try:
            return self.sql_batch(payload) if kind == PKT_SQL_BATCH else self.rpc(payload)
        except (ConnectionError, DropConnection, Attention):
            raise
        except Exception as problem:  # a fault of this server: say so rather than hang up
            traceback.print_exc()
            response = Response()
            response.message(SqlError(50000, 'TDS test server fault: %r' % problem),
                             self.catalogue.server)
            response.done(status=DONE_ERROR)
            return response.payload()

    @staticmethod
    def skip_headers(payload):
        if len(payload) >= 4:
            total = struct.unpack('<I', payload[:4])[0]
            if 4 <= total <= len(payload) and total >= 22:
                return total
        return 0

    def sql_batch(self, payload):
        sql = payload[self.skip_headers(payload):].decode('utf-16-le')
        self.record(sql, [])
        response = Response()
        self.execute(sql, {}, response, in_proc=False)
        return response.payload()

    def rpc(self, payload):
        reader = Reader(payload, self.skip_headers(payload))
        name_length = reader.u16()
        name = SP_NAMES.get(reader.u16(), '?') if name_length == 0xFFFF else reader.text(name_length)
        reader.u16()
        params = []
        try:
            while not reader.at_end():
                param_name = reader.text(reader.u8())
                reader.u8()
                params.append((param_name, read_param_value(reader)))
        except SqlError as error:
            response = Response()
            response.message(error, self.catalogue.server)
            response.done(TOKEN_DONEPROC, DONE_ERROR)
            return response.payload()
        response = Response()
        if name.lower().split('.')[-1] != 'sp_executesql' or not params:
            self.record('EXEC ' + name, [json_value(v) for _, v in params])
            response.message(SqlError(2812, "Could not find stored procedure '%s'." % name),
                             self.catalogue.server)
            response.done(TOKEN_DONEPROC, DONE_ERROR)
            return response.payload()
        sql = params[0][1] or ''
        declared = []
        if len(params) > 1 and params[1][1]:
            declared = [p.split()[0].lower() for p in split_top_level(params[1][1]) if p.split()]
        values = {}
        for index, (param_name, value) in enumerate(params[2:]):
            key = param_name.lower() if param_name else (
                declared[index] if index < len(declared) else '@p%d' % (index + 1))
            values[key] = value
        self.record(sql, [json_value(v) for _, v in params[2:]])
        self.execute(sql, values, response, in_proc=True)
        response.add(b'\x79' + struct.pack('<i', 0))
        failed = any(isinstance(p, bytes) and p[:1] == b'\xaa' for p in response.parts)
        response.done(TOKEN_DONEPROC, DONE_ERROR if failed else 0)
        return response.payload()

    def record(self, sql, params):
        with self.catalogue.lock:
            self.catalogue.recorded.append({'sql': sql, 'params': params})
        self.rules.wait_while_held(sql)

    def execute(self, sql, params, response, in_proc):
        done_token = TOKEN_DONEINPROC if in_proc else TOKEN_DONE
        server = self.catalogue.server
        if self.rules.matches('drop', sql):
            raise DropConnection()
        self.cutting = self.rules.matches('cut', sql)
        with self.catalogue.lock:
            # Like SQL Server, a batch that does not compile runs no statement at all.
            try:
                program = self.compile(statements_of(sql), params)
            except SqlError as error:
                response.message(error, server)
                response.done(done_token, DONE_ERROR)
                return
            try:
                self.run_block(program, response, done_token)
            except BatchEnded:
                pass
            except Attention as attention:
                # The batch stops where the cancel found it. Under XACT_ABORT its transaction is
                # rolled back; otherwise an open transaction stays open.
                if self.xact_abort:
                    self.rollback()
                response.done(done_token)
                attention.reply = response.payload()
                raise
            if self.doomed:
                self.rollback()
                response.message(SqlError(3998, 'Uncommittable transaction is detected at the '
                                                 'end of the batch. The transaction is rolled '
                                                 'back.'), server)
                response.done(done_token, DONE_ERROR)

    def compile(self, statements, params):
        """The batch as a tree: ('run', text, plan) for a statement, ('try', body, handler) for
        BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH."""
        block, open_blocks = [], []
        for position, statement in enumerate(statements):
            words = [t[1].upper() for t in statement.toks]
            if position and words[:1] in (['CREATE'], ['ALTER']) and words[1:2] and words[1] in MODULE_KINDS:
                kind = 'PROCEDURE' if words[1] == 'PROC' else words[1]
                raise SqlError(111, "'CREATE/ALTER %s' must be the first statement in a query batch." % kind, 15)
            frame = open_blocks[-1] if open_blocks else None
            if frame and frame[0] == 'ended' and words[:2] != ['BEGIN', 'CATCH']:
                raise syntax_error('TRY')
            if words[:1] in (['BEGIN'], ['END']) and words[1:2] in (['TRY'], ['CATCH']):
                if len(words) != 2:
                    raise syntax_error(statement.toks[2][1])
                marker = ' '.join(words)
                if marker == 'BEGIN TRY':
                    open_blocks.append(['try', block, None])
                elif marker == 'END TRY' and frame and frame[0] == 'try':
                    frame[0], frame[2] = 'ended', block
                elif marker == 'BEGIN CATCH' and frame and frame[0] == 'ended':
                    frame[0] = 'catch'
                elif marker == 'END CATCH' and frame and frame[0] == 'catch':
                    open_blocks.pop()
                    frame[1].append(('try', frame[2], block))
                    block = frame[1]
                    continue
                else:
                    raise syntax_error(statement.toks[1][1])
                block = []
                continue
            check_lexical(statement.toks)
            block.append(('run', statement.text, self.plan(statement, params)))
        if open_blocks:
            raise syntax_error('END')
        return block

    def run_block(self, block, response, done_token):
        for node in block:
            if self.cancelled():
                raise Attention()
            if node[0] == 'run':
                self.run_statement(node[1], node[2], response, done_token)
                continue
            self.try_depth += 1
            try:
                self.run_block(node[1], response, done_token)
                caught = None
            except CaughtError as error:
                caught = error.error
            finally:
                self.try_depth -= 1
            if caught is not None:
                self.caught.append(caught)
                try:
                    self.run_block(node[2], response, done_token)
                finally:
                    self.caught.pop()

    def run_statement(self, text, plan, response, done_token):
        server = self.catalogue.server
        try:
            if self.rules.matches('unresolved', text):
                # A name resolved only when the statement runs: the batch ends here, past any
                # CATCH block and XACT_ABORT, and an open transaction stays open.
                response.message(SqlError(207, "Invalid column name 'Unresolved'."), server)
                response.done(done_token, DONE_ERROR)
                raise BatchEnded()
            if self.rules.matches('fatal', text):
                # Severity 20 and above: the server reports the error and ends the session.
                response.message(SqlError(21, 'Warning: Fatal error 9001 occurred at %s. Note the '
                                              'error and time, and contact your system '
                                              'administrator.' % datetime.datetime.now()
                                          .strftime('%b %d %Y %I:%M%p'), 20), server)
                response.done(done_token, DONE_ERROR)
                self.closing = True
                raise BatchEnded()
            if self.rules.matches('fatal_after_rows', text):
                # The rows go out, then a severity-24 error takes the place of the DONE token
                # that would end them, and the session ends.
                plan(response, done_token)
                response.parts.pop()
                response.message(SqlError(824, 'SQL Server detected a logical consistency-based I/O '
                                               'error: incorrect checksum.', 24), server)
                response.done(done_token, DONE_ERROR)
                self.closing = True
                raise BatchEnded()
            if self.rules.matches('deadlock', text):
                # The victim's transaction is rolled back and its batch ends; CATCH sees the error.
                self.rollback()
                raise SqlError(1205, 'Transaction (Process ID 51) was deadlocked on lock resources '
                                     'with another process and has been chosen as the deadlock '
                                     'victim. Rerun the transaction.', 13, ends_batch=True)
            if self.rules.matches('lock_timeout', text):
                raise SqlError(1222, 'Lock request time out period exceeded.')
            if self.rules.matches('fail', text):
                raise SqlError(50000, 'Forced failure of: %s' % text[:200])
            plan(response, done_token)
            if self.rules.matches('warn', text):
                response.message(SqlError(50000, 'Forced warning for: %s' % text[:200], 10),
                                 server, info=True)
        except SqlError as error:
            if self.try_depth:
                if self.xact_abort and self.transaction is not None:
                    self.doomed = True
                raise CaughtError(error)
            response.message(error, server)
            response.done(done_token, DONE_ERROR)
            if self.xact_abort:
                self.rollback()
                raise BatchEnded()
            if error.ends_batch:
                raise BatchEnded()

    def rollback(self):
        if self.transaction is not None:
            self.catalogue.state = self.transaction
        self.transaction = None
        self.trancount = 0
        self.doomed = False

    # Statement plans: each checks what can be checked before the batch runs and returns a
    # callable(response, done_token) that runs the statement.

    def plan(self, statement, params):
        toks = statement.toks
        words = [t[1].upper() for t in toks]
        first = words[0]
        if first == 'SET':
            return self.plan_set(toks)
        if first in ('BEGIN', 'COMMIT', 'ROLLBACK'):
            check_transaction_statement(toks)
            return self.plan_transaction(first)
        if first == 'IF':
            return self.plan_if(statement, params)
        if first == 'THROW':
            return self.plan_throw(statement, params)
        if first == 'WAITFOR':
            return self.plan_waitfor(statement, params)
        if first == 'SELECT':
            return self.plan_select(statement, params)
        if first in ('EXEC', 'EXECUTE'):
            return self.plan_exec(toks, 1, params)
        if first in ('ALTER', 'CREATE') and len(words) > 1 and words[1] in MODULE_KINDS:
            return self.plan_module(statement, first, 'PROCEDURE' if words[1] == 'PROC' else words[1])
        if first == 'ALTER' and len(words) > 1 and words[1] == 'TABLE':
            return self.plan_alter_table(statement)
        if toks[0][0] in ('word', 'bracketed') and first not in STATEMENT_STARTERS:
            return self.plan_exec(toks, 0, params)
        raise syntax_error(toks[1][1] if len(toks) > 1 else toks[0][1])

    SESSION_OPTIONS = {'XACT_ABORT': 'xact_abort', 'QUOTED_IDENTIFIER': 'quoted_identifier',
                       'ANSI_NULLS': 'ansi_nulls'}

    def plan_set(self, toks):
        options = plan_set_options(toks)

        def run(response, done_token):
            for option, on in options.items():
                if option in self.SESSION_OPTIONS:
                    setattr(self, self.SESSION_OPTIONS[option], on)
            response.done(done_token)
        return run

    def plan_transaction(self, first):
        def run(response, done_token):
            if first == 'BEGIN':
                if self.transaction is None:
                    self.transaction = copy.deepcopy(self.catalogue.state)
                self.trancount += 1
            elif self.transaction is None:
                raise SqlError(3902 if first == 'COMMIT' else 3903,
                               'The %s TRANSACTION request has no corresponding BEGIN '
                               'TRANSACTION.' % first)
            elif first == 'ROLLBACK':
                self.rollback()
            elif self.doomed:
                raise SqlError(3930, 'The current transaction cannot be committed and cannot '
                                     'support operations that write to the log file. Roll back '
                                     'the transaction.')
            else:
                self.trancount -= 1
                if self.trancount == 0:
                    self.transaction = None
            response.done(done_token)
        return run

    def plan_if(self, statement, params):
        """IF condition statement, the condition a comparison of two scalar expressions."""
        toks = statement.toks
        depth, index = 0, 1
        while index < len(toks):
            text = toks[index][1]
            depth += {'(': 1, ')': -1}.get(text, 0)
            if depth == 0 and toks[index][0] == 'word' and text.upper() in STATEMENT_STARTERS:
                break
            index += 1
        if index == 1 or index == len(toks):
            raise syntax_error(toks[-1][1])
        condition = statement.sql[toks[1][2]:toks[index - 1][3]]
        match = re.fullmatch(r'(.+?)\s*(>=|<=|<>|!=|=|>|<)\s*(.+)', condition, re.DOTALL)
        if not match:
            raise SqlError(102, "Incorrect syntax near '%s'." % condition[:40])
        left, operator, right = match.groups()
        for expression in (left, right):
            self.scalar(expression.strip(), params)
        governed = self.plan(Statement(statement.sql, toks[index:]), params)
        compare = {'>=': lambda a, b: a >= b, '<=': lambda a, b: a <= b,
                   '<>': lambda a, b: a != b, '!=': lambda a, b: a != b,
                   '=': lambda a, b: a == b, '>': lambda a, b: a > b, '<': lambda a, b: a < b}

        def run(response, done_token):
            values = [self.scalar(e.strip(), params)[1] for e in (left, right)]
            if None not in values and compare[operator](*values):
                governed(response, done_token)
            else:
                response.done(done_token)
        return run

    def plan_throw(self, statement, params):
        toks = statement.toks
        if len(toks) == 1:
            def rethrow(response, done_token):
                if not self.caught:
                    raise SqlError(10704, 'To rethrow an error, a THROW statement must be used '
                                          'inside a CATCH block.')
                caught = self.caught[-1]
                raise SqlError(caught.number, caught.message, caught.severity, caught.state,
                               ends_batch=True)
            return rethrow
        arguments = [sql_literal(t[1], params) for t in toks[1:] if t[1] != ',']
        if len(arguments) != 3 or not isinstance(arguments[0], int):
            raise syntax_error('THROW')

        def throw(response, done_token):
            if arguments[0] < 50000:
                raise SqlError(35100, 'Error number %d in the THROW statement is outside the valid range. '
                                      'Specify an error number in the valid range of 50000 to 2147483647.'
                               % arguments[0])
            raise SqlError(arguments[0], str(arguments[1]), 16, arguments[2], ends_batch=True)
        return throw

    def plan_waitfor(self, statement, params):
        """WAITFOR DELAY 'hh:mm[:ss[.mmm]]', which a cancel interrupts."""
        toks = statement.toks
        if len(toks) != 3 or toks[1][1].upper() != 'DELAY':
            raise SqlError(102, "Incorrect syntax near '%s'." % toks[min(1, len(toks) - 1)][1])
        delay = sql_literal(toks[2][1], params)
        match = re.fullmatch(r'(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,3}))?)?', str(delay))
        if not match or int(match.group(1)) > 23 or int(match.group(2)) > 59 or int(match.group(3) or 0) > 59:
            raise SqlError(148, "Incorrect time syntax in time string '%s' used with WAITFOR." % delay)
        hours, minutes, seconds, fraction = match.groups()
        total = (int(hours) * 3600 + int(minutes) * 60 + int(seconds or 0)
                 + int((fraction or '0').ljust(3, '0')) / 1000)

        def run(response, done_token):
            deadline = time.monotonic() + total
            # Other sessions go on while this one waits.
            self.catalogue.lock.release()
            try:
                while time.monotonic() < deadline:
                    if self.cancelled(deadline - time.monotonic()):
                        raise Attention()
            finally:
                self.catalogue.lock.acquire()
            response.done(done_token)
        return run

    def plan_select(self, statement, params):
        words = [t[1].upper() for t in statement.toks]
        if 'FROM' not in words:
            return self.plan_scalar_select(statement, params)
        if self.catalogue.case_sensitive:
            check_catalogue_spelling(statement.toks)
        source = source_for(statement.text, self.catalogue, self.database, params,
                            self.can_view_definition)
        if source is None:
            name, _ = read_name(statement.toks, words.index('FROM') + 1)
            schema = name_parts(name)[0].lower() if name else ''
            if schema in ('sys', 'information_schema'):
                raise SqlError(102, "Incorrect syntax near '%s'." % name)  # not a known query
            raise SqlError(208, "Invalid object name '%s'." % (name or 'FROM'))
        columns, rows = project(statement.text, source, self.computed_value)

        def run(response, done_token):
            response.rows(columns, rows, done_token)
        return run

    def plan_scalar_select(self, statement, params):
        items = []
        for item in split_top_level(statement.source_from(1)):
            alias = re.search(r'\s+AS\s+\[?(\w+)\]?\s*$', item, re.IGNORECASE)
            expression = (item[:alias.start()] if alias else item).strip()
            self.scalar(expression, params)
            items.append((expression, alias.group(1) if alias else ''))

        # Evaluated when the statement runs: @@TRANCOUNT and @@OPTIONS change within a batch.
        def run(response, done_token):
            columns, values = [], []
            for expression, name in items:
                column, value = self.scalar(expression, params)
                column.name = name
                columns.append(column)
                values.append(value)
            response.rows(columns, [values], done_token)
        return run

    def scalar(self, expression, params):
        compact = re.sub(r'\s+', '', expression).upper()
        if compact == 'DB_NAME()':
            return nv(''), self.database
        if re.fullmatch(r"DATABASEPROPERTYEX\(DB_NAME\(\),N?'COLLATION'\)", compact):
            own = self.database.lower() == self.catalogue.database.lower()
            return nv(''), self.catalogue.collation if own else 'SQL_Latin1_General_CP1_CI_AS'
        if compact == '@@SERVERNAME':
            return nv(''), self.catalogue.server
        if compact == '@@VERSION':
            return nv('', 300), 'Microsoft SQL Server %s (simulated)' % self.catalogue.server_version
        if compact == '@@SPID':
            return Column('', 'int'), 51
        if compact == '@@TRANCOUNT':
            return Column('', 'int'), self.trancount
        if compact == '@@OPTIONS':
            # ANSI_WARNINGS, ANSI_PADDING, ANSI_NULLS, ARITHABORT, QUOTED_IDENTIFIER,
            # ANSI_NULL_DFLT_ON and CONCAT_NULL_YIELDS_NULL, as drivers leave them
            return Column('', 'int'), (5496 & ~(32 | 256) | (16384 if self.xact_abort else 0)
                                       | (32 if self.ansi_nulls else 0)
                                       | (256 if self.quoted_identifier else 0))
        match = re.fullmatch(r'OBJECT_ID\s*\((.*)\)', expression, re.IGNORECASE | re.DOTALL)
        if match:
            arguments = [sql_literal(t[1], params) for t in tokens(match.group(1)) if t[1] != ',']
            if not 1 <= len(arguments) <= 2:
                raise SqlError(174, 'The object_id function requires 1 to 2 argument(s).')
            return Column('', 'int'), self.object_id(*arguments)
        toks = tokens(expression)
        if len(toks) == 1 and (toks[0][0] in ('string', 'number') or toks[0][1].startswith('@')):
            value = sql_literal(toks[0][1], params)
            return (Column('', 'int'), value) if isinstance(value, int) else (nv('', 4000), value)
        raise SqlError(102, "Incorrect syntax near '%s'." % expression[:40])

    def computed_value(self, expression, row):
        """A select-list expression evaluated for one row: OBJECT_DEFINITION(OBJECT_ID(name))
        with the name concatenated from literals, columns and QUOTENAME(column)."""
        match = re.fullmatch(r'OBJECT_DEFINITION\s*\(\s*OBJECT_ID\s*\((.*)\)\s*\)', expression,
                             re.IGNORECASE | re.DOTALL)
        if not match:
            raise SqlError(102, "Incorrect syntax near '%s'." % expression[:40])
        name = ''
        for term in split_top_level(match.group(1), '+'):
            quoted = re.fullmatch(r'QUOTENAME\s*\(\s*(\w+)\s*\)', term, re.IGNORECASE)
            if term.startswith("'") or term[:2].upper() == "N'":
                value = sql_literal(term, {})
            elif quoted:
                value = row.get(quoted.group(1).upper())
                value = (None if value is None or len(value) > 128
                         else '[' + value.replace(']', ']]') + ']')
            elif re.fullmatch(r'\w+', term):
                value = row.get(term.upper())
            else:
                raise SqlError(102, "Incorrect syntax near '%s'." % term[:40])
            if value is None:
                return None
            name += value
        if self.object_id(name) is None:
            return None
        return self.catalogue.module_definition(*split_name(name), self.can_view_definition)

    def object_id(self, name, kind=None):
        if name is None or self.database != self.catalogue.database:
            return None
        if len(name_parts(str(name))) > 4:
            return None
        schema, short = split_name(str(name))
        wanted = (kind or '').strip().upper()
        for code, _ in self.catalogue.find_objects(schema, short):
            if not wanted or wanted == code or (code == 'FN' and wanted in ('IF', 'TF')):
                return self.catalogue.object_id(code, schema, short)
        return None

    def plan_exec(self, toks, start, params):
        name, index = read_name(toks, start)
        schema, short = split_name(name)
        arguments, current = [], []
        rest = toks[index:]
        for token in rest + [('other', ',', 0, 0)] if rest else []:
            if token[1] != ',':
                current.append(token)
                continue
            if len(current) == 3 and current[1][1] == '=':
                current = current[2:]
            if len(current) != 1:
                raise SqlError(102, "Incorrect syntax near '%s'."
                               % (current[1][1] if len(current) > 1 else ','))
            arguments.append(sql_literal(current[0][1], params))
            current = []
        # The name resolves by the database's collation: a case-sensitive one wants its case.
        procedure = next((known for known in PROCEDURE_ARGUMENTS
                          if self.catalogue.same(known, short)), None)
        if not self.catalogue.same(schema, 'dbo') or procedure is None:
            raise SqlError(2812, "Could not find stored procedure '%s'." % name)
        expected = PROCEDURE_ARGUMENTS[procedure]
        if len(arguments) > expected:
            raise SqlError(8144, 'Procedure or function %s has too many arguments specified.'
                           % short)
        if len(arguments) < expected:
            raise SqlError(201, "Procedure or function '%s' expects parameter '@P%d', which was "
                                "not supplied." % (short, len(arguments) + 1))

        def run(response, done_token):
            if procedure == 'GetDatabaseInfo':
                version_column, name_column = self.catalogue.info_columns
                response.rows([Column(version_column, 'int'), nv(name_column)],
                              [[self.catalogue.version, self.catalogue.database]],
                              TOKEN_DONEINPROC)
            response.add(b'\x79' + struct.pack('<i', 0))
            response.done(TOKEN_DONEPROC if done_token == TOKEN_DONE else TOKEN_DONEINPROC)
        return run

    def plan_module(self, statement, verb, kind):
        """CREATE or ALTER of a view, procedure or function."""
        toks = statement.toks
        name, _ = read_name(toks, 2)
        schema, short = split_name(name)
        if kind != 'TRIGGER':
            NameChecker(self.catalogue).check_module(toks, kind, module_body_start(toks, kind))
        # The server keeps a module's text as a CREATE statement, whatever statement made it.
        definition = (statement.sql[:toks[0][2]] + 'CREATE' + statement.sql[toks[0][3]:]).strip()
        if self.quoted_identifier:
            # Under QUOTED_IDENTIFIER ON a double-quoted text names a column; a module written
            # with it OFF, where it was a string, no longer compiles.
            for token_kind, text, _, _ in toks:
                if token_kind == 'quoted' and not self.catalogue.column_exists(unquote_identifier(text)):
                    raise SqlError(207, "Invalid column name '%s'." % unquote_identifier(text))
        is_view = kind == 'VIEW'
        prefix = 'TABLE_' if is_view else 'ROUTINE_'

        def record(item):
            item['DEFINITION'] = definition
            item['USES_QUOTED_IDENTIFIER'] = '1' if self.quoted_identifier else '0'
            item['USES_ANSI_NULLS'] = '1' if self.ansi_nulls else '0'
            # Altering a view drops every index it had.
            item.pop('IS_INDEXED', None)
            # ALTER without WITH ENCRYPTION leaves the module unencrypted.
            item['ENCRYPTED'] = 'true' if re.search(
                r'\bWITH\s+(?:\w+\s*,\s*)*ENCRYPTION\b', definition, re.IGNORECASE) else 'false'
            if not is_view:
                item['LAST_ALTERED'] = datetime.datetime.now().replace(microsecond=0)

        def run(response, done_token):
            items = self.catalogue.state['views' if is_view else 'routines']
            if verb == 'CREATE':
                if self.catalogue.find_objects(schema, short):
                    raise SqlError(2714, "There is already an object named '%s' in the database."
                                   % short)
                item = {prefix + 'SCHEMA': schema, prefix + 'NAME': short}
                if not is_view:
                    item['ROUTINE_TYPE'] = kind
                record(item)
                items.append(item)
                response.done(done_token)
                return
            for item in items:
                if (self.catalogue.same(item.get(prefix + 'SCHEMA'), schema)
                        and self.catalogue.same(item.get(prefix + 'NAME'), short)):
                    record(item)
                    response.done(done_token)
                    return
            raise SqlError(208, "Invalid object name '%s'." % name)
        return run

    def plan_alter_table(self, statement):
        toks = statement.toks
        name, index = read_name(toks, 2)
        schema, table = split_name(name)
        words = [t[1].upper() for t in toks]
        if words[index:index + 2] == ['DROP', 'CONSTRAINT'] and len(toks) == index + 3:
            return self.on_table(name, self.plan_drop_check(
                schema, table, unquote_identifier(toks[index + 2][1])))
        # WITH NOCHECK adds a constraint the server does not trust: existing rows go unchecked.
        not_trusted = words[index:index + 2] == ['WITH', 'NOCHECK']
        if not_trusted or words[index:index + 2] == ['WITH', 'CHECK']:
            index += 2
        if (words[index:index + 2] == ['ADD', 'CONSTRAINT'] and len(words) > index + 4
                and words[index + 3] == 'CHECK'):
            clause_at = index + 4
            not_for_replication = words[clause_at:clause_at + 3] == ['NOT', 'FOR', 'REPLICATION']
            if not_for_replication:
                clause_at += 3
            if toks[clause_at][1] != '(' or toks[-1][1] != ')':
                raise syntax_error(toks[clause_at][1] if toks[clause_at][1] != '(' else toks[-1][1])
            return self.on_table(name, self.plan_add_check(
                schema, table, unquote_identifier(toks[index + 2][1]), toks[clause_at:],
                statement.source_from(clause_at),
                {'IS_NOT_TRUSTED': '1' if not_trusted else '0',
                 'IS_NOT_FOR_REPLICATION': '1' if not_for_replication else '0'}))
        raise syntax_error(toks[index][1] if index < len(toks) else name)

    def on_table(self, name, plan):
        """The plan of an ALTER TABLE, which finds its table only when it runs."""
        schema, table = split_name(name)

        def run(response, done_token):
            if NameChecker(self.catalogue).base_table_columns(schema, table) is None:
                raise SqlError(4902, 'Cannot find the object "%s" because it does not exist or '
                                     'you do not have permissions.' % name)
            plan(response, done_token)
        return run

    def plan_drop_check(self, schema, table, constraint):
        def run(response, done_token):
            checks = self.catalogue.state['checks']
            for position, check in enumerate(checks):
                if (self.catalogue.same(check.get('TABLE_SCHEMA'), schema)
                        and self.catalogue.same(check.get('TABLE_NAME'), table)
                        and self.catalogue.same(check.get('CONSTRAINT_NAME'), constraint)):
                    del checks[position]
                    response.done(done_token)
                    return
            response.message(SqlError(3728, "'%s' is not a constraint." % constraint),
                             self.catalogue.server)
            raise SqlError(3727, 'Could not drop constraint. See previous errors.')
        return run

    def plan_add_check(self, schema, table, constraint, clause_toks, clause, flags):
        def run(response, done_token):
            if self.catalogue.find_objects(schema, constraint):
                raise SqlError(2714, "There is already an object named '%s' in the database."
                               % constraint)
            NameChecker(self.catalogue).check_clause(clause_toks, schema, table)
            if flags['IS_NOT_TRUSTED'] == '0':
                self.check_existing_rows(schema, table, constraint, clause_toks)
            self.catalogue.state['checks'].append(
                {'CONSTRAINT_SCHEMA': schema, 'CONSTRAINT_NAME': constraint, 'TABLE_NAME': table,
                 'TABLE_SCHEMA': schema, 'CHECK_CLAUSE': clause, **flags})
            response.done(done_token)
        return run

    def check_existing_rows(self, schema, table, constraint, clause_toks):
        """A constraint added WITH CHECK (the default) must hold for every row the table has:
        a row for which it is false (not unknown) stops it."""
        for row in self.catalogue.rows_of(schema, table):
            if ClauseEvaluator(clause_toks, row, self.catalogue.fold).evaluate() is False:
                columns = {unquote_identifier(t[1]) for index, t in enumerate(clause_toks)
                           if is_column_word(clause_toks, index)}
                column = ", column '%s'" % columns.pop() if len(columns) == 1 else ''
                raise SqlError(547, 'The ALTER TABLE statement conflicted with the CHECK constraint '
                                    '"%s". The conflict occurred in database "%s", table "%s.%s"%s.'
                               % (constraint, self.catalogue.database, schema, table, column))


def serve(catalogue, rules, listener):
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        session = Session(conn, catalogue, rules)
        threading.Thread(target=session.run, daemon=True).start()


def control(catalogue, rules):
    """Reads commands from standard input; its end stops the whole server."""
    for line in sys.stdin:
        command, _, argument = line.strip().partition(' ')
        command = command.lower()
        if command.replace('-', '_') in Rules.KINDS and argument:
            with rules.lock:
                getattr(rules, command.replace('-', '_')).append(argument)
            answer = 'ok'
        elif command == 'clear':
            with rules.lock:
                rules.clear()
            answer = 'ok'
        elif command == 'info' and argument.count(',') == 1:
            with catalogue.lock:
                catalogue.info_columns = tuple(argument.split(','))
            answer = 'ok'
        elif command == 'statements':
            with catalogue.lock:
                answer = json.dumps(catalogue.recorded)
        elif command == 'sessions':
            with catalogue.lock:
                answer = json.dumps(catalogue.sessions)
        elif command == 'forget':
            with catalogue.lock:
                catalogue.recorded = []
            answer = 'ok'
        else:
            answer = 'error unknown command'
        sys.stdout.write(answer + '\n')
        sys.stdout.flush()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('fixture')
    parser.add_argument('--host', default='127.0.0.1')
    parser.add_argument('--port', type=int, default=0)
    parser.add_argument('--login', action='append', default=[], metavar='NAME:PASSWORD',
                        help='a SQL login besides those of the fixture')
    parser.add_argument('--latency', type=float, default=0, metavar='MS',
                        help='milliseconds added to every answer (default 0)')
    parser.add_argument('--encryption', choices=['none', 'offer', 'force'], default='none',
                        help='none: no certificate; offer: TLS for a client that wants it; '
                             'force: refuse a login that is not encrypted')
    parser.add_argument('--certificate', metavar='PEM',
                        help='with offer or force: the certificate to show instead of a self-signed one')
    parser.add_argument('--key', metavar='PEM', help="the --certificate's private key")
    parser.add_argument('--tls', choices=sorted(TLS_VERSIONS), default='1.2',
                        help='the one TLS version the server speaks (1.0: as an old server does)')
    arguments = parser.parse_args()
    catalogue = Catalogue(arguments.fixture, arguments.login)
    catalogue.encryption = arguments.encryption
    if arguments.encryption != 'none' and arguments.certificate:
        catalogue.tls_context = tls_context(arguments.certificate, arguments.key, arguments.tls)
    elif arguments.encryption != 'none':
        folder = tempfile.mkdtemp(prefix='tds_server_')
        try:
            catalogue.tls_context = tls_context(*self_signed_certificate(folder), arguments.tls)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    rules = Rules(arguments.latency / 1000.0)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((arguments.host, arguments.port))
    listener.listen(16)
    sys.stdout.write('%d\n' % listener.getsockname()[1])
    sys.stdout.flush()
    threading.Thread(target=serve, args=(catalogue, rules, listener), daemon=True).start()
    control(catalogue, rules)


if __name__ == '__main__':
    main()
