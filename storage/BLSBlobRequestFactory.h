#pragma once
// One request builder per operation of the blob service protocol. Each
// appends the operation's query items to `urlComponents` (changed in place),
// makes the request through BLSRequestFactory and adds the operation's
// headers.
//
// Query values the caller gives (prefixes, delimiters, markers, block ids,
// copy ids, snapshot times) are raw text: the builders percent-encode them,
// so no value can add a parameter of its own. Header text the caller gives
// is checked by platform::net::HTTPHeaders: a value with control characters
// or a metadata key that makes no header name throws
// platform::net::InvalidHeaderError. Components that make no valid URL, or
// arguments no request can express, throw std::invalid_argument (of which
// InvalidHeaderError is one); nothing is half-built in either case.

#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSEnums.h"
#include "storage/BLSResultTypes.h"

#include <cstdint>
#include <optional>
#include <string>

class BLSAccessCondition;
class BLSOperationContext;
class BLSRequestOptions;

class BLSBlobRequestFactory {
public:
    using URLComponents = platform::net::URLComponents;
    using URLRequest = platform::net::URLRequest;

    // Containers and the service.

    static URLRequest createContainerWithAccessType(BLSContainerPublicAccessType accessType,
                                                    const BLSMetadata* cloudMetadata, URLComponents& urlComponents,
                                                    double timeout, BLSOperationContext& operationContext);
    static URLRequest deleteContainerWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                         URLComponents& urlComponents, double timeout,
                                                         BLSOperationContext& operationContext);
    // A prefix or marker only when not empty, "maxresults" only when 1 or more.
    static URLRequest listContainersWithPrefix(const std::optional<std::string>& prefix,
                                               BLSContainerListingDetails containerListingDetails,
                                               std::int64_t maxResults, const BLSContinuationToken* continuationToken,
                                               URLComponents& urlComponents, double timeout,
                                               BLSOperationContext& operationContext);
    static URLRequest uploadContainerMetadataWithCloudMetadata(const BLSMetadata* cloudMetadata,
                                                               const BLSAccessCondition* accessCondition,
                                                               URLComponents& urlComponents, double timeout,
                                                               BLSOperationContext& operationContext);
    static URLRequest downloadContainerAttributesWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                     URLComponents& urlComponents, double timeout,
                                                                     BLSOperationContext& operationContext);
    static URLRequest downloadContainerPermissionsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                      URLComponents& urlComponents, double timeout,
                                                                      BLSOperationContext& operationContext);
    static URLRequest leaseContainerWithLeaseAction(BLSLeaseAction leaseAction,
                                                    const std::optional<std::string>& proposedLeaseId,
                                                    std::optional<std::int64_t> leaseDuration,
                                                    std::optional<std::int64_t> leaseBreakPeriod,
                                                    const BLSAccessCondition* accessCondition,
                                                    URLComponents& urlComponents, double timeout,
                                                    BLSOperationContext& operationContext);
    static URLRequest uploadContainerPermissionsWithLength(std::uint64_t length, URLComponents& urlComponents,
                                                           const BLSRequestOptions* options,
                                                           const BLSAccessCondition* accessCondition,
                                                           BLSContainerPublicAccessType publicAccess, double timeout,
                                                           BLSOperationContext& operationContext);
    static URLRequest uploadServicePropertiesWithLength(std::uint64_t length, URLComponents& urlComponents,
                                                        const BLSRequestOptions* options, double timeout,
                                                        BLSOperationContext& operationContext);
    static URLRequest downloadServicePropertiesWithUrlComponents(URLComponents& urlComponents, double timeout,
                                                                 BLSOperationContext& operationContext);

    // Blobs.

    static URLRequest putBlockBlobWithLength(std::uint64_t length, const BLSBlobProperties* blobProperties,
                                             const std::optional<std::string>& contentMD5,
                                             const BLSMetadata* cloudMetadata,
                                             const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                             double timeout, BLSOperationContext& operationContext);
    static URLRequest putBlockWithLength(std::uint64_t length, const std::string& blockID,
                                         const std::optional<std::string>& contentMD5,
                                         const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                         double timeout, BLSOperationContext& operationContext);
    static URLRequest putBlockListWithLength(std::uint64_t length, const BLSBlobProperties* blobProperties,
                                             const std::optional<std::string>& contentMD5,
                                             const BLSMetadata* cloudMetadata,
                                             const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                             double timeout, BLSOperationContext& operationContext);
    // Throws std::invalid_argument for a filter other than 0, 1 or 2.
    static URLRequest getBlockListWithBlockListFilter(BLSBlockListFilter blockListFilter,
                                                      const std::optional<std::string>& snapshotTime,
                                                      const BLSAccessCondition* accessCondition,
                                                      URLComponents& urlComponents, double timeout,
                                                      BLSOperationContext& operationContext);
    // A range of length 0 reads the whole blob (no range header).
    static URLRequest getBlobWithSnapshotTime(const std::optional<std::string>& snapshotTime, BLSULLRange range,
                                              bool getRangeContentMD5, const BLSAccessCondition* accessCondition,
                                              URLComponents& urlComponents, double timeout,
                                              BLSOperationContext& operationContext);
    static URLRequest deleteBlobWithSnapshotsOption(BLSDeleteSnapshotsOption snapshotsOption,
                                                    const std::optional<std::string>& snapshotTime,
                                                    const BLSAccessCondition* accessCondition,
                                                    URLComponents& urlComponents, double timeout,
                                                    BLSOperationContext& operationContext);
    static URLRequest snapshotBlobWithMetadata(const BLSMetadata* metadata, const BLSAccessCondition* accessCondition,
                                               URLComponents& urlComponents, double timeout,
                                               BLSOperationContext& operationContext);
    static URLRequest listBlobsWithPrefix(const std::optional<std::string>& prefix,
                                          const std::optional<std::string>& delimiter,
                                          BLSBlobListingDetails blobListingDetails, std::int64_t maxResults,
                                          const BLSContinuationToken* continuationToken, URLComponents& urlComponents,
                                          double timeout, BLSOperationContext& operationContext);
    static URLRequest uploadBlobPropertiesWithBlobProperties(const BLSBlobProperties* blobProperties,
                                                             const BLSMetadata* cloudMetadata,
                                                             const BLSAccessCondition* accessCondition,
                                                             URLComponents& urlComponents, double timeout,
                                                             BLSOperationContext& operationContext);
    static URLRequest uploadBlobMetadataWithCloudMetadata(const BLSMetadata* cloudMetadata,
                                                          const BLSAccessCondition* accessCondition,
                                                          URLComponents& urlComponents, double timeout,
                                                          BLSOperationContext& operationContext);
    static URLRequest downloadBlobAttributesWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                const std::optional<std::string>& snapshotTime,
                                                                URLComponents& urlComponents, double timeout,
                                                                BLSOperationContext& operationContext);
    static URLRequest leaseBlobWithLeaseAction(BLSLeaseAction leaseAction,
                                               const std::optional<std::string>& proposedLeaseId,
                                               std::optional<std::int64_t> leaseDuration,
                                               std::optional<std::int64_t> leaseBreakPeriod,
                                               const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                               double timeout, BLSOperationContext& operationContext);
    static URLRequest copyBlobWithSourceURL(const platform::net::URL& sourceURL,
                                            const BLSAccessCondition* sourceAccessCondition,
                                            const BLSMetadata* cloudMetadata, const BLSAccessCondition* accessCondition,
                                            URLComponents& urlComponents, double timeout,
                                            BLSOperationContext& operationContext);
    static URLRequest abortCopyBlobWithCopyId(const std::string& copyId, const BLSAccessCondition* accessCondition,
                                              URLComponents& urlComponents, double timeout,
                                              BLSOperationContext& operationContext);
    static URLRequest createPageBlobWithSize(std::int64_t size, std::optional<std::int64_t> sequenceNumber,
                                             const BLSBlobProperties* blobProperties, const BLSMetadata* cloudMetadata,
                                             const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                             double timeout, BLSOperationContext& operationContext);
    // Throws std::invalid_argument for a range whose last byte lies beyond
    // 2^64 - 1.
    static URLRequest putPagesWithPageRange(BLSULLRange pageRange, bool clear,
                                            const std::optional<std::string>& contentMD5,
                                            const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                            double timeout, BLSOperationContext& operationContext);
    static URLRequest getPageRangesWithRange(BLSULLRange range, const std::optional<std::string>& snapshotTime,
                                             const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                             double timeout, BLSOperationContext& operationContext);
    static URLRequest resizePageBlobWithSize(std::int64_t size, const BLSAccessCondition* accessCondition,
                                             URLComponents& urlComponents, double timeout,
                                             BLSOperationContext& operationContext);
    static URLRequest setPageBlobSequenceNumberWithNewSequenceNumber(std::int64_t newSequenceNumber, bool isIncrement,
                                                                     bool useMaximum,
                                                                     const BLSAccessCondition* accessCondition,
                                                                     URLComponents& urlComponents, double timeout,
                                                                     BLSOperationContext& operationContext);
    static URLRequest createAppendBlobWithBlobProperties(const BLSBlobProperties* blobProperties,
                                                         const BLSMetadata* cloudMetadata,
                                                         const BLSAccessCondition* accessCondition,
                                                         URLComponents& urlComponents, double timeout,
                                                         BLSOperationContext& operationContext);
    static URLRequest appendBlockWithLength(std::uint64_t length, const std::optional<std::string>& contentMD5,
                                            const BLSAccessCondition* accessCondition, URLComponents& urlComponents,
                                            double timeout, BLSOperationContext& operationContext);

    // Headers shared by the builders.

    // "x-bs-blob-public-access": "container" for 1, "blob" for 2, else nothing.
    static void addAccessTypeToRequest(URLRequest& request, BLSContainerPublicAccessType accessType);
    // The set properties among cache control, content disposition, encoding,
    // language, MD5 and type, in that order; nothing for nullptr.
    static void addBlobPropertiesToRequest(URLRequest& request, const BLSBlobProperties* properties);
    // "x-bs-lease-action"; nothing for values outside 0-4.
    static void addLeaseActionToRequest(URLRequest& request, BLSLeaseAction leaseAction);
    static void addLeaseDurationToRequest(URLRequest& request, std::optional<std::int64_t> leaseDuration);
    static void addProposedLeaseIdToRequest(URLRequest& request, const std::optional<std::string>& proposedLeaseId);
    static void addLeaseBreakPeriodToRequest(URLRequest& request, std::optional<std::int64_t> leaseBreakPeriod);
    static void addTotalContentSizeToRequest(URLRequest& request, std::optional<std::int64_t> size);
    static void addSequenceNumberToRequest(URLRequest& request, std::optional<std::int64_t> sequenceNumber);
    // "x-bs-if-sequence-number-le/-lt/-eq" for operators 1/2/3 with a number.
    static void applySequenceNumberConditionToRequest(URLRequest& request, const BLSAccessCondition* condition);
    // "x-bs-blob-condition-maxsize" and "x-bs-blob-condition-appendpos", each when set.
    static void applyMaxSizeAndAppendPositionToRequest(URLRequest& request, const BLSAccessCondition* condition);
};
