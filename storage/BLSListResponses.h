#pragma once
// What the service's listing, permission, block-list and page-range replies
// hold, and their readers. The same data classes are filled from response
// headers elsewhere.
//
// Every reader takes the reply's bytes and gives nullopt with error code 6
// (ParseError) when the XML is malformed, an end tag does not match its
// start tag, or a value that the result cannot do without is unusable (a
// block size or page offset that is not a number in range). Unknown elements
// and unknown enumeration texts are ignored. Fields of listed items that are
// not numbers in range (a negative or 40-digit "Content-Length") are left
// unset.

#include "platform/foundation/Error.h"
#include "storage/BLSEnums.h"
#include "storage/BLSResultTypes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::net {
struct HTTPURLResponse;
}
class BLSOperationContext;
class BLSCloudBlobContainer;
class BLSCloudBlob;
class BLSCloudBlobDirectory;

// One page of a listing and where the next one starts (nullopt: last page).
template <typename Result>
struct BLSResultSegment {
    std::vector<std::shared_ptr<Result>> results;
    std::optional<BLSContinuationToken> continuationToken;

    static std::shared_ptr<BLSResultSegment> segmentWithResults(std::vector<std::shared_ptr<Result>> results,
                                                                std::optional<BLSContinuationToken> token) {
        auto segment = std::make_shared<BLSResultSegment>();
        segment->results = std::move(results);
        segment->continuationToken = std::move(token);
        return segment;
    }
};

struct BLSContainerResultSegment : BLSResultSegment<BLSCloudBlobContainer> {
    static std::shared_ptr<BLSContainerResultSegment> segmentWithResults(
        std::vector<std::shared_ptr<BLSCloudBlobContainer>> results, std::optional<BLSContinuationToken> token) {
        auto segment = std::make_shared<BLSContainerResultSegment>();
        segment->results = std::move(results);
        segment->continuationToken = std::move(token);
        return segment;
    }
};

struct BLSBlobResultSegment {
    std::vector<std::shared_ptr<BLSCloudBlob>> blobs;
    std::vector<std::shared_ptr<BLSCloudBlobDirectory>> directories;
    std::optional<BLSContinuationToken> continuationToken;

    static std::shared_ptr<BLSBlobResultSegment> segmentWithBlobs(
        std::vector<std::shared_ptr<BLSCloudBlob>> blobs,
        std::vector<std::shared_ptr<BLSCloudBlobDirectory>> directories, std::optional<BLSContinuationToken> token) {
        auto segment = std::make_shared<BLSBlobResultSegment>();
        segment->blobs = std::move(blobs);
        segment->directories = std::move(directories);
        segment->continuationToken = std::move(token);
        return segment;
    }
};

struct BLSContainerListItem {
    std::string name;
    BLSBlobContainerProperties properties;
    BLSMetadata metadata;
};

// A blob, or with isDirectory a name prefix ("BlobPrefix") of which only
// the name is set.
struct BLSBlobListItem {
    bool isDirectory = false;
    std::string name;
    BLSBlobProperties properties;
    BLSMetadata metadata;
    BLSCopyState blobCopyState;
    std::optional<std::string> snapshotTime;  // the service's text
};

// Its times are wide dates: a policy read from the service keeps a far-off
// expiry such as 9999-12-31 and is written back unchanged.
struct BLSSharedAccessPolicy {
    BLSSharedAccessPermissions permissions = 0;
    std::optional<BLSWideDate> sharedAccessExpiryTime;
    std::optional<BLSWideDate> sharedAccessStartTime;
    std::optional<std::string> policyIdentifier;

    BLSSharedAccessPolicy() = default;
    explicit BLSSharedAccessPolicy(std::optional<std::string> identifier) : policyIdentifier(std::move(identifier)) {}
    bool operator==(const BLSSharedAccessPolicy&) const = default;
};

struct BLSBlockListItem {
    BLSBlockListMode blockListMode = BLSBlockListModeLatest;
    std::string blockID;  // base64, as sent
    std::int64_t size = 0;

    BLSBlockListItem() = default;
    BLSBlockListItem(std::string blockID, BLSBlockListMode blockListMode, std::int64_t size = 0)
        : blockListMode(blockListMode), blockID(std::move(blockID)), size(size) {}
    bool operator==(const BLSBlockListItem&) const = default;
};

struct BLSListContainersResponse {
    std::vector<BLSContainerListItem> containerListItems;  // document order
    std::optional<std::string> nextMarker;                 // nullopt when absent or empty

    static std::optional<BLSListContainersResponse> parseListContainersResponseWithData(
        std::span<const std::uint8_t> data, BLSOperationContext& operationContext,
        std::optional<platform::Error>& error);
};

struct BLSListBlobsResponse {
    std::vector<BLSBlobListItem> blobListItems;  // document order, prefixes included
    std::optional<std::string> nextMarker;       // nullopt when absent or empty

    static std::optional<BLSListBlobsResponse> parseListBlobsResponseWithData(std::span<const std::uint8_t> data,
                                                                              BLSOperationContext& operationContext,
                                                                              std::optional<platform::Error>& error);
};

struct BLSDownloadContainerPermissions {
    std::map<std::string, BLSSharedAccessPolicy> storedPolicies;  // by policy identifier

    // A "SignedIdentifier" without "Id" is not stored. An unknown permission
    // letter or an unreadable time fails the whole reply (the letter's error
    // from the permission reader, code 6 for a time).
    static std::optional<BLSDownloadContainerPermissions> parseDownloadContainerPermissionsResponseWithData(
        std::span<const std::uint8_t> data, BLSOperationContext& operationContext,
        std::optional<platform::Error>& error);

    // "x-bs-blob-public-access": absent or empty 0, "container" 1, "blob" 2
    // (any case); other texts 0 and error code 1.
    static BLSContainerPublicAccessType createContainerPermissionsWithResponse(
        const platform::net::HTTPURLResponse& response, BLSOperationContext& operationContext,
        std::optional<platform::Error>& error);
};

struct BLSGetBlockListResponse {
    // The blocks in document order: those under "CommittedBlocks" with
    // mode 1, those under "UncommittedBlocks" with mode 2. A size that is
    // not a number from 0 up fails the whole reply.
    static std::optional<std::vector<BLSBlockListItem>> parseGetBlockListResponseWithData(
        std::span<const std::uint8_t> data, BLSOperationContext& operationContext,
        std::optional<platform::Error>& error);
};

struct BLSGetPageRangesResponse {
    // Inclusive "Start"/"End" offsets become (location, length). A range
    // with a missing, negative or out-of-range offset or with End < Start
    // fails the whole reply.
    static std::optional<std::vector<BLSULLRange>> parseGetPageRangesResponseWithData(
        std::span<const std::uint8_t> data, BLSOperationContext& operationContext,
        std::optional<platform::Error>& error);
};
