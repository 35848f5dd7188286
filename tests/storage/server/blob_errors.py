"""Service errors and the small XML writer of the blob service stand-in."""

from xml.sax.saxutils import escape

XML_DECLARATION = '<?xml version="1.0" encoding="utf-8"?>'


class ServiceError(Exception):
    """An answer of the service other than success: status, Error code, message, extra children."""

    def __init__(self, status, code, message, extra=None, headers=None):
        super().__init__("%d %s" % (status, code))
        self.status = status
        self.code = code
        self.message = message
        self.extra = extra or []
        self.headers = headers or []

    def body(self, request_id, time_text):
        parts = [XML_DECLARATION, "<Error>", element("Code", self.code),
                 element("Message", "%s\nRequestId:%s\nTime:%s" % (self.message, request_id, time_text))]
        parts.extend(element(name, value) for name, value in self.extra)
        parts.append("</Error>")
        return "".join(parts).encode("utf-8", "surrogateescape")


def element(name, text):
    if text is None or text == "":
        return "<%s />" % name
    return "<%s>%s</%s>" % (name, escape(str(text)), name)


# The errors the operations raise most often.

def container_not_found():
    return ServiceError(404, "ContainerNotFound", "The specified container does not exist.")


def blob_not_found():
    return ServiceError(404, "BlobNotFound", "The specified blob does not exist.")


def condition_not_met():
    return ServiceError(412, "ConditionNotMet",
                        "The condition specified using HTTP conditional header(s) is not met.")


def invalid_header(name, value):
    return ServiceError(400, "InvalidHeaderValue",
                        "The value for one of the HTTP headers is not in the correct format.",
                        [("HeaderName", name), ("HeaderValue", value)])


def missing_header(name):
    return ServiceError(400, "MissingRequiredHeader",
                        "An HTTP header that's mandatory for this request is not specified.",
                        [("HeaderName", name)])


def invalid_query(name, value, reason=None):
    extra = [("QueryParameterName", name), ("QueryParameterValue", value)]
    if reason:
        extra.append(("Reason", reason))
    return ServiceError(400, "InvalidQueryParameterValue",
                        "Value for one of the query parameters specified in the request URI is invalid.", extra)


def invalid_xml():
    return ServiceError(400, "InvalidXmlDocument", "XML specified is not syntactically valid.")


def invalid_blob_type():
    return ServiceError(409, "InvalidBlobType", "The blob type is invalid for this operation.")


def md5_mismatch(given, computed):
    return ServiceError(400, "Md5Mismatch",
                        "The MD5 value specified in the request did not match with the MD5 value calculated "
                        "by the server.", [("UserSpecifiedMd5", given), ("ServerCalculatedMd5", computed)])


def body_too_large(limit):
    return ServiceError(413, "RequestBodyTooLarge", "The request body is too large and exceeds the maximum "
                        "permissible limit.", [("MaxLimit", str(limit))])
