#pragma once
// The small value types shared across the blob storage client.

#include <cstdint>

enum BLSStorageLocation : long { BLSStorageLocationPrimary = 1, BLSStorageLocationSecondary = 2 };

enum BLSStorageLocationMode : std::int64_t {
    BLSStorageLocationModeUnspecified = 0,
    BLSStorageLocationModePrimaryOnly = 1,
    BLSStorageLocationModePrimaryThenSecondary = 2,
    BLSStorageLocationModeSecondaryOnly = 3,
    BLSStorageLocationModeSecondaryThenPrimary = 4,
};

enum BLSAllowedStorageLocation : long {
    BLSAllowedStorageLocationPrimaryOnly = 0,
    BLSAllowedStorageLocationSecondaryOnly = 1,
    BLSAllowedStorageLocationPrimaryOrSecondary = 2,
};

// Log levels use the system log's numbers; 0 logs nothing.
using BLSLogLevel = long;
inline constexpr BLSLogLevel BLSLogLevelNone = 0;
inline constexpr BLSLogLevel BLSLogLevelError = 3;
inline constexpr BLSLogLevel BLSLogLevelWarning = 4;
inline constexpr BLSLogLevel BLSLogLevelInfo = 6;
inline constexpr BLSLogLevel BLSLogLevelDebug = 7;

// Bit sets of shared access signatures; callers may pass any number, the
// letter conversions refuse values out of range.
using BLSSharedAccessPermissions = unsigned long;    // 1 r, 2 a, 4 c, 8 w, 16 d, 32 l
using BLSSharedAccessServices = unsigned long;       // 1 b, 2 f, 4 q, 8 t
using BLSSharedAccessResourceTypes = unsigned long;  // 1 s, 2 c, 4 o
using BLSSharedAccessProtocols = long;               // 0 any, 1 "https,http", 2 "https"

enum BLSLeaseAction : long {
    BLSLeaseActionAcquire = 0,
    BLSLeaseActionRenew = 1,
    BLSLeaseActionRelease = 2,
    BLSLeaseActionBreak = 3,
    BLSLeaseActionChange = 4,
};

enum BLSContainerPublicAccessType : long {
    BLSContainerPublicAccessTypeOff = 0,
    BLSContainerPublicAccessTypeContainer = 1,
    BLSContainerPublicAccessTypeBlob = 2,
};

enum BLSDeleteSnapshotsOption : long {
    BLSDeleteSnapshotsOptionNone = 0,
    BLSDeleteSnapshotsOptionIncludeSnapshots = 1,
    BLSDeleteSnapshotsOptionDeleteSnapshotsOnly = 2,
};

enum BLSBlockListFilter : long {
    BLSBlockListFilterCommitted = 0,
    BLSBlockListFilterUncommitted = 1,
    BLSBlockListFilterAll = 2,
};

using BLSContainerListingDetails = unsigned long;  // 1 metadata
using BLSBlobListingDetails = unsigned long;       // 1 snapshots, 2 metadata, 4 uncommittedblobs, 8 copy

enum BLSSequenceNumberOperator : long {
    BLSSequenceNumberOperatorNone = 0,
    BLSSequenceNumberOperatorLessThanOrEqual = 1,
    BLSSequenceNumberOperatorLessThan = 2,
    BLSSequenceNumberOperatorEqual = 3,
};

enum BLSBlobType : long {
    BLSBlobTypeUnspecified = 0,
    BLSBlobTypePageBlob = 1,
    BLSBlobTypeBlockBlob = 2,
    BLSBlobTypeAppendBlob = 3,
};
enum BLSLeaseStatus : long { BLSLeaseStatusUnspecified = 0, BLSLeaseStatusLocked = 1, BLSLeaseStatusUnlocked = 2 };
enum BLSLeaseState : long {
    BLSLeaseStateUnspecified = 0,
    BLSLeaseStateAvailable = 1,
    BLSLeaseStateLeased = 2,
    BLSLeaseStateExpired = 3,
    BLSLeaseStateBreaking = 4,
    BLSLeaseStateBroken = 5,
};
enum BLSLeaseDuration : long {
    BLSLeaseDurationUnspecified = 0,
    BLSLeaseDurationFixed = 1,
    BLSLeaseDurationInfinite = 2
};
enum BLSCopyStatus : long {
    BLSCopyStatusUnspecified = 0,
    BLSCopyStatusPending = 1,
    BLSCopyStatusSuccess = 2,
    BLSCopyStatusAborted = 3,
    BLSCopyStatusFailed = 4,
};
enum BLSBlockListMode : long {
    BLSBlockListModeLatest = 0,
    BLSBlockListModeCommitted = 1,
    BLSBlockListModeUncommitted = 2
};

// A byte range: first byte and byte count. A length of 0 stands for the
// whole blob where a range is optional.
struct BLSULLRange {
    std::uint64_t location = 0;
    std::uint64_t length = 0;
    bool operator==(const BLSULLRange&) const = default;
};
