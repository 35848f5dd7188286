#!/usr/bin/env python3
"""Blob service stand-in for the storage client's tests and benchmarks.

    python3 blob_server.py --port 0 --account NAME --key BASE64KEY [--secondary]

Listens on 127.0.0.1, prints "PORT <n>" on its first stdout line once
listening, and serves path-style addresses /<account>/<container>[/<blob>]
(with --secondary also /<account>-secondary/..., read-only, same data).
Requests are authorised by the server itself. A JSON test-control API lives
under /__control/ (not authorised): reset, faults, the request log, stats and
direct blob access.
"""

import argparse
import base64
import binascii
import http
import json
import os
import re
import signal
import socket
import sys
import threading
import time
import traceback
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from blob_auth import SERVICE_VERSION, Authorizer, pct_decode, split_query  # noqa: E402
from blob_errors import ServiceError  # noqa: E402
from blob_store import Response, Store, http_date, md5_b64, roundtrip_time  # noqa: E402

PIECE = 1024 * 1024
SMALL_BODY = 64 * 1024
CONTROL_PREFIX = "/__control/"
METHODS = ("GET", "PUT", "HEAD", "DELETE")
WRITE_METHODS = ("PUT", "DELETE")
EMPTY_MD5 = md5_b64(b"")


class ClientGone(Exception):
    """The peer closed the connection or sent a body we cannot read."""


class ParsedRequest:
    def __init__(self, method, raw_path, raw_query, header_list, client_ip):
        self.method = method
        self.raw_path = raw_path
        self.raw_query = raw_query
        self.header_list = header_list
        self.client_ip = client_ip
        self._lookup = {}
        for name, value in header_list:
            self._lookup.setdefault(name.lower(), []).append(value)
        self.query = {}
        for name, value in split_query(raw_query):
            self.query[name.lower()] = value
        self.account_segment = None
        self.container = None
        self.blob = None
        self.secondary = False
        self.body = b""
        self.body_md5 = EMPTY_MD5
        self.sas_overrides = {}

    def header(self, name):
        values = self._lookup.get(name.lower())
        return ",".join(values) if values is not None else None

    def parse_address(self):
        """Splits /<account>/<container>/<blob>; blob names may hold "/"."""
        segments = self.raw_path[1:].split("/", 2) if self.raw_path.startswith("/") else [""]
        self.account_segment = pct_decode(segments[0])
        if len(segments) > 1 and segments[1] != "":
            self.container = pct_decode(segments[1])
            if len(segments) > 2 and segments[2] != "":
                self.blob = pct_decode(segments[2])


class FaultRule:
    def __init__(self, spec):
        if not isinstance(spec, dict) or not isinstance(spec.get("action"), dict):
            raise ValueError("a fault rule is an object with an \"action\" object")
        self.method = spec.get("method")
        self.path_regex = re.compile(spec["path_regex"]) if spec.get("path_regex") else None
        self.query_contains = spec.get("query_contains")
        self.operation = spec.get("operation")
        self.skip = int(spec.get("skip", 0))
        self.times = int(spec.get("times", 1))
        self.action = spec["action"]
        known = {"status", "code", "message", "body", "no_body", "drop_after_bytes", "stall_before_headers",
                 "stall_after_bytes", "wrong_md5", "slow_body_bytes_per_second", "drop_answer", "headers"}
        unknown = set(self.action) - known
        if unknown or not self.action:
            raise ValueError("unknown fault action %s" % sorted(unknown or ["(empty)"]))
        if "stall_after_bytes" in self.action:
            count, seconds = self.action["stall_after_bytes"]
            self.action["stall_after_bytes"] = [int(count), float(seconds)]

    def matches(self, method, raw_path, raw_query, kind):
        if self.method and self.method.upper() != method:
            return False
        if self.path_regex and not self.path_regex.search(raw_path):
            return False
        if self.query_contains and self.query_contains not in raw_query:
            return False
        if self.operation and self.operation != kind:
            return False
        return True


class App:
    """State shared by all connections: the store, the authoriser, faults, log and stats."""

    def __init__(self, account, key_bytes, secondary):
        self.account = account
        self.secondary_enabled = secondary
        self.port = 0
        self.store = Store(account, self.base_url_of)
        self.authorizer = Authorizer(account, key_bytes)
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        with self.lock:
            self.faults = []
            self.requests = []
            self.in_flight = {}
            self.max_in_flight = {}
            self.counts = {}
        self.store.reset()

    def base_url_of(self, req):
        return "http://127.0.0.1:%d/%s" % (self.port, req.account_segment)

    # Log, faults, stats -------------------------------------------------------

    def record_arrival(self, record):
        with self.lock:
            self.requests.append(record)

    def take_fault(self, method, raw_path, raw_query, kind):
        with self.lock:
            for rule in self.faults:
                if rule.times == 0 or not rule.matches(method, raw_path, raw_query, kind):
                    continue
                if rule.skip > 0:
                    rule.skip -= 1
                    continue
                if rule.times > 0:
                    rule.times -= 1
                return rule.action
        return None

    def enter(self, kind):
        with self.lock:
            now = self.in_flight.get(kind, 0) + 1
            self.in_flight[kind] = now
            self.max_in_flight[kind] = max(self.max_in_flight.get(kind, 0), now)
            self.counts[kind] = self.counts.get(kind, 0) + 1

    def leave(self, kind):
        with self.lock:
            self.in_flight[kind] -= 1

    # Processing ---------------------------------------------------------------

    def address_error(self, req):
        if req.account_segment == self.account:
            return None
        if self.secondary_enabled and req.account_segment == self.account + "-secondary":
            req.secondary = True
            return None
        return ServiceError(400, "InvalidUri", "The requested URI does not represent any resource on the server.")

    def process(self, req, kind):
        try:
            req.sas_overrides = self.authorizer.authorize(req, kind, self.store)
            version = req.header("x-bs-version")
            if version is None:
                raise ServiceError(400, "MissingRequiredHeader", "An HTTP header that's mandatory for this request "
                                   "is not specified.", [("HeaderName", "x-bs-version")])
            if version != SERVICE_VERSION:
                raise ServiceError(400, "InvalidHeaderValue", "The value for one of the HTTP headers is not in the "
                                   "correct format.", [("HeaderName", "x-bs-version"), ("HeaderValue", version)])
            if req.secondary and req.method in WRITE_METHODS:
                raise ServiceError(403, "InsufficientAccountPermissions", "The account being accessed does not "
                                   "have sufficient permissions to execute this operation.")
            return self.store.run(kind, req)
        except ServiceError as error:
            return error_response(error)
        except Exception:  # a bug of the stand-in must not take the server down
            traceback.print_exc(file=sys.stderr)
            return error_response(ServiceError(500, "InternalError", "The server encountered an internal error. "
                                               "Please retry the request."))


def error_response(error):
    response = Response(error.status, error.headers)
    response.error = error
    return response


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "BlobTestServer/1.0"
    sys_version = ""

    def setup(self):
        super().setup()
        try:
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        except OSError:
            pass

    def log_message(self, format, *args):  # noqa: A002 - the base class names it so
        if self.server.verbose:
            sys.stderr.write("%s\n" % (format % args))

    def do_GET(self):
        self.handle_any()

    do_PUT = do_HEAD = do_DELETE = do_POST = do_OPTIONS = do_PATCH = do_GET

    # Reading ------------------------------------------------------------------

    def header_list(self):
        result = []
        for name, value in self.headers.items():
            result.append((name, value.encode("latin-1", "replace").decode("utf-8", "surrogateescape")))
        return result

    def read_body(self):
        if (self.headers.get("Transfer-Encoding") or "").lower() == "chunked":
            return self.read_chunked()
        length_text = self.headers.get("Content-Length")
        if not length_text:
            return b""
        try:
            length = int(length_text)
        except ValueError:
            raise ClientGone()
        if length < 0:
            raise ClientGone()
        body = bytearray(length)
        view = memoryview(body)
        done = 0
        while done < length:
            count = self.rfile.readinto(view[done:min(length, done + PIECE)])
            if not count:
                raise ClientGone()
            done += count
        return body

    def read_chunked(self):
        body = bytearray()
        while True:
            line = self.rfile.readline(1024)
            if not line:
                raise ClientGone()
            try:
                size = int(line.split(b";")[0].strip(), 16)
            except ValueError:
                raise ClientGone()
            if size == 0:
                while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                    pass
                return body
            chunk = self.rfile.read(size)
            if len(chunk) != size:
                raise ClientGone()
            body += chunk
            self.rfile.readline(1024)

    # Service requests -----------------------------------------------------------

    def handle_any(self):
        raw_path, _, raw_query = self.path.partition("?")
        if raw_path.startswith(CONTROL_PREFIX):
            self.handle_control(raw_path, raw_query)
            return
        app = self.server.app
        method = self.command
        arrival = time.monotonic()
        req = ParsedRequest(method, raw_path, raw_query, self.header_list(), self.client_address[0])
        record = {"method": method, "path": raw_path, "query": raw_query,
                  "headers": [[n, v] for n, v in req.header_list], "body_length": 0, "body_md5": EMPTY_MD5,
                  "time": arrival, "status": None, "operation": None, "fault": None}
        app.record_arrival(record)

        kind = None
        early_error = None
        if method not in METHODS:
            early_error = ServiceError(405, "UnsupportedHttpVerb", "The resource doesn't support specified Http "
                                       "Verb.")
        else:
            req.parse_address()
            early_error = app.address_error(req)
            if early_error is None:
                try:
                    kind = Store.identify(method, req.container, req.blob, req.query, req.header)
                except ServiceError as error:
                    early_error = error
        record["operation"] = kind
        fault = app.take_fault(method, raw_path, raw_query, kind)
        record["fault"] = fault
        stat_kind = kind or "invalid"
        app.enter(stat_kind)
        # A request is in flight until its answer starts: a client that has
        # the answer may send its next request before this thread would get
        # round to counting the first one out.
        in_flight = True
        try:
            try:
                body = self.read_body()
            except (ClientGone, OSError):
                self.close_connection = True
                return
            req.body = body
            req.body_md5 = md5_b64(body)
            record["body_length"] = len(body)
            record["body_md5"] = req.body_md5

            if fault and "status" in fault:
                response = fault_response(fault)
            else:
                if fault and "stall_before_headers" in fault:
                    time.sleep(float(fault["stall_before_headers"]))
                if early_error is not None:
                    response = error_response(early_error)
                else:
                    response = app.process(req, kind)
            record["status"] = response.status
            app.leave(stat_kind)
            in_flight = False
            if fault and fault.get("drop_answer"):
                # Carried out, but not a byte of the answer reaches the client.
                self.close_connection = True
                try:
                    self.connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                return
            self.send(req, response, fault or {})
        finally:
            if in_flight:
                app.leave(stat_kind)

    # Writing ------------------------------------------------------------------

    def send(self, req, response, fault):
        request_id = str(uuid.uuid4())
        now = time.time()
        body = response.body
        error = getattr(response, "error", None)
        if error is not None and response.status != 304:
            body = error.body(request_id, roundtrip_time(now))
            response.headers.append(("Content-Type", "application/xml"))
            response.entity_length = len(body)
        if response.status == 304:
            body = b""
            response.entity_length = 0
        raw_body = getattr(response, "raw_body", None)
        if raw_body is not None:
            body = raw_body
            response.entity_length = len(body)

        headers = list(response.headers)
        if fault.get("wrong_md5"):
            wrong = md5_b64(b"\x00" + bytes(memoryview(body)[:16]) + b"wrong")
            headers = [(n, v) for n, v in headers if n.lower() != "content-md5"]
            headers.append(("Content-MD5", wrong))
        headers.extend([("x-bs-request-id", request_id), ("x-bs-version", SERVICE_VERSION),
                        ("Date", http_date(now)), ("Server", self.server_version)])
        client_id = req.header("x-bs-client-request-id")
        if client_id is not None:
            headers.append(("x-bs-client-request-id", client_id))
        headers.append(("Content-Length", str(response.entity_length)))
        if self.close_connection:
            headers.append(("Connection", "close"))

        phrase = status_phrase(response.status)
        head = ["HTTP/1.1 %d %s\r\n" % (response.status, phrase)]
        head.extend("%s: %s\r\n" % (name, value) for name, value in headers)
        head.append("\r\n")
        head_bytes = "".join(head).encode("utf-8", "surrogateescape")
        if req.method == "HEAD":
            body = b""

        try:
            self.write_body(head_bytes, memoryview(body).cast("B") if len(body) else memoryview(b""), fault)
        except OSError:
            self.close_connection = True

    def write_body(self, head, body, fault):
        out = self.wfile
        drop = fault.get("drop_after_bytes")
        stall = fault.get("stall_after_bytes")
        rate = fault.get("slow_body_bytes_per_second")
        if drop is None and stall is None and not rate:
            if len(body) <= SMALL_BODY:
                out.write(head + body.tobytes())
                return
            out.write(head)
            for start in range(0, len(body), PIECE):
                out.write(body[start:start + PIECE])
            return

        out.write(head)
        limit = len(body) if drop is None else min(len(body), int(drop))
        sent = 0
        stalled = stall is None
        piece = PIECE
        if rate:
            piece = max(1, int(rate) // 20)
        while sent < limit:
            end = min(limit, sent + piece)
            if not stalled and stall[0] < end:
                end = max(sent, min(end, stall[0]))
            if rate:
                time.sleep((end - sent) / float(rate))
            if end > sent:
                out.write(body[sent:end])
            sent = end
            if not stalled and sent >= stall[0]:
                time.sleep(stall[1])
                stalled = True
        if drop is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    # Control API ----------------------------------------------------------------

    def handle_control(self, raw_path, raw_query):
        app = self.server.app
        try:
            body = self.read_body()
        except (ClientGone, OSError):
            self.close_connection = True
            return
        query = dict(split_query(raw_query))
        route = (self.command, raw_path[len(CONTROL_PREFIX):].rstrip("/"))
        try:
            if route == ("POST", "reset"):
                app.reset()
                return self.send_json(200, {"ok": True})
            if route == ("POST", "faults"):
                spec = json.loads(bytes(body) or b"[]")
                rules = [FaultRule(item) for item in (spec if isinstance(spec, list) else [spec])]
                with app.lock:
                    app.faults.extend(rules)
                    count = len(app.faults)
                return self.send_json(200, {"ok": True, "rules": count})
            if route == ("GET", "requests"):
                with app.lock:
                    records = [dict(r) for r in app.requests]
                return self.send_json(200, records)
            if route == ("GET", "stats"):
                with app.lock:
                    stats = {"max_in_flight": dict(app.max_in_flight), "count": dict(app.counts)}
                return self.send_json(200, stats)
            if route[1] == "blob" and self.command in ("GET", "POST"):
                account = query.get("account") or app.account
                container = query.get("container")
                blob = query.get("blob")
                if account != app.account or not container or not blob:
                    return self.send_json(400, {"error": "account, container and blob are required"})
                if self.command == "GET":
                    data = app.store.committed_bytes(container, blob, query.get("snapshot"))
                    if data is None:
                        return self.send_json(404, {"error": "no such committed blob"})
                    return self.send_raw(200, data, "application/octet-stream")
                app.store.preload(container, blob, body, query.get("content_type"),
                                  query.get("md5", "").lower() in ("1", "true"))
                return self.send_json(201, {"ok": True, "length": len(body)})
            return self.send_json(404, {"error": "unknown control route %s %s" % route})
        except (ValueError, TypeError, KeyError, re.error) as error:
            return self.send_json(400, {"error": str(error)})

    def send_json(self, status, value):
        self.send_raw(status, json.dumps(value).encode("utf-8"), "application/json")

    def send_raw(self, status, data, content_type):
        head = ("HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\nDate: %s\r\n\r\n"
                % (status, status_phrase(status), content_type, len(data), http_date(time.time())))
        try:
            self.write_body(head.encode("ascii"), memoryview(data).cast("B") if data else memoryview(b""), {})
        except OSError:
            self.close_connection = True


def fault_response(fault):
    status = int(fault["status"])
    # Extra answer headers, as [name, value] pairs.
    response = Response(status, [(str(name), str(value)) for name, value in fault.get("headers", [])])
    if fault.get("no_body"):
        response.raw_body = b""
    elif "body" in fault:
        response.raw_body = str(fault["body"]).encode("utf-8")
        response.headers.append(("Content-Type", "application/xml"))
    else:
        code, message = {
            500: ("InternalError", "The server encountered an internal error. Please retry the request."),
            503: ("ServerBusy", "The server is currently unable to receive requests. Please retry your request."),
        }.get(status, ("InjectedFault", "A fault injected by the test."))
        response.error = ServiceError(status, fault.get("code", code), fault.get("message", message))
    return response


def status_phrase(status):
    try:
        return http.HTTPStatus(status).phrase
    except ValueError:
        return "Status"


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--account", required=True)
    parser.add_argument("--key", required=True, help="account key, base64")
    parser.add_argument("--secondary", action="store_true", help="also serve /<account>-secondary, read-only")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args(argv)
    try:
        key = base64.b64decode(args.key, validate=True)
    except (binascii.Error, ValueError):
        parser.error("--key is not valid base64")

    # Stop at once on SIGTERM, whatever the connection threads are doing.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    app = App(args.account, key, args.secondary)
    server = Server((args.host, args.port), Handler)
    server.app = app
    server.verbose = args.verbose
    app.port = server.server_address[1]
    sys.stdout.write("PORT %d\n" % app.port)
    sys.stdout.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
