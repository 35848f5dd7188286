#!/usr/bin/env python3
"""Telemetry ingestion stand-in for the telemetry client's tests and benchmarks.

    python3 ingestion_server.py --port 0

Listens on 127.0.0.1 and prints "PORT <n>" on its first stdout line once
listening. Every request outside /__control/ is recorded: method, path, query,
headers and body. A gzip body ("Content-Encoding: gzip") is inflated; the body
is then read as {"logs": [...]} or as JSON lines (one object a line, each
line ended by "\n", which is checked). Answers come from a script per path:
a list of answers used in turn, then a default one. An answer is
{"status", "body", "headers", "delay" (seconds), "drop" (close the
connection without answering)}.

Control API (JSON):
    POST /__control/reset                 forget requests and scripts
    POST /__control/script                {"path", "answers": [...], "default": {...}}
                                          ("*" scripts every path without one)
    GET  /__control/requests              {"requests": [...]}
    GET  /__control/wait?count=N&timeout=S
                                          waits until N requests are answered
                                          (or dropped); 200, or 408 on time-out
"""

import argparse
import json
import os
import signal
import socket
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs

CONTROL_PREFIX = "/__control/"
DEFAULT_ANSWER = {"status": 200, "body": "", "headers": {}, "delay": 0.0, "drop": False}
MAX_BODY = 64 * 1024 * 1024


class App:
    def __init__(self):
        self.lock = threading.Condition()
        self.reset()

    def reset(self):
        with self.lock:
            self.requests = []
            self.scripts = {}
            self.answered = 0
            self.lock.notify_all()

    def set_script(self, path, answers, default):
        with self.lock:
            self.scripts[path] = {"answers": list(answers), "default": default}

    def take_answer(self, path):
        with self.lock:
            script = self.scripts.get(path) or self.scripts.get("*")
            if script is None:
                return dict(DEFAULT_ANSWER)
            chosen = script["answers"].pop(0) if script["answers"] else script["default"]
        answer = dict(DEFAULT_ANSWER)
        answer.update(chosen or {})
        return answer

    def record(self, record):
        with self.lock:
            record["index"] = len(self.requests)
            self.requests.append(record)

    def mark_answered(self, record, status):
        with self.lock:
            record["status"] = status
            record["answered"] = True
            self.answered += 1
            self.lock.notify_all()

    def wait_answered(self, count, timeout):
        deadline = time.monotonic() + timeout
        with self.lock:
            while self.answered < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self.lock.wait(left)
            return self.answered, len(self.requests)


def read_body(handler):
    """The request body by Content-Length or chunked; None when unreadable."""
    if handler.headers.get("Transfer-Encoding", "").lower() == "chunked":
        parts = []
        total = 0
        while True:
            line = handler.rfile.readline(1024)
            if not line:
                return None
            try:
                size = int(line.split(b";")[0].strip(), 16)
            except ValueError:
                return None
            if size == 0:
                while handler.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                    pass
                return b"".join(parts)
            total += size
            if total > MAX_BODY:
                return None
            parts.append(handler.rfile.read(size))
            handler.rfile.readline(16)
    length = handler.headers.get("Content-Length")
    if length is None:
        return b""
    try:
        length = int(length)
    except ValueError:
        return None
    if length < 0 or length > MAX_BODY:
        return None
    body = handler.rfile.read(length)
    return body if len(body) == length else None


def describe_body(raw, headers):
    """What the body holds: inflated text, the logs of {"logs": [...]} or of
    JSON lines, and the first problem found."""
    result = {"gzip": False, "body": "", "kind": "empty", "logs": [], "final_newline": False, "error": None}
    data = raw
    if headers.get("Content-Encoding", "").lower() == "gzip":
        result["gzip"] = True
        try:
            data = zlib.decompress(raw, 16 + zlib.MAX_WBITS)
        except zlib.error as error:
            result["error"] = "gzip: %s" % error
            return result
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        result["error"] = "utf-8: %s" % error
        return result
    result["body"] = text
    if text == "":
        return result
    result["final_newline"] = text.endswith("\n")
    try:
        whole = json.loads(text)
    except ValueError:
        whole = None
    if isinstance(whole, dict) and isinstance(whole.get("logs"), list):
        result["kind"] = "logs"
        result["logs"] = whole["logs"]
        return result
    result["kind"] = "lines"
    lines = text.split("\n")
    if result["final_newline"]:
        lines.pop()
    else:
        result["error"] = "the last line has no line feed"
    for number, line in enumerate(lines, 1):
        try:
            result["logs"].append(json.loads(line))
        except ValueError as error:
            result["error"] = result["error"] or "line %d: %s" % (number, error)
            result["kind"] = "other"
    return result


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("ingestion server: " + fmt % args + "\n")

    def handle_any(self):
        path, _, query = self.path.partition("?")
        if path.startswith(CONTROL_PREFIX):
            self.control(path[len(CONTROL_PREFIX):], query)
            return
        app = self.server.app
        raw = read_body(self)
        record = {
            "method": self.command,
            "path": path,
            "query": query,
            "headers": [[name, value] for name, value in self.headers.items()],
            "body_length": len(raw) if raw is not None else 0,
            "status": 0,
            "answered": False,
            "time": time.monotonic(),
        }
        if raw is None:
            record.update(describe_body(b"", {}))
            record["error"] = "unreadable body"
            app.record(record)
            self.answer(record, 400, "unreadable body", {})
            self.close_connection = True
            return
        record.update(describe_body(raw, self.headers))
        app.record(record)
        answer = app.take_answer(path)
        if answer["delay"] > 0:
            time.sleep(answer["delay"])
        if answer["drop"]:
            self.drop(record)
            return
        self.answer(record, int(answer["status"]), answer["body"], answer["headers"])

    def answer(self, record, status, body, headers):
        payload = body.encode("utf-8") if isinstance(body, str) else bytes(body)
        try:
            self.send_response(status)
            for name, value in headers.items():
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(payload)))
            self.end_headers()
            self.wfile.write(payload)
            self.wfile.flush()
        except OSError:
            self.close_connection = True
        if record is not None:
            self.server.app.mark_answered(record, status)

    def drop(self, record):
        """Closes the connection at once, without a byte of answer."""
        self.close_connection = True
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.server.app.mark_answered(record, 0)

    def control(self, name, query):
        app = self.server.app
        raw = read_body(self) or b""
        if name == "reset":
            app.reset()
            self.answer(None, 200, "{}", {"Content-Type": "application/json"})
        elif name == "script":
            try:
                spec = json.loads(raw.decode("utf-8"))
                app.set_script(spec["path"], spec.get("answers", []), spec.get("default", DEFAULT_ANSWER))
            except (ValueError, KeyError, TypeError) as error:
                self.answer(None, 400, "bad script: %s" % error, {})
                return
            self.answer(None, 200, "{}", {"Content-Type": "application/json"})
        elif name == "requests":
            with app.lock:
                text = json.dumps({"requests": app.requests})
            self.answer(None, 200, text, {"Content-Type": "application/json"})
        elif name == "wait":
            params = parse_qs(query)
            count = int(params.get("count", ["1"])[0])
            timeout = float(params.get("timeout", ["10"])[0])
            answered, received = app.wait_answered(count, timeout)
            status = 200 if answered >= count else 408
            self.answer(None, status, json.dumps({"answered": answered, "received": received}),
                        {"Content-Type": "application/json"})
        else:
            self.answer(None, 404, "no such control", {})

    do_GET = handle_any
    do_POST = handle_any
    do_PUT = handle_any
    do_DELETE = handle_any


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args(argv)

    # Stop at once on SIGTERM, whatever the connection threads are doing.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server = Server((args.host, args.port), Handler)
    server.app = App()
    server.verbose = args.verbose
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
