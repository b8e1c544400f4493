"""The TDS side of the test server: packet and token constants, the errors it sends, encoding
and decoding of values, reply building and TLS in the pre-login exchange."""
import datetime
import os
import ssl
import struct
import subprocess
import warnings


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


# --- Encryption in the pre-login exchange ------------------------------------------------------

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
