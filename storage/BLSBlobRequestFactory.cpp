#include "storage/BLSBlobRequestFactory.h"

#include "storage/BLSAccessCondition.h"
#include "storage/BLSRequestFactory.h"
#include "storage/BLSUtil.h"

#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

using platform::net::URLComponents;
using platform::net::URLRequest;

namespace {

// `item` is our own text, already fit for a query.
void appendQueryItem(URLComponents& urlComponents, std::string_view item) {
    urlComponents.setPercentEncodedQuery(BLSRequestFactory::appendToQuery(urlComponents.percentEncodedQuery(), item));
}

// A caller's value is encoded whole, so "&" or "=" in it stay part of it.
std::string queryValue(std::string_view name, std::string_view value) {
    std::string item(name);
    item += '=';
    item += BLSUtil::URLEncodedStringWithString(value);
    return item;
}

void appendQueryValue(URLComponents& urlComponents, std::string_view name, std::string_view value) {
    appendQueryItem(urlComponents, queryValue(name, value));
}

void appendSnapshot(URLComponents& urlComponents, const std::optional<std::string>& snapshotTime) {
    if (snapshotTime) {
        appendQueryValue(urlComponents, "snapshot", *snapshotTime);
    }
}

void appendMarker(URLComponents& urlComponents, const BLSContinuationToken* continuationToken) {
    if (continuationToken != nullptr && continuationToken->nextMarker && !continuationToken->nextMarker->empty()) {
        appendQueryValue(urlComponents, "marker", *continuationToken->nextMarker);
    }
}

void appendMaxResults(URLComponents& urlComponents, std::int64_t maxResults) {
    if (maxResults >= 1) {
        appendQueryItem(urlComponents, "maxresults=" + std::to_string(maxResults));
    }
}

// The bare requests, one per method.
using MakeRequest = URLRequest (*)(const URLComponents&, double);
constexpr MakeRequest kPut = &BLSRequestFactory::putRequestWithUrlComponents;
constexpr MakeRequest kGet = &BLSRequestFactory::getRequestWithUrlComponents;
constexpr MakeRequest kHead = &BLSRequestFactory::headRequestWithUrlComponents;
constexpr MakeRequest kDelete = &BLSRequestFactory::deleteRequestWithUrlComponents;

// The request once `items` are appended to the query, in order.
URLRequest requestWithQuery(MakeRequest make, URLComponents& urlComponents, double timeout,
                            std::initializer_list<std::string_view> items) {
    for (std::string_view item : items) {
        appendQueryItem(urlComponents, item);
    }
    return make(urlComponents, timeout);
}

// The same with the access condition as its only headers.
URLRequest conditionalRequest(MakeRequest make, URLComponents& urlComponents, double timeout,
                              std::initializer_list<std::string_view> items,
                              const BLSAccessCondition* accessCondition) {
    URLRequest request = requestWithQuery(make, urlComponents, timeout, items);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

// "bytes=first-last", last inclusive; a length of 0 names the first byte alone.
std::string byteRange(BLSULLRange range) {
    std::uint64_t last = range.location;
    if (range.length > 0) {
        if (range.length - 1 > std::numeric_limits<std::uint64_t>::max() - range.location) {
            throw std::invalid_argument("The byte range ends beyond the largest offset.");
        }
        last = range.location + (range.length - 1);
    }
    return "bytes=" + std::to_string(range.location) + "-" + std::to_string(last);
}

void setContentLength(URLRequest& request, std::uint64_t length) {
    request.setValue(std::to_string(length), "Content-Length");
}

const char* blockListFilterText(BLSBlockListFilter filter) {
    switch (filter) {
        case BLSBlockListFilterCommitted: return "committed";
        case BLSBlockListFilterUncommitted: return "uncommitted";
        case BLSBlockListFilterAll: return "all";
    }
    throw std::invalid_argument("Unknown block list filter.");
}

std::string blobListingDetailsText(BLSBlobListingDetails details) {
    static constexpr std::pair<BLSBlobListingDetails, const char*> kItems[] = {
        {1, "snapshots"}, {2, "metadata"}, {4, "uncommittedblobs"}, {8, "copy"}};
    std::string text;
    for (const auto& [bit, name] : kItems) {
        if ((details & bit) != 0) {
            if (!text.empty()) {
                text += ',';
            }
            text += name;
        }
    }
    return text;
}

// A Put that writes a blob's or container's metadata and properties: the
// length and the blob type when given, then the metadata, the properties
// and the access condition, in that order.
URLRequest putWithMetadata(URLComponents& urlComponents, double timeout, std::initializer_list<std::string_view> items,
                           std::optional<std::uint64_t> length, const char* blobType, const BLSMetadata* cloudMetadata,
                           const BLSBlobProperties* blobProperties, const BLSAccessCondition* accessCondition) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, items);
    if (length) {
        setContentLength(request, *length);
    }
    if (blobType != nullptr) {
        request.setValue(blobType, "x-bs-blob-type");
    }
    BLSRequestFactory::addMetadataToRequest(request, cloudMetadata);
    BLSBlobRequestFactory::addBlobPropertiesToRequest(request, blobProperties);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

// A lease request on a container or blob.
URLRequest leaseRequest(std::initializer_list<std::string_view> items, BLSLeaseAction leaseAction,
                        const std::optional<std::string>& proposedLeaseId, std::optional<std::int64_t> leaseDuration,
                        std::optional<std::int64_t> leaseBreakPeriod, const BLSAccessCondition* accessCondition,
                        URLComponents& urlComponents, double timeout) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, items);
    BLSBlobRequestFactory::addLeaseActionToRequest(request, leaseAction);
    BLSBlobRequestFactory::addLeaseDurationToRequest(request, leaseDuration);
    BLSBlobRequestFactory::addProposedLeaseIdToRequest(request, proposedLeaseId);
    BLSBlobRequestFactory::addLeaseBreakPeriodToRequest(request, leaseBreakPeriod);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

}  // namespace

// Containers and the service.

URLRequest BLSBlobRequestFactory::createContainerWithAccessType(BLSContainerPublicAccessType accessType,
                                                                const BLSMetadata* cloudMetadata,
                                                                URLComponents& urlComponents, double timeout,
                                                                BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"restype=container"});
    addAccessTypeToRequest(request, accessType);
    BLSRequestFactory::addMetadataToRequest(request, cloudMetadata);
    return request;
}

URLRequest BLSBlobRequestFactory::deleteContainerWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                     URLComponents& urlComponents, double timeout,
                                                                     BLSOperationContext& /*operationContext*/) {
    return conditionalRequest(kDelete, urlComponents, timeout, {"restype=container"}, accessCondition);
}

URLRequest BLSBlobRequestFactory::listContainersWithPrefix(const std::optional<std::string>& prefix,
                                                           BLSContainerListingDetails containerListingDetails,
                                                           std::int64_t maxResults,
                                                           const BLSContinuationToken* continuationToken,
                                                           URLComponents& urlComponents, double timeout,
                                                           BLSOperationContext& /*operationContext*/) {
    appendQueryItem(urlComponents, "comp=list");
    if (prefix && !prefix->empty()) {
        appendQueryValue(urlComponents, "prefix", *prefix);
    }
    appendMarker(urlComponents, continuationToken);
    appendMaxResults(urlComponents, maxResults);
    if ((containerListingDetails & 1) != 0) {
        appendQueryItem(urlComponents, "include=metadata");
    }
    return kGet(urlComponents, timeout);
}

URLRequest BLSBlobRequestFactory::uploadContainerMetadataWithCloudMetadata(const BLSMetadata* cloudMetadata,
                                                                           const BLSAccessCondition* accessCondition,
                                                                           URLComponents& urlComponents, double timeout,
                                                                           BLSOperationContext& /*operationContext*/) {
    return putWithMetadata(urlComponents, timeout, {"restype=container", "comp=metadata"}, std::nullopt, nullptr,
                           cloudMetadata, nullptr, accessCondition);
}

URLRequest BLSBlobRequestFactory::downloadContainerAttributesWithAccessCondition(
    const BLSAccessCondition* accessCondition, URLComponents& urlComponents, double timeout,
    BLSOperationContext& /*operationContext*/) {
    return conditionalRequest(kHead, urlComponents, timeout, {"restype=container"}, accessCondition);
}

URLRequest BLSBlobRequestFactory::downloadContainerPermissionsWithAccessCondition(
    const BLSAccessCondition* accessCondition, URLComponents& urlComponents, double timeout,
    BLSOperationContext& /*operationContext*/) {
    return conditionalRequest(kGet, urlComponents, timeout, {"restype=container", "comp=acl"}, accessCondition);
}

URLRequest BLSBlobRequestFactory::leaseContainerWithLeaseAction(BLSLeaseAction leaseAction,
                                                                const std::optional<std::string>& proposedLeaseId,
                                                                std::optional<std::int64_t> leaseDuration,
                                                                std::optional<std::int64_t> leaseBreakPeriod,
                                                                const BLSAccessCondition* accessCondition,
                                                                URLComponents& urlComponents, double timeout,
                                                                BLSOperationContext& /*operationContext*/) {
    return leaseRequest({"restype=container", "comp=lease"}, leaseAction, proposedLeaseId, leaseDuration,
                        leaseBreakPeriod, accessCondition, urlComponents, timeout);
}

URLRequest BLSBlobRequestFactory::uploadContainerPermissionsWithLength(
    std::uint64_t length, URLComponents& urlComponents, const BLSRequestOptions* /*options*/,
    const BLSAccessCondition* accessCondition, BLSContainerPublicAccessType publicAccess, double timeout,
    BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"restype=container", "comp=acl"});
    setContentLength(request, length);
    addAccessTypeToRequest(request, publicAccess);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::uploadServicePropertiesWithLength(std::uint64_t length, URLComponents& urlComponents,
                                                                    const BLSRequestOptions* /*options*/,
                                                                    double timeout,
                                                                    BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"restype=service", "comp=properties"});
    setContentLength(request, length);
    return request;
}

URLRequest BLSBlobRequestFactory::downloadServicePropertiesWithUrlComponents(
    URLComponents& urlComponents, double timeout, BLSOperationContext& /*operationContext*/) {
    return requestWithQuery(kGet, urlComponents, timeout, {"restype=service", "comp=properties"});
}

// Blobs.

URLRequest BLSBlobRequestFactory::putBlockBlobWithLength(std::uint64_t length, const BLSBlobProperties* blobProperties,
                                                         const std::optional<std::string>& contentMD5,
                                                         const BLSMetadata* cloudMetadata,
                                                         const BLSAccessCondition* accessCondition,
                                                         URLComponents& urlComponents, double timeout,
                                                         BLSOperationContext& /*operationContext*/) {
    URLRequest request = putWithMetadata(urlComponents, timeout, {}, length, "BlockBlob", cloudMetadata, blobProperties,
                                         accessCondition);
    BLSUtil::addOptionalHeaderToRequest(request, "Content-MD5", contentMD5);
    return request;
}

URLRequest BLSBlobRequestFactory::putBlockWithLength(std::uint64_t length, const std::string& blockID,
                                                     const std::optional<std::string>& contentMD5,
                                                     const BLSAccessCondition* accessCondition,
                                                     URLComponents& urlComponents, double timeout,
                                                     BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"comp=block", queryValue("blockid", blockID)});
    setContentLength(request, length);
    BLSUtil::addOptionalHeaderToRequest(request, "Content-MD5", contentMD5);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::putBlockListWithLength(std::uint64_t length, const BLSBlobProperties* blobProperties,
                                                         const std::optional<std::string>& contentMD5,
                                                         const BLSMetadata* cloudMetadata,
                                                         const BLSAccessCondition* accessCondition,
                                                         URLComponents& urlComponents, double timeout,
                                                         BLSOperationContext& /*operationContext*/) {
    URLRequest request = putWithMetadata(urlComponents, timeout, {"comp=blocklist"}, length, nullptr, cloudMetadata,
                                         blobProperties, accessCondition);
    BLSUtil::addOptionalHeaderToRequest(request, "Content-MD5", contentMD5);
    return request;
}

URLRequest BLSBlobRequestFactory::getBlockListWithBlockListFilter(BLSBlockListFilter blockListFilter,
                                                                  const std::optional<std::string>& snapshotTime,
                                                                  const BLSAccessCondition* accessCondition,
                                                                  URLComponents& urlComponents, double timeout,
                                                                  BLSOperationContext& /*operationContext*/) {
    const char* filterText = blockListFilterText(blockListFilter);
    appendQueryItem(urlComponents, "comp=blocklist");
    appendQueryValue(urlComponents, "blocklisttype", filterText);
    appendSnapshot(urlComponents, snapshotTime);
    return conditionalRequest(kGet, urlComponents, timeout, {}, accessCondition);
}

URLRequest BLSBlobRequestFactory::getBlobWithSnapshotTime(const std::optional<std::string>& snapshotTime,
                                                          BLSULLRange range, bool getRangeContentMD5,
                                                          const BLSAccessCondition* accessCondition,
                                                          URLComponents& urlComponents, double timeout,
                                                          BLSOperationContext& /*operationContext*/) {
    appendSnapshot(urlComponents, snapshotTime);
    URLRequest request = kGet(urlComponents, timeout);
    if (range.length != 0) {
        BLSUtil::addOptionalHeaderToRequest(request, "x-bs-range", byteRange(range));
        if (getRangeContentMD5) {
            BLSUtil::addOptionalHeaderToRequest(request, "x-bs-range-get-content-md5", std::string("true"));
        }
    }
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::deleteBlobWithSnapshotsOption(BLSDeleteSnapshotsOption snapshotsOption,
                                                                const std::optional<std::string>& snapshotTime,
                                                                const BLSAccessCondition* accessCondition,
                                                                URLComponents& urlComponents, double timeout,
                                                                BLSOperationContext& /*operationContext*/) {
    appendSnapshot(urlComponents, snapshotTime);
    URLRequest request = kDelete(urlComponents, timeout);
    if (snapshotsOption == BLSDeleteSnapshotsOptionIncludeSnapshots) {
        request.setValue("include", "x-bs-delete-snapshots");
    } else if (snapshotsOption == BLSDeleteSnapshotsOptionDeleteSnapshotsOnly) {
        request.setValue("only", "x-bs-delete-snapshots");
    }
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::snapshotBlobWithMetadata(const BLSMetadata* metadata,
                                                           const BLSAccessCondition* accessCondition,
                                                           URLComponents& urlComponents, double timeout,
                                                           BLSOperationContext& /*operationContext*/) {
    return putWithMetadata(urlComponents, timeout, {"comp=snapshot"}, std::nullopt, nullptr, metadata, nullptr,
                           accessCondition);
}

URLRequest BLSBlobRequestFactory::listBlobsWithPrefix(const std::optional<std::string>& prefix,
                                                      const std::optional<std::string>& delimiter,
                                                      BLSBlobListingDetails blobListingDetails, std::int64_t maxResults,
                                                      const BLSContinuationToken* continuationToken,
                                                      URLComponents& urlComponents, double timeout,
                                                      BLSOperationContext& /*operationContext*/) {
    appendQueryItem(urlComponents, "restype=container");
    appendQueryItem(urlComponents, "comp=list");
    if (prefix && !prefix->empty()) {
        appendQueryValue(urlComponents, "prefix", *prefix);
    }
    if (delimiter && !delimiter->empty()) {
        appendQueryValue(urlComponents, "delimiter", *delimiter);
    }
    appendMarker(urlComponents, continuationToken);
    appendMaxResults(urlComponents, maxResults);
    std::string details = blobListingDetailsText(blobListingDetails);
    if (!details.empty()) {
        appendQueryItem(urlComponents, "include=" + details);
    }
    return kGet(urlComponents, timeout);
}

URLRequest BLSBlobRequestFactory::uploadBlobPropertiesWithBlobProperties(const BLSBlobProperties* blobProperties,
                                                                         const BLSMetadata* cloudMetadata,
                                                                         const BLSAccessCondition* accessCondition,
                                                                         URLComponents& urlComponents, double timeout,
                                                                         BLSOperationContext& /*operationContext*/) {
    return putWithMetadata(urlComponents, timeout, {"comp=properties"}, std::nullopt, nullptr, cloudMetadata,
                           blobProperties, accessCondition);
}

URLRequest BLSBlobRequestFactory::uploadBlobMetadataWithCloudMetadata(const BLSMetadata* cloudMetadata,
                                                                      const BLSAccessCondition* accessCondition,
                                                                      URLComponents& urlComponents, double timeout,
                                                                      BLSOperationContext& /*operationContext*/) {
    return putWithMetadata(urlComponents, timeout, {"comp=metadata"}, std::nullopt, nullptr, cloudMetadata, nullptr,
                           accessCondition);
}

URLRequest BLSBlobRequestFactory::downloadBlobAttributesWithAccessCondition(
    const BLSAccessCondition* accessCondition, const std::optional<std::string>& snapshotTime,
    URLComponents& urlComponents, double timeout, BLSOperationContext& /*operationContext*/) {
    appendSnapshot(urlComponents, snapshotTime);
    return conditionalRequest(kHead, urlComponents, timeout, {}, accessCondition);
}

URLRequest BLSBlobRequestFactory::leaseBlobWithLeaseAction(BLSLeaseAction leaseAction,
                                                           const std::optional<std::string>& proposedLeaseId,
                                                           std::optional<std::int64_t> leaseDuration,
                                                           std::optional<std::int64_t> leaseBreakPeriod,
                                                           const BLSAccessCondition* accessCondition,
                                                           URLComponents& urlComponents, double timeout,
                                                           BLSOperationContext& /*operationContext*/) {
    return leaseRequest({"comp=lease"}, leaseAction, proposedLeaseId, leaseDuration, leaseBreakPeriod, accessCondition,
                        urlComponents, timeout);
}

URLRequest BLSBlobRequestFactory::copyBlobWithSourceURL(const platform::net::URL& sourceURL,
                                                        const BLSAccessCondition* sourceAccessCondition,
                                                        const BLSMetadata* cloudMetadata,
                                                        const BLSAccessCondition* accessCondition,
                                                        URLComponents& urlComponents, double timeout,
                                                        BLSOperationContext& /*operationContext*/) {
    URLRequest request = kPut(urlComponents, timeout);
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-copy-source", sourceURL.absoluteString());
    BLSRequestFactory::applySourceAccessConditionToRequest(request, sourceAccessCondition);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    BLSRequestFactory::addMetadataToRequest(request, cloudMetadata);
    return request;
}

URLRequest BLSBlobRequestFactory::abortCopyBlobWithCopyId(const std::string& copyId,
                                                          const BLSAccessCondition* accessCondition,
                                                          URLComponents& urlComponents, double timeout,
                                                          BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"comp=copy", queryValue("copyid", copyId)});
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-copy-action", std::string("abort"));
    BLSRequestFactory::applyLeaseIdToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::createPageBlobWithSize(std::int64_t size, std::optional<std::int64_t> sequenceNumber,
                                                         const BLSBlobProperties* blobProperties,
                                                         const BLSMetadata* cloudMetadata,
                                                         const BLSAccessCondition* accessCondition,
                                                         URLComponents& urlComponents, double timeout,
                                                         BLSOperationContext& /*operationContext*/) {
    URLRequest request = putWithMetadata(urlComponents, timeout, {}, std::nullopt, "PageBlob", cloudMetadata,
                                         blobProperties, accessCondition);
    addTotalContentSizeToRequest(request, size);
    addSequenceNumberToRequest(request, sequenceNumber);
    return request;
}

URLRequest BLSBlobRequestFactory::putPagesWithPageRange(BLSULLRange pageRange, bool clear,
                                                        const std::optional<std::string>& contentMD5,
                                                        const BLSAccessCondition* accessCondition,
                                                        URLComponents& urlComponents, double timeout,
                                                        BLSOperationContext& /*operationContext*/) {
    std::string range = byteRange(pageRange);
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"comp=page"});
    request.setValue(range, "x-bs-range");
    if (clear) {
        setContentLength(request, 0);
        request.setValue("clear", "x-bs-page-write");
    } else {
        setContentLength(request, pageRange.length);
        request.setValue("update", "x-bs-page-write");
        BLSUtil::addOptionalHeaderToRequest(request, "Content-MD5", contentMD5);
    }
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    applySequenceNumberConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::getPageRangesWithRange(BLSULLRange range,
                                                         const std::optional<std::string>& snapshotTime,
                                                         const BLSAccessCondition* accessCondition,
                                                         URLComponents& urlComponents, double timeout,
                                                         BLSOperationContext& /*operationContext*/) {
    appendQueryItem(urlComponents, "comp=pagelist");
    appendSnapshot(urlComponents, snapshotTime);
    URLRequest request = kGet(urlComponents, timeout);
    if (range.length != 0) {
        BLSUtil::addOptionalHeaderToRequest(request, "x-bs-range", byteRange(range));
    }
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::resizePageBlobWithSize(std::int64_t size, const BLSAccessCondition* accessCondition,
                                                         URLComponents& urlComponents, double timeout,
                                                         BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"comp=properties"});
    addTotalContentSizeToRequest(request, size);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::setPageBlobSequenceNumberWithNewSequenceNumber(
    std::int64_t newSequenceNumber, bool isIncrement, bool useMaximum, const BLSAccessCondition* accessCondition,
    URLComponents& urlComponents, double timeout, BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"comp=properties"});
    if (isIncrement) {
        request.setValue("increment", "x-bs-sequence-number-action");
    } else {
        addSequenceNumberToRequest(request, newSequenceNumber);
        request.setValue(useMaximum ? "max" : "update", "x-bs-sequence-number-action");
    }
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    return request;
}

URLRequest BLSBlobRequestFactory::createAppendBlobWithBlobProperties(const BLSBlobProperties* blobProperties,
                                                                     const BLSMetadata* cloudMetadata,
                                                                     const BLSAccessCondition* accessCondition,
                                                                     URLComponents& urlComponents, double timeout,
                                                                     BLSOperationContext& /*operationContext*/) {
    return putWithMetadata(urlComponents, timeout, {}, std::nullopt, "AppendBlob", cloudMetadata, blobProperties,
                           accessCondition);
}

URLRequest BLSBlobRequestFactory::appendBlockWithLength(std::uint64_t length,
                                                        const std::optional<std::string>& contentMD5,
                                                        const BLSAccessCondition* accessCondition,
                                                        URLComponents& urlComponents, double timeout,
                                                        BLSOperationContext& /*operationContext*/) {
    URLRequest request = requestWithQuery(kPut, urlComponents, timeout, {"comp=appendblock"});
    setContentLength(request, length);
    BLSUtil::addOptionalHeaderToRequest(request, "Content-MD5", contentMD5);
    BLSRequestFactory::applyAccessConditionToRequest(request, accessCondition);
    applyMaxSizeAndAppendPositionToRequest(request, accessCondition);
    return request;
}

// Headers shared by the builders.

void BLSBlobRequestFactory::addAccessTypeToRequest(URLRequest& request, BLSContainerPublicAccessType accessType) {
    if (accessType == BLSContainerPublicAccessTypeContainer) {
        BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-public-access", std::string("container"));
    } else if (accessType == BLSContainerPublicAccessTypeBlob) {
        BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-public-access", std::string("blob"));
    }
}

void BLSBlobRequestFactory::addBlobPropertiesToRequest(URLRequest& request, const BLSBlobProperties* properties) {
    if (properties == nullptr) {
        return;
    }
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-cache-control", properties->cacheControl);
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-content-disposition", properties->contentDisposition);
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-content-encoding", properties->contentEncoding);
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-content-language", properties->contentLanguage);
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-content-md5", properties->contentMD5);
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-content-type", properties->contentType);
}

void BLSBlobRequestFactory::addLeaseActionToRequest(URLRequest& request, BLSLeaseAction leaseAction) {
    static constexpr const char* kActions[] = {"acquire", "renew", "release", "break", "change"};
    if (leaseAction >= BLSLeaseActionAcquire && leaseAction <= BLSLeaseActionChange) {
        BLSUtil::addOptionalHeaderToRequest(request, "x-bs-lease-action", std::string(kActions[leaseAction]));
    }
}

void BLSBlobRequestFactory::addLeaseDurationToRequest(URLRequest& request, std::optional<std::int64_t> leaseDuration) {
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-lease-duration", leaseDuration);
}

void BLSBlobRequestFactory::addProposedLeaseIdToRequest(URLRequest& request,
                                                        const std::optional<std::string>& proposedLeaseId) {
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-proposed-lease-id", proposedLeaseId);
}

void BLSBlobRequestFactory::addLeaseBreakPeriodToRequest(URLRequest& request,
                                                         std::optional<std::int64_t> leaseBreakPeriod) {
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-lease-break-period", leaseBreakPeriod);
}

void BLSBlobRequestFactory::addTotalContentSizeToRequest(URLRequest& request, std::optional<std::int64_t> size) {
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-content-length", size);
}

void BLSBlobRequestFactory::addSequenceNumberToRequest(URLRequest& request,
                                                       std::optional<std::int64_t> sequenceNumber) {
    BLSUtil::addOptionalHeaderToRequest(request, "x-bs-blob-sequence-number", sequenceNumber);
}

void BLSBlobRequestFactory::applySequenceNumberConditionToRequest(URLRequest& request,
                                                                  const BLSAccessCondition* condition) {
    if (condition == nullptr || !condition->sequenceNumber()) {
        return;
    }
    const char* header = nullptr;
    switch (condition->sequenceNumberOperator()) {
        case BLSSequenceNumberOperatorLessThanOrEqual: header = "x-bs-if-sequence-number-le"; break;
        case BLSSequenceNumberOperatorLessThan: header = "x-bs-if-sequence-number-lt"; break;
        case BLSSequenceNumberOperatorEqual: header = "x-bs-if-sequence-number-eq"; break;
        default: return;
    }
    request.setValue(std::to_string(*condition->sequenceNumber()), header);
}

void BLSBlobRequestFactory::applyMaxSizeAndAppendPositionToRequest(URLRequest& request,
                                                                   const BLSAccessCondition* condition) {
    if (condition == nullptr) {
        return;
    }
    if (condition->maxSize()) {
        request.setValue(std::to_string(*condition->maxSize()), "x-bs-blob-condition-maxsize");
    }
    if (condition->appendPosition()) {
        request.setValue(std::to_string(*condition->appendPosition()), "x-bs-blob-condition-appendpos");
    }
}
