#include "storage/BLSListResponses.h"

#include "platform/foundation/AsciiText.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSUtil.h"
#include "storage/BLSXMLResponseFrame.h"

#include <algorithm>

namespace {

constexpr std::size_t kStackCapacity = 10;

// Runs the parse; `result`, which the handlers fill, when it succeeded.
// A failure is reported the way every reader does: `message` logged, and
// the frame's own error when a handler gave one, else code 6.
template <typename Result>
std::optional<Result> runParse(BLSXMLResponseFrame& frame, std::span<const std::uint8_t> data,
                               const BLSXMLResponseFrame::BeginHandler& onBegin,
                               const BLSXMLResponseFrame::EndHandler& onEnd, Result& result, const char* message,
                               std::optional<platform::Error>& error) {
    if (!frame.run(data, onBegin, onEnd)) {
        frame.operationContext().logAtLevel(BLSLogLevelError, message);
        error = frame.failure() ? std::move(*frame.failure()) : BLSMakeError(BLSErrorCode::ParseError);
        return std::nullopt;
    }
    return std::move(result);
}

platform::Error invalidValue(const std::string& what, const std::string& text) {
    return BLSMakeError(BLSErrorCode::ParseError,
                        {{platform::Error::LocalizedDescriptionKey, "Invalid " + what + ": " + text}});
}

void readLeaseStatus(const std::string& text, BLSLeaseStatus& status) {
    if (text == "locked") status = BLSLeaseStatusLocked;
    else if (text == "unlocked") status = BLSLeaseStatusUnlocked;
}

void readLeaseState(const std::string& text, BLSLeaseState& state) {
    if (text == "available") state = BLSLeaseStateAvailable;
    else if (text == "leased") state = BLSLeaseStateLeased;
    else if (text == "expired") state = BLSLeaseStateExpired;
    else if (text == "breaking") state = BLSLeaseStateBreaking;
    else if (text == "broken") state = BLSLeaseStateBroken;
}

void readLeaseDuration(const std::string& text, BLSLeaseDuration& duration) {
    if (text == "fixed") duration = BLSLeaseDurationFixed;
    else if (text == "infinite") duration = BLSLeaseDurationInfinite;
}

void readBlobType(const std::string& text, BLSBlobType& type) {
    if (text == "BlockBlob") type = BLSBlobTypeBlockBlob;
    else if (text == "PageBlob") type = BLSBlobTypePageBlob;
    else if (text == "AppendBlob") type = BLSBlobTypeAppendBlob;
}

// The properties a container and a blob listing share; false for any other
// element.
template <typename Properties>
bool readSharedProperty(const std::string& element, const std::string& text, Properties& properties) {
    if (element == "Last-Modified") properties.lastModified = BLSUtil::dateFromHttpString(text);
    else if (element == "Etag") properties.eTag = text;
    else if (element == "LeaseStatus") readLeaseStatus(text, properties.leaseStatus);
    else if (element == "LeaseState") readLeaseState(text, properties.leaseState);
    else if (element == "LeaseDuration") readLeaseDuration(text, properties.leaseDuration);
    else return false;
    return true;
}

void readCopyStatus(const std::string& text, BLSCopyStatus& status) {
    if (text == "pending") status = BLSCopyStatusPending;
    else if (text == "success") status = BLSCopyStatusSuccess;
    else if (text == "aborted") status = BLSCopyStatusAborted;
    else if (text == "failed") status = BLSCopyStatusFailed;
}

// A count of bytes; a text that is not one leaves the field unset, with a
// warning, since the rest of the item is still good.
std::optional<std::int64_t> readCount(BLSXMLResponseFrame& frame, const std::string& element, const std::string& text) {
    auto value = BLSReadNonNegativeInt64(text);
    if (!value) {
        frame.operationContext().logAtLevel(BLSLogLevelWarning,
                                            [&] { return "Ignoring invalid " + element + " = " + text; });
    }
    return value;
}

// "bytes copied/total bytes"; both unset unless the text is exactly two
// counts.
void readCopyProgress(BLSXMLResponseFrame& frame, const std::string& text, BLSCopyState& copyState) {
    const auto slash = text.find('/');
    if (slash == std::string::npos || text.find('/', slash + 1) != std::string::npos) {
        frame.operationContext().logAtLevel(BLSLogLevelWarning,
                                            [&] { return "Ignoring invalid CopyProgress = " + text; });
        return;
    }
    auto copied = readCount(frame, "CopyProgress", text.substr(0, slash));
    auto total = readCount(frame, "CopyProgress", text.substr(slash + 1));
    if (!copied || !total) return;
    copyState.bytesCopied = copied;
    copyState.totalBytes = total;
}

}  // namespace

std::optional<BLSListContainersResponse> BLSListContainersResponse::parseListContainersResponseWithData(
    std::span<const std::uint8_t> data, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    BLSListContainersResponse response;
    BLSContainerListItem item;
    BLSXMLResponseFrame frame(operationContext, kStackCapacity);

    auto onBegin = [&](BLSXMLResponseFrame&, const std::string& parent, const std::string& element) {
        // Nothing read outside one container may reach it.
        if (parent == "Containers" && element == "Container") item = BLSContainerListItem{};
    };
    auto onEnd = [&](BLSXMLResponseFrame&, const std::string& parent, const std::string& ended,
                     const std::string& text) -> bool {
        if (parent == "Containers") {
            if (ended == "Container") {
                response.containerListItems.push_back(std::move(item));
                item = BLSContainerListItem{};
            }
            return false;
        }
        if (parent == "EnumerationResults") {
            if (ended == "NextMarker" && !text.empty()) response.nextMarker = text;
        } else if (parent == "Container") {
            if (ended == "Name") item.name = text;
        } else if (parent == "Properties") {
            readSharedProperty(ended, text, item.properties);
        } else if (parent == "Metadata") {
            item.metadata[ended] = text;
        } else {
            return false;
        }
        return true;
    };

    return runParse(frame, data, onBegin, onEnd, response, "Parse unsuccessful for list containers response.", error);
}

std::optional<BLSListBlobsResponse> BLSListBlobsResponse::parseListBlobsResponseWithData(
    std::span<const std::uint8_t> data, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    BLSListBlobsResponse response;
    BLSBlobListItem item;
    BLSXMLResponseFrame frame(operationContext, kStackCapacity);

    auto onBegin = [&](BLSXMLResponseFrame&, const std::string& parent, const std::string& element) {
        if (parent == "Blobs" && (element == "Blob" || element == "BlobPrefix")) item = BLSBlobListItem{};
    };
    auto onEnd = [&](BLSXMLResponseFrame& frame, const std::string& parent, const std::string& ended,
                     const std::string& text) -> bool {
        if (parent == "Blobs") {
            if (ended == "Blob" || ended == "BlobPrefix") {
                item.isDirectory = ended == "BlobPrefix";
                response.blobListItems.push_back(std::move(item));
                item = BLSBlobListItem{};
            }
            return false;
        }
        if (parent == "EnumerationResults") {
            if (ended == "NextMarker" && !text.empty()) response.nextMarker = text;
        } else if (parent == "Blob") {
            if (ended == "Name") item.name = text;
            else if (ended == "Snapshot") item.snapshotTime = text;
        } else if (parent == "BlobPrefix") {
            if (ended == "Name") item.name = text;
        } else if (parent == "Properties") {
            BLSBlobProperties& properties = item.properties;
            BLSCopyState& copyState = item.blobCopyState;
            if (readSharedProperty(ended, text, properties)) return true;
            if (ended == "Content-Length") properties.length = readCount(frame, ended, text);
            else if (ended == "Content-Type") properties.contentType = text;
            else if (ended == "Content-Encoding") properties.contentEncoding = text;
            else if (ended == "Content-Language") properties.contentLanguage = text;
            else if (ended == "Content-MD5") properties.contentMD5 = text;
            else if (ended == "Cache-Control") properties.cacheControl = text;
            else if (ended == "x-bs-blob-sequence-number") properties.sequenceNumber = readCount(frame, ended, text);
            else if (ended == "BlobType") readBlobType(text, properties.blobType);
            else if (ended == "CopyId") copyState.operationId = text;
            else if (ended == "CopyStatus") readCopyStatus(text, copyState.copyStatus);
            else if (ended == "CopySource") copyState.source = platform::net::URL::parse(text);
            else if (ended == "CopyProgress") readCopyProgress(frame, text, copyState);
            else if (ended == "CopyCompletionTime") copyState.completionTime = BLSUtil::dateFromHttpString(text);
            else if (ended == "CopyStatusDescription") copyState.statusDescription = text;
        } else if (parent == "Metadata") {
            item.metadata[ended] = text;
        } else {
            return false;
        }
        return true;
    };

    return runParse(frame, data, onBegin, onEnd, response, "Parse unsuccessful for list blobs response.", error);
}

std::optional<BLSDownloadContainerPermissions>
BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(
    std::span<const std::uint8_t> data, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    BLSDownloadContainerPermissions permissions;
    BLSSharedAccessPolicy policy;
    auto startPolicy = [&policy] {
        policy.permissions = 0;
        policy.sharedAccessExpiryTime.reset();
        policy.sharedAccessStartTime.reset();
        policy.policyIdentifier.reset();
    };
    BLSXMLResponseFrame frame(operationContext, kStackCapacity);

    // Every identifier starts from a blank policy, stored or not, so that no
    // entry takes over the fields of the one before.
    auto onBegin = [&](BLSXMLResponseFrame&, const std::string&, const std::string& element) {
        if (element == "SignedIdentifier") startPolicy();
    };
    auto readTime = [](BLSXMLResponseFrame& frame, const std::string& element,
                       const std::string& text) -> std::optional<BLSWideDate> {
        if (text.empty()) return std::nullopt;
        if (auto date = BLSUtil::wideDateFromRoundtripString(text)) return date;
        if (auto date = BLSUtil::wideDateFromUtcTimeString(text)) return date;
        frame.fail(invalidValue(element, text));
        return std::nullopt;
    };
    auto onEnd = [&](BLSXMLResponseFrame& frame, const std::string& parent, const std::string& ended,
                     const std::string& text) -> bool {
        if (parent == "SignedIdentifiers") {
            if (ended == "SignedIdentifier") {
                if (policy.policyIdentifier) permissions.storedPolicies[*policy.policyIdentifier] = policy;
                startPolicy();
            }
            return false;
        }
        if (parent == "SignedIdentifier") {
            if (ended == "Id") policy.policyIdentifier = text;
        } else if (parent == "AccessPolicy") {
            if (ended == "Start") {
                policy.sharedAccessStartTime = readTime(frame, ended, text);
            } else if (ended == "Expiry") {
                policy.sharedAccessExpiryTime = readTime(frame, ended, text);
            } else if (ended == "Permission") {
                // An unknown letter must not turn into some set of rights.
                std::optional<platform::Error> letterError;
                policy.permissions = BLSSharedAccessSignatureHelper::permissionsFromString(text, letterError);
                if (letterError) frame.fail(std::move(letterError));
            }
        } else {
            return false;
        }
        return true;
    };

    return runParse(frame, data, onBegin, onEnd, permissions, "Parse unsuccessful for fetch stored policies response.",
                    error);
}

BLSContainerPublicAccessType BLSDownloadContainerPermissions::createContainerPermissionsWithResponse(
    const platform::net::HTTPURLResponse& response, BLSOperationContext& operationContext,
    std::optional<platform::Error>& error) {
    const std::string* header = response.valueForHTTPHeaderField("x-bs-blob-public-access");
    if (header == nullptr || header->empty()) return BLSContainerPublicAccessTypeOff;
    if (platform::ascii::equalsIgnoringCase(*header, "container")) return BLSContainerPublicAccessTypeContainer;
    if (platform::ascii::equalsIgnoringCase(*header, "blob")) return BLSContainerPublicAccessTypeBlob;
    const std::string reason = "Invalid Public Access Type: " + *header;
    operationContext.logAtLevel(BLSLogLevelError, reason);
    error = BLSMakeInvalidArgumentError(reason);
    return BLSContainerPublicAccessTypeOff;
}

std::optional<std::vector<BLSBlockListItem>> BLSGetBlockListResponse::parseGetBlockListResponseWithData(
    std::span<const std::uint8_t> data, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    std::vector<BLSBlockListItem> blocks;
    BLSBlockListItem item{"", BLSBlockListModeLatest};
    BLSXMLResponseFrame frame(operationContext, kStackCapacity);

    auto onBegin = [&](BLSXMLResponseFrame&, const std::string&, const std::string& element) {
        if (element == "Block") item = BLSBlockListItem{"", BLSBlockListModeLatest};
    };
    auto onEnd = [&](BLSXMLResponseFrame& frame, const std::string& parent, const std::string& ended,
                     const std::string& text) -> bool {
        if (parent == "Block") {
            if (ended == "Name") {
                item.blockID = text;
            } else if (ended == "Size") {
                // The sizes place the blocks in the blob; a wrong one must not
                // be guessed.
                auto size = BLSReadNonNegativeInt64(text);
                if (!size) {
                    frame.fail(invalidValue("block size", text));
                    return true;
                }
                item.size = *size;
            } else {
                return false;
            }
            return true;
        }
        if (parent == "CommittedBlocks" || parent == "UncommittedBlocks") {
            item.blockListMode = parent == "CommittedBlocks" ? BLSBlockListModeCommitted : BLSBlockListModeUncommitted;
            blocks.push_back(std::move(item));
            item = BLSBlockListItem{"", BLSBlockListModeLatest};
        }
        return false;
    };

    return runParse(frame, data, onBegin, onEnd, blocks, "Parse unsuccessful for get block list operation.", error);
}

std::optional<std::vector<BLSULLRange>> BLSGetPageRangesResponse::parseGetPageRangesResponseWithData(
    std::span<const std::uint8_t> data, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    std::vector<BLSULLRange> ranges;
    std::optional<std::int64_t> start, end;
    BLSXMLResponseFrame frame(operationContext, kStackCapacity);

    auto onBegin = [&](BLSXMLResponseFrame&, const std::string&, const std::string& element) {
        if (element == "PageRange") start = end = std::nullopt;
    };
    auto onEnd = [&](BLSXMLResponseFrame& frame, const std::string& parent, const std::string& ended,
                     const std::string& text) -> bool {
        if (parent == "PageRange") {
            if (ended != "Start" && ended != "End") return false;
            auto offset = BLSReadNonNegativeInt64(text);
            if (!offset) frame.fail(invalidValue("page range " + ended, text));
            (ended == "Start" ? start : end) = offset;
            return true;
        }
        if (parent == "PageList") {
            // Offsets are inclusive and at most 2^63 - 1, so End - Start + 1
            // cannot overflow 64 unsigned bits once End >= Start.
            if (!start || !end || *end < *start) {
                auto show = [](const std::optional<std::int64_t>& v) { return v ? std::to_string(*v) : "none"; };
                frame.fail(invalidValue("page range", "Start " + show(start) + ", End " + show(end)));
                return false;
            }
            const auto first = static_cast<std::uint64_t>(*start);
            const auto last = static_cast<std::uint64_t>(*end);
            ranges.push_back({first, last - first + 1});
            start = end = std::nullopt;
        }
        return false;
    };

    return runParse(frame, data, onBegin, onEnd, ranges, "Parse unsuccessful for get page ranges operation.", error);
}
