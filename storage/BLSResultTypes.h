#pragma once
// Data classes the client fills from listings and response headers.

#include "platform/net/URL.h"
#include "storage/BLSEnums.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

using BLSDate = std::chrono::system_clock::time_point;
// The service writes dates of years 0000 to 9999, more than a BLSDate holds
// (about 1678 to 2261). A BLSWideDate holds them all at the 100 ns of the
// service's round-trip format; stored access policies keep their times in
// it, as their expiry is often 9999-12-31 for "never".
using BLSTicks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
using BLSWideDate = std::chrono::sys_time<BLSTicks>;
using BLSMetadata = std::map<std::string, std::string>;

struct BLSContinuationToken {
    std::optional<std::string> nextMarker;
    BLSStorageLocation storageLocation = BLSStorageLocationPrimary;

    static BLSContinuationToken tokenFromString(std::string marker, BLSStorageLocation location) {
        return {std::move(marker), location};
    }
};

struct BLSBlobContainerProperties {
    std::optional<std::string> eTag;
    std::optional<BLSDate> lastModified;
    BLSLeaseStatus leaseStatus = BLSLeaseStatusUnspecified;
    BLSLeaseState leaseState = BLSLeaseStateUnspecified;
    BLSLeaseDuration leaseDuration = BLSLeaseDurationUnspecified;
};

// Unset fields are nullopt; only set ones are sent as headers.
struct BLSBlobProperties {
    std::optional<std::string> cacheControl;
    std::optional<std::string> contentDisposition;
    std::optional<std::string> contentEncoding;
    std::optional<std::string> contentLanguage;
    std::optional<std::int64_t> length;
    std::optional<std::string> contentMD5;
    std::optional<std::string> contentType;
    std::optional<std::string> eTag;
    std::optional<BLSDate> lastModified;
    std::optional<std::int64_t> sequenceNumber;
    std::optional<std::int64_t> appendBlobCommittedBlockCount;
    BLSBlobType blobType = BLSBlobTypeUnspecified;
    BLSLeaseStatus leaseStatus = BLSLeaseStatusUnspecified;
    BLSLeaseState leaseState = BLSLeaseStateUnspecified;
    BLSLeaseDuration leaseDuration = BLSLeaseDurationUnspecified;
};

struct BLSCopyState {
    std::optional<std::string> operationId;
    std::optional<BLSDate> completionTime;
    BLSCopyStatus copyStatus = BLSCopyStatusUnspecified;
    std::optional<platform::net::URL> source;
    std::optional<std::int64_t> bytesCopied;
    std::optional<std::int64_t> totalBytes;
    std::optional<std::string> statusDescription;
};
