#!/usr/bin/env python3
"""Shared-key signature of one blob service request, written from the
protocol's rules alone (standard library only).

Reads a JSON object on stdin:
  {"method": "PUT", "url": "https://...", "headers": [["Name", "value"], ...],
   "account": "name", "key": "<base64>", "time": <seconds since 1970>}
"time", when present, is written into "x-bs-date" (replacing any such header)
before the text is built, as a signer does.

Prints a JSON object:
  {"stringToSign": "...", "signature": "<base64>",
   "authorization": "SharedKey name:<base64>"}
or {"error": "..."} when the request cannot be canonicalised (a query piece
without "=", or a broken percent escape). A JSON array of requests gives an
array of answers in the same order.
"""

import base64
import email.utils
import hashlib
import hmac
import json
import re
import sys
import urllib.parse

STANDARD_HEADERS = [
    "Content-Encoding",
    "Content-Language",
    "Content-Length",
    "Content-MD5",
    "Content-Type",
    "Date",
    "If-Modified-Since",
    "If-Match",
    "If-None-Match",
    "If-Unmodified-Since",
    "Range",
]

# White space and line breaks: tab, LF, VT, FF, CR, blank, NEL, no-break
# space, the Unicode space separators and the line/paragraph separators.
BLANKS = set(
    [0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x202F, 0x205F, 0x3000, 0x2028, 0x2029]
    + list(range(0x2000, 0x200B))
)

BROKEN_ESCAPE = re.compile(r"%(?![0-9A-Fa-f]{2})")


class CannotSign(Exception):
    pass


def ascii_lower(text):
    return "".join(chr(ord(ch) + 32) if "A" <= ch <= "Z" else ch for ch in text)


def blank_out(text):
    return "".join(" " if ord(ch) in BLANKS else ch for ch in text)


def header_value(headers, name):
    value = ""
    for field, field_value in headers:
        if field.lower() == name.lower():
            value = field_value
    return value


def decode(part):
    if BROKEN_ESCAPE.search(part):
        raise CannotSign("broken escape in %r" % part)
    return urllib.parse.unquote_to_bytes(part).decode("utf-8")


def string_to_sign(request):
    method = request["method"]
    headers = [tuple(h) for h in request.get("headers", [])]
    if "time" in request:
        headers = [h for h in headers if h[0].lower() != "x-bs-date"]
        headers.append(("x-bs-date", email.utils.formatdate(request["time"], usegmt=True)))

    lines = [method]
    for name in STANDARD_HEADERS:
        value = header_value(headers, name)
        if name == "Date":
            value = ""  # the time is carried by x-bs-date
        if name == "Content-Length" and value == "0":
            value = ""
        lines.append(value)
    text = "\n".join(lines) + "\n"

    canonical = {}
    for name, value in headers:
        if name.startswith("x-bs-"):
            canonical[ascii_lower(name)] = value
    for name in sorted(canonical, key=lambda n: n.encode("utf-8")):
        text += blank_out(name) + ":" + blank_out(canonical[name]) + "\n"

    parts = urllib.parse.urlsplit(request["url"])
    text += "/" + request["account"] + (parts.path if parts.path else "/")

    query = {}
    for piece in parts.query.split("&") if parts.query else []:
        if piece == "":
            continue
        if "=" not in piece:
            raise CannotSign("query piece without '=': %r" % piece)
        name, value = piece.split("=", 1)
        query[ascii_lower(decode(name))] = decode(value)
    for name in sorted(query, key=lambda n: n.encode("utf-8")):
        text += "\n" + name + ":" + query[name]
    return text


def sign(request):
    try:
        text = string_to_sign(request)
    except CannotSign as reason:
        return {"error": str(reason)}
    key = base64.b64decode(request["key"], validate=True)
    signature = base64.b64encode(hmac.new(key, text.encode("utf-8"), hashlib.sha256).digest()).decode("ascii")
    return {
        "stringToSign": text,
        "signature": signature,
        "authorization": "SharedKey %s:%s" % (request["account"], signature),
    }


def main():
    request = json.load(sys.stdin)
    if isinstance(request, list):
        json.dump([sign(r) for r in request], sys.stdout)
    else:
        json.dump(sign(request), sys.stdout)


if __name__ == "__main__":
    main()
