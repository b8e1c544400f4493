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

This file is the entry point; the server's parts live beside it: tds_protocol (packets, tokens,
values, TLS), tds_sql (reading and checking SQL text), tds_catalogue (the fixture's database and
the catalogue queries), tds_session (a connection and its login) and tds_statements (running
batches and procedure calls).
"""
import argparse
import json
import os
import shutil
import socket
import sys
import tempfile
import threading

from tds_catalogue import Catalogue
from tds_protocol import TLS_VERSIONS, self_signed_certificate, tls_context
from tds_session import Rules, Session


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
