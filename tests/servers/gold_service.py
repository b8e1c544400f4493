#!/usr/bin/env python3
"""Gold-standard test service: the SOAP 1.1 port "/OstrelService.asmx" with its eleven
operations, its description at "?WSDL", and the XML pages, backed by SQLite.

Usage: gold_service.py [--fixture FILE] [--store FILE] [--port N] [--latency MS]

--latency MS holds every service answer back by MS milliseconds, as a wide-area link would;
each connection is served by its own thread, so the delays of requests in flight overlap.

Prints the port it listens on (loopback only) as its first line and stops when its standard
input reaches end of file, so it never outlives the test that started it.

The store is seeded from the fixture, a JSON document {"gold": [entry, ...]} where an entry
names "kind" (VIEW, ROUTINE, CHECK_CONSTRAINT, INDEX, SCHEMA, REFERENTIAL_CONSTRAINT),
"schema" (for a check constraint: its table's schema), "name", "version" and, by kind,
"definition", "type" (routines), "table" (indexes and check constraints), "unique" (indexes)
and "constraint_schema" (check constraints, default: "schema"). A definition is the gold standard of its
object for its version and every later one, until a later version has its own.

Control endpoint for tests (never counted as service traffic):
  GET  /control/state   {"accepted": n, "connections": n, "requests": n, "peak": n}: TCP
                        connections accepted (control ones too), those that carried at least
                        one service request, the number of such requests, and the most of
                        those connections that were open at one time
  GET  /control/calls   every SOAP call so far, in order: [{"operation": .., "params": {..}}]
  POST /control/fail    {"operation": name, "mode": mode, "after": n, "times": n, "delay": s,
                         "where": {param: value}}
                        makes the named operation or page (e.g. "GetDbView",
                        "GetDbRoutineList") fail after n good answers, `times` times (all
                        later ones when absent). With "where", only calls whose parameters
                        have those values count, so one chosen object can be hit however the
                        requests interleave. Modes: fault, http500, busy (503), html, garbage,
                        truncated, cut, drop, close (a good answer, then the connection is
                        closed), slow (a good answer after `delay` seconds), textversion
                        (a versions page whose versions are not numbers), noresult,
                        emptyresult, nowrapper, dtd, innerdtd (a document type inside the
                        root), deep (100,000 nested elements inside the root), badbool,
                        large (a good answer padded with blanks to "size" bytes, after
                        `delay` seconds; a client that stops reading ends the connection).
  POST /control/reset   reseeds the store from the fixture, forgets calls, failures, counts.
"""

import argparse
import json
import re
import socket
import sqlite3
import sys
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xml.sax.saxutils import escape, quoteattr

NS = "http://ulmora.no/Ostrel/"
SOAP_NS = "http://schemas.xmlsoap.org/soap/envelope/"
ENDPOINT = "/OstrelService.asmx"

# Operation -> (parameters in order with their XML Schema types, result element or None).
OPERATIONS = {
    "GetDbCheckConstraint": ([("SchemaName", "string"), ("ConstraintName", "string"), ("DbVer", "int")], "CheckClause"),
    "GetDbView": ([("SchemaName", "string"), ("ViewName", "string"), ("DbVer", "int")], "ViewDefinition"),
    "GetDbRoutine": ([("SchemaName", "string"), ("RoutineName", "string"), ("DbVer", "int")], "SourceCode"),
    "GetDbIndex": ([("SchemaName", "string"), ("TableName", "string"), ("IndexName", "string"), ("DbVer", "int")],
                   "IsUnique"),
    "SaveDbSchema": ([("SchemaName", "string"), ("SchemaOwner", "string"), ("DbVer", "int")], None),
    "SaveDbView": ([("ViewSchema", "string"), ("ViewName", "string"), ("ViewDefinition", "string"),
                    ("DbVer", "int")], None),
    "SaveDbIndex": ([("TableSchema", "string"), ("TableName", "string"), ("IndexName", "string"),
                     ("IsUnique", "boolean"), ("DbVer", "int")], None),
    "SaveDbRoutine": ([("RoutineSchema", "string"), ("RoutineName", "string"), ("RoutineType", "string"),
                       ("SourceCode", "string"), ("DbVer", "int")], None),
    "SaveDbCheckConstraint": ([("TableSchema", "string"), ("TableName", "string"), ("ConstraintSchema", "string"),
                               ("ConstraintName", "string"), ("CheckClause", "string"), ("DbVer", "int")], None),
    "SaveDbReferentialConstraint": ([("TableSchema", "string"), ("TableName", "string"),
                                     ("ConstraintSchema", "string"), ("ConstraintName", "string"),
                                     ("UniqueConstraintSchema", "string"), ("UniqueConstraintName", "string"),
                                     ("UpdateRule", "string"), ("DeleteRule", "string"), ("DbVer", "int")], None),
    "SaveDbAnomaly": ([("DatabaseName", "string"), ("DbVer", "int"), ("ObjectKey", "string"),
                       ("ObjectClass", "string"), ("ExpectedDDL", "string"), ("ActualDDL", "string"),
                       ("InfoText", "string")], None),
}

LIST_PAGES = {
    # list name -> (kind, element name)
    "SCHEMAS": ("SCHEMA", "SCHEMA"),
    "VIEWS": ("VIEW", "VIEW"),
    "ROUTINES": ("ROUTINE", "ROUTINE"),
    "CHECK_CONSTRAINTS": ("CHECK_CONSTRAINT", "CHECK_CONSTRAINT"),
    "REFERENTIAL_CONSTRAINTS": ("REFERENTIAL_CONSTRAINT", "REFERENTIAL_CONSTRAINT"),
    "INDEXS": ("INDEX", "INDEX"),
    "INDICES": ("INDEX", "INDEX"),
}


class ClientError(Exception):
    """A request that breaks the contract: answered with a SOAP fault (soap:Client)."""


def text(value):
    """Element content that keeps carriage returns through any XML parser."""
    return escape(value).replace("\r", "&#xD;")


def attr(value):
    return quoteattr(value).replace("\r", "&#xD;").replace("\n", "&#xA;").replace("\t", "&#x9;")


class Store:
    def __init__(self, path, fixture):
        self.lock = threading.Lock()
        self.db = sqlite3.connect(path, check_same_thread=False)
        self.fixture = fixture
        self.reset()

    def reset(self):
        with self.lock:
            self.db.executescript("""
                DROP TABLE IF EXISTS gold;
                DROP TABLE IF EXISTS calls;
                CREATE TABLE gold (
                    kind TEXT NOT NULL, schema_name TEXT NOT NULL COLLATE NOCASE,
                    table_name TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,
                    version INTEGER NOT NULL, definition TEXT NOT NULL, routine_type TEXT NOT NULL,
                    extra TEXT NOT NULL,
                    PRIMARY KEY (kind, schema_name, table_name, name, version));
                CREATE TABLE calls (seq INTEGER PRIMARY KEY, operation TEXT NOT NULL, params TEXT NOT NULL);
            """)
            for entry in self.fixture.get("gold", []):
                kind, table, extra = entry["kind"], entry.get("table", ""), {}
                definition = entry.get("definition", "")
                if kind == "INDEX":
                    definition = "true" if entry.get("unique") else "false"
                elif kind == "CHECK_CONSTRAINT":
                    # Looked up by the table's schema and the constraint's name only.
                    table, extra = "", {"TABLE_NAME": table,
                                        "CONSTRAINT_SCHEMA": entry.get("constraint_schema", entry["schema"])}
                self._put(kind, entry["schema"], table, entry["name"], int(entry["version"]), definition,
                          entry.get("type", ""), extra)
            self.db.commit()

    def _put(self, kind, schema, table, name, version, definition, routine_type="", extra=None):
        self.db.execute("INSERT OR REPLACE INTO gold VALUES (?,?,?,?,?,?,?,?)",
                        (kind, schema, table, name, version, definition, routine_type, json.dumps(extra or {})))

    def put(self, *args, **kwargs):
        with self.lock:
            self._put(*args, **kwargs)
            self.db.commit()

    def get(self, kind, schema, table, name, version):
        with self.lock:
            row = self.db.execute(
                "SELECT definition FROM gold WHERE kind=? AND schema_name=? AND table_name=? AND name=? AND version<=? "
                "ORDER BY version DESC LIMIT 1", (kind, schema, table, name, version)).fetchone()
        return None if row is None else row[0]

    def latest(self, kind, max_version=None):
        """The newest row of each object of a kind, at or below max_version, ordered by name."""
        limit = "" if max_version is None else " AND version<=%d" % max_version
        with self.lock:
            return self.db.execute(
                "SELECT schema_name, table_name, name, version, definition, routine_type, extra FROM gold g "
                "WHERE kind=?%s AND version=(SELECT MAX(version) FROM gold h WHERE h.kind=g.kind "
                "AND h.schema_name=g.schema_name AND h.table_name=g.table_name AND h.name=g.name%s) "
                "ORDER BY schema_name, table_name, name" % (limit, limit), (kind,)).fetchall()

    def versions(self, kind, schema, name):
        with self.lock:
            return self.db.execute(
                "SELECT version, definition FROM gold WHERE kind=? AND schema_name=? AND name=? ORDER BY version",
                (kind, schema, name)).fetchall()

    def record(self, operation, params):
        with self.lock:
            self.db.execute("INSERT INTO calls (operation, params) VALUES (?,?)", (operation, json.dumps(params)))
            self.db.commit()

    def calls(self):
        with self.lock:
            rows = self.db.execute("SELECT operation, params FROM calls ORDER BY seq").fetchall()
        return [{"operation": op, "params": json.loads(params)} for op, params in rows]


class Failures:
    def __init__(self):
        self.lock = threading.Lock()
        self.rules = {}

    def set(self, rule):
        with self.lock:
            rule = dict(rule)
            rule["seen"] = 0
            self.rules[rule["operation"]] = rule

    def clear(self):
        with self.lock:
            self.rules.clear()

    def take(self, operation, params=None):
        """The failure rule that applies to this call of the operation, if any."""
        with self.lock:
            rule = self.rules.get(operation)
            if rule is None:
                return None
            where = rule.get("where") or {}
            if any(str((params or {}).get(name)) != str(value) for name, value in where.items()):
                return None
            rule["seen"] += 1
            after = int(rule.get("after", 0))
            times = rule.get("times")
            if rule["seen"] <= after or (times is not None and rule["seen"] > after + int(times)):
                return None
            return rule


def wsdl():
    types, messages, port_ops, binding_ops = [], [], [], []
    for op, (params, result) in OPERATIONS.items():
        fields = "".join('<s:element minOccurs="%d" maxOccurs="1" name="%s" type="s:%s"/>'
                         % (1 if kind != "string" else 0, name, kind) for name, kind in params)
        types.append('<s:element name="%s"><s:complexType><s:sequence>%s</s:sequence></s:complexType></s:element>'
                     % (op, fields))
        out = ('<s:element minOccurs="%d" maxOccurs="1" name="%s" type="s:%s"/>'
               % (1 if result == "IsUnique" else 0, result, "boolean" if result == "IsUnique" else "string")
               if result else "")
        types.append('<s:element name="%sResponse"><s:complexType><s:sequence>%s</s:sequence></s:complexType>'
                     '</s:element>' % (op, out))
        messages.append('<wsdl:message name="%sSoapIn"><wsdl:part name="parameters" element="tns:%s"/></wsdl:message>'
                        '<wsdl:message name="%sSoapOut"><wsdl:part name="parameters" element="tns:%sResponse"/>'
                        '</wsdl:message>' % (op, op, op, op))
        port_ops.append('<wsdl:operation name="%s"><wsdl:input message="tns:%sSoapIn"/>'
                        '<wsdl:output message="tns:%sSoapOut"/></wsdl:operation>' % (op, op, op))
        binding_ops.append('<wsdl:operation name="%s"><soap:operation soapAction="%s%s" style="document"/>'
                           '<wsdl:input><soap:body use="literal"/></wsdl:input>'
                           '<wsdl:output><soap:body use="literal"/></wsdl:output></wsdl:operation>' % (op, NS, op))
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<wsdl:definitions xmlns:wsdl="http://schemas.xmlsoap.org/wsdl/" '
            'xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/" xmlns:s="http://www.w3.org/2001/XMLSchema" '
            'xmlns:tns="%s" targetNamespace="%s">'
            '<wsdl:types><s:schema elementFormDefault="qualified" targetNamespace="%s">%s</s:schema></wsdl:types>'
            '%s<wsdl:portType name="OstrelServiceSoap">%s</wsdl:portType>'
            '<wsdl:binding name="OstrelServiceSoap" type="tns:OstrelServiceSoap">'
            '<soap:binding transport="http://schemas.xmlsoap.org/soap/http"/>%s</wsdl:binding>'
            '<wsdl:service name="OstrelService"><wsdl:port name="OstrelServiceSoap" binding="tns:OstrelServiceSoap">'
            '<soap:address location="%%s"/></wsdl:port></wsdl:service></wsdl:definitions>'
            % (NS, NS, NS, "".join(types), "".join(messages), "".join(port_ops), "".join(binding_ops)))


def envelope(body):
    return ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="%s" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema">'
            '<soap:Body>%s</soap:Body></soap:Envelope>' % (SOAP_NS, body))


def fault(code, message):
    return envelope('<soap:Fault><faultcode>soap:%s</faultcode><faultstring>%s</faultstring><detail/></soap:Fault>'
                    % (code, text(message)))


HTML_ERROR = ('<!DOCTYPE html><html><head><title>Runtime Error</title></head><body><h1>Server Error in '
              '\'/\' Application.</h1><p>Injected failure.</p></body></html>')
ENTITY_BOMB = ('<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;'
               '&lol;&lol;&lol;&lol;&lol;"><!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;'
               '&lol2;"><!ENTITY ext SYSTEM "file:///etc/passwd">]>')
INNER_DTD = '<!DOCTYPE inner [<!ENTITY injected "DROP TABLE dbo.Orders">]>'
DEEP_NESTING = "<x>" * 100000 + "</x>" * 100000


def after_second_start_tag(document, markup):
    """Inserts markup inside the root element: after its first child's start tag (the SOAP body's)."""
    position = 0
    for _ in range(2):
        position = document.index("<", position)
        while document[position + 1] in "?!":
            position = document.index("<", position + 1)
        position = document.index(">", position) + 1
    return document[:position] + markup + document[position:]


class Service:
    """The operations: each takes the parsed parameters and returns the result text or None."""

    def __init__(self, store):
        self.store = store

    def GetDbCheckConstraint(self, p):
        return self.store.get("CHECK_CONSTRAINT", p["SchemaName"], "", p["ConstraintName"], p["DbVer"])

    def GetDbView(self, p):
        return self.store.get("VIEW", p["SchemaName"], "", p["ViewName"], p["DbVer"])

    def GetDbRoutine(self, p):
        return self.store.get("ROUTINE", p["SchemaName"], "", p["RoutineName"], p["DbVer"])

    def GetDbIndex(self, p):
        # The port cannot say "unknown": an index the service does not hold is not unique.
        return self.store.get("INDEX", p["SchemaName"], p["TableName"], p["IndexName"], p["DbVer"]) or "false"

    def SaveDbSchema(self, p):
        self.store.put("SCHEMA", p["SchemaName"], "", p["SchemaName"], p["DbVer"], p["SchemaOwner"])

    def SaveDbView(self, p):
        self.store.put("VIEW", p["ViewSchema"], "", p["ViewName"], p["DbVer"], p["ViewDefinition"])

    def SaveDbIndex(self, p):
        self.store.put("INDEX", p["TableSchema"], p["TableName"], p["IndexName"], p["DbVer"],
                       "true" if p["IsUnique"] else "false")

    def SaveDbRoutine(self, p):
        self.store.put("ROUTINE", p["RoutineSchema"], "", p["RoutineName"], p["DbVer"], p["SourceCode"],
                       p["RoutineType"])

    def SaveDbCheckConstraint(self, p):
        self.store.put("CHECK_CONSTRAINT", p["TableSchema"], "", p["ConstraintName"], p["DbVer"], p["CheckClause"],
                       extra={"TABLE_NAME": p["TableName"], "CONSTRAINT_SCHEMA": p["ConstraintSchema"]})

    def SaveDbReferentialConstraint(self, p):
        self.store.put("REFERENTIAL_CONSTRAINT", p["ConstraintSchema"], "", p["ConstraintName"], p["DbVer"], "",
                       extra={k: p[k] for k in ("TableSchema", "TableName", "UniqueConstraintSchema",
                                                "UniqueConstraintName", "UpdateRule", "DeleteRule")})

    def SaveDbAnomaly(self, p):
        return None


def parse_request(body, action):
    """The operation and its parameters, checked against the contract; ClientError otherwise."""
    if b"<!DOCTYPE" in body:
        raise ClientError("A document type declaration is not allowed in a SOAP message")
    try:
        root = ET.fromstring(body)
    except ET.ParseError as error:
        raise ClientError("The request is not well-formed XML: %s" % error)
    if root.tag != "{%s}Envelope" % SOAP_NS:
        raise ClientError("The root element must be the SOAP 1.1 Envelope, not %s" % root.tag)
    children = list(root)
    if children and children[0].tag == "{%s}Header" % SOAP_NS:
        children = children[1:]
    if len(children) != 1 or children[0].tag != "{%s}Body" % SOAP_NS:
        raise ClientError("The envelope must hold exactly one SOAP Body")
    payload = list(children[0])
    if len(payload) != 1:
        raise ClientError("The SOAP Body must hold exactly one element")
    request = payload[0]
    if not request.tag.startswith("{%s}" % NS):
        raise ClientError("The request element %s is not in the namespace %s" % (request.tag, NS))
    operation = request.tag[len(NS) + 2:]
    if operation not in OPERATIONS:
        raise ClientError("Unknown operation %s" % operation)
    if action != NS + operation:
        raise ClientError("Server did not recognize the value of HTTP Header SOAPAction: %s" % action)
    declared, _ = OPERATIONS[operation]
    names = [element.tag for element in request]
    expected = ["{%s}%s" % (NS, name) for name, _ in declared]
    if names != expected:
        raise ClientError("%s expects the parameters %s in this order, got %s"
                          % (operation, [n for n, _ in declared], names))
    params = {}
    for (name, kind), element in zip(declared, request):
        if len(element):
            raise ClientError("Parameter %s must hold text only" % name)
        value = element.text or ""
        if kind == "int":
            try:
                number = int(value.strip())
            except ValueError:
                raise ClientError("Parameter %s is not an integer: %r" % (name, value))
            if not -2 ** 31 <= number < 2 ** 31:
                raise ClientError("Parameter %s is out of range: %r" % (name, value))
            value = number
        elif kind == "boolean":
            if value.strip() not in ("true", "false", "1", "0"):
                raise ClientError("Parameter %s is not a boolean: %r" % (name, value))
            value = value.strip() in ("true", "1")
        params[name] = value
    return operation, params


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True
    server_version = "GoldService/1.0"

    def setup(self):
        super().setup()
        self.counted = False
        with self.server.counter_lock:
            self.server.accepted += 1

    def finish(self):
        with self.server.counter_lock:
            # A connection counted before the last reset no longer counts as open.
            if self.counted and self.generation == self.server.generation:
                self.server.open -= 1
        super().finish()

    def log_message(self, format, *args):
        pass

    # --- plumbing -------------------------------------------------------------------------

    def answer(self, status, body, content_type="text/xml; charset=utf-8", length=None, close=False):
        data = body.encode("utf-8") if isinstance(body, str) else body
        head = ["HTTP/1.1 %d %s" % (status, self.responses.get(status, ("",))[0]),
                "Content-Type: " + content_type,
                "Content-Length: %d" % (len(data) if length is None else length)]
        if close:
            head.append("Connection: close")
            self.close_connection = True
        self.wfile.write(("\r\n".join(head) + "\r\n\r\n").encode("ascii") + data)

    def service_request(self):
        if not self.counted:
            self.counted = True
            with self.server.counter_lock:
                self.server.connections += 1
                self.generation = self.server.generation
                self.server.open += 1
                self.server.peak = max(self.server.peak, self.server.open)
        with self.server.counter_lock:
            self.server.requests += 1
        if self.server.latency:
            time.sleep(self.server.latency)

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def fail(self, rule, normal):
        """Answers according to a failure rule; returns True when the answer has been given."""
        mode = rule.get("mode")
        if mode == "slow":
            time.sleep(float(rule.get("delay", 5)))
            return False
        if mode == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return True
        if mode == "fault":
            self.answer(500, fault("Server", "Injected failure in %s" % rule["operation"]))
        elif mode == "http500":
            self.answer(500, HTML_ERROR, "text/html; charset=utf-8")
        elif mode == "busy":
            self.answer(503, "<html><body>Service Unavailable: the server is too busy.</body></html>",
                        "text/html; charset=utf-8")
        elif mode == "close":
            self.answer(200, normal(), close=True)
        elif mode == "html":
            self.answer(200, HTML_ERROR, "text/html; charset=utf-8")
        elif mode == "garbage":
            self.answer(200, "this is not XML at all", "text/plain")
        elif mode == "truncated":
            data = normal().encode("utf-8")
            self.answer(200, data[:len(data) // 2])
        elif mode == "cut":
            data = normal().encode("utf-8")
            self.answer(200, data[:len(data) // 2], length=len(data), close=True)
            self.connection.shutdown(socket.SHUT_RDWR)
        elif mode == "textversion":
            self.answer(200, re.sub(r"<DbVersion>(\d+)</DbVersion>", r"<DbVersion>v\1</DbVersion>", normal()))
        elif mode == "dtd":
            self.answer(200, ENTITY_BOMB + normal().split("?>", 1)[1])
        elif mode == "innerdtd":
            self.answer(200, after_second_start_tag(normal(), INNER_DTD))
        elif mode == "deep":
            self.answer(200, after_second_start_tag(normal(), DEEP_NESTING))
        elif mode == "large":
            data = normal().encode("utf-8")
            time.sleep(float(rule.get("delay", 0)))
            try:
                self.answer(200, data + b" " * max(0, int(rule.get("size", 0)) - len(data)))
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True
        else:
            return False
        return True

    # --- requests -------------------------------------------------------------------------

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path.startswith("/control/"):
            return self.control_get(url.path)
        self.service_request()
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        if url.path == ENDPOINT and url.query.lower() == "wsdl":
            location = "http://%s:%d%s" % (self.server.server_address[0], self.server.server_address[1], ENDPOINT)
            return self.answer(200, wsdl().replace("%s", location, 1))
        if not url.path.endswith(".asp"):
            return self.answer(404, "<html><body>Not found</body></html>", "text/html")
        page = url.path[1:-4]
        builders = {"GetDbRoutineList": self.routine_list, "GetDbRoutineVersions": self.routine_versions,
                    "DbProcList": self.proc_list}
        builder = builders.get(page) or (lambda q: self.list_page(page) if page in LIST_PAGES else None)
        try:
            content = builder(query)
        except ValueError as error:
            return self.answer(400, "<html><body>%s</body></html>" % text(str(error)), "text/html")
        if content is None:
            return self.answer(404, "<html><body>Not found</body></html>", "text/html")
        rule = self.server.failures.take(page)
        if rule and self.fail(rule, lambda: content):
            return
        self.answer(200, content)

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        body = self.body()
        if url.path.startswith("/control/"):
            return self.control_post(url.path, body)
        self.service_request()
        if url.path != ENDPOINT:
            return self.answer(404, "<html><body>Not found</body></html>", "text/html")
        content_type = (self.headers.get("Content-Type") or "").lower().replace(" ", "")
        if not content_type.startswith("text/xml") or "charset=utf-8" not in content_type:
            return self.answer(415, fault("Client", "Content-Type must be text/xml; charset=utf-8"))
        action = self.headers.get("SOAPAction")
        if action is None:
            return self.answer(500, fault("Client", "The SOAPAction header is missing"))
        try:
            operation, params = parse_request(body, action.strip().strip('"'))
        except ClientError as error:
            return self.answer(500, fault("Client", str(error)))
        self.server.store.record(operation, params)
        _, result_element = OPERATIONS[operation]

        def normal(value=None, with_result=True):
            inner = ""
            if result_element and with_result and value is not None:
                inner = "<%s>%s</%s>" % (result_element, text(value), result_element)
            return envelope('<%sResponse xmlns="%s">%s</%sResponse>' % (operation, NS, inner, operation))

        rule = self.server.failures.take(operation, params)
        if rule:
            mode = rule.get("mode")
            if mode == "noresult":
                return self.answer(200, normal(None))
            if mode == "emptyresult":
                return self.answer(200, normal(""))
            if mode == "nowrapper":
                return self.answer(200, envelope('<Unexpected xmlns="%s"/>' % NS))
            if mode == "badbool":
                return self.answer(200, normal("maybe"))
            if self.fail(rule, lambda: normal(getattr(self.server.service, operation)(params))):
                return
        try:
            value = getattr(self.server.service, operation)(params)
        except Exception as error:  # a store failure is the service's own fault
            return self.answer(500, fault("Server", "%s failed: %s" % (operation, error)))
        self.answer(200, normal(value))

    # --- pages ----------------------------------------------------------------------------

    def list_page(self, list_name):
        kind, element = LIST_PAGES[list_name]
        items = [self.element(kind, element, row) for row in self.server.store.latest(kind)]
        return '<?xml version="1.0" encoding="utf-8"?><Database><%s>%s</%s></Database>' % (
            list_name, "".join(items), list_name)

    @staticmethod
    def element(kind, element, row):
        schema, table, name, _version, definition, routine_type, extra = row
        extra = json.loads(extra)
        if kind == "VIEW":
            return '<VIEW TABLE_SCHEMA=%s TABLE_NAME=%s>%s</VIEW>' % (
                attr(schema), attr(name), text("\r\n" + definition + "\r\n"))
        if kind == "ROUTINE":
            return '<ROUTINE ROUTINE_SCHEMA=%s ROUTINE_NAME=%s ROUTINE_TYPE=%s>%s</ROUTINE>' % (
                attr(schema), attr(name), attr(routine_type), text("\r\n" + definition + "\r\n"))
        if kind == "INDEX":
            return '<INDEX TABLE_SCHEMA=%s TABLE_NAME=%s INDEX_NAME=%s IS_UNIQUE=%s/>' % (
                attr(schema), attr(table), attr(name), attr(definition))
        if kind == "CHECK_CONSTRAINT":
            return ('<CHECK_CONSTRAINT CONSTRAINT_SCHEMA=%s CONSTRAINT_NAME=%s TABLE_NAME=%s TABLE_SCHEMA=%s '
                    'CHECK_CLAUSE=%s/>' % (attr(extra.get("CONSTRAINT_SCHEMA", schema)), attr(name),
                                           attr(extra.get("TABLE_NAME", "")), attr(schema), attr(definition)))
        if kind == "SCHEMA":
            return '<SCHEMA SCHEMA_NAME=%s SCHEMA_OWNER=%s/>' % (attr(name), attr(definition))
        return ('<REFERENTIAL_CONSTRAINT CONSTRAINT_SCHEMA=%s CONSTRAINT_NAME=%s TABLE_NAME=%s TABLE_SCHEMA=%s '
                'UNIQUE_CONSTRAINT_NAME=%s UNIQUE_CONSTRAINT_SCHEMA=%s UPDATE_RULE=%s DELETE_RULE=%s/>'
                % (attr(schema), attr(name), attr(extra.get("TableName", "")), attr(extra.get("TableSchema", "")),
                   attr(extra.get("UniqueConstraintName", "")), attr(extra.get("UniqueConstraintSchema", "")),
                   attr(extra.get("UpdateRule", "")), attr(extra.get("DeleteRule", ""))))

    def routine_list(self, query):
        values = query.get("MaxVersion")
        if not values:
            raise ValueError("MaxVersion is missing")
        max_version = int(values[0])
        # Grouped per schema, so a reader must find ROUTINE elements at any depth.
        groups = {}
        for row in self.server.store.latest("ROUTINE", max_version):
            groups.setdefault(row[0], []).append(self.element("ROUTINE", "ROUTINE", row))
        return '<?xml version="1.0" encoding="utf-8"?><RoutineList MaxVersion="%d">%s</RoutineList>' % (
            max_version, "".join('<Schema Name=%s>%s</Schema>' % (attr(s), "".join(r)) for s, r in groups.items()))

    def routine_versions(self, query):
        schema = (query.get("RoutineSchema") or [""])[0]
        name = (query.get("RoutineName") or [""])[0]
        rows = self.server.store.versions("ROUTINE", schema, name)
        return ('<?xml version="1.0" encoding="utf-8"?><DbRoutineVersions RoutineSchema=%s RoutineName=%s>%s'
                '</DbRoutineVersions>' % (attr(schema), attr(name), "".join(
                    '<DbRoutine><DbVersion>%d</DbVersion><SourceCode>%s</SourceCode></DbRoutine>'
                    % (version, text(source)) for version, source in rows)))

    def proc_list(self, query):
        rows = self.server.store.latest("ROUTINE")
        return '<?xml version="1.0" encoding="utf-8"?><DbProcList>%s</DbProcList>' % "".join(
            '<Proc Schema=%s Name=%s/>' % (attr(row[0]), attr(row[2])) for row in rows)

    # --- control --------------------------------------------------------------------------

    def control_get(self, path):
        server = self.server
        if path == "/control/state":
            with server.counter_lock:
                state = {"accepted": server.accepted, "connections": server.connections, "requests": server.requests,
                         "peak": server.peak}
            return self.answer(200, json.dumps(state), "application/json")
        if path == "/control/calls":
            return self.answer(200, json.dumps(server.store.calls()), "application/json")
        return self.answer(404, "{}", "application/json")

    def control_post(self, path, body):
        server = self.server
        if path == "/control/fail":
            server.failures.set(json.loads(body or b"{}"))
        elif path == "/control/reset":
            server.store.reset()
            server.failures.clear()
            with server.counter_lock:
                server.accepted = 0
                server.connections = 0
                server.requests = 0
                server.generation += 1
                server.open = 0
                server.peak = 0
        else:
            return self.answer(404, "{}", "application/json")
        self.answer(200, "{}", "application/json")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    # Clients open several connections at once; a short backlog would drop some of them and
    # leave the client waiting a second for its retry.
    request_queue_size = 128

    def handle_error(self, request, client_address):
        # A client that gave up on a slow answer, or abandoned a request, is no error here.
        if not isinstance(sys.exc_info()[1], (ConnectionResetError, BrokenPipeError)):
            super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fixture", help="JSON file with the gold standard to start from")
    parser.add_argument("--store", default=":memory:", help="SQLite file of the store (default: in memory)")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (default: any free one)")
    parser.add_argument("--latency", type=float, default=0, help="milliseconds to hold back every service answer")
    args = parser.parse_args()

    fixture = {}
    if args.fixture:
        with open(args.fixture, encoding="utf-8") as file:
            fixture = json.load(file)
    server = Server(("127.0.0.1", args.port), Handler)
    server.store = Store(args.store, fixture)
    server.service = Service(server.store)
    server.failures = Failures()
    server.counter_lock = threading.Lock()
    server.accepted = 0
    server.connections = 0
    server.requests = 0
    server.open = 0
    server.generation = 0
    server.peak = 0
    server.latency = args.latency / 1000.0
    print(server.server_address[1], flush=True)

    def watch_parent():
        while sys.stdin.buffer.read(65536):
            pass
        server.shutdown()

    threading.Thread(target=watch_parent, daemon=True).start()
    server.serve_forever(poll_interval=0.2)
    server.server_close()


if __name__ == "__main__":
    main()
