"""In-memory state and the operations of the blob service stand-in.

Every operation takes a parsed request and returns a Response or raises
ServiceError. One lock guards the whole state; bodies are read and hashed by
the caller before an operation runs, so the lock is held only for bookkeeping
and memory copies.
"""

import base64
import binascii
import email.utils
import hashlib
import itertools
import threading
import time
import urllib.parse
import uuid
import xml.etree.ElementTree as ET

from blob_auth import parse_sas_time, pct_decode
from blob_errors import (XML_DECLARATION, ServiceError, blob_not_found, body_too_large, condition_not_met,
                         container_not_found, element, invalid_blob_type, invalid_header, invalid_query,
                         invalid_xml, md5_mismatch, missing_header)

MIB = 1024 * 1024
MAX_PUT_BLOB = 256 * MIB
MAX_BLOCK = 100 * MIB
MAX_APPEND_BLOCK = 4 * MIB
MAX_BLOCK_ID_BYTES = 64
MAX_RANGE_MD5 = 4 * MIB
PAGE = 512
MAX_LIST = 5000
MAX_BLOCKS = 50000

CONTENT_PROPERTIES = (
    # (request header, response header, listing element)
    ("x-bs-blob-cache-control", "Cache-Control", "Cache-Control"),
    ("x-bs-blob-content-disposition", "Content-Disposition", "Content-Disposition"),
    ("x-bs-blob-content-encoding", "Content-Encoding", "Content-Encoding"),
    ("x-bs-blob-content-language", "Content-Language", "Content-Language"),
    ("x-bs-blob-content-md5", "Content-MD5", "Content-MD5"),
    ("x-bs-blob-content-type", "Content-Type", "Content-Type"),
)
DEFAULT_CONTENT_TYPE = "application/octet-stream"


class Response:
    def __init__(self, status, headers=None, body=b"", content_type=None):
        self.status = status
        self.headers = list(headers or [])
        self.body = body
        if content_type:
            self.headers.append(("Content-Type", content_type))
        # A HEAD answer carries the length of the entity a GET would have had.
        self.entity_length = len(body)


def http_date(seconds):
    return email.utils.formatdate(seconds, usegmt=True)


def parse_http_date(text):
    try:
        parsed = email.utils.parsedate_tz(text)
        if parsed is None:
            return None
        return email.utils.mktime_tz(parsed)
    except (TypeError, ValueError, OverflowError):
        return None


def roundtrip_time(seconds):
    whole = int(seconds)
    fraction = int(round((seconds - whole) * 10_000_000))
    if fraction >= 10_000_000:
        whole, fraction = whole + 1, 0
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(whole)) + ".%07dZ" % fraction


def md5_b64(data):
    return base64.b64encode(hashlib.md5(data).digest()).decode("ascii")


def xml_doc(parts):
    return (XML_DECLARATION + "".join(parts)).encode("utf-8", "surrogateescape")


def parse_xml(body):
    if not body:
        return None
    try:
        return ET.fromstring(bytes(body))
    except ET.ParseError:
        raise invalid_xml()


class Clock:
    """Change stamps: every write gets a new ETag, and snapshots get distinct times."""

    def __init__(self):
        self._counter = itertools.count(1)
        self._last_snapshot = 0.0

    def etag(self):
        return '"0x8D4%011X"' % next(self._counter)

    def snapshot_time(self):
        now = time.time()
        if now <= self._last_snapshot:
            now = self._last_snapshot + 1e-7
        self._last_snapshot = now
        return roundtrip_time(now)


class Lease:
    def __init__(self):
        self.state = "available"
        self.lease_id = None
        self.duration = -1
        self.expiry = 0.0
        self.break_end = 0.0

    def refresh(self):
        now = time.time()
        if self.state == "leased" and self.duration != -1 and now >= self.expiry:
            self.state = "expired"
        elif self.state == "breaking" and now >= self.break_end:
            self.state = "broken"

    def active(self):
        self.refresh()
        return self.state in ("leased", "breaking")

    def headers(self):
        self.refresh()
        result = [("x-bs-lease-state", self.state),
                  ("x-bs-lease-status", "locked" if self.state in ("leased", "breaking") else "unlocked")]
        if self.state == "leased":
            result.append(("x-bs-lease-duration", "infinite" if self.duration == -1 else "fixed"))
        return result

    def listing(self):
        names = {"x-bs-lease-status": "LeaseStatus", "x-bs-lease-state": "LeaseState",
                 "x-bs-lease-duration": "LeaseDuration"}
        values = dict(self.headers())
        return [element(names[name], values[name]) for name in names if name in values]


class Container:
    def __init__(self, name, stamp):
        self.name = name
        self.metadata = []
        self.public = None
        self.policies = []  # (id, start, expiry, permission)
        self.etag = stamp
        self.last_modified = time.time()
        self.lease = Lease()
        self.blobs = {}

    def touch(self, clock):
        self.etag = clock.etag()
        self.last_modified = time.time()


class Blob:
    """A blob, or the frozen copy of one that a snapshot keeps."""

    def __init__(self, name):
        self.name = name
        self.blob_type = None
        self.committed = False
        # Block blobs: bytes or bytearray never changed in place, replaced on every write, so readers
        # may keep a view. Page and append blobs: a bytearray changed in place, so readers copy it.
        self.data = b""
        self.size = 0
        self.props = {}
        self.metadata = []
        self.etag = None
        self.last_modified = 0.0
        self.lease = Lease()
        self.sequence_number = 0
        self.append_count = 0
        self.page_ranges = []  # sorted, disjoint [start, end) pairs
        self.blocks = []  # committed blocks: (id, offset, size)
        self.uncommitted = {}  # id -> bytes, in upload order
        self.block_id_length = None
        self.copy = None  # dict of the last copy into this blob
        self.snapshots = {}  # time -> Blob

    def length(self):
        return self.size if self.blob_type == "PageBlob" else len(self.data)

    def touch(self, clock):
        self.etag = clock.etag()
        self.last_modified = time.time()

    def freeze(self):
        frozen = Blob(self.name)
        for field in ("blob_type", "committed", "size", "etag", "last_modified", "sequence_number",
                      "append_count", "block_id_length"):
            setattr(frozen, field, getattr(self, field))
        frozen.data = self.data if self.blob_type == "BlockBlob" else bytes(self.data)
        frozen.props = dict(self.props)
        frozen.metadata = list(self.metadata)
        frozen.page_ranges = list(self.page_ranges)
        frozen.blocks = list(self.blocks)
        frozen.copy = dict(self.copy) if self.copy else None
        return frozen


# Page ranges as sorted lists of disjoint [start, end) pairs.

def ranges_add(ranges, start, end):
    result = []
    for a, b in ranges:
        if b < start or a > end:
            result.append((a, b))
        else:
            start, end = min(a, start), max(b, end)
    result.append((start, end))
    result.sort()
    return result


def ranges_remove(ranges, start, end):
    result = []
    for a, b in ranges:
        if b <= start or a >= end:
            result.append((a, b))
            continue
        if a < start:
            result.append((a, start))
        if b > end:
            result.append((end, b))
    return result


def metadata_from(req):
    result = []
    seen = set()
    for name, value in req.header_list:
        if name.lower().startswith("x-bs-meta-"):
            key = name[len("x-bs-meta-"):]
            if not key:
                raise ServiceError(400, "EmptyMetadataKey", "The key for one of the metadata key-value pairs "
                                   "is empty.", [("MetadataKey", "")])
            if not (key[0].isalpha() or key[0] == "_") or not all(c.isalnum() or c == "_" for c in key) \
                    or not key.isascii():
                raise ServiceError(400, "InvalidMetadata", "The metadata specified is invalid. It has characters "
                                   "that are not permitted.", [("MetadataKey", key)])
            lowered = key.lower()
            if lowered in seen:
                result = [(k, v) for k, v in result if k.lower() != lowered]
            seen.add(lowered)
            result.append((key, value))
    return result


def has_metadata(req):
    return any(name.lower().startswith("x-bs-meta-") for name, _ in req.header_list)


def metadata_headers(metadata):
    return [("x-bs-meta-" + key, value) for key, value in metadata]


def parse_int(req, name, low=None, high=None, required=False):
    text = req.header(name)
    if text is None:
        if required:
            raise missing_header(name)
        return None
    try:
        value = int(text.strip())
    except ValueError:
        raise invalid_header(name, text)
    if (low is not None and value < low) or (high is not None and value > high):
        raise invalid_header(name, text)
    return value


def parse_range(text):
    """A "bytes=a-b" or "bytes=a-" range as (first, last or None); None when not of that form."""
    text = text.strip()
    if not text.startswith("bytes="):
        return None
    spec = text[len("bytes="):]
    first, sep, last = spec.partition("-")
    if not sep or not first.isdigit() or (last and not last.isdigit()):
        return None
    first = int(first)
    last = int(last) if last else None
    if last is not None and last < first:
        return None
    return first, last


def lease_guid(name, value):
    try:
        uuid.UUID(value)
    except ValueError:
        raise invalid_header(name, value)
    return value


class Store:
    def __init__(self, account, base_url_of):
        self.account = account
        self.base_url_of = base_url_of
        self.lock = threading.RLock()
        self.reset()

    def reset(self):
        with self.lock:
            self.clock = Clock()
            self.containers = {}
            self.service_properties = default_service_properties()

    # Lookups for the authoriser ------------------------------------------

    def public_access(self, container_name):
        with self.lock:
            container = self.containers.get(container_name)
            return container.public if container else None

    def stored_policy(self, container_name, identifier):
        with self.lock:
            container = self.containers.get(container_name)
            if container is None:
                return None
            for policy_id, start, expiry, permission in container.policies:
                if policy_id == identifier:
                    return start, expiry, permission
            return None

    # Control API ------------------------------------------------------------

    def preload(self, container_name, blob_name, data, content_type=None, store_md5=False):
        with self.lock:
            container = self.containers.get(container_name)
            if container is None:
                container = Container(container_name, self.clock.etag())
                self.containers[container_name] = container
            blob = container.blobs.get(blob_name) or Blob(blob_name)
            blob.blob_type = "BlockBlob"
            blob.committed = True
            blob.data = bytes(data)
            blob.blocks = []
            blob.uncommitted = {}
            blob.block_id_length = None
            blob.props = {"Content-Type": content_type or DEFAULT_CONTENT_TYPE}
            if store_md5:
                blob.props["Content-MD5"] = md5_b64(blob.data)
            blob.touch(self.clock)
            container.blobs[blob_name] = blob

    def committed_bytes(self, container_name, blob_name, snapshot=None):
        with self.lock:
            container = self.containers.get(container_name)
            blob = container.blobs.get(blob_name) if container else None
            if blob is not None and snapshot:
                blob = blob.snapshots.get(snapshot)
            if blob is None or not blob.committed:
                return None
            if blob.blob_type == "PageBlob":
                return bytes(self._page_bytes(blob, 0, blob.size))
            return bytes(blob.data)

    # Dispatch ---------------------------------------------------------------

    @staticmethod
    def identify(method, container, blob, query, header):
        """The operation kind of a request, from its method, address and query alone."""
        restype = query.get("restype")
        comp = query.get("comp")
        if container is None:
            if method == "GET" and comp == "list":
                return "listcontainers"
            if restype == "service" and comp == "properties":
                if method == "GET":
                    return "getserviceproperties"
                if method == "PUT":
                    return "setserviceproperties"
            raise invalid_query("comp", comp or "", "This operation is not supported on the account.")
        if blob is None:
            if restype != "container":
                raise ServiceError(400, "InvalidUri", "The requested URI does not represent any resource on the "
                                   "server.")
            table = {
                ("PUT", None): "createcontainer",
                ("DELETE", None): "deletecontainer",
                ("GET", None): "getcontainerproperties",
                ("HEAD", None): "getcontainerproperties",
                ("GET", "metadata"): "getcontainermetadata",
                ("HEAD", "metadata"): "getcontainermetadata",
                ("PUT", "metadata"): "setcontainermetadata",
                ("GET", "acl"): "getcontaineracl",
                ("HEAD", "acl"): "getcontaineracl",
                ("PUT", "acl"): "setcontaineracl",
                ("PUT", "lease"): "leasecontainer",
                ("GET", "list"): "listblobs",
            }
            kind = table.get((method, comp))
            if kind is None:
                raise invalid_query("comp", comp or "", "The operation is not supported on a container.")
            return kind
        if method == "PUT" and comp is None:
            if header("x-bs-copy-source") is not None:
                return "copyblob"
            blob_type = header("x-bs-blob-type")
            if blob_type is None:
                raise missing_header("x-bs-blob-type")
            kinds = {"BlockBlob": "putblob", "PageBlob": "createpageblob", "AppendBlob": "createappendblob"}
            if blob_type not in kinds:
                raise invalid_header("x-bs-blob-type", blob_type)
            return kinds[blob_type]
        table = {
            ("GET", None): "getblob",
            ("HEAD", None): "getblobproperties",
            ("DELETE", None): "deleteblob",
            ("PUT", "block"): "putblock",
            ("PUT", "blocklist"): "putblocklist",
            ("GET", "blocklist"): "getblocklist",
            ("PUT", "properties"): "setblobproperties",
            ("PUT", "metadata"): "setblobmetadata",
            ("GET", "metadata"): "getblobmetadata",
            ("HEAD", "metadata"): "getblobmetadata",
            ("PUT", "lease"): "leaseblob",
            ("PUT", "snapshot"): "snapshotblob",
            ("PUT", "copy"): "abortcopyblob",
            ("PUT", "page"): "putpage",
            ("GET", "pagelist"): "getpageranges",
            ("PUT", "appendblock"): "appendblock",
        }
        kind = table.get((method, comp))
        if kind is None:
            raise invalid_query("comp", comp or "", "The operation is not supported on a blob.")
        return kind

    def run(self, kind, req):
        handler = getattr(self, "op_" + kind)
        with self.lock:
            return handler(req)

    # Shared checks ----------------------------------------------------------

    def _container(self, req):
        container = self.containers.get(req.container)
        if container is None:
            raise container_not_found()
        return container

    def _blob(self, req, container, allow_snapshot=True):
        blob = container.blobs.get(req.blob)
        if blob is None or not blob.committed:
            raise blob_not_found()
        snapshot = req.query.get("snapshot")
        if snapshot:
            if not allow_snapshot:
                raise invalid_query("snapshot", snapshot, "This operation does not take a snapshot.")
            frozen = blob.snapshots.get(snapshot)
            if frozen is None:
                raise blob_not_found()
            return frozen
        return blob

    @staticmethod
    def _conditions(req, etag, last_modified, exists, read, prefix=""):
        """If-* headers (or their x-bs-source- forms); raises the matching failure."""
        names = {"match": prefix + "if-match", "none": prefix + "if-none-match",
                 "since": prefix + "if-modified-since", "unmod": prefix + "if-unmodified-since"}
        if prefix:
            failure = ServiceError(412, "SourceConditionNotMet",
                                   "The source condition specified using HTTP conditional header(s) is not met.")
        else:
            failure = condition_not_met()
        not_modified = ServiceError(304, "ConditionNotMet", "The condition specified using HTTP conditional "
                                    "header(s) is not met.") if read and not prefix else failure

        def tags(text):
            return [t.strip().strip('"') for t in text.split(",") if t.strip()]

        current = etag.strip('"') if etag else None
        if_match = req.header(names["match"])
        if if_match is not None:
            wanted = tags(if_match)
            if not exists or ("*" not in wanted and current not in wanted):
                raise failure
        if_none = req.header(names["none"])
        if if_none is not None and exists:
            wanted = tags(if_none)
            if "*" in wanted:
                if not read and not prefix:
                    raise ServiceError(409, "BlobAlreadyExists", "The specified blob already exists.")
                raise not_modified
            if current in wanted:
                raise not_modified
        modified = int(last_modified) if exists else None
        since = req.header(names["since"])
        if since is not None and exists:
            stamp = parse_http_date(since)
            if stamp is not None and modified <= stamp:
                raise not_modified
        unmod = req.header(names["unmod"])
        if unmod is not None:
            stamp = parse_http_date(unmod)
            if stamp is not None and exists and modified > stamp:
                raise failure

    @staticmethod
    def _lease_check(req, lease, write, scope="Blob"):
        given = req.header("x-bs-lease-id")
        if lease.active():
            if given is None:
                if write:
                    raise ServiceError(412, "LeaseIdMissing", "There is currently a lease on the %s and no lease "
                                       "ID was specified in the request." % scope.lower())
                return
            if given != lease.lease_id:
                raise ServiceError(412, "LeaseIdMismatchWith%sOperation" % scope, "The lease ID specified did "
                                   "not match the lease ID for the %s." % scope.lower())
        elif given is not None:
            raise ServiceError(412, "LeaseNotPresentWith%sOperation" % scope, "There is currently no lease on "
                               "the %s." % scope.lower())

    def _check_md5(self, req):
        given = req.header("content-md5")
        if given is not None and given.strip() != req.body_md5:
            raise md5_mismatch(given, req.body_md5)

    def _content_props(self, req, defaults=True):
        props = {}
        for header, response_name, _ in CONTENT_PROPERTIES:
            value = req.header(header)
            if value is not None:
                props[response_name] = value
        if defaults and "Content-Type" not in props:
            props["Content-Type"] = DEFAULT_CONTENT_TYPE
        return props

    def _blob_headers(self, blob):
        """Headers of GET and HEAD on a blob, without Content-Type and Content-MD5."""
        headers = [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified)),
                   ("x-bs-blob-type", blob.blob_type)]
        for _, response_name, _ in CONTENT_PROPERTIES:
            if response_name in blob.props and response_name not in ("Content-Type", "Content-MD5"):
                headers.append((response_name, blob.props[response_name]))
        headers.extend(metadata_headers(blob.metadata))
        headers.extend(blob.lease.headers())
        if blob.blob_type == "PageBlob":
            headers.append(("x-bs-blob-sequence-number", str(blob.sequence_number)))
        if blob.blob_type == "AppendBlob":
            headers.append(("x-bs-blob-committed-block-count", str(blob.append_count)))
        if blob.copy:
            copy = blob.copy
            headers.extend([("x-bs-copy-id", copy["id"]), ("x-bs-copy-source", copy["source"]),
                            ("x-bs-copy-status", copy["status"]), ("x-bs-copy-progress", copy["progress"]),
                            ("x-bs-copy-completion-time", roundtrip_time(copy["completion"]))])
            if copy.get("description"):
                headers.append(("x-bs-copy-status-description", copy["description"]))
        headers.append(("Accept-Ranges", "bytes"))
        return headers

    def _write_target(self, req, container):
        """The existing committed blob for a write, after lease and condition checks; None when absent."""
        blob = container.blobs.get(req.blob)
        exists = blob is not None and blob.committed
        self._conditions(req, blob.etag if exists else None, blob.last_modified if exists else 0, exists, False)
        if blob is not None:
            self._lease_check(req, blob.lease, True)
        return blob if exists else None

    def _page_bytes(self, blob, start, end):
        """Bytes [start, end) of a page blob; unwritten pages read as zeros."""
        out = bytearray(end - start)
        stored_end = min(end, len(blob.data))
        if stored_end > start:
            out[0:stored_end - start] = memoryview(blob.data)[start:stored_end]
        return out

    # Service ----------------------------------------------------------------

    def op_getserviceproperties(self, req):
        body = XML_DECLARATION + ET.tostring(self.service_properties, encoding="unicode")
        return Response(200, [], body.encode("utf-8"), "application/xml")

    def op_setserviceproperties(self, req):
        root = parse_xml(req.body)
        if root is None or root.tag != "StorageServiceProperties":
            raise invalid_xml()
        for child in root:
            if child.tag not in ("Logging", "HourMetrics", "MinuteMetrics", "Cors", "DefaultServiceVersion"):
                raise ServiceError(400, "InvalidXmlNodeValue", "The value for one of the XML nodes is not in the "
                                   "correct format.", [("XmlNodeName", child.tag)])
        # Sections left out of the request keep their stored value.
        stored = self.service_properties
        for child in root:
            old = stored.find(child.tag)
            if old is not None:
                index = list(stored).index(old)
                stored.remove(old)
                stored.insert(index, child)
            else:
                stored.append(child)
        return Response(202)

    # Containers -------------------------------------------------------------

    def op_listcontainers(self, req):
        q = req.query
        prefix = q.get("prefix", "")
        marker = q.get("marker", "")
        max_results = self._max_results(q)
        include = q.get("include", "")
        for item in filter(None, include.split(",")):
            if item != "metadata":
                raise invalid_query("include", include)
        names = sorted(n for n in self.containers if n.startswith(prefix) and n >= decode_marker(marker))
        page, next_name = names[:max_results], names[max_results] if len(names) > max_results else None
        parts = ['<EnumerationResults ServiceEndpoint="%s/">' % xml_attr(self.base_url_of(req)),
                 element("Prefix", prefix), element("Marker", marker)]
        if "maxresults" in q:
            parts.append(element("MaxResults", str(max_results)))
        parts.append("<Containers>")
        for name in page:
            container = self.containers[name]
            parts.append("<Container>" + element("Name", name) + "<Properties>")
            parts.append(element("Last-Modified", http_date(container.last_modified)))
            parts.append(element("Etag", container.etag))
            parts.extend(container.lease.listing())
            parts.append("</Properties>")
            if "metadata" in include:
                parts.append("<Metadata>" + "".join(element(k, v) for k, v in container.metadata) + "</Metadata>")
            parts.append("</Container>")
        parts.append("</Containers>")
        parts.append(element("NextMarker", encode_marker(next_name) if next_name else ""))
        parts.append("</EnumerationResults>")
        return Response(200, [], xml_doc(parts), "application/xml")

    @staticmethod
    def _max_results(q):
        if "maxresults" not in q:
            return MAX_LIST
        text = q["maxresults"]
        try:
            value = int(text)
        except ValueError:
            raise invalid_query("maxresults", text)
        if value < 1 or value > MAX_LIST:
            raise ServiceError(400, "OutOfRangeQueryParameterValue", "One of the query parameters specified in "
                               "the request URI is outside the permissible range.",
                               [("QueryParameterName", "maxresults"), ("QueryParameterValue", text),
                                ("MinimumAllowed", "1"), ("MaximumAllowed", str(MAX_LIST))])
        return value

    def op_createcontainer(self, req):
        if not valid_container_name(req.container):
            raise ServiceError(400, "InvalidResourceName", "The specifed resource name contains invalid "
                               "characters.")
        if req.container in self.containers:
            raise ServiceError(409, "ContainerAlreadyExists", "The specified container already exists.")
        public = self._public_access_header(req)
        container = Container(req.container, self.clock.etag())
        container.metadata = metadata_from(req)
        container.public = public
        self.containers[req.container] = container
        return Response(201, [("ETag", container.etag), ("Last-Modified", http_date(container.last_modified))])

    @staticmethod
    def _public_access_header(req):
        value = req.header("x-bs-blob-public-access")
        if value is None or value == "":
            return None
        if value not in ("container", "blob"):
            raise invalid_header("x-bs-blob-public-access", value)
        return value

    def op_deletecontainer(self, req):
        container = self._container(req)
        self._conditions(req, container.etag, container.last_modified, True, False)
        self._lease_check(req, container.lease, True, "Container")
        del self.containers[req.container]
        return Response(202)

    def _container_headers(self, container):
        return [("ETag", container.etag), ("Last-Modified", http_date(container.last_modified))]

    def op_getcontainerproperties(self, req):
        container = self._container(req)
        self._lease_check(req, container.lease, False, "Container")
        self._conditions(req, container.etag, container.last_modified, True, True)
        headers = self._container_headers(container) + metadata_headers(container.metadata)
        headers.extend(container.lease.headers())
        return Response(200, headers)

    def op_getcontainermetadata(self, req):
        container = self._container(req)
        self._lease_check(req, container.lease, False, "Container")
        self._conditions(req, container.etag, container.last_modified, True, True)
        return Response(200, self._container_headers(container) + metadata_headers(container.metadata))

    def op_setcontainermetadata(self, req):
        container = self._container(req)
        self._lease_check(req, container.lease, False, "Container")
        self._conditions(req, container.etag, container.last_modified, True, False)
        container.metadata = metadata_from(req)
        container.touch(self.clock)
        return Response(200, self._container_headers(container))

    def op_getcontaineracl(self, req):
        container = self._container(req)
        self._lease_check(req, container.lease, False, "Container")
        self._conditions(req, container.etag, container.last_modified, True, True)
        parts = ["<SignedIdentifiers>"]
        for policy_id, start, expiry, permission in container.policies:
            parts.append("<SignedIdentifier>" + element("Id", policy_id) + "<AccessPolicy>")
            parts.append(element("Start", start) + element("Expiry", expiry) + element("Permission", permission))
            parts.append("</AccessPolicy></SignedIdentifier>")
        parts.append("</SignedIdentifiers>")
        headers = self._container_headers(container)
        if container.public:
            headers.append(("x-bs-blob-public-access", container.public))
        return Response(200, headers, xml_doc(parts), "application/xml")

    def op_setcontaineracl(self, req):
        container = self._container(req)
        self._lease_check(req, container.lease, False, "Container")
        self._conditions(req, container.etag, container.last_modified, True, False)
        public = self._public_access_header(req)
        root = parse_xml(req.body)
        policies = []
        if root is not None:
            if root.tag != "SignedIdentifiers":
                raise invalid_xml()
            for item in root:
                if item.tag != "SignedIdentifier":
                    raise invalid_xml()
                policy_id = (item.findtext("Id") or "").strip()
                if not policy_id or len(policy_id) > 64:
                    raise ServiceError(400, "InvalidXmlNodeValue", "The value for one of the XML nodes is not in "
                                       "the correct format.", [("XmlNodeName", "Id"), ("XmlNodeValue", policy_id)])
                policy = item.find("AccessPolicy")
                start = expiry = permission = None
                if policy is not None:
                    start = (policy.findtext("Start") or "").strip() or None
                    expiry = (policy.findtext("Expiry") or "").strip() or None
                    permission = (policy.findtext("Permission") or "").strip() or None
                    for name, value in (("Start", start), ("Expiry", expiry)):
                        if value is not None and parse_sas_time(value) is None:
                            raise ServiceError(400, "InvalidXmlNodeValue", "The value for one of the XML nodes "
                                               "is not in the correct format.",
                                               [("XmlNodeName", name), ("XmlNodeValue", value)])
                    if permission is not None and any(c not in "racwdl" for c in permission):
                        raise ServiceError(400, "InvalidXmlNodeValue", "The value for one of the XML nodes is "
                                           "not in the correct format.",
                                           [("XmlNodeName", "Permission"), ("XmlNodeValue", permission)])
                policies.append((policy_id, start, expiry, permission))
            if len(policies) > 5:
                raise invalid_xml()
        container.public = public
        container.policies = policies
        container.touch(self.clock)
        return Response(200, self._container_headers(container))

    def op_leasecontainer(self, req):
        container = self._container(req)
        self._conditions(req, container.etag, container.last_modified, True, False)
        return self._lease_action(req, container.lease, self._container_headers(container))

    def _lease_action(self, req, lease, headers):
        action = req.header("x-bs-lease-action")
        if action is None:
            raise missing_header("x-bs-lease-action")
        lease.refresh()
        given = req.header("x-bs-lease-id")
        proposed = req.header("x-bs-proposed-lease-id")
        if proposed is not None:
            lease_guid("x-bs-proposed-lease-id", proposed)
        state = lease.state
        now = time.time()

        def mismatch():
            return ServiceError(409, "LeaseIdMismatchWithLeaseOperation", "The lease ID specified did not match "
                                "the lease ID for the blob.")

        def not_present():
            return ServiceError(409, "LeaseNotPresentWithLeaseOperation", "There is currently no lease on the "
                                "blob.")

        if action == "acquire":
            duration = parse_int(req, "x-bs-lease-duration", required=True)
            if duration != -1 and not 15 <= duration <= 60:
                raise invalid_header("x-bs-lease-duration", str(duration))
            new_id = proposed or str(uuid.uuid4())
            if state == "leased" and lease.lease_id != new_id:
                raise ServiceError(409, "LeaseAlreadyPresent", "There is already a lease present.")
            if state == "breaking":
                raise ServiceError(409, "LeaseIsBreakingAndCannotBeAcquired", "There is already a breaking lease "
                                   "present.")
            lease.state, lease.lease_id, lease.duration = "leased", new_id, duration
            lease.expiry = now + duration if duration != -1 else 0.0
            return Response(201, headers + [("x-bs-lease-id", new_id)])
        if action == "renew":
            if given is None:
                raise missing_header("x-bs-lease-id")
            if state == "available":
                raise not_present()
            if given != lease.lease_id:
                raise mismatch()
            if state in ("breaking", "broken"):
                raise ServiceError(409, "LeaseIsBrokenAndCannotBeRenewed", "The lease ID matched, but the lease "
                                   "has been broken explicitly and cannot be renewed.")
            lease.state = "leased"
            lease.expiry = now + lease.duration if lease.duration != -1 else 0.0
            return Response(200, headers + [("x-bs-lease-id", lease.lease_id)])
        if action == "release":
            if given is None:
                raise missing_header("x-bs-lease-id")
            if state == "available":
                raise not_present()
            if given != lease.lease_id:
                raise mismatch()
            lease.state, lease.lease_id = "available", None
            return Response(200, headers)
        if action == "change":
            if given is None:
                raise missing_header("x-bs-lease-id")
            if proposed is None:
                raise missing_header("x-bs-proposed-lease-id")
            if state == "breaking":
                raise ServiceError(409, "LeaseIsBreakingAndCannotBeChanged", "The lease ID matched, but the "
                                   "lease is currently in breaking state and cannot be changed.")
            if state != "leased":
                raise not_present()
            if given != lease.lease_id and proposed != lease.lease_id:
                raise mismatch()
            lease.lease_id = proposed
            return Response(200, headers + [("x-bs-lease-id", proposed)])
        if action == "break":
            period = parse_int(req, "x-bs-lease-break-period", 0, 60)
            if state == "available":
                raise not_present()
            if state in ("broken", "expired"):
                lease.state = "broken"
                return Response(202, headers + [("x-bs-lease-time", "0")])
            if state == "leased":
                remaining = 0 if lease.duration == -1 else max(0, int(lease.expiry - now + 0.999))
                if period is None:
                    period = remaining
                elif lease.duration != -1:
                    period = min(period, remaining)
                lease.break_end = now + period
            else:  # breaking: a shorter period may speed it up
                left = max(0, int(lease.break_end - now + 0.999))
                if period is not None and period < left:
                    lease.break_end = now + period
                period = max(0, int(lease.break_end - now + 0.999))
            lease.state = "breaking" if period > 0 else "broken"
            return Response(202, headers + [("x-bs-lease-time", str(period))])
        raise invalid_header("x-bs-lease-action", action)

    def op_listblobs(self, req):
        container = self._container(req)
        q = req.query
        prefix = q.get("prefix", "")
        delimiter = q.get("delimiter", "")
        marker = q.get("marker", "")
        max_results = self._max_results(q)
        include_text = q.get("include", "")
        include = set(filter(None, include_text.split(",")))
        if include - {"snapshots", "metadata", "uncommittedblobs", "copy"}:
            raise invalid_query("include", include_text)
        start = decode_marker(marker)

        # Entries in listing order: (sort key, kind, payload).
        entries = []
        prefixes_seen = set()
        for name in sorted(container.blobs):
            if not name.startswith(prefix):
                continue
            blob = container.blobs[name]
            if delimiter:
                cut = name.find(delimiter, len(prefix))
                if cut >= 0:
                    virtual = name[:cut + len(delimiter)]
                    if virtual not in prefixes_seen and (blob.committed or "uncommittedblobs" in include):
                        prefixes_seen.add(virtual)
                        entries.append((virtual, "prefix", virtual))
                    continue
            if "snapshots" in include:
                for stamp in sorted(blob.snapshots):
                    entries.append((name + "\x00" + stamp, "blob", (blob.snapshots[stamp], stamp)))
            if blob.committed or ("uncommittedblobs" in include and blob.uncommitted):
                entries.append((name + "\x01", "blob", (blob, None)))
        entries.sort(key=lambda e: e[0])
        entries = [e for e in entries if e[0] >= start]
        page = entries[:max_results]
        next_key = entries[max_results][0] if len(entries) > max_results else None

        parts = ['<EnumerationResults ServiceEndpoint="%s/" ContainerName="%s">'
                 % (xml_attr(self.base_url_of(req)), xml_attr(container.name)),
                 element("Prefix", prefix), element("Marker", marker)]
        if "maxresults" in q:
            parts.append(element("MaxResults", str(max_results)))
        if delimiter:
            parts.append(element("Delimiter", delimiter))
        parts.append("<Blobs>")
        for _, kind, payload in page:
            if kind == "prefix":
                parts.append("<BlobPrefix>" + element("Name", payload) + "</BlobPrefix>")
            else:
                parts.append(self._blob_listing(payload[0], payload[1], include))
        parts.append("</Blobs>")
        parts.append(element("NextMarker", encode_marker(next_key) if next_key else ""))
        parts.append("</EnumerationResults>")
        return Response(200, [], xml_doc(parts), "application/xml")

    def _blob_listing(self, blob, snapshot, include):
        parts = ["<Blob>", element("Name", blob.name)]
        if snapshot:
            parts.append(element("Snapshot", snapshot))
        parts.append("<Properties>")
        if blob.committed:
            parts.append(element("Last-Modified", http_date(blob.last_modified)))
            parts.append(element("Etag", blob.etag))
        parts.append(element("Content-Length", str(blob.length() if blob.committed else 0)))
        for _, response_name, listing_name in CONTENT_PROPERTIES:
            parts.append(element(listing_name, blob.props.get(response_name, "")))
        if blob.blob_type == "PageBlob":
            parts.append(element("x-bs-blob-sequence-number", str(blob.sequence_number)))
        parts.append(element("BlobType", blob.blob_type or "BlockBlob"))
        if snapshot is None:
            parts.extend(blob.lease.listing())
        if blob.copy and "copy" in include:
            copy = blob.copy
            parts.extend([element("CopyId", copy["id"]), element("CopyStatus", copy["status"]),
                          element("CopySource", copy["source"]), element("CopyProgress", copy["progress"]),
                          element("CopyCompletionTime", http_date(copy["completion"]))])
            if copy.get("description"):
                parts.append(element("CopyStatusDescription", copy["description"]))
        parts.append("</Properties>")
        if "metadata" in include:
            parts.append("<Metadata>" + "".join(element(k, v) for k, v in blob.metadata) + "</Metadata>")
        parts.append("</Blob>")
        return "".join(parts)

    # Blobs: reading ---------------------------------------------------------

    def op_getblob(self, req):
        container = self._container(req)
        blob = self._blob(req, container)
        if not req.query.get("snapshot"):
            self._lease_check(req, blob.lease, False)
        self._conditions(req, blob.etag, blob.last_modified, True, True)
        total = blob.length()
        range_text = req.header("x-bs-range")
        strict = range_text is not None
        if range_text is None:
            range_text = req.header("range")
        want_md5 = (req.header("x-bs-range-get-content-md5") or "").lower() == "true"
        bounds = parse_range(range_text) if range_text is not None else None
        if range_text is not None and bounds is None and strict:
            raise invalid_header("x-bs-range", range_text)
        headers = self._blob_headers(blob)
        if bounds is None:
            if want_md5:
                raise invalid_header("x-bs-range-get-content-md5", req.header("x-bs-range-get-content-md5"))
            body = self._read(blob, 0, total)
            status = 200
            if "Content-MD5" in blob.props:
                headers.append(("Content-MD5", blob.props["Content-MD5"]))
        else:
            first, last = bounds
            if first >= total:
                raise ServiceError(416, "InvalidRange", "The range specified is invalid for the current size of "
                                   "the resource.", headers=[("Content-Range", "bytes */%d" % total)])
            last = total - 1 if last is None else min(last, total - 1)
            if want_md5 and last - first + 1 > MAX_RANGE_MD5:
                raise ServiceError(400, "OutOfRangeInput", "One of the request inputs is out of range.")
            body = self._read(blob, first, last + 1)
            status = 206
            headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, total)))
            if want_md5:
                headers.append(("Content-MD5", md5_b64(body)))
        content_type = req.sas_overrides.get("Content-Type", blob.props.get("Content-Type"))
        headers = [(n, req.sas_overrides.get(n, v)) for n, v in headers]
        for name, value in req.sas_overrides.items():
            if name != "Content-Type" and all(n != name for n, _ in headers):
                headers.append((name, value))
        return Response(status, headers, body, content_type)

    def _read(self, blob, start, end):
        if blob.blob_type == "PageBlob":
            return self._page_bytes(blob, start, end)
        if blob.blob_type == "BlockBlob":
            return memoryview(blob.data)[start:end]
        return bytes(memoryview(blob.data)[start:end])

    def op_getblobproperties(self, req):
        container = self._container(req)
        blob = self._blob(req, container)
        if not req.query.get("snapshot"):
            self._lease_check(req, blob.lease, False)
        self._conditions(req, blob.etag, blob.last_modified, True, True)
        headers = self._blob_headers(blob)
        if "Content-MD5" in blob.props:
            headers.append(("Content-MD5", blob.props["Content-MD5"]))
        content_type = blob.props.get("Content-Type")
        if content_type:
            headers.append(("Content-Type", content_type))
        response = Response(200, headers)
        response.entity_length = blob.length()
        return response

    def op_getblobmetadata(self, req):
        container = self._container(req)
        blob = self._blob(req, container)
        if not req.query.get("snapshot"):
            self._lease_check(req, blob.lease, False)
        self._conditions(req, blob.etag, blob.last_modified, True, True)
        return Response(200, [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified))]
                        + metadata_headers(blob.metadata))

    def op_getblocklist(self, req):
        container = self._container(req)
        base = container.blobs.get(req.blob)
        if base is None:
            raise blob_not_found()
        blob = base
        if req.query.get("snapshot"):
            blob = self._blob(req, container)
        else:
            self._lease_check(req, base.lease, False)
        if blob.committed and blob.blob_type != "BlockBlob":
            raise invalid_blob_type()
        kind = req.query.get("blocklisttype", "committed").lower()
        if kind not in ("committed", "uncommitted", "all"):
            raise invalid_query("blocklisttype", req.query.get("blocklisttype"))
        parts = ["<BlockList>"]
        if kind in ("committed", "all"):
            parts.append("<CommittedBlocks>")
            for block_id, _, size in blob.blocks:
                parts.append("<Block>" + element("Name", block_id) + element("Size", str(size)) + "</Block>")
            parts.append("</CommittedBlocks>")
        if kind in ("uncommitted", "all"):
            parts.append("<UncommittedBlocks>")
            for block_id, data in blob.uncommitted.items():
                parts.append("<Block>" + element("Name", block_id) + element("Size", str(len(data))) + "</Block>")
            parts.append("</UncommittedBlocks>")
        parts.append("</BlockList>")
        headers = [("x-bs-blob-content-length", str(blob.length() if blob.committed else 0))]
        if blob.committed:
            headers = [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified))] + headers
        return Response(200, headers, xml_doc(parts), "application/xml")

    def op_getpageranges(self, req):
        container = self._container(req)
        blob = self._blob(req, container)
        if not req.query.get("snapshot"):
            self._lease_check(req, blob.lease, False)
        self._conditions(req, blob.etag, blob.last_modified, True, True)
        if blob.blob_type != "PageBlob":
            raise invalid_blob_type()
        start, end = 0, blob.size
        range_text = req.header("x-bs-range") or req.header("range")
        if range_text is not None:
            bounds = parse_range(range_text)
            if bounds is None or bounds[0] % PAGE or (bounds[1] is not None and (bounds[1] + 1) % PAGE):
                raise ServiceError(416, "InvalidPageRange", "The page range specified is invalid.")
            start = bounds[0]
            end = blob.size if bounds[1] is None else min(bounds[1] + 1, blob.size)
        parts = ["<PageList>"]
        for a, b in blob.page_ranges:
            a, b = max(a, start), min(b, end)
            if a < b:
                parts.append("<PageRange>" + element("Start", str(a)) + element("End", str(b - 1)) + "</PageRange>")
        parts.append("</PageList>")
        headers = [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified)),
                   ("x-bs-blob-content-length", str(blob.size))]
        return Response(200, headers, xml_doc(parts), "application/xml")

    # Blobs: writing whole blobs ---------------------------------------------

    def _replace_blob(self, req, container, blob_type):
        """A fresh committed blob in place of any earlier one (whose lease and snapshots stay)."""
        old = container.blobs.get(req.blob)
        blob = Blob(req.blob)
        if old is not None:
            blob.lease = old.lease
            blob.snapshots = old.snapshots
        blob.blob_type = blob_type
        blob.committed = True
        blob.props = self._content_props(req)
        blob.metadata = metadata_from(req)
        container.blobs[req.blob] = blob
        return blob

    def op_putblob(self, req):
        container = self._container(req)
        self._write_target(req, container)
        if len(req.body) > MAX_PUT_BLOB:
            raise body_too_large(MAX_PUT_BLOB)
        self._check_md5(req)
        blob = self._replace_blob(req, container, "BlockBlob")
        blob.data = req.body
        if "Content-MD5" not in blob.props:
            blob.props["Content-MD5"] = req.body_md5
        blob.touch(self.clock)
        return Response(201, [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified)),
                              ("Content-MD5", req.body_md5)])

    def op_createpageblob(self, req):
        container = self._container(req)
        self._write_target(req, container)
        size = parse_int(req, "x-bs-blob-content-length", 0, required=True)
        if size % PAGE:
            raise invalid_header("x-bs-blob-content-length", str(size))
        sequence = parse_int(req, "x-bs-blob-sequence-number", 0, 2 ** 63 - 1) or 0
        if req.body:
            raise invalid_header("Content-Length", str(len(req.body)))
        blob = self._replace_blob(req, container, "PageBlob")
        blob.data = bytearray()
        blob.size = size
        blob.sequence_number = sequence
        blob.touch(self.clock)
        return Response(201, [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified))])

    def op_createappendblob(self, req):
        container = self._container(req)
        self._write_target(req, container)
        if req.body:
            raise invalid_header("Content-Length", str(len(req.body)))
        blob = self._replace_blob(req, container, "AppendBlob")
        blob.data = bytearray()
        blob.touch(self.clock)
        return Response(201, [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified))])

    # Block blobs --------------------------------------------------------------

    def op_putblock(self, req):
        container = self._container(req)
        raw_id = req.query.get("blockid")
        if raw_id is None:
            raise ServiceError(400, "MissingRequiredQueryParameter", "A query parameter that's mandatory for this "
                               "request is not specified.", [("QueryParameterName", "blockid")])
        try:
            decoded = base64.b64decode(raw_id, validate=True)
        except (binascii.Error, ValueError):
            raise invalid_query("blockid", raw_id, "Not a valid base64 string.")
        if not decoded or len(decoded) > MAX_BLOCK_ID_BYTES:
            raise invalid_query("blockid", raw_id, "Block id must be 1 to 64 bytes long.")
        blob = container.blobs.get(req.blob)
        if blob is not None:
            self._lease_check(req, blob.lease, True)
            if blob.committed and blob.blob_type != "BlockBlob":
                raise invalid_blob_type()
        if not req.body:
            raise invalid_header("Content-Length", "0")
        if len(req.body) > MAX_BLOCK:
            raise body_too_large(MAX_BLOCK)
        self._check_md5(req)
        if blob is None:
            blob = Blob(req.blob)
            blob.blob_type = "BlockBlob"
            container.blobs[req.blob] = blob
        if blob.block_id_length is not None and blob.block_id_length != len(decoded):
            raise ServiceError(400, "InvalidBlobOrBlock", "The specified blob or block content is invalid.")
        blob.block_id_length = len(decoded)
        blob.uncommitted.pop(raw_id, None)
        blob.uncommitted[raw_id] = req.body
        return Response(201, [("Content-MD5", req.body_md5)])

    def op_putblocklist(self, req):
        container = self._container(req)
        blob = self._write_target(req, container)
        if blob is not None and blob.blob_type != "BlockBlob":
            raise invalid_blob_type()
        self._check_md5(req)
        root = parse_xml(req.body)
        if root is None or root.tag != "BlockList":
            raise invalid_xml()
        staged = container.blobs.get(req.blob)
        uncommitted = staged.uncommitted if staged is not None else {}
        committed = {}
        old_data = b""
        if staged is not None and staged.committed:
            old_data = staged.data
            for block_id, offset, size in staged.blocks:
                committed[block_id] = (offset, size)
        pieces = []
        blocks = []
        offset = 0
        for item in root:
            block_id = (item.text or "").strip()
            source = None
            if item.tag in ("Uncommitted", "Latest") and block_id in uncommitted:
                source = memoryview(uncommitted[block_id])
            elif item.tag in ("Committed", "Latest") and block_id in committed:
                start, size = committed[block_id]
                source = memoryview(old_data)[start:start + size]
            elif item.tag not in ("Uncommitted", "Latest", "Committed"):
                raise invalid_xml()
            if source is None:
                raise ServiceError(400, "InvalidBlockList", "The specified block list is invalid.")
            pieces.append(source)
            blocks.append((block_id, offset, len(source)))
            offset += len(source)
        if len(blocks) > MAX_BLOCKS:
            raise ServiceError(409, "BlockCountExceedsLimit", "The committed block count cannot exceed the "
                               "maximum limit of 50,000 blocks.")
        data = b"".join(pieces)
        new = self._replace_blob(req, container, "BlockBlob")
        new.data = data
        new.blocks = blocks
        new.block_id_length = staged.block_id_length if staged is not None and blocks else None
        new.touch(self.clock)
        return Response(201, [("ETag", new.etag), ("Last-Modified", http_date(new.last_modified))])

    # Page blobs ---------------------------------------------------------------

    def _sequence_conditions(self, req, blob):
        for name, test in (("x-bs-if-sequence-number-le", lambda s, v: s <= v),
                           ("x-bs-if-sequence-number-lt", lambda s, v: s < v),
                           ("x-bs-if-sequence-number-eq", lambda s, v: s == v)):
            value = parse_int(req, name, 0)
            if value is not None and not test(blob.sequence_number, value):
                raise ServiceError(412, "SequenceNumberConditionNotMet", "The sequence number condition "
                                   "specified was not met.")

    def op_putpage(self, req):
        container = self._container(req)
        blob = self._write_target(req, container)
        if blob is None:
            raise blob_not_found()
        if blob.blob_type != "PageBlob":
            raise invalid_blob_type()
        self._sequence_conditions(req, blob)
        write = req.header("x-bs-page-write")
        if write is None:
            raise missing_header("x-bs-page-write")
        if write not in ("update", "clear"):
            raise invalid_header("x-bs-page-write", write)
        range_text = req.header("x-bs-range") or req.header("range")
        if range_text is None:
            raise missing_header("x-bs-range")
        bounds = parse_range(range_text)
        if bounds is None or bounds[1] is None:
            raise invalid_header("x-bs-range", range_text)
        start, end = bounds[0], bounds[1] + 1
        if start % PAGE or end % PAGE:
            raise ServiceError(416, "InvalidPageRange", "The page range specified is invalid.")
        if end > blob.size:
            raise ServiceError(416, "InvalidPageRange", "The page range specified is invalid.")
        if write == "update":
            if len(req.body) != end - start:
                raise invalid_header("Content-Length", str(len(req.body)))
            if len(req.body) > 4 * MIB:
                raise body_too_large(4 * MIB)
            self._check_md5(req)
            if len(blob.data) < end:
                blob.data.extend(bytes(end - len(blob.data)))
            blob.data[start:end] = req.body
            blob.page_ranges = ranges_add(blob.page_ranges, start, end)
        else:
            if req.body:
                raise invalid_header("Content-Length", str(len(req.body)))
            stored_end = min(end, len(blob.data))
            if stored_end > start:
                blob.data[start:stored_end] = bytes(stored_end - start)
            blob.page_ranges = ranges_remove(blob.page_ranges, start, end)
        blob.touch(self.clock)
        headers = [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified)),
                   ("x-bs-blob-sequence-number", str(blob.sequence_number))]
        if write == "update":
            headers.append(("Content-MD5", req.body_md5))
        return Response(201, headers)

    def op_setblobproperties(self, req):
        container = self._container(req)
        blob = self._write_target(req, container)
        if blob is None:
            raise blob_not_found()
        new_size = parse_int(req, "x-bs-blob-content-length", 0)
        action = req.header("x-bs-sequence-number-action")
        number = parse_int(req, "x-bs-blob-sequence-number", 0, 2 ** 63 - 1)
        if (new_size is not None or action is not None) and blob.blob_type != "PageBlob":
            raise invalid_header("x-bs-blob-content-length" if new_size is not None
                                 else "x-bs-sequence-number-action", req.header("x-bs-blob-content-length")
                                 if new_size is not None else action)
        if new_size is not None and new_size % PAGE:
            raise invalid_header("x-bs-blob-content-length", str(new_size))
        if action is not None:
            if action not in ("max", "update", "increment"):
                raise invalid_header("x-bs-sequence-number-action", action)
            if action == "increment" and number is not None:
                raise invalid_header("x-bs-blob-sequence-number", str(number))
            if action != "increment" and number is None:
                raise missing_header("x-bs-blob-sequence-number")
        elif number is not None:
            raise missing_header("x-bs-sequence-number-action")
        if any(req.header(h) is not None for h, _, _ in CONTENT_PROPERTIES):
            blob.props = self._content_props(req, defaults=False)
        if new_size is not None:
            blob.size = new_size
            if len(blob.data) > new_size:
                del blob.data[new_size:]
            blob.page_ranges = ranges_remove(blob.page_ranges, new_size, 2 ** 64)
        if action == "increment":
            blob.sequence_number += 1
        elif action == "max":
            blob.sequence_number = max(blob.sequence_number, number)
        elif action == "update":
            blob.sequence_number = number
        blob.touch(self.clock)
        headers = [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified))]
        if blob.blob_type == "PageBlob":
            headers.append(("x-bs-blob-sequence-number", str(blob.sequence_number)))
        return Response(200, headers)

    def op_setblobmetadata(self, req):
        container = self._container(req)
        blob = self._write_target(req, container)
        if blob is None:
            raise blob_not_found()
        blob.metadata = metadata_from(req)
        blob.touch(self.clock)
        return Response(200, [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified))])

    # Append blobs -------------------------------------------------------------

    def op_appendblock(self, req):
        container = self._container(req)
        blob = self._write_target(req, container)
        if blob is None:
            raise blob_not_found()
        if blob.blob_type != "AppendBlob":
            raise invalid_blob_type()
        if not req.body:
            raise invalid_header("Content-Length", "0")
        if len(req.body) > MAX_APPEND_BLOCK:
            raise body_too_large(MAX_APPEND_BLOCK)
        max_size = parse_int(req, "x-bs-blob-condition-maxsize", 0)
        position = parse_int(req, "x-bs-blob-condition-appendpos", 0)
        current = len(blob.data)
        if max_size is not None and current + len(req.body) > max_size:
            raise ServiceError(412, "MaxBlobSizeConditionNotMet", "The max blob size condition specified was not "
                               "met.")
        if position is not None and position != current:
            raise ServiceError(412, "AppendPositionConditionNotMet", "The append position condition specified "
                               "was not met.")
        if blob.append_count >= MAX_BLOCKS:
            raise ServiceError(409, "BlockCountExceedsLimit", "The committed block count cannot exceed the "
                               "maximum limit of 50,000 blocks.")
        self._check_md5(req)
        blob.data.extend(req.body)
        blob.append_count += 1
        blob.props.pop("Content-MD5", None)
        blob.touch(self.clock)
        return Response(201, [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified)),
                              ("Content-MD5", req.body_md5), ("x-bs-blob-append-offset", str(current)),
                              ("x-bs-blob-committed-block-count", str(blob.append_count))])

    # Delete, snapshot, lease, copy ---------------------------------------------

    def op_deleteblob(self, req):
        container = self._container(req)
        base = container.blobs.get(req.blob)
        if base is None or not base.committed:
            raise blob_not_found()
        option = req.header("x-bs-delete-snapshots")
        if option is not None and option not in ("include", "only"):
            raise invalid_header("x-bs-delete-snapshots", option)
        snapshot = req.query.get("snapshot")
        if snapshot:
            if option is not None:
                raise invalid_header("x-bs-delete-snapshots", option)
            frozen = base.snapshots.get(snapshot)
            if frozen is None:
                raise blob_not_found()
            self._conditions(req, frozen.etag, frozen.last_modified, True, False)
            del base.snapshots[snapshot]
            return Response(202)
        self._conditions(req, base.etag, base.last_modified, True, False)
        self._lease_check(req, base.lease, True)
        if base.snapshots and option is None:
            raise ServiceError(409, "SnapshotsPresent", "This operation is not permitted because the blob has "
                               "snapshots.")
        if option == "only":
            base.snapshots = {}
        else:
            del container.blobs[req.blob]
        return Response(202)

    def op_snapshotblob(self, req):
        container = self._container(req)
        blob = self._blob(req, container, allow_snapshot=False)
        self._conditions(req, blob.etag, blob.last_modified, True, False)
        self._lease_check(req, blob.lease, False)
        stamp = self.clock.snapshot_time()
        frozen = blob.freeze()
        if has_metadata(req):
            frozen.metadata = metadata_from(req)
        blob.snapshots[stamp] = frozen
        return Response(201, [("x-bs-snapshot", stamp), ("ETag", blob.etag),
                              ("Last-Modified", http_date(blob.last_modified))])

    def op_leaseblob(self, req):
        container = self._container(req)
        blob = self._blob(req, container, allow_snapshot=False)
        self._conditions(req, blob.etag, blob.last_modified, True, False)
        return self._lease_action(req, blob.lease, [("ETag", blob.etag),
                                                    ("Last-Modified", http_date(blob.last_modified))])

    def op_copyblob(self, req):
        container = self._container(req)
        source_url = req.header("x-bs-copy-source")
        source = self._copy_source(req, source_url)
        self._conditions(req, source.etag, source.last_modified, True, False, prefix="x-bs-source-")
        target = self._write_target(req, container)
        if target is not None and target.blob_type != source.blob_type:
            raise invalid_blob_type()
        blob = self._replace_blob(req, container, source.blob_type)
        blob.props = dict(source.props)
        blob.metadata = metadata_from(req) if has_metadata(req) else list(source.metadata)
        blob.data = source.data if source.blob_type == "BlockBlob" else bytearray(source.data)
        blob.size = source.size
        blob.blocks = list(source.blocks)
        blob.block_id_length = source.block_id_length if source.blocks else None
        blob.page_ranges = list(source.page_ranges)
        blob.sequence_number = source.sequence_number
        blob.append_count = source.append_count
        length = blob.length()
        blob.copy = {"id": str(uuid.uuid4()), "source": source_url, "status": "success",
                     "progress": "%d/%d" % (length, length), "completion": time.time()}
        blob.touch(self.clock)
        return Response(202, [("ETag", blob.etag), ("Last-Modified", http_date(blob.last_modified)),
                              ("x-bs-copy-id", blob.copy["id"]), ("x-bs-copy-status", "success")])

    def _copy_source(self, req, url):
        def cannot(status, detail):
            return ServiceError(status, "CannotVerifyCopySource", detail)

        parts = urllib.parse.urlsplit(url)
        if parts.scheme not in ("http", "https") or (parts.hostname or "") not in ("127.0.0.1", "localhost"):
            raise cannot(400, "The copy source must be a blob of this service.")
        segments = parts.path.lstrip("/").split("/", 2)
        if len(segments) < 3 or segments[0] not in (self.account, self.account + "-secondary") \
                or not segments[2]:
            raise cannot(404, "The specified blob does not exist.")
        container = self.containers.get(pct_decode(segments[1]))
        if container is None:
            raise cannot(404, "The specified container does not exist.")
        blob = container.blobs.get(pct_decode(segments[2]))
        if blob is None or not blob.committed:
            raise cannot(404, "The specified blob does not exist.")
        for piece in parts.query.split("&"):
            name, _, value = piece.partition("=")
            if pct_decode(name).lower() == "snapshot" and value:
                frozen = blob.snapshots.get(pct_decode(value))
                if frozen is None:
                    raise cannot(404, "The specified blob does not exist.")
                return frozen
        return blob

    def op_abortcopyblob(self, req):
        container = self._container(req)
        blob = self._blob(req, container, allow_snapshot=False)
        action = req.header("x-bs-copy-action")
        if action is None:
            raise missing_header("x-bs-copy-action")
        if action != "abort":
            raise invalid_header("x-bs-copy-action", action)
        self._lease_check(req, blob.lease, True)
        copy_id = req.query.get("copyid", "")
        if not blob.copy or blob.copy["id"] != copy_id:
            raise ServiceError(409, "CopyIdMismatch", "The specified copy ID did not match the copy ID for the "
                               "pending copy operation.")
        if blob.copy["status"] != "pending":
            raise ServiceError(409, "NoPendingCopyOperation", "There is currently no pending copy operation.")
        return Response(204)


def default_service_properties():
    def retention():
        return "<RetentionPolicy><Enabled>false</Enabled></RetentionPolicy>"

    text = ("<StorageServiceProperties>"
            "<Logging><Version>1.0</Version><Delete>false</Delete><Read>false</Read><Write>false</Write>"
            + retention() + "</Logging>"
            "<HourMetrics><Version>1.0</Version><Enabled>false</Enabled>" + retention() + "</HourMetrics>"
            "<MinuteMetrics><Version>1.0</Version><Enabled>false</Enabled>" + retention() + "</MinuteMetrics>"
            "<Cors /></StorageServiceProperties>")
    return ET.fromstring(text)


def valid_container_name(name):
    if name in ("$root", "$logs"):
        return True
    if not 3 <= len(name) <= 63 or "--" in name or name[0] == "-" or name[-1] == "-":
        return False
    return all(c.isascii() and (c.islower() or c.isdigit() or c == "-") for c in name)


def encode_marker(key):
    # Opaque and safe in a query without escaping.
    return base64.urlsafe_b64encode(key.encode("utf-8", "surrogateescape")).decode("ascii").rstrip("=")


def decode_marker(marker):
    if not marker:
        return ""
    try:
        padded = marker + "=" * (-len(marker) % 4)
        return base64.urlsafe_b64decode(padded.encode("ascii")).decode("utf-8", "surrogateescape")
    except (binascii.Error, ValueError, UnicodeEncodeError):
        raise invalid_query("marker", marker)


def xml_attr(text):
    return text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")

