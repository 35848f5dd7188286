#pragma once
// The conditions under which the service is to carry out an operation: ETag
// and date preconditions, the lease held, and the page and append blob
// conditions. Each is optional; only the ones set produce headers.

#include "storage/BLSEnums.h"
#include "storage/BLSResultTypes.h"

#include <cstdint>
#include <optional>
#include <string>

class BLSAccessCondition {
public:
    // No condition.
    BLSAccessCondition() = default;

    static BLSAccessCondition makeWithIfMatchCondition(std::string eTag);
    static BLSAccessCondition makeWithIfNoneMatchCondition(std::string eTag);
    static BLSAccessCondition makeWithIfModifiedSinceCondition(BLSDate date);
    static BLSAccessCondition makeWithIfNotModifiedSinceCondition(BLSDate date);
    static BLSAccessCondition makeWithLeaseId(std::string leaseId);
    static BLSAccessCondition makeWithIfSequenceNumberLessThanOrEqualTo(std::int64_t sequenceNumber);
    static BLSAccessCondition makeWithIfSequenceNumberLessThan(std::int64_t sequenceNumber);
    static BLSAccessCondition makeWithIfSequenceNumberEqualTo(std::int64_t sequenceNumber);
    static BLSAccessCondition makeWithIfMaxSizeLessThanOrEqualTo(std::int64_t maxSize);
    static BLSAccessCondition makeWithIfAppendPositionEqualTo(std::int64_t appendPosition);

    // A new condition that matches `eTag` and keeps the lease id of
    // `accessCondition` (when given); nothing else is carried over.
    // A copy that a request builder can keep past the call, and the pointer
    // form the builders take.
    static std::optional<BLSAccessCondition> copyCondition(const BLSAccessCondition* condition) {
        return condition ? std::optional<BLSAccessCondition>(*condition) : std::nullopt;
    }
    static const BLSAccessCondition* conditionPtr(const std::optional<BLSAccessCondition>& condition) {
        return condition ? &*condition : nullptr;
    }

    static BLSAccessCondition cloneWithEtag(const std::optional<std::string>& eTag,
                                            const BLSAccessCondition* accessCondition);

    const std::optional<std::string>& ifMatchETag() const { return mIfMatchETag; }
    const std::optional<std::string>& ifNoneMatchETag() const { return mIfNoneMatchETag; }
    const std::optional<BLSDate>& ifModifiedSinceDate() const { return mIfModifiedSinceDate; }
    const std::optional<BLSDate>& ifNotModifiedSinceDate() const { return mIfNotModifiedSinceDate; }

    const std::optional<std::string>& leaseId() const { return mLeaseId; }
    void setLeaseId(std::optional<std::string> leaseId) { mLeaseId = std::move(leaseId); }

    const std::optional<std::int64_t>& sequenceNumber() const { return mSequenceNumber; }
    BLSSequenceNumberOperator sequenceNumberOperator() const { return mSequenceNumberOperator; }
    void setSequenceNumberOperator(BLSSequenceNumberOperator op) { mSequenceNumberOperator = op; }

    const std::optional<std::int64_t>& maxSize() const { return mMaxSize; }
    void setMaxSize(std::optional<std::int64_t> maxSize) { mMaxSize = maxSize; }
    const std::optional<std::int64_t>& appendPosition() const { return mAppendPosition; }
    void setAppendPosition(std::optional<std::int64_t> position) { mAppendPosition = position; }

private:
    std::optional<std::string> mIfMatchETag;
    std::optional<std::string> mIfNoneMatchETag;
    std::optional<BLSDate> mIfModifiedSinceDate;
    std::optional<BLSDate> mIfNotModifiedSinceDate;
    std::optional<std::string> mLeaseId;
    std::optional<std::int64_t> mSequenceNumber;
    BLSSequenceNumberOperator mSequenceNumberOperator = BLSSequenceNumberOperatorNone;
    std::optional<std::int64_t> mMaxSize;
    std::optional<std::int64_t> mAppendPosition;
};
