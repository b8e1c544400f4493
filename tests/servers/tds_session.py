"""One client connection of the test server: its transport, pre-login and login, and the rules
the test sets through standard input."""
import select
import ssl
import struct
import threading
import time

from tds_protocol import (Attention, COLLATION, DONE_ATTN, DONE_ERROR, DropConnection,
    ENCRYPT_NOT_SUP, ENCRYPT_OFF, ENCRYPT_ON, ENCRYPT_REQ, PKT_ATTENTION, PKT_LOGIN7, PKT_PRELOGIN,
    PKT_REPLY, PKT_RPC, PKT_SQL_BATCH, PKT_TRANSACTION, Reader, Response, SqlError, TlsChannel,
    b_varchar, prelogin_encryption, sized_token)
from tds_statements import StatementRunner


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


class Session(StatementRunner):
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
