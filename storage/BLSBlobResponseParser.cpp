#include "storage/BLSBlobResponseParser.h"

#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSUtil.h"

#include <charconv>
#include <utility>

namespace {

using platform::net::HTTPURLResponse;

const std::string* header(const HTTPURLResponse& response, std::string_view name) {
    return response.valueForHTTPHeaderField(name);
}

std::optional<std::int64_t> numberHeader(const HTTPURLResponse& response, std::string_view name) {
    const std::string* value = header(response, name);
    return value ? BLSBlobResponseParser::parseInt64(*value) : std::nullopt;
}

// Looks the header's text up in the table; absent gives 0 and no error, an
// unknown text 0, code 6 and `logText` at error level.
template <typename Enum, std::size_t N>
Enum parseLeaseValue(const HTTPURLResponse& response, std::string_view name,
                     const std::pair<const char*, Enum> (&table)[N], const char* logText,
                     BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    const std::string* value = header(response, name);
    if (!value) return static_cast<Enum>(0);
    for (const auto& [text, result] : table) {
        if (*value == text) return result;
    }
    operationContext.logAtLevel(BLSLogLevelError, std::string(logText));
    error = BLSMakeError(BLSErrorCode::ParseError);
    return static_cast<Enum>(0);
}

// The total of "bytes a-b/total"; nullopt when there is no "/" or the
// total is not a number (e.g. "*").
std::optional<std::int64_t> totalOfRange(const std::string& value) {
    auto slash = value.rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    auto total = BLSBlobResponseParser::parseInt64(std::string_view(value).substr(slash + 1));
    if (!total || *total < 0) return std::nullopt;
    return total;
}

}  // namespace

std::optional<std::int64_t> BLSBlobResponseParser::parseInt64(std::string_view text) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

BLSLeaseState BLSBlobResponseParser::getLeaseStateWithResponse(const HTTPURLResponse& response,
                                                               BLSOperationContext& operationContext,
                                                               std::optional<platform::Error>& error) {
    static const std::pair<const char*, BLSLeaseState> table[] = {
        {"available", BLSLeaseStateAvailable}, {"leased", BLSLeaseStateLeased}, {"expired", BLSLeaseStateExpired},
        {"breaking", BLSLeaseStateBreaking},   {"broken", BLSLeaseStateBroken},
    };
    return parseLeaseValue(response, "x-bs-lease-state", table, "Parse unsuccessful for get lease state.",
                           operationContext, error);
}

BLSLeaseStatus BLSBlobResponseParser::getLeaseStatusWithResponse(const HTTPURLResponse& response,
                                                                 BLSOperationContext& operationContext,
                                                                 std::optional<platform::Error>& error) {
    static const std::pair<const char*, BLSLeaseStatus> table[] = {
        {"locked", BLSLeaseStatusLocked},
        {"unlocked", BLSLeaseStatusUnlocked},
    };
    return parseLeaseValue(response, "x-bs-lease-status", table, "Parse unsuccessful for get lease status.",
                           operationContext, error);
}

BLSLeaseDuration BLSBlobResponseParser::getLeaseDurationWithResponse(const HTTPURLResponse& response,
                                                                     BLSOperationContext& operationContext,
                                                                     std::optional<platform::Error>& error) {
    static const std::pair<const char*, BLSLeaseDuration> table[] = {
        {"fixed", BLSLeaseDurationFixed},
        {"infinite", BLSLeaseDurationInfinite},
    };
    return parseLeaseValue(response, "x-bs-lease-duration", table, "Parse unsuccessful for get lease duration.",
                           operationContext, error);
}

std::optional<std::int64_t> BLSBlobResponseParser::getBlobLengthWithResponse(const HTTPURLResponse& response) {
    // A ranged answer's own Content-Length is the range's, never the blob's.
    if (const std::string* range = header(response, "Content-Range")) return totalOfRange(*range);
    if (const std::string* range = header(response, "Range")) return totalOfRange(*range);
    // No blob is shorter than nothing: a negative length is no length.
    if (auto length = numberHeader(response, "x-bs-blob-content-length"); length && *length >= 0) return length;
    if (auto length = numberHeader(response, "Content-Length"); length && *length >= 0) return length;
    if (response.expectedContentLength >= 0) return response.expectedContentLength;
    return std::nullopt;
}

std::optional<BLSBlobProperties> BLSBlobResponseParser::getBlobPropertiesWithResponse(
    const HTTPURLResponse& response, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    BLSBlobProperties properties;
    if (const std::string* eTag = header(response, "ETag")) properties.eTag = *eTag;
    if (const std::string* modified = header(response, "Last-Modified")) {
        properties.lastModified = BLSUtil::dateFromHttpString(*modified);
    }

    std::optional<platform::Error> leaseError;
    properties.leaseState = getLeaseStateWithResponse(response, operationContext, leaseError);
    if (!leaseError) properties.leaseStatus = getLeaseStatusWithResponse(response, operationContext, leaseError);
    if (!leaseError) properties.leaseDuration = getLeaseDurationWithResponse(response, operationContext, leaseError);
    if (leaseError) {
        error = std::move(leaseError);
        return std::nullopt;
    }

    auto text = [&](std::string_view name) -> std::optional<std::string> {
        const std::string* value = header(response, name);
        return value ? std::optional<std::string>(*value) : std::nullopt;
    };
    properties.contentLanguage = text("Content-Language");
    properties.contentDisposition = text("Content-Disposition");
    properties.contentEncoding = text("Content-Encoding");
    properties.contentMD5 = text("Content-MD5");
    properties.contentType = text("Content-Type");
    properties.cacheControl = text("Cache-Control");

    if (const std::string* type = header(response, "x-bs-blob-type")) {
        if (*type == "BlockBlob") properties.blobType = BLSBlobTypeBlockBlob;
        else if (*type == "PageBlob") properties.blobType = BLSBlobTypePageBlob;
        else if (*type == "AppendBlob") properties.blobType = BLSBlobTypeAppendBlob;
    }

    properties.length = getBlobLengthWithResponse(response);
    properties.sequenceNumber = numberHeader(response, "x-bs-blob-sequence-number");
    properties.appendBlobCommittedBlockCount = numberHeader(response, "x-bs-blob-committed-block-count");
    return properties;
}

BLSBlobContainerProperties BLSBlobResponseParser::getContainerPropertiesWithResponse(
    const HTTPURLResponse& response, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    BLSBlobContainerProperties properties;
    if (const std::string* eTag = header(response, "ETag")) properties.eTag = *eTag;
    if (const std::string* modified = header(response, "Last-Modified")) {
        properties.lastModified = BLSUtil::dateFromHttpString(*modified);
    }
    // All three are read even after a failure; the first error is reported.
    std::optional<platform::Error> stateError, statusError, durationError;
    properties.leaseState = getLeaseStateWithResponse(response, operationContext, stateError);
    properties.leaseStatus = getLeaseStatusWithResponse(response, operationContext, statusError);
    properties.leaseDuration = getLeaseDurationWithResponse(response, operationContext, durationError);
    if (stateError) error = std::move(stateError);
    else if (statusError) error = std::move(statusError);
    else if (durationError) error = std::move(durationError);
    return properties;
}

BLSMetadata BLSBlobResponseParser::getMetadataWithResponse(const HTTPURLResponse& response) {
    static constexpr std::string_view kPrefix = "x-bs-meta-";
    BLSMetadata metadata;
    for (const auto& [name, value] : response.headers) {
        if (name.size() > kPrefix.size() && name.starts_with(kPrefix)) {
            metadata[name.substr(kPrefix.size())] = value;
        }
    }
    return metadata;
}

BLSCopyState BLSBlobResponseParser::getCopyStateWithResponse(const HTTPURLResponse& response) {
    BLSCopyState state;
    const std::string* status = header(response, "x-bs-copy-status");
    if (!status) return state;

    if (const std::string* id = header(response, "x-bs-copy-id")) state.operationId = *id;
    if (const std::string* text = header(response, "x-bs-copy-status-description")) state.statusDescription = *text;

    if (*status == "success") state.copyStatus = BLSCopyStatusSuccess;
    else if (*status == "pending") state.copyStatus = BLSCopyStatusPending;
    else if (*status == "aborted") state.copyStatus = BLSCopyStatusAborted;
    else if (*status == "failed") state.copyStatus = BLSCopyStatusFailed;

    if (const std::string* progress = header(response, "x-bs-copy-progress")) {
        auto slash = progress->find('/');
        if (slash != std::string::npos) {
            state.bytesCopied = parseInt64(std::string_view(*progress).substr(0, slash));
            state.totalBytes = parseInt64(std::string_view(*progress).substr(slash + 1));
        } else {
            state.bytesCopied = parseInt64(*progress);
        }
    }
    if (const std::string* source = header(response, "x-bs-copy-source")) {
        state.source = platform::net::URL::parse(*source);
    }
    if (const std::string* completion = header(response, "x-bs-copy-completion-time")) {
        state.completionTime = BLSUtil::dateFromRoundtripString(*completion);
    }
    return state;
}

std::optional<std::int64_t> BLSBlobResponseParser::getRemainingLeaseTimeWithResponse(const HTTPURLResponse& response) {
    return numberHeader(response, "x-bs-lease-time");
}

std::optional<std::int64_t> BLSBlobResponseParser::getSequenceNumberWithResponse(const HTTPURLResponse& response) {
    return numberHeader(response, "x-bs-blob-sequence-number");
}

std::optional<std::int64_t> BLSBlobResponseParser::getAppendCommittedBlockCountWithResponse(
    const HTTPURLResponse& response) {
    return numberHeader(response, "x-bs-blob-committed-block-count");
}

std::optional<std::int64_t> BLSBlobResponseParser::getAppendPositionWithResponse(const HTTPURLResponse& response) {
    return numberHeader(response, "x-bs-blob-append-offset");
}
