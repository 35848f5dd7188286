"""Request authorisation for the blob service stand-in.

The server checks every request on its own: shared-key signatures, shared
access signatures in the query, and anonymous reads of public containers.
Nothing here is shared with the client under test.
"""

import base64
import calendar
import hashlib
import hmac
import ipaddress
import re
import time
import urllib.parse

from blob_errors import ServiceError

SERVICE_VERSION = "2016-03-14"

# Header lines of the shared-key string to sign, in order.
STANDARD_SIGNED_HEADERS = (
    "content-encoding",
    "content-language",
    "content-length",
    "content-md5",
    "content-type",
    "date",
    "if-modified-since",
    "if-match",
    "if-none-match",
    "if-unmodified-since",
    "range",
)

_WHITESPACE = re.compile(r"[ \t\n\r\f\v]")


def pct_decode(text):
    # "+" stays "+": query values are percent-encoded, never form-encoded.
    return urllib.parse.unquote(text, encoding="utf-8", errors="surrogateescape")


def to_utf8(text):
    return text.encode("utf-8", "surrogateescape")


def split_query(raw_query):
    """Pairs of the raw query: split at "&" and the first "=", then decode."""
    pairs = []
    if not raw_query:
        return pairs
    for piece in raw_query.split("&"):
        if piece == "":
            continue
        name, sep, value = piece.partition("=")
        pairs.append((pct_decode(name), pct_decode(value) if sep else ""))
    return pairs


def canonical_query(raw_query):
    values = {}
    for name, value in split_query(raw_query):
        values[name.lower()] = value
    return "".join("\n%s:%s" % (name, values[name]) for name in sorted(values))


def canonical_headers(header_list):
    """The "x-bs-" headers as written on the wire, lower-cased and sorted."""
    values = {}
    for name, value in header_list:
        if name.startswith("x-bs-"):
            values[_WHITESPACE.sub(" ", name.lower())] = _WHITESPACE.sub(" ", value)
    return "".join("%s:%s\n" % (name, values[name]) for name in sorted(values))


def shared_key_string_to_sign(method, header_list, header_lookup, account, raw_path, raw_query):
    lines = [method]
    for name in STANDARD_SIGNED_HEADERS:
        if name == "date":
            lines.append("")
            continue
        value = header_lookup(name) or ""
        if name == "content-length" and value == "0":
            value = ""
        lines.append(value)
    text = "\n".join(lines) + "\n"
    text += canonical_headers(header_list)
    text += "/" + account + (raw_path if raw_path else "/")
    text += canonical_query(raw_query)
    return text


def sign(key_bytes, text):
    digest = hmac.new(key_bytes, to_utf8(text), hashlib.sha256).digest()
    return base64.b64encode(digest).decode("ascii")


_SAS_TIME = re.compile(
    r"^(\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?(Z|[+-]\d{2}:\d{2})?)?$")


def parse_sas_time(text):
    match = _SAS_TIME.match(text)
    if not match:
        return None
    year, month, day, hour, minute, second, zone = match.groups()
    try:
        value = calendar.timegm((int(year), int(month), int(day), int(hour or 0), int(minute or 0),
                                 int(second or 0), 0, 0, 0))
    except (ValueError, OverflowError):
        return None
    if zone and zone != "Z":
        sign_ = 1 if zone[0] == "+" else -1
        value -= sign_ * (int(zone[1:3]) * 3600 + int(zone[4:6]) * 60)
    return value


PERMISSION_LETTERS = "racwdl"

# What each operation needs: the permission letters of which any one grants it,
# and the account-SAS resource type ("s" service, "c" container, "o" object).
OPERATION_GRANTS = {
    "listcontainers": ("l", "s"),
    "getserviceproperties": ("r", "s"),
    "setserviceproperties": ("w", "s"),
    "createcontainer": ("cw", "c"),
    "deletecontainer": ("d", "c"),
    "getcontainerproperties": ("r", "c"),
    "getcontainermetadata": ("r", "c"),
    "setcontainermetadata": ("w", "c"),
    "getcontaineracl": ("r", "c"),
    "setcontaineracl": ("w", "c"),
    "leasecontainer": ("w", "c"),
    "listblobs": ("l", "c"),
    "getblob": ("r", "o"),
    "getblobproperties": ("r", "o"),
    "getblobmetadata": ("r", "o"),
    "getblocklist": ("r", "o"),
    "getpageranges": ("r", "o"),
    "putblob": ("cw", "o"),
    "createpageblob": ("cw", "o"),
    "createappendblob": ("cw", "o"),
    "copyblob": ("cw", "o"),
    "putblock": ("cw", "o"),
    "putblocklist": ("cw", "o"),
    "putpage": ("w", "o"),
    "appendblock": ("aw", "o"),
    "setblobproperties": ("w", "o"),
    "setblobmetadata": ("w", "o"),
    "snapshotblob": ("cw", "o"),
    "leaseblob": ("w", "o"),
    "abortcopyblob": ("w", "o"),
    "deleteblob": ("d", "o"),
}

# Container-level operations a container SAS may perform besides blob operations.
CONTAINER_SAS_OPERATIONS = {"listblobs", "getcontainerproperties", "getcontainermetadata"}

ANONYMOUS_BLOB_READS = {"getblob", "getblobproperties", "getblobmetadata", "getblocklist", "getpageranges"}
ANONYMOUS_CONTAINER_READS = {"listblobs", "getcontainerproperties", "getcontainermetadata"}


def _auth_failed(detail):
    return ServiceError(403, "AuthenticationFailed",
                        "Server failed to authenticate the request. Make sure the value of Authorization "
                        "header is formed correctly including the signature.",
                        [("AuthenticationErrorDetail", detail)])


def _forbidden(code, message):
    return ServiceError(403, code, message)


def _check_ip(sip, client_ip):
    try:
        address = ipaddress.ip_address(client_ip)
        if "-" in sip:
            low, high = sip.split("-", 1)
            return ipaddress.ip_address(low) <= address <= ipaddress.ip_address(high)
        return address == ipaddress.ip_address(sip)
    except ValueError:
        return False


class Authorizer:
    """Decides whether a request may run; `store` answers public access and stored policies."""

    def __init__(self, account, key_bytes):
        self.account = account
        self.key = key_bytes

    def authorize(self, req, operation, store):
        """Returns the SAS response-header overrides (may be empty) or raises ServiceError."""
        auth = req.header("authorization")
        if auth is not None:
            self._check_shared_key(req, auth)
            return {}
        query = req.query
        if "sig" in query:
            return self._check_sas(req, operation, store)
        self._check_anonymous(req, operation, store)
        return {}

    # Shared key -------------------------------------------------------------

    def _check_shared_key(self, req, auth):
        scheme, _, credential = auth.partition(" ")
        if scheme != "SharedKey" or ":" not in credential:
            raise _auth_failed("The authorization header '%s' is not of the form SharedKey account:signature."
                               % auth)
        account, _, signature = credential.strip().rpartition(":")
        if account != self.account:
            raise _auth_failed("The account '%s' in the authorization header is not this account." % account)
        if req.header("x-bs-date") is None and req.header("date") is None:
            raise _auth_failed("Request date header not specified.")
        text = shared_key_string_to_sign(req.method, req.header_list, req.header, self.account,
                                         req.raw_path, req.raw_query)
        expected = sign(self.key, text)
        if not hmac.compare_digest(expected.encode("ascii"), signature.encode("utf-8", "surrogateescape")):
            raise _auth_failed("The MAC signature found in the HTTP request '%s' is not the same as any computed "
                               "signature. Server used following string to sign: '%s'." % (signature, text))

    # Shared access signatures ----------------------------------------------

    def _check_sas(self, req, operation, store):
        q = req.query
        sv = q.get("sv", "")
        if not sv:
            raise _auth_failed("sv is mandatory. Cannot be empty.")
        sp = q.get("sp", "")
        st = q.get("st", "")
        se = q.get("se", "")
        sip = q.get("sip", "")
        spr = q.get("spr", "")
        is_account = "ss" in q
        if is_account:
            ss = q.get("ss", "")
            srt = q.get("srt", "")
            text = "\n".join([self.account, sp, ss, srt, st, se, sip, spr, sv]) + "\n"
        else:
            sr = q.get("sr", "")
            if sr not in ("b", "c"):
                raise _auth_failed("Invalid signed resource '%s'." % sr)
            if not req.container:
                raise _forbidden("AuthorizationResourceTypeMismatch",
                                 "This request is not authorized to perform this operation using this resource "
                                 "type.")
            resource = "/blob/%s/%s" % (self.account, req.container)
            if sr == "b":
                if req.blob is None:
                    raise _forbidden("AuthorizationResourceTypeMismatch",
                                     "This request is not authorized to perform this operation using this "
                                     "resource type.")
                resource += "/" + req.blob
            text = "\n".join([sp, st, se, resource, q.get("si", ""), sip, spr, sv, q.get("rscc", ""),
                              q.get("rscd", ""), q.get("rsce", ""), q.get("rscl", ""), q.get("rsct", "")])
        expected = sign(self.key, text)
        if not hmac.compare_digest(expected.encode("ascii"), to_utf8(q["sig"])):
            raise _auth_failed("Signature did not match. String to sign used was %s" % text)

        if not is_account and q.get("si"):
            policy = store.stored_policy(req.container, q["si"])
            if policy is None:
                raise _auth_failed("The specified signed identifier '%s' does not exist." % q["si"])
            p_start, p_expiry, p_perm = policy
            for name, given, stored in (("st", st, p_start), ("se", se, p_expiry), ("sp", sp, p_perm)):
                if given and stored:
                    raise _auth_failed("Access policy fields can be associated with signature or SAS "
                                       "identifier but not both (%s)." % name)
            st = st or (p_start or "")
            se = se or (p_expiry or "")
            sp = sp or (p_perm or "")

        now = time.time()
        if not se:
            raise _auth_failed("Signed expiry time is mandatory.")
        expiry = parse_sas_time(se)
        if expiry is None:
            raise _auth_failed("se is not a valid time: %s" % se)
        if st:
            start = parse_sas_time(st)
            if start is None:
                raise _auth_failed("st is not a valid time: %s" % st)
            if now < start:
                raise _auth_failed("Signature not valid in the specified time frame: Start [%s] - Expiry [%s]"
                                   % (st, se))
        if now > expiry:
            raise _auth_failed("Signed expiry time [%s] must be after signed start time and the current time."
                               % se)
        if spr and "http" not in [p.strip() for p in spr.split(",")]:
            raise _forbidden("AuthorizationProtocolMismatch",
                             "This request is not authorized to perform this operation using this protocol.")
        if sip and not _check_ip(sip, req.client_ip):
            raise _forbidden("AuthorizationSourceIPMismatch",
                             "This request is not authorized to perform this operation using this source IP %s."
                             % req.client_ip)
        if any(c not in PERMISSION_LETTERS for c in sp):
            raise _auth_failed("Invalid signed permissions '%s'." % sp)

        letters, level = OPERATION_GRANTS.get(operation, ("", "o"))
        if is_account:
            if "b" not in q.get("ss", ""):
                raise _forbidden("AuthorizationServiceMismatch",
                                 "This request is not authorized to perform this operation using this service.")
            if level not in q.get("srt", ""):
                raise _forbidden("AuthorizationResourceTypeMismatch",
                                 "This request is not authorized to perform this operation using this resource "
                                 "type.")
        else:
            if req.blob is None and operation not in CONTAINER_SAS_OPERATIONS:
                raise _forbidden("AuthorizationPermissionMismatch",
                                 "This request is not authorized to perform this operation using this permission.")
        if not any(c in sp for c in letters):
            raise _forbidden("AuthorizationPermissionMismatch",
                             "This request is not authorized to perform this operation using this permission.")

        overrides = {}
        if not is_account:
            for name, header in (("rscc", "Cache-Control"), ("rscd", "Content-Disposition"),
                                 ("rsce", "Content-Encoding"), ("rscl", "Content-Language"),
                                 ("rsct", "Content-Type")):
                if q.get(name):
                    overrides[header] = q[name]
        return overrides

    # Anonymous --------------------------------------------------------------

    def _check_anonymous(self, req, operation, store):
        access = store.public_access(req.container) if req.container else None
        if access == "container" and (operation in ANONYMOUS_CONTAINER_READS or operation in ANONYMOUS_BLOB_READS):
            return
        if access == "blob" and operation in ANONYMOUS_BLOB_READS:
            return
        raise _auth_failed("The request carries no authorization and the resource is not public.")
