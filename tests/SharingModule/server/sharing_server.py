#!/usr/bin/env python3
"""Sharing service stand-in for the sharing client's tests and benchmarks.

    python3 sharing_server.py --port 0 --blob-base http://127.0.0.1:P/ACCOUNT --account ACCOUNT --key BASE64KEY

Listens on 127.0.0.1, prints "PORT <n>" on its first stdout line once
listening, and serves the sharing protocol under /api/v1 (docs/DESIGN.md,
"Sharing service protocol"): user summaries, layouts, likes (HTTP Basic
authentication), download counts, and container signatures for the blob
service stand-in at --blob-base, signed with that account's key by the
blob server's own signing code. A JSON control API lives under /__control/:
reset, users, layouts, faults, the signature lifetime, the request log and
the counts. Written apart from the client under test.
"""

import argparse
import base64
import binascii
import datetime
import json
import os
import re
import signal
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "storage", "server"))

from blob_auth import SERVICE_VERSION, sign  # noqa: E402
from blob_server import Server  # noqa: E402

API_PREFIX = "/api/v1/"
CONTROL_PREFIX = "/__control/"


def iso_time(seconds):
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


class FaultRule:
    """{"method"?, "path_regex"?, "times"?, "action": {...}}; see Handler.send_faulted."""

    def __init__(self, spec):
        if not isinstance(spec, dict) or not isinstance(spec.get("action"), dict):
            raise ValueError("a fault rule is an object with an \"action\" object")
        self.method = spec.get("method")
        self.path = re.compile(spec["path_regex"]) if "path_regex" in spec else None
        self.times = spec.get("times")
        self.action = spec["action"]

    def matches(self, method, path):
        if self.times is not None and self.times <= 0:
            return False
        if self.method is not None and self.method != method:
            return False
        return self.path is None or self.path.search(path) is not None


class App:
    def __init__(self, blob_base, account, key):
        self.blob_base = blob_base.rstrip("/")
        self.account = account
        self.key = key
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        with self.lock:
            self.users = {}
            self.layouts = {}
            self.likes = {}
            self.downloads = {}
            self.faults = []
            self.requests = []
            self.sas_lifetime = 3600

    def take_fault(self, method, path):
        with self.lock:
            for rule in self.faults:
                if rule.matches(method, path):
                    if rule.times is not None:
                        rule.times -= 1
                    return rule.action
        return None

    def container_signature(self, name):
        expiry = iso_time(time.time() + self.sas_lifetime)
        resource = "/blob/%s/%s" % (self.account, name)
        # Container signature: permissions, start, expiry, resource, identifier, IP, protocol, version, headers.
        text = "\n".join(["r", "", expiry, resource, "", "", "", SERVICE_VERSION, "", "", "", "", ""])
        token = urllib.parse.urlencode({"sv": SERVICE_VERSION, "sr": "c", "sp": "r", "se": expiry,
                                        "sig": sign(self.key, text)}, quote_via=urllib.parse.quote)
        return {"containerUrl": "%s/%s" % (self.blob_base, name), "sasToken": token, "expiresOn": expiry}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):  # noqa: A002 - the base class names it so
        pass

    def do_GET(self):
        self.handle_any()

    do_POST = do_GET
    do_PUT = do_GET
    do_DELETE = do_GET

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def handle_any(self):
        app = self.server.app
        parsed = urllib.parse.urlsplit(self.path)
        body = self.read_body()
        if parsed.path.startswith(CONTROL_PREFIX):
            return self.handle_control(parsed.path[len(CONTROL_PREFIX):], body)
        with app.lock:
            app.requests.append({"method": self.command, "path": parsed.path, "query": parsed.query,
                                 "headers": [[n, v] for n, v in self.headers.items()],
                                 "body": body.decode("utf-8", "replace")})
        fault = app.take_fault(self.command, parsed.path)
        if fault is not None:
            return self.send_faulted(fault)
        if not parsed.path.startswith(API_PREFIX):
            return self.send_json(404, {"message": "no such route"})
        s = [urllib.parse.unquote(piece) for piece in parsed.path[len(API_PREFIX):].split("/")]
        route = (self.command, len(s))
        if route == ("GET", 3) and s[0] == "users" and s[2] == "summary":
            return self.user_summary(s[1])
        if route == ("GET", 2) and s[0] == "layouts":
            return self.layout(s[1])
        if route == ("POST", 3) and s[0] == "layouts" and s[2] == "likes":
            return self.like(s[1])
        if route == ("POST", 3) and s[0] == "layouts" and s[2] == "downloads":
            return self.count_download(s[1])
        if route == ("GET", 4) and s[0] == "storage" and s[1] == "containers" and s[3] == "sas":
            return self.send_json(200, app.container_signature(s[2]))
        return self.send_json(404, {"message": "no such route"})

    # The protocol -----------------------------------------------------------------

    def authenticated_user(self):
        header = self.headers.get("Authorization") or ""
        scheme, _, encoded = header.partition(" ")
        if scheme != "Basic":
            return None
        try:
            user, _, password = base64.b64decode(encoded, validate=True).decode("utf-8").partition(":")
        except (binascii.Error, ValueError):
            return None
        record = self.server.app.users.get(user)
        return user if record is not None and record.get("password") == password else None

    def layout_json(self, layout_id):
        app = self.server.app
        entity = dict(app.layouts[layout_id])
        entity["likeUsers"] = list(entity.get("likeUsers", [])) + app.likes.get(layout_id, [])
        return entity

    def user_summary(self, user_id):
        app = self.server.app
        with app.lock:
            record = app.users.get(user_id)
            summary = None if record is None else {k: v for k, v in record.items() if k != "password"}
        if summary is None:
            return self.send_json(404, {"message": "no such user"})
        summary["userId"] = user_id
        return self.send_json(200, summary)

    def layout(self, layout_id):
        app = self.server.app
        with app.lock:
            entity = self.layout_json(layout_id) if layout_id in app.layouts else None
        if entity is None:
            return self.send_json(404, {"message": "no such layout"})
        return self.send_json(200, entity)

    def like(self, layout_id):
        app = self.server.app
        user = self.authenticated_user()
        if user is None:
            return self.send_json(401, {"message": "sign in to like"}, [("WWW-Authenticate", 'Basic realm="layouts"')])
        with app.lock:
            if layout_id not in app.layouts:
                entity = None
            else:
                likes = app.likes.setdefault(layout_id, [])
                if user not in likes:
                    likes.append(user)
                entity = self.layout_json(layout_id)
        if entity is None:
            return self.send_json(404, {"message": "no such layout"})
        return self.send_json(200, entity)

    def count_download(self, layout_id):
        app = self.server.app
        with app.lock:
            app.downloads[layout_id] = app.downloads.get(layout_id, 0) + 1
        return self.send_raw(204, b"", None)

    # Faults -------------------------------------------------------------------------

    def send_faulted(self, action):
        """status/body/headers replace the answer; content_length overrides the length sent;
        stall_before_headers waits first; huge_body sends that many bytes of "[" ;
        drop_after_bytes closes the connection after that many body bytes; no_length sends no
        Content-Length and ends the body by closing the connection."""
        time.sleep(float(action.get("stall_before_headers", 0)))
        status = int(action.get("status", 200))
        if "huge_body" in action:
            body = b"[" * int(action["huge_body"])
        else:
            body = str(action.get("body", "")).encode("utf-8")
        length = int(action.get("content_length", len(body)))
        head = "HTTP/1.1 %d Injected\r\nContent-Type: application/json\r\n" % status
        if not action.get("no_length"):
            head += "Content-Length: %d\r\n" % length
        for name, value in action.get("headers", []):
            head += "%s: %s\r\n" % (name, value)
        drop = action.get("drop_after_bytes")
        try:
            self.wfile.write((head + "\r\n").encode("utf-8"))
            self.wfile.write(body if drop is None else body[:int(drop)])
            self.wfile.flush()
        except OSError:
            pass
        if drop is not None or length != len(body) or action.get("no_length"):
            self.close_connection = True

    # Answers and the control API ---------------------------------------------------

    def send_json(self, status, value, headers=()):
        self.send_raw(status, json.dumps(value).encode("utf-8"), "application/json", headers)

    def send_raw(self, status, data, content_type, headers=()):
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        try:
            self.wfile.write(data)
        except OSError:
            self.close_connection = True

    def handle_control(self, route, body):
        app = self.server.app
        try:
            value = json.loads(body or b"null")
            if (self.command, route) == ("POST", "reset"):
                app.reset()
            elif (self.command, route) == ("POST", "users"):
                with app.lock:
                    app.users.update(value)
            elif (self.command, route) == ("POST", "layouts"):
                with app.lock:
                    for entity in value:
                        app.layouts[entity["id"]] = entity
            elif (self.command, route) == ("POST", "faults"):
                rules = [FaultRule(item) for item in (value if isinstance(value, list) else [value])]
                with app.lock:
                    app.faults.extend(rules)
            elif (self.command, route) == ("POST", "sas_lifetime"):
                with app.lock:
                    app.sas_lifetime = float(value)
            elif (self.command, route) == ("GET", "requests"):
                with app.lock:
                    return self.send_json(200, list(app.requests))
            elif (self.command, route) == ("GET", "counts"):
                with app.lock:
                    return self.send_json(200, {"downloads": app.downloads, "likes": app.likes})
            else:
                return self.send_json(404, {"error": "unknown control route"})
            return self.send_json(200, {"ok": True})
        except (ValueError, TypeError, KeyError, re.error) as error:
            return self.send_json(400, {"error": str(error)})


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--blob-base", required=True, help="the blob service's base address with the account")
    parser.add_argument("--account", required=True)
    parser.add_argument("--key", required=True, help="the blob account's key, base64")
    args = parser.parse_args(argv)
    try:
        key = base64.b64decode(args.key, validate=True)
    except (binascii.Error, ValueError):
        parser.error("--key is not valid base64")
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server = Server(("127.0.0.1", args.port), Handler)
    server.app = App(args.blob_base, args.account, key)
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
