"""The requests of a session of the test server: batches and procedure calls, compiled into plans
and run as SQL Server runs them."""
import copy
import datetime
import re
import struct
import time
import traceback

from tds_catalogue import (PROCEDURE_ARGUMENTS, check_catalogue_spelling, project, source_for,
    split_top_level)
from tds_protocol import (Attention, BatchEnded, CaughtError, Column, DONE_ERROR, DropConnection,
    PKT_SQL_BATCH, Reader, Response, SP_NAMES, SqlError, TOKEN_DONE, TOKEN_DONEINPROC,
    TOKEN_DONEPROC, json_value, nv, read_param_value)
from tds_sql import (ClauseEvaluator, MODULE_KINDS, NameChecker, STATEMENT_STARTERS, Statement,
    check_lexical, check_transaction_statement, is_column_word, module_body_start, name_parts,
    plan_set_options, read_name, split_name, sql_literal, statements_of, syntax_error, tokens,
    unquote_identifier)


class StatementRunner:
    """The requests of a Session (which it is a base of): its attributes are the session's."""

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
